#include "platform/runtime/Time.h"

#include <chrono>
#include <mutex>
#include <vector>

#include "platform/runtime/App.h"
#include "platform/runtime/System.h"

namespace fw {

namespace {

// Never destroyed: a timer's last handle may go during the statics' destruction at exit.
std::mutex& TimersLock() {
    static std::mutex* lock = new std::mutex();
    return *lock;
}

// The running timers. Entries leave in TTimer::Delete, before the object goes.
std::vector<TTimer*>& Timers() {
    static std::vector<TTimer*>* timers = new std::vector<TTimer*>();
    return *timers;
}

// Timer threads must not outlive the exit: they wake the window system, which goes with the statics.
void StopAllTimers() {
    std::vector<Ref<TTimer>> running;
    {
        std::lock_guard<std::mutex> hold(TimersLock());
        for (TTimer* timer : Timers()) {
            running.emplace_back(timer);
        }
    }
    for (const Ref<TTimer>& timer : running) {
        StopTimer(timer);
    }
}

}  // namespace

int32_t MilliSecs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<int32_t>(static_cast<uint32_t>(millis));
}

void Delay(int32_t millis) {
    if (millis > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(millis));
    }
}

Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event) {
    if (!(hertz > 0.0f)) {
        return nullptr;
    }
    const float period = 1000.0f / hertz;
    if (!(period >= 1.0f) || period > 2147483647.0f) {
        return nullptr;
    }
    static const bool stopAtExit = (OnEnd(&StopAllTimers, EndPhase::Drivers), true);
    (void)stopAtExit;

    Ref<TTimer> timer = New<TTimer>();
    timer->period_ = static_cast<int32_t>(period);
    timer->event_ = std::move(event);
    {
        std::lock_guard<std::mutex> hold(TimersLock());
        Timers().push_back(timer.Get());
    }
    timer->thread_ = std::thread(&TTimer::Run, timer.Get());
    return timer;
}

void TTimer::Run() {
    // Periods are counted from the start, so a late wake-up does not stretch the next period.
    const auto period = std::chrono::milliseconds(period_);
    auto next = std::chrono::steady_clock::now() + period;
    while (!stopping_.load(std::memory_order_relaxed)) {
        std::this_thread::sleep_until(next);
        if (stopping_.load(std::memory_order_relaxed)) {
            break;
        }
        next += period;
        // A tick still untaken a whole period on means the main thread is blocked: this period
        // merges into it, so the periods it misses come as one tick when it polls again.
        if (!due_.exchange(true, std::memory_order_acq_rel)) {
            WakeSystem();
        }
    }
}

void StopTimer(const Ref<TTimer>& timer) {
    if (!timer) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(TimersLock());
        std::vector<TTimer*>& timers = Timers();
        for (auto at = timers.begin(); at != timers.end(); ++at) {
            if (*at == timer.Get()) {
                timers.erase(at);
                break;
            }
        }
    }
    timer->stopping_.store(true, std::memory_order_relaxed);
    if (timer->thread_.joinable()) {
        timer->thread_.join();
    }
    timer->due_.store(false, std::memory_order_relaxed);
}

void TTimer::Delete() {
    StopTimer(Ref<TTimer>(this));
}

int32_t TimerTicks(const Ref<TTimer>& timer) {
    return timer ? timer->Ticks() : 0;
}

void DeliverTimerTicks() {
    std::vector<Ref<TTimer>> running;
    {
        std::lock_guard<std::mutex> hold(TimersLock());
        for (TTimer* timer : Timers()) {
            running.emplace_back(timer);
        }
    }
    for (const Ref<TTimer>& timer : running) {
        // Taken before it is raised: a hook that polls takes the next period's tick inside its own
        // handling.
        if (!timer->due_.exchange(false, std::memory_order_acq_rel)) {
            continue;
        }
        timer->ticks_ += 1;
        if (timer->event_) {
            EmitEvent(timer->event_);
        } else {
            EmitEvent(CreateEvent(TimerTick, timer, timer->ticks_));
        }
    }
}

}  // namespace fw

#pragma once
// Clock, plain delay and periodic timers.
//
// A timer counts its periods on a thread of its own and wakes the main thread; the ticks are raised
// as events (TimerTick with the timer as source and its tick count as data, or the timer's own
// event) from inside the next system poll, one event per period. Periods that end while the last
// tick is still untaken (the main thread blocked) join it: after a block comes one tick, not a burst.

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/runtime/Event.h"
#include "platform/runtime/Object.h"

namespace fw {

// Milliseconds of a monotonic clock; wraps like a 32-bit count.
int32_t MilliSecs();
// Sleeps the calling thread; nothing is polled meanwhile.
void Delay(int32_t millis);

class TTimer : public Object {
public:
    // Whole milliseconds between ticks: 1000 / hertz, truncated (60 Hz gives 16).
    int32_t Period() const { return period_; }
    // Ticks raised so far.
    int32_t Ticks() const { return ticks_; }

private:
    friend Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event);
    friend void StopTimer(const Ref<TTimer>& timer);
    friend void DeliverTimerTicks();
    void Delete() override;
    void Run();

    int32_t period_ = 0;
    int32_t ticks_ = 0;
    Ref<TEvent> event_;
    // A tick is waiting for the main thread.
    std::atomic<bool> due_{false};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// A timer at `hertz` ticks per second; each tick raises `event` when given, else TimerTick.
// None for a rate that gives no whole-millisecond period (hertz <= 0 or above 1000).
Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event = nullptr);
void StopTimer(const Ref<TTimer>& timer);
int32_t TimerTicks(const Ref<TTimer>& timer);

// Raises the tick of each timer that has one due (PollSystem and WaitSystem call it; a GUI driver
// calls it from its own message loop too, so ticks go on inside modal dialogs). Main thread.
void DeliverTimerTicks();

}  // namespace fw

#include "platform/runtime/System.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/runtime/Collect.h"
#include "platform/runtime/Time.h"

namespace fw {

namespace {

// Without a window system there is nothing to poll; waiting means sleeping until a timer wakes us.
class PlainDriver : public SystemDriver {
public:
    void Poll() override {}
    void Wait() override {
        std::unique_lock<std::mutex> hold(lock_);
        woken_.wait(hold, [this] { return awake_; });
        awake_ = false;
    }
    void Wake() override {
        {
            std::lock_guard<std::mutex> hold(lock_);
            awake_ = true;
        }
        woken_.notify_one();
    }

private:
    std::mutex lock_;
    std::condition_variable woken_;
    bool awake_ = false;
};

// Never destroyed: timer threads may still wake it while the statics go.
PlainDriver& Plain() {
    static auto* driver = new PlainDriver();
    return *driver;
}

std::atomic<SystemDriver*>& Driver() {
    static std::atomic<SystemDriver*> driver{&Plain()};
    return driver;
}

}  // namespace

void SetSystemDriver(SystemDriver* driver) {
    Driver().store(driver != nullptr ? driver : &Plain());
}

void PollSystem() {
    Driver().load()->Poll();
    DeliverTimerTicks();
    GCCollect();
}

void WaitSystem() {
    Driver().load()->Wait();
    DeliverTimerTicks();
    GCCollect();
}

void WakeSystem() {
    Driver().load()->Wake();
}

}  // namespace fw

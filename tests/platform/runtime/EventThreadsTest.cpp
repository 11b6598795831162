#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/Event.h"
#include "platform/runtime/Hook.h"
#include "platform/runtime/System.h"
#include "platform/runtime/Time.h"

namespace {

struct Log : fw::Object {
    std::vector<std::string> calls;
    std::vector<int32_t> ids;
    std::vector<int32_t> data;
    int32_t depth = 0;
    int32_t nestedTicks = 0;
};

fw::Ref<fw::Object> Record(int32_t, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context, const char* name) {
    fw::Ref<Log> log = fw::Cast<Log>(context);
    fw::Ref<fw::TEvent> event = fw::Cast<fw::TEvent>(data);
    log->calls.push_back(std::string(name) + ":" + std::to_string(event ? event->id : -1) + ":" +
                         std::to_string(fw::QueuedEvents()));
    return data;
}
fw::Ref<fw::Object> HookA(int32_t id, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    return Record(id, data, context, "A");
}
fw::Ref<fw::Object> HookB(int32_t id, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    return Record(id, data, context, "B");
}
fw::Ref<fw::Object> Swallow(int32_t, fw::Ref<fw::Object>, fw::Ref<fw::Object>) {
    return nullptr;
}

// Counts events by id; on the first gadget action it polls, the way a handler does mid-action.
fw::Ref<fw::Object> Handler(int32_t, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    fw::Ref<Log> log = fw::Cast<Log>(context);
    fw::Ref<fw::TEvent> event = fw::Cast<fw::TEvent>(data);
    log->ids.push_back(event->id);
    if (event->id == fw::TimerTick) {
        log->data.push_back(event->data);
        log->nestedTicks += log->depth > 0 ? 1 : 0;
    }
    if (event->id == fw::GadgetAction && log->depth == 0) {
        log->depth += 1;
        fw::Delay(30);
        fw::PollSystem();
        log->depth -= 1;
    }
    return data;
}

TEST(Hooks, RunByPriorityWithTheirContextAndBeforeTheQueue) {
    fw::FlushEvents();
    fw::Ref<Log> log = fw::New<Log>();
    fw::AddHook(fw::EmitEventHook, &HookA, log, 0);
    fw::AddHook(fw::EmitEventHook, &HookB, log, 5);
    fw::AddHook(fw::EmitEventHook, &HookA, log, -20000);  // below the queue: sees the event queued
    fw::EmitEvent(fw::CreateEvent(fw::GadgetAction));
    EXPECT_EQ(log->calls, (std::vector<std::string>{"B:8193:0", "A:8193:0", "A:8193:1"}));

    fw::RemoveHook(fw::EmitEventHook, &HookB, log);
    fw::AddHook(fw::EmitEventHook, &Swallow, nullptr, 1);  // what a hook returns goes on
    fw::EmitEvent(fw::CreateEvent(fw::WindowClose));
    EXPECT_EQ(log->calls.size(), 5u);
    EXPECT_EQ(log->calls[3], "A:-1:1");
    EXPECT_EQ(fw::QueuedEvents(), 1);
    fw::RemoveHook(fw::EmitEventHook, &Swallow, nullptr);
    fw::RemoveHook(fw::EmitEventHook, &HookA, log);
    fw::RemoveHook(fw::EmitEventHook, &HookA, log);

    EXPECT_EQ(fw::PeekEvent()->id, fw::GadgetAction);
    EXPECT_EQ(fw::PollEvent(), fw::GadgetAction);
    EXPECT_EQ(fw::EventID(), fw::GadgetAction);
    EXPECT_EQ(fw::PollEvent(), 0);
    EXPECT_FALSE(fw::CurrentEvent());
    EXPECT_EQ(log->RefCount(), 1);  // the hooks let go of their context
}

fw::Ref<fw::Object> AddsAnother(int32_t id, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    fw::AddHook(id, &HookB, context, 10);
    fw::RemoveHook(id, &AddsAnother, context);
    return Record(id, data, context, "C");
}

TEST(Hooks, ChangesMadeWhileTheyRunApplyFromTheNextRun) {
    const int32_t id = fw::AllocHookId();
    EXPECT_NE(id, fw::EmitEventHook);
    EXPECT_NE(fw::AllocHookId(), id);
    fw::Ref<Log> log = fw::New<Log>();
    fw::Ref<fw::TEvent> event = fw::CreateEvent(1);
    fw::AddHook(id, &AddsAnother, log, 0);
    fw::AddHook(id, &HookA, log, -1);
    EXPECT_EQ(fw::RunHooks(id, event), fw::Ref<fw::Object>(event));
    EXPECT_EQ(fw::RunHooks(id, event), fw::Ref<fw::Object>(event));
    EXPECT_EQ(log->calls, (std::vector<std::string>{"C:1:0", "A:1:0", "B:1:0", "A:1:0"}));
    EXPECT_EQ(fw::RunHooks(fw::AllocHookId(), event), fw::Ref<fw::Object>(event));  // no hooks: data back
    fw::RemoveHook(id, &HookB, log);
    fw::RemoveHook(id, &HookA, log);
}

TEST(Timers, PeriodIsWholeMillisecondsOfTheRate) {
    const struct {
        float hertz;
        int32_t period;
    } cases[] = {{60.0f, 16}, {62.5f, 16}, {1000.0f, 1}, {0.5f, 2000}, {30.0f, 33}, {0.0f, 0}, {-5.0f, 0}, {1001.0f, 0}};
    for (const auto& c : cases) {
        fw::Ref<fw::TTimer> timer = fw::CreateTimer(c.hertz);
        EXPECT_EQ(timer ? timer->Period() : 0, c.period) << c.hertz;
    }
}

TEST(Timers, EveryPeriodBecomesOneTickEventRaisedInsideThePoll) {
    fw::FlushEvents();
    fw::Ref<Log> log = fw::New<Log>();
    fw::AddHook(fw::EmitEventHook, &Handler, log, 0);
    fw::Ref<fw::TTimer> timer = fw::CreateTimer(500.0f);

    // The twenty periods a blocked main thread missed come as one tick, raised inside the next poll,
    // hooks before the queue.
    fw::Delay(40);
    EXPECT_TRUE(log->ids.empty());
    fw::PollSystem();
    EXPECT_EQ(log->data, std::vector<int32_t>{1});
    EXPECT_EQ(fw::QueuedEvents(), 1);

    // A handler that polls sees ticks run inside its own handling.
    fw::EmitEvent(fw::CreateEvent(fw::GadgetAction));
    EXPECT_GT(log->nestedTicks, 0);

    // WaitEvent wakes for the next tick and returns events in the order they were raised.
    fw::FlushEvents();
    EXPECT_EQ(fw::WaitEvent(), fw::TimerTick);
    EXPECT_EQ(fw::EventSource(), fw::Ref<fw::Object>(timer));
    EXPECT_EQ(fw::EventData(), fw::TimerTicks(timer) - fw::QueuedEvents());

    fw::StopTimer(timer);
    const int32_t ticks = fw::TimerTicks(timer);
    fw::Delay(20);
    fw::PollSystem();
    EXPECT_EQ(fw::TimerTicks(timer), ticks);
    fw::RemoveHook(fw::EmitEventHook, &Handler, log);
    fw::FlushEvents();
}

// A main thread that waits for its ticks, and is busy for a quarter of each period after taking one,
// still gets one tick per period. A period missed under load merges; so the bound is loose, and
// the period long.
TEST(Timers, WaitingMainThreadTakesATickEveryPeriod) {
    fw::FlushEvents();
    constexpr int32_t kPeriod = 50;
    fw::Ref<fw::TTimer> timer = fw::CreateTimer(1000.0f / kPeriod);
    const int32_t start = fw::MilliSecs();
    while (fw::TimerTicks(timer) < 12) {
        fw::WaitEvent();
        fw::Delay(kPeriod / 4);
    }
    const int32_t periods = (fw::MilliSecs() - start) / kPeriod;
    fw::StopTimer(timer);
    EXPECT_GE(fw::TimerTicks(timer) * 4, periods * 3) << periods << " periods";
    fw::FlushEvents();
}

TEST(Timers, OwnEventIsRaisedInsteadOfTheTick) {
    fw::FlushEvents();
    fw::Ref<fw::TEvent> own = fw::CreateEvent(0x7777, nullptr, 42);
    fw::Ref<fw::TTimer> timer = fw::CreateTimer(200.0f, own);
    EXPECT_EQ(fw::WaitEvent(), 0x7777);
    EXPECT_EQ(fw::CurrentEvent(), own);
    timer = nullptr;  // the last handle stops the thread
    fw::FlushEvents();
}

TEST(Time, MilliSecsAdvanceAcrossADelay) {
    const int32_t start = fw::MilliSecs();
    fw::Delay(25);
    EXPECT_GE(fw::MilliSecs() - start, 25);
}

}  // namespace

namespace {

// A timer whose last handle goes with the statics at exit stops cleanly: the handle (like a hook
// holding the application) is made before any timer, so it goes after everything made later.
TEST(Timers, LastHandleMayGoDuringExit) {
    static fw::Ref<fw::TTimer> held;
    held = fw::CreateTimer(100.0f);
    EXPECT_EQ(held->Period(), 10);
}

}  // namespace

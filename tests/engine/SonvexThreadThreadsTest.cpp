#include "engine/SonvexThread.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"

namespace {

// A channel that drives a thread of its own, as the memory-decoding channel does.
class RunningChannel : public ISonvexChannel {
public:
    std::atomic<int32_t> runs{0};
    std::atomic<bool> finished{false};
    std::chrono::milliseconds linger{0};

    int32_t Run() override {
        runs.fetch_add(1);
        std::this_thread::sleep_for(linger);
        finished = true;
        return 42;
    }
};

TEST(SonvexThread, JoinAnswersTheChannelsExitCode) {
    RunningChannel channel;
    SonvexThread thread;
    thread.Start(&channel);
    EXPECT_EQ(thread.running, 1);
    EXPECT_NE(thread.id, 0u);
    EXPECT_EQ(thread.Join(), 42u);
    EXPECT_EQ(thread.running, 0);
    EXPECT_EQ(channel.runs, 1);
    // Close after Join only gives the handle back.
    thread.Close();
    EXPECT_EQ(channel.runs, 1);
}

// The memory-decoding channel sets its own thread's priority first thing in Run.
TEST(SonvexThread, BodySeesItsOwnIdFromTheStart) {
    struct SelfAware : ISonvexChannel {
        SonvexThread* owner = nullptr;
        uint32_t seen = 0;
        uint32_t self = 0;
        int32_t Run() override {
            seen = owner->id;
            self = static_cast<uint32_t>(syscall(SYS_gettid));
            owner->SetPriority(ThreadPriorityBelowNormal);
            return 0;
        }
    };
    SelfAware channel;
    SonvexThread thread;
    channel.owner = &thread;
    thread.Start(&channel);
    const uint32_t started = thread.id;
    thread.Join();
    EXPECT_EQ(channel.seen, channel.self);
    EXPECT_EQ(started, channel.self);
    EXPECT_EQ(thread.id, 0u);   // gone: the id may name another thread by now
}

TEST(SonvexThread, CloseWaitsForAThreadNeverJoined) {
    RunningChannel channel;
    channel.linger = std::chrono::milliseconds(30);
    SonvexThread thread;
    thread.Start(&channel);
    thread.Close();
    EXPECT_TRUE(channel.finished);
    EXPECT_EQ(thread.running, 0);
}

TEST(SonvexThread, ThreadProcRunsTheChannelOrAnswersZero) {
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    const uint32_t none = ThreadProc(nullptr);
    const std::string log = testing::internal::GetCapturedStdout();
    Sonvex_SetDebugLog(0);
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(log, "Sonvex2: Entered ThreadProc\n");

    RunningChannel channel;
    EXPECT_EQ(ThreadProc(&channel), 42u);
    ISonvexChannel plain;   // the engine channel's own Run does nothing
    EXPECT_EQ(ThreadProc(&plain), 0u);
}

}  // namespace

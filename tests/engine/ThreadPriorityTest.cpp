#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "engine/DebugLog.h"
#include "engine/SonvexThread.h"

namespace {

// Sets a Windows priority value on a short-lived thread of its own and answers the log.
std::string LogOfSetPriority(int32_t priority) {
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    std::thread worker([priority] {
        SonvexThread thread;
        thread.id = static_cast<uint32_t>(syscall(SYS_gettid));
        thread.SetPriority(priority);
    });
    worker.join();
    Sonvex_SetDebugLog(0);
    return testing::internal::GetCapturedStdout();
}

TEST(ThreadPriority, LoweringIsAlwaysAppliedAndReadBack) {
    EXPECT_EQ(LogOfSetPriority(ThreadPriorityBelowNormal), "Sonvex2: thread priority=-1\n");
    EXPECT_EQ(LogOfSetPriority(ThreadPriorityLowest), "Sonvex2: thread priority=-2\n");
    EXPECT_EQ(LogOfSetPriority(ThreadPriorityIdle), "Sonvex2: thread priority=-15\n");
    // Values between the named levels go to the nearest one.
    EXPECT_EQ(LogOfSetPriority(-5), "Sonvex2: thread priority=-2\n");
}

TEST(ThreadPriority, RaisingIsAppliedOrRefusedButNeverFatal) {
    // Whether the system lets us raise priority depends on privileges: either the level is
    // applied and read back, or the refusal is logged and the real level reported.
    const std::string above = LogOfSetPriority(ThreadPriorityAboveNormal);
    EXPECT_TRUE(above == "Sonvex2: thread priority=1\n" ||
                above.rfind("Sonvex2: thread priority refused:", 0) == 0)
        << above;
    const std::string critical = LogOfSetPriority(ThreadPriorityTimeCritical);
    EXPECT_TRUE(critical == "Sonvex2: thread priority=15\n" ||
                critical.rfind("Sonvex2: thread priority refused:", 0) == 0)
        << critical;
}

TEST(ThreadPriority, ThreadThatNeverStartedChangesNothing) {
    // On a helper thread: should the call reach the caller, the damage stays there.
    std::string log;
    int niceBefore = 0;
    int niceAfter = 0;
    std::thread worker([&] {
        const id_t self = static_cast<id_t>(syscall(SYS_gettid));
        niceBefore = getpriority(PRIO_PROCESS, self);
        Sonvex_SetDebugLog(1);
        testing::internal::CaptureStdout();
        SonvexThread never;
        never.SetPriority(ThreadPriorityIdle);
        log = testing::internal::GetCapturedStdout();
        Sonvex_SetDebugLog(0);
        niceAfter = getpriority(PRIO_PROCESS, self);
    });
    worker.join();
    EXPECT_EQ(niceAfter, niceBefore);
    EXPECT_EQ(log, "Sonvex2: thread priority refused: " + std::string(std::strerror(ESRCH)) +
                       "\nSonvex2: thread priority=2147483647\n");
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/SonvexMutex.h"

namespace {

TEST(SonvexMutex, HolderMayTakeItAgainAndMustReleaseEachTake) {
    SonvexMutex mutex;
    mutex.Create();
    ASSERT_NE(mutex.handle, nullptr);
    mutex.Lock();
    mutex.Lock();  // re-entrant: must not block

    auto otherCanTake = [&mutex] {
        bool took = false;
        std::thread other([&] {
            if (pthread_mutex_trylock(mutex.handle) == 0) {
                took = true;
                pthread_mutex_unlock(mutex.handle);
            }
        });
        other.join();
        return took;
    };
    mutex.Unlock();
    EXPECT_FALSE(otherCanTake());  // still held once
    mutex.Unlock();
    EXPECT_TRUE(otherCanTake());
    mutex.Close();
    EXPECT_EQ(mutex.handle, nullptr);
}

TEST(SonvexMutex, SerialisesTwoThreads) {
    SonvexMutex mutex;
    mutex.Create();
    int64_t counter = 0;
    auto add = [&] {
        for (int i = 0; i < 100000; ++i) {
            SonvexLockGuard hold(mutex);
            ++counter;
        }
    };
    std::thread a(add);
    std::thread b(add);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);
    mutex.Close();
}

TEST(SonvexMutex, NullHandleIsQuiet) {
    SonvexMutex mutex;  // never created
    mutex.Lock();
    mutex.Unlock();
    mutex.Close();
}

}  // namespace

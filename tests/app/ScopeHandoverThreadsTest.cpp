// The scope's copies of the mixed output, handed from the audio thread to the main thread while
// the mixer runs: every copy the scope draws from is one whole block, never parts of two.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "app/Globals.h"
#include "app/Scope.h"
#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"
#include "engine/binding/Sonvex2.h"

namespace {

TEST(ScopeHandoverThreadsTest, EveryCopyDrawnIsOneWholeBlock) {
    constexpr uint32_t kFrames = 1024;
    // A looping constant: every output block is flat, at a level the audio thread changes per
    // block through the master volume, so a copy holding two levels was read mid-write.
    std::vector<int16_t> pcm(2 * 4096, 16384);
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 44100, static_cast<int32_t>(pcm.size() * 2),
                                             reinterpret_cast<uint8_t*>(pcm.data()), 1);
    ASSERT_NE(sound, nullptr);
    sound->AddRef();
    ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
    channel->SetLoopMode(1);
    channel->SetPaused(0);
    std::vector<float> block(2 * kFrames);
    MixOutput(block.data(), kFrames);  // past the converter's first frame

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (int32_t k = 0; !stop.load(std::memory_order_relaxed); ++k) {
            sonvex2::SetMasterVolume(1.0 + (k % 50) / 100.0);
            MixOutput(block.data(), kFrames);
        }
    });

    // Counted in copies handed over, not in time: a sanitizer's slowdown only makes the run longer.
    constexpr int32_t kHandovers = 400;
    int32_t torn = 0;
    int32_t handed = 0;
    int32_t distinct = 0;
    float last = 0.0f;
    for (int32_t i = 0; handed < kHandovers; ++i) {
        // Every other request waits for the mixer to serve the last one, so copies keep coming
        // however slow the audio thread is; the others land wherever it is, mid-copy included.
        // (Back-to-back requests would only replace each other.)
        if (i % 2 == 0) {
            while (Sonvex_OutputCopyPending() != 0) {
                std::this_thread::yield();
            }
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const bool served = Sonvex_OutputCopyPending() == 0;
        app::RequestScopeCopy();
        const float first = app::ScopeBuffer[0];
        for (uint32_t v = 1; v < 2 * kFrames; ++v) {
            if (app::ScopeBuffer[v] != first) {
                ++torn;
                break;
            }
        }
        if (served) {
            ++handed;
            distinct += first != last ? 1 : 0;
            last = first;
        }
        // The engine copies one block at most: the rest of the buffer is never written.
        ASSERT_EQ(app::ScopeBuffer[2 * kFrames], 0.0f);
    }
    stop = true;
    audio.join();

    EXPECT_EQ(torn, 0);
    // Each copy handed over is of a later block than the one before, so its level changes
    // unless the main thread slept through a whole cycle of 50 blocks.
    EXPECT_GT(distinct, kHandovers / 2) << "the copies never changed: the hand-over was not exercised";
    sonvex2::SetMasterVolume(1.0);
    Sonvex_ReleaseChannel(channel);
    MixOutput(block.data(), kFrames);
    sound->Release();
}

TEST(ScopeHandoverThreadsTest, BarsShowBothPolaritiesByMagnitude) {
    const struct {
        float sample;
        float height;
    } cases[] = {
        {1.0f, 25.132742f}, {-1.0f, 25.132742f}, {0.25f, 12.566371f}, {-0.25f, 12.566371f},
        {0.0f, 0.0f}, {-0.0f, 0.0f}, {NAN, 0.0f},
    };
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(app::ScopeBarHeight(c.sample), c.height) << c.sample;
    }
}

}  // namespace

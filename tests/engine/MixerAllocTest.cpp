// Proves that a mix pass allocates nothing: every C++ allocation in this test program goes
// through the counting operator new below, which counts only while a pass runs.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"
#include "tests/engine/MixerTestSupport.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> allocations{0};

void* Allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    return p;
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = Allocate(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

TEST(MixerAllocation, MixPassAllocatesNothing) {
    // The hook is live: it sees an allocation made while counting.
    allocations = 0;
    counting = true;
    auto* probe = new std::vector<int>(3);
    counting = false;
    delete probe;
    ASSERT_EQ(allocations.load(), 2);

    mixtest::DrainChannelList();
    // Every path through a pass: resampling, backward play, loop wraps, a source ending in the
    // block, a paused channel moved by its adjuster, a reaped channel and a copy request.
    std::vector<int16_t> samples(2 * 5000);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>((i * 131) % 30000 - 15000);
    }
    const std::vector<uint8_t> block = mixtest::S16Frames(samples);
    const int32_t length = static_cast<int32_t>(block.size());
    std::vector<ISonvexChannel*> channels;
    for (int32_t rate : {48000, 44100, 22050, 96000}) {
        for (int32_t flags : {0, 1}) {
            ISonvexSound* sound = Sonvex_CreateSound(2, 16, rate, length, block.data(), flags);
            ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
            channel->SetLoopMode(flags);
            channel->SetLoopRange(100, 700);
            channel->SetPaused(0);
            channels.push_back(channel);
        }
    }
    channels[2]->SetRate(-1.0f);
    channels[3]->SetRate(-0.7f);
    channels[4]->SetPaused(1);
    Sonvex_SetChannelRateAdjuster(channels[4], 0.3);
    channels[5]->Stop();
    Sonvex_ReleaseChannel(channels[5]);
    channels[5] = nullptr;

    std::vector<float> out(2 * 1024);
    std::vector<float> copy(2 * 1024);
    int64_t found = 0;
    for (int32_t pass = 0; pass < 200; ++pass) {
        if (pass % 7 == 0) {
            Sonvex_RequestOutputCopy(copy.data(), 1024);
        }
        allocations = 0;
        counting = true;
        MixOutput(out.data(), 1024);
        counting = false;
        found += allocations.load();
    }
    EXPECT_EQ(found, 0);
    EXPECT_EQ(CountChannels(), 7);
    mixtest::DrainChannelList();
}

}  // namespace

// The mixer on its own thread, standing in for the output device's callback, while the main
// thread does everything an application does to channels. Run under ThreadSanitizer in CI.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/MasterVolume.h"
#include "engine/Mixer.h"

namespace {

class AudioThread {
public:
    AudioThread() : thread_([this] { Loop(); }) {}
    ~AudioThread() { Stop(); }

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    int64_t Blocks() const { return blocks_.load(); }
    // Waits until the mixer has finished `n` more blocks.
    void WaitBlocks(int64_t n) {
        const int64_t target = blocks_.load() + n;
        while (blocks_.load() < target) {
            std::this_thread::yield();
        }
    }

private:
    void Loop() {
        std::vector<float> out(2 * 1024);
        while (!stop_) {
            MixOutput(out.data(), 1024);
            blocks_.fetch_add(1);
            // A device asks for a block now and then; a mixer that never lets go of the list
            // lock would starve the main thread (the lock is not fair).
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int64_t> blocks_{0};
    std::thread thread_;
};

std::vector<uint8_t> Tone(int32_t frames) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * 4);
    for (int32_t i = 0; i < frames; ++i) {
        const int16_t v = static_cast<int16_t>((i * 97) % 20000 - 10000);
        std::memcpy(&bytes[4 * i], &v, 2);
        std::memcpy(&bytes[4 * i + 2], &v, 2);
    }
    return bytes;
}

TEST(MixerThreads, MainThreadControlsChannelsWhileTheMixerRuns) {
    const std::vector<uint8_t> longTone = Tone(20000);
    const std::vector<uint8_t> shortTone = Tone(1500);
    // The test holds one reference on each sound, so they outlive every channel.
    std::vector<ISonvexSound*> sounds;
    for (int32_t rate : {48000, 22050, 44100}) {
        sounds.push_back(Sonvex_CreateSound(2, 16, rate, static_cast<int32_t>(longTone.size()),
                                            longTone.data(), 1));
        sounds.push_back(Sonvex_CreateSound(2, 16, rate, static_cast<int32_t>(shortTone.size()),
                                            shortTone.data(), 0));
    }
    for (ISonvexSound* s : sounds) {
        s->AddRef();
    }

    AudioThread audio;
    std::vector<float> copy(2 * 1024);
    int64_t copies = 0;
    for (int32_t round = 0; round < 60; ++round) {
        std::vector<ISonvexChannel*> channels;
        for (size_t i = 0; i < sounds.size(); ++i) {
            ISonvexChannel* channel = sounds[i]->PlayMusicOnChannel(nullptr);
            channel->SetLoopMode(static_cast<int32_t>(i % 2));
            channel->SetPaused(0);
            channels.push_back(channel);
        }
        ISonvexChannel* allocated = AllocChannel();
        sounds[round % sounds.size()]->PlayMusicOnChannel(allocated);
        allocated->SetPaused(0);
        channels.push_back(allocated);

        for (int32_t step = 0; step < 20; ++step) {
            ISonvexChannel* c = channels[(round + step) % channels.size()];
            c->Seek((step * 331) % 5000, 1);
            c->SetVolume(0.1f * static_cast<float>(step % 12));
            c->SetPan(-1.0f + 0.1f * static_cast<float>(step));
            c->SetRate(step % 5 == 0 ? -0.75f : 0.5f + 0.1f * static_cast<float>(step % 8));
            c->SetPaused(step % 3 == 0 ? 1 : 0);
            Sonvex_SetChannelRateAdjuster(c, step % 2 == 0 ? 0.05 : -0.05);
            c->SetLoopRange(step * 10, 500 + step);
            double l = 0.0;
            double r = 0.0;
            c->GetLevels(&l, &r);
            EXPECT_GE(c->GetPosition(0), 0);
            (void)c->GetPosition(2);
            (void)c->Playing();
            if (step == 7) {
                // Rebind one channel to another sound while it plays.
                sounds[(round + 1) % sounds.size()]->PlayMusicOnChannel(c);
                c->SetPaused(0);
            }
            if (step % 5 == 0 && Sonvex_OutputCopyPending() == 0) {
                // Read the previous copy only once it has been served.
                float sum = 0.0f;
                for (float v : copy) {
                    sum += v;
                }
                (void)sum;
                Sonvex_RequestOutputCopy(copy.data(), 1024);
                ++copies;
            }
            Sonvex_SetMasterVolume(step % 4 == 0 ? 0.8 : 1.0);
            std::this_thread::yield();
        }
        // Let go of every channel, some still playing; the mixer frees them when they stop.
        for (size_t i = 0; i < channels.size(); ++i) {
            if (i % 2 == 0) {
                channels[i]->Stop();
            }
            Sonvex_ReleaseChannel(channels[i]);
        }
        audio.WaitBlocks(1);
    }

    // Whatever still plays: loop flags were set on some channels, so stop them through the list.
    audio.WaitBlocks(2);
    EXPECT_GT(audio.Blocks(), 60);
    EXPECT_GT(copies, 0);
    audio.Stop();
    while (Sonvex_OutputCopyPending() != 0) {
        std::vector<float> out(2 * 1024);
        MixOutput(out.data(), 1024);
    }
    LockChannelList();
    for (ChannelListEntry* e = ChannelList.first; e != nullptr; e = e->next) {
        e->channel->Stop();
    }
    UnlockChannelList();
    std::vector<float> out(2 * 1024);
    MixOutput(out.data(), 1024);
    EXPECT_EQ(CountChannels(), 0);
    for (ISonvexSound* s : sounds) {
        EXPECT_EQ(s->GetRefCount(), 1);   // every channel gave its reference back
        s->Release();
    }
    Sonvex_SetMasterVolume(1.0);
}

}  // namespace

#pragma once
// The work both mixer benchmarks measure: channels each looping one second of 16-bit stereo at
// 48,000 Hz (so every channel resamples to 44,100 Hz, different saw waves left and right), at
// different places in it, volume 0.5, pans spread over -1..+1.

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"

namespace mixerbench {

constexpr int32_t kSoundFrames = 48000;
constexpr int32_t kSoundRate = 48000;

inline const std::vector<uint8_t>& SoundData() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> bytes(static_cast<size_t>(kSoundFrames) * 4);
        for (int32_t i = 0; i < kSoundFrames; ++i) {
            const int16_t l = static_cast<int16_t>((i * 173) % 40000 - 20000);
            const int16_t r = static_cast<int16_t>((i * 89) % 30000 - 15000);
            std::memcpy(&bytes[4 * i], &l, 2);
            std::memcpy(&bytes[4 * i + 2], &r, 2);
        }
        return bytes;
    }();
    return data;
}

inline void StartChannels(int32_t count) {
    const std::vector<uint8_t>& data = SoundData();
    for (int32_t i = 0; i < count; ++i) {
        ISonvexSound* sound = Sonvex_CreateSound(2, 16, kSoundRate, static_cast<int32_t>(data.size()),
                                                 data.data(), 1);
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        channel->SetLoopMode(1);
        channel->Seek((i * 997) % kSoundFrames, 1);   // channels read different places
        channel->SetVolume(0.5f);
        channel->SetPan(static_cast<float>(i % 21 - 10) / 10.0f);
        channel->SetPaused(0);
    }
}

// Stops and releases every channel; one short mix reaps them.
inline void StopAllChannels() {
    LockChannelList();
    for (ChannelListEntry* e = ChannelList.first; e != nullptr; e = e->next) {
        e->channel->Stop();
        Sonvex_ReleaseChannel(e->channel);
    }
    UnlockChannelList();
    std::vector<float> out(2 * 16);
    MixOutput(out.data(), 16);
}

}  // namespace mixerbench

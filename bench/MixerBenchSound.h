#pragma once
// The sound both mixer benchmarks play: one second of 16-bit stereo at 48,000 Hz, so every
// channel resamples to 44,100 Hz, with different saw waves left and right.

#include <cstdint>
#include <cstring>
#include <vector>

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

}  // namespace mixerbench

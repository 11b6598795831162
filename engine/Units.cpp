#include "engine/Units.h"

#include <limits>

int32_t BytesPerFrame(int32_t bits, int32_t channels) {
    const int64_t bytes = static_cast<int64_t>(bits / 8) * channels;
    return bytes >= std::numeric_limits<int32_t>::min() && bytes <= std::numeric_limits<int32_t>::max()
               ? static_cast<int32_t>(bytes)
               : 0;
}

int32_t BytesToUnit(int32_t bytes, int32_t unit, int32_t sampleRate, int32_t bytesPerFrame) {
    switch (unit) {
    case SonvexUnitBytes:
        return bytes;
    case SonvexUnitFrames:
        return bytesPerFrame > 0 ? bytes / bytesPerFrame : 0;
    case SonvexUnitMillisecs: {
        // 0.001 is the double constant, widened: its rounding error is part of the result.
        const long double bytesPerMs =
            static_cast<long double>(0.001) * sampleRate * static_cast<long double>(bytesPerFrame);
        if (bytesPerMs <= 0.0L) {
            return 0;
        }
        // Below one byte per millisecond (low rates, 8-bit mono) the quotient outgrows 32 bits.
        const long double ms = static_cast<long double>(bytes) / bytesPerMs;
        constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
        constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
        if (ms >= static_cast<long double>(kMax)) {
            return kMax;
        }
        if (ms <= static_cast<long double>(kMin)) {
            return kMin;
        }
        return static_cast<int32_t>(ms);
    }
    default:
        return -1;
    }
}

int64_t SeekFrame(int32_t position, int32_t unit, int32_t bytesPerFrame) {
    if (unit == SonvexUnitBytes && bytesPerFrame > 0) {
        return position / bytesPerFrame;
    }
    return unit == SonvexUnitFrames ? position : 0;
}

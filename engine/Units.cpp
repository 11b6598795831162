#include "engine/Units.h"

int32_t BytesPerFrame(int32_t bits, int32_t channels) {
    return (bits / 8) * channels;
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
        return static_cast<int32_t>(static_cast<long double>(bytes) / bytesPerMs);
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

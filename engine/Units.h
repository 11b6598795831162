#pragma once
// Conversion of byte counts into the units that lengths and positions are asked in.

#include <cstdint>

enum SonvexUnit : int32_t {
    SonvexUnitBytes = 0,
    SonvexUnitFrames = 1,
    SonvexUnitMillisecs = 2,
    SonvexUnitRow = 4,
    SonvexUnitOrder = 5,
};

// Bytes per frame of a format: (bits / 8) x channels; 0 (no frame size) when that does not fit
// 32 bits.
int32_t BytesPerFrame(int32_t bits, int32_t channels);

// bytes in unit 0 (bytes), 1 (frames) or 2 (milliseconds); -1 for any other unit.
// Milliseconds are computed in extended precision and truncated, so that exactly one second of
// 16-bit stereo at 44,100 Hz (176,400 bytes) gives 999: the product 0.001 x rate x frame size is
// carried with a 64-bit mantissa, where rounding it to a double would give 1000. Milliseconds
// that do not fit in 32 bits saturate.
int32_t BytesToUnit(int32_t bytes, int32_t unit, int32_t sampleRate, int32_t bytesPerFrame);

// The frame a seek request names: unit 0 counts bytes (whole frames, truncated), unit 1 frames;
// any other unit, or a format without a frame size, names frame 0.
int64_t SeekFrame(int32_t position, int32_t unit, int32_t bytesPerFrame);

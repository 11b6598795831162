#pragma once
// A music source over a block of PCM already in memory (a whole sound). The block is the
// creator's: read in place, never copied, never freed here. Each channel that plays the sound
// writes its own position and loop range into it before every fill, so one sound can play on
// several channels at once.
//
// Play rules beyond the plain copy, all of which keep every read inside the block and end every
// fill:
// - Backwards (PlaybackRate < 0) the sound delivers the stretch just before Position, in stored
//   order, and leaves Position at its start. At the start of the data it stops (Status 0), or,
//   when looping, goes on from the loop end (the end of the data without a usable loop range);
//   inside a loop range it wraps from LoopStart to the loop end.
// - A loop range is usable when LoopMode is 1, LoopLength > 0 and LoopStart lies in the data. A
//   range of length 0 (or otherwise unusable) with looping on loops the whole data.
// - A Position between the loop end and Length plays on to the end of the data, then continues
//   at LoopStart.
// - A looping sound with no data delivers nothing and ends (Status 0).
// - A negative position counts as 0.

#include <cstdint>

#include "engine/ISonvexMusic.h"
#include "engine/SonvexMutex.h"

class ISonvexSound final : public ISonvexMusic {
public:
    const uint8_t* Data = nullptr;
    // Guards Position while a fill copies. Taken inside the channel's lock.
    SonvexMutex Mutex;

    ISonvexSound();
    ~ISonvexSound();

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override;   // 0
    // Position is a frame index whatever the unit. Answers the new Position in bytes, or 0 for
    // a place past the end without looping.
    int32_t Seek(int32_t position, int32_t unit) override;       // 1

    // The Deleter: the same work as Sonvex_DeleteSound.
    static void Destroy(ISonvexMusic* sound);

private:
    int32_t FillForward(uint8_t* dest, int32_t bytes);
    int32_t FillBackward(uint8_t* dest, int32_t bytes);
};

// A sound over the caller's block (length in bytes); bit 0 of flags turns looping on. The caller
// keeps the block alive until the sound is destroyed.
ISonvexSound* Sonvex_CreateSound(int32_t channels, int32_t bits, int32_t sampleRate, int32_t length,
                                 const uint8_t* data, int32_t flags);
// Destroys the sound at once, whatever its reference count. Ignores null.
void Sonvex_DeleteSound(ISonvexSound* sound);

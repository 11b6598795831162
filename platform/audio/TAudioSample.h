#pragma once
// A block of PCM with its length, rate and format code. The sample owns its memory.
//
// Format codes: 1 mono 8-bit, 2 mono 16-bit, 3 mono 16-bit high byte first, 4 stereo 8-bit,
// 5 stereo 16-bit, 6 stereo 16-bit high byte first; 0 is no format.

#include <cstddef>
#include <cstdint>

#include "platform/runtime/Object.h"

namespace fw {

enum : int32_t {
    SF_MONO8 = 1,
    SF_MONO16LE = 2,
    SF_MONO16BE = 3,
    SF_STEREO8 = 4,
    SF_STEREO16LE = 5,
    SF_STEREO16BE = 6,
};

// Indexed by format code; 0 for codes outside 0 to 6.
int32_t ChannelsPerSample(int32_t format);
int32_t BytesPerSample(int32_t format);

class TAudioSample : public Object {
public:
    uint8_t* samples = nullptr;
    int32_t length = 0;     // frames
    int32_t hertz = 0;
    int32_t format = 0;
    int32_t capacity = 0;   // bytes of memory the sample owns

    // A sample over memory of its own (zeroed), or none when the format is unknown, a value is
    // negative or the memory would not fit in 32 bits.
    static Ref<TAudioSample> Create(int32_t length, int32_t hertz, int32_t format);

    // Sets the length in frames, growing or shrinking the memory, in place where the system can
    // (a decode that cannot trust the length it was told grows its sample as it goes, then trims
    // it); new bytes are zero. False, with nothing changed, when the memory cannot be had.
    bool Resize(int32_t frames);

    ~TAudioSample() override;

private:
    uint8_t* memory_ = nullptr;
};

inline Ref<TAudioSample> CreateAudioSample(int32_t length, int32_t hertz, int32_t format) {
    return TAudioSample::Create(length, hertz, format);
}

}  // namespace fw

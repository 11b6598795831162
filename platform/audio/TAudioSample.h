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

// Memory for PCM that is still being decoded, before any sample (and so any sound) holds it: it
// grows and is trimmed in place where the system can, and new bytes are zero. A sample takes it
// over once it is complete; a sample's own memory never moves, since a sound reads it in place.
class SampleMemory {
public:
    SampleMemory() = default;
    SampleMemory(const SampleMemory&) = delete;
    SampleMemory& operator=(const SampleMemory&) = delete;
    ~SampleMemory();

    // False, with nothing changed, when the memory cannot be had or would not fit in 32 bits.
    bool Resize(int64_t bytes);
    uint8_t* Data() const { return data_; }
    int64_t Size() const { return size_; }
    // Hands the memory over to the caller, who frees it with std::free.
    uint8_t* Release();

private:
    uint8_t* data_ = nullptr;
    int64_t size_ = 0;
};

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
    // A sample over the whole of `memory`, which it takes over; none (the memory left with the
    // caller) when the format is unknown, the rate negative or the memory not whole frames.
    static Ref<TAudioSample> Create(SampleMemory& memory, int32_t hertz, int32_t format);

    ~TAudioSample() override;

private:
    uint8_t* memory_ = nullptr;
};

inline Ref<TAudioSample> CreateAudioSample(int32_t length, int32_t hertz, int32_t format) {
    return TAudioSample::Create(length, hertz, format);
}

}  // namespace fw

#include "platform/audio/TAudioSample.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace fw {

namespace {

constexpr int32_t kChannels[] = {0, 1, 1, 1, 2, 2, 2};
constexpr int32_t kBytesPerFrame[] = {0, 1, 2, 2, 2, 4, 4};

bool Known(int32_t format) {
    return format >= 0 && format <= SF_STEREO16BE;
}

}  // namespace

int32_t ChannelsPerSample(int32_t format) {
    return Known(format) ? kChannels[format] : 0;
}

int32_t BytesPerSample(int32_t format) {
    return Known(format) ? kBytesPerFrame[format] : 0;
}

SampleMemory::~SampleMemory() {
    std::free(data_);
}

bool SampleMemory::Resize(int64_t bytes) {
    if (bytes < 0 || bytes > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    uint8_t* data = data_;
    if (bytes == 0) {
        std::free(data_);
        data = nullptr;
    } else if (data_ == nullptr) {
        // Large blocks come as fresh pages: zero without being written, and resident only once
        // something is stored in them.
        data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
    } else if (bytes != size_) {
        // Large blocks are remapped rather than copied, so growing never holds two of them.
        data = static_cast<uint8_t*>(std::realloc(data_, static_cast<size_t>(bytes)));
        if (data != nullptr && bytes > size_) {
            std::memset(data + size_, 0, static_cast<size_t>(bytes - size_));
        }
    }
    if (bytes > 0 && data == nullptr) {
        return false;
    }
    data_ = data;
    size_ = bytes;
    return true;
}

uint8_t* SampleMemory::Release() {
    uint8_t* const data = data_;
    data_ = nullptr;
    size_ = 0;
    return data;
}

Ref<TAudioSample> TAudioSample::Create(int32_t length, int32_t hertz, int32_t format) {
    if (length < 0) {
        return Ref<TAudioSample>();
    }
    SampleMemory memory;
    if (!memory.Resize(static_cast<int64_t>(length) * BytesPerSample(format))) {
        return Ref<TAudioSample>();
    }
    return Create(memory, hertz, format);
}

Ref<TAudioSample> TAudioSample::Create(SampleMemory& memory, int32_t hertz, int32_t format) {
    const int32_t frameBytes = BytesPerSample(format);
    if (format < SF_MONO8 || frameBytes == 0 || hertz < 0 || memory.Size() % frameBytes != 0) {
        return Ref<TAudioSample>();
    }
    Ref<TAudioSample> sample = New<TAudioSample>();
    sample->format = format;
    sample->hertz = hertz;
    sample->length = static_cast<int32_t>(memory.Size() / frameBytes);
    sample->capacity = static_cast<int32_t>(memory.Size());
    sample->memory_ = memory.Release();
    sample->samples = sample->memory_;
    return sample;
}

TAudioSample::~TAudioSample() {
    std::free(memory_);
}

}  // namespace fw

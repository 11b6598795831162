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

Ref<TAudioSample> TAudioSample::Create(int32_t length, int32_t hertz, int32_t format) {
    const int64_t bytes = static_cast<int64_t>(length) * BytesPerSample(format);
    if (format < SF_MONO8 || !Known(format) || length < 0 || hertz < 0 ||
        bytes > std::numeric_limits<int32_t>::max()) {
        return Ref<TAudioSample>();
    }
    Ref<TAudioSample> sample = New<TAudioSample>();
    sample->format = format;
    sample->hertz = hertz;
    if (!sample->Resize(length)) {
        return Ref<TAudioSample>();
    }
    return sample;
}

TAudioSample::~TAudioSample() {
    std::free(memory_);
}

bool TAudioSample::Resize(int32_t frames) {
    const int64_t bytes = static_cast<int64_t>(frames) * BytesPerSample(format);
    if (frames < 0 || bytes > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    uint8_t* memory = memory_;
    if (bytes == 0) {
        std::free(memory_);
        memory = nullptr;
    } else if (memory_ == nullptr) {
        // Large blocks come as fresh pages: zero without being written, and resident only once
        // something is stored in them.
        memory = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
    } else if (bytes != capacity) {
        // Large blocks are remapped rather than copied, so growing never holds two of them.
        memory = static_cast<uint8_t*>(std::realloc(memory_, static_cast<size_t>(bytes)));
        if (memory != nullptr && bytes > capacity) {
            std::memset(memory + capacity, 0, static_cast<size_t>(bytes - capacity));
        }
    }
    if (bytes > 0 && memory == nullptr) {
        return false;
    }
    memory_ = memory;
    samples = memory;
    length = frames;
    capacity = static_cast<int32_t>(bytes);
    return true;
}

}  // namespace fw

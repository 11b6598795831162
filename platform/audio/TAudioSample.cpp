#include "platform/audio/TAudioSample.h"

#include <limits>
#include <new>

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
    try {
        sample->memory_.assign(static_cast<size_t>(bytes), 0);
    } catch (const std::bad_alloc&) {
        return Ref<TAudioSample>();
    }
    sample->samples = sample->memory_.data();
    sample->length = length;
    sample->hertz = hertz;
    sample->format = format;
    sample->capacity = static_cast<int32_t>(bytes);
    return sample;
}

}  // namespace fw

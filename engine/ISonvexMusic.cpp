#include "engine/ISonvexMusic.h"

#include "engine/Units.h"

int32_t ISonvexMusic::BytesPerFrame() const {
    return ::BytesPerFrame(Bits, Channels);
}

int32_t ISonvexMusic::GetLength(int32_t unit) {
    return BytesToUnit(Length, unit, SampleRate, BytesPerFrame());
}

int32_t ISonvexMusic::GetPosition(int32_t unit) {
    return BytesToUnit(Position, unit, SampleRate, BytesPerFrame());
}

int32_t ISonvexMusic::GetStatus() {
    return Status;
}

void ISonvexMusic::SetStatus(int32_t status) {
    Status = status;
}

int32_t ISonvexMusic::GetChannels() {
    return Channels;
}

int32_t ISonvexMusic::GetBits() {
    return Bits;
}

int32_t ISonvexMusic::GetSampleRate() {
    return SampleRate;
}

int32_t ISonvexMusic::GetLoopMode() {
    return LoopMode;
}

void ISonvexMusic::SetLoopMode(int32_t mode) {
    LoopMode = mode;
}

int32_t ISonvexMusic::IsSeekable() {
    return Seekable;
}

void ISonvexMusic::AddRef() {
    RefCount.fetch_add(1, std::memory_order_relaxed);
}

void ISonvexMusic::Release() {
    // acq_rel: whatever the other holders wrote happens before the deleter runs.
    if (RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0) {
        if (Deleter != nullptr) {
            Deleter(this);
        }
    }
}

int32_t ISonvexMusic::GetRefCount() {
    return RefCount.load(std::memory_order_relaxed);
}

void Sonvex_ExportMusic(ISonvexMusic* /*music*/, const char* /*path*/) {}

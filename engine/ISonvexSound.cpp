#include "engine/ISonvexSound.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "engine/DebugLog.h"

namespace {

// The loop state a fill works with, read once per fill. 64-bit so that position + count and
// start + length never overflow.
struct LoopState {
    int64_t length;
    int64_t start;
    int64_t end;
    bool startInData;   // LoopStart names a place inside the data and the range is not empty
    bool range;         // LoopMode 1 and a range that lies wholly inside the data
};

LoopState ReadLoop(const ISonvexMusic& m) {
    LoopState s{};
    s.length = std::max<int64_t>(m.Length, 0);
    s.start = m.LoopStart;
    s.end = s.start + m.LoopLength;
    s.startInData = m.LoopLength > 0 && s.start >= 0 && s.start < s.length;
    s.range = m.LoopMode == 1 && s.startInData && s.end <= s.length;
    return s;
}

// A sound may have no block at all, and memcpy must not see its null pointer even for nothing.
void CopyOut(uint8_t* dest, const uint8_t* data, int64_t from, int64_t count) {
    if (count > 0) {
        std::memcpy(dest, data + from, static_cast<size_t>(count));
    }
}

}  // namespace

ISonvexSound::ISonvexSound() {
    Deleter = &ISonvexSound::Destroy;
    Mutex.Create();
}

ISonvexSound::~ISonvexSound() {
    DebugLog("~ISonvexSound");
    Mutex.Close();
    Data = nullptr;
}

void ISonvexSound::Destroy(ISonvexMusic* sound) {
    delete static_cast<ISonvexSound*>(sound);
}

int32_t ISonvexSound::FillBuffer(uint8_t* dest, int32_t bytes) {
    if (dest == nullptr || bytes <= 0) {
        return 0;
    }
    SonvexLockGuard lock(Mutex);
    return PlaybackRate < 0.0 ? FillBackward(dest, bytes) : FillForward(dest, bytes);
}

int32_t ISonvexSound::FillForward(uint8_t* dest, int32_t bytes) {
    const LoopState loop = ReadLoop(*this);
    const bool advance = PlaybackRate > 0.0;
    int64_t delivered = 0;
    int32_t emptyWraps = 0;   // wraps in a row that copied nothing: the data cannot loop
    while (delivered < bytes) {
        int64_t pos = std::max<int64_t>(Position, 0);
        if (pos > loop.length) {
            if (LoopMode == 0) {
                Status = 0;
                break;
            }
            pos = loop.startInData ? loop.start : 0;
        }
        const int64_t want = bytes - delivered;
        const int64_t end = pos + want;
        int64_t copied = 0;
        if (loop.range && pos <= loop.end && end >= loop.end) {
            copied = loop.end - pos;
            CopyOut(dest + delivered, Data, pos, copied);
            Position = static_cast<int32_t>(loop.start);
        } else if (end < loop.length) {
            CopyOut(dest + delivered, Data, pos, want);
            Position = static_cast<int32_t>(advance ? end : pos);
            delivered += want;
            break;
        } else {
            copied = loop.length - pos;
            CopyOut(dest + delivered, Data, pos, copied);
            if (LoopMode == 0) {
                Position = 0;
                Status = 0;
                delivered += copied;
                break;
            }
            // Played on from behind the loop range to the end: back into the loop.
            Position = static_cast<int32_t>(loop.range && pos > loop.end ? loop.start : 0);
        }
        delivered += copied;
        emptyWraps = copied > 0 ? 0 : emptyWraps + 1;
        if (emptyWraps >= 2) {
            Status = 0;
            break;
        }
    }
    return static_cast<int32_t>(delivered);
}

int32_t ISonvexSound::FillBackward(uint8_t* dest, int32_t bytes) {
    // The delivered stretch must be in stored order, with the part nearest the current place
    // last: the converter plays the window from its end. So the destination fills from its end.
    const LoopState loop = ReadLoop(*this);
    int64_t pos = std::clamp<int64_t>(Position, 0, loop.length);
    int64_t remaining = bytes;
    int32_t emptyWraps = 0;
    while (remaining > 0) {
        // Behind a loop range, play back down into it; inside it, down to its start.
        int64_t floor = 0;
        if (loop.range && pos > loop.end) {
            floor = loop.end;
        } else if (loop.range && pos >= loop.start) {
            floor = loop.start;
        }
        if (pos <= floor) {
            if (LoopMode == 0) {
                Status = 0;
                break;
            }
            pos = loop.range ? loop.end : loop.length;
            if (++emptyWraps >= 2) {
                Status = 0;
                break;
            }
            continue;
        }
        const int64_t k = std::min(remaining, pos - floor);
        CopyOut(dest + remaining - k, Data, pos - k, k);
        pos -= k;
        remaining -= k;
        emptyWraps = 0;
    }
    Position = static_cast<int32_t>(pos);
    const int64_t delivered = bytes - remaining;
    if (remaining > 0) {
        // Stopped at the start of the data: what arrived goes to the front, silence behind it
        // (unsigned 8-bit silence is 128).
        std::memmove(dest, dest + remaining, static_cast<size_t>(delivered));
        std::memset(dest + delivered, Bits == 8 ? 0x80 : 0, static_cast<size_t>(remaining));
    }
    return static_cast<int32_t>(delivered);
}

int32_t ISonvexSound::Seek(int32_t position, int32_t /*unit*/) {
    const int64_t place = std::max<int64_t>(static_cast<int64_t>(position) * BytesPerFrame(), 0);
    if (place <= std::max(Length, 0)) {
        Position = static_cast<int32_t>(place);
        return Position;
    }
    if (LoopMode != 0) {
        const LoopState loop = ReadLoop(*this);
        Position = static_cast<int32_t>(loop.startInData ? loop.start : 0);
        return Position;
    }
    // Stays past the end, so the next fill delivers nothing.
    Position = static_cast<int32_t>(std::min<int64_t>(place, std::numeric_limits<int32_t>::max()));
    Status = 0;
    return 0;
}

ISonvexSound* Sonvex_CreateSound(int32_t channels, int32_t bits, int32_t sampleRate, int32_t length,
                                 const uint8_t* data, int32_t flags) {
    DebugLogInt("Sonvex_CreateSound ", length);
    auto* sound = new (std::nothrow) ISonvexSound;
    if (sound == nullptr) {
        return nullptr;
    }
    sound->Channels = channels;
    sound->Bits = bits;
    sound->SampleRate = sampleRate;
    // No block, no data: a sound never reads through a null pointer.
    sound->Length = data != nullptr && length > 0 ? length : 0;
    sound->Data = data;
    sound->Status = 0;
    sound->SetStatus(0);
    if ((flags & 1) != 0) {
        sound->LoopMode = 1;
    }
    return sound;
}

void Sonvex_DeleteSound(ISonvexSound* sound) {
    ISonvexSound::Destroy(sound);
}

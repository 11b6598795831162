#include "engine/players/WavPlayer.h"

#include <algorithm>

#include "engine/DebugLog.h"
#include "engine/Units.h"

WavPlayer::WavPlayer() {
    Deleter = &WavPlayer::Destroy;
}

WavPlayer::~WavPlayer() {
    DebugLog("~WavPlayer");
    Position = 0;
    if (Stream != nullptr) {
        Sonvex_DeleteStream(Stream);
        Stream = nullptr;
    }
}

void WavPlayer::Destroy(ISonvexMusic* music) {
    delete static_cast<WavPlayer*>(music);
}

void WavPlayer::Close() {
    Position = 0;
}

void WavPlayer::Rewind() {
    Position = 0;
    StreamPos = Stream->Seek(DataStart);
}

int32_t WavPlayer::FillBuffer(uint8_t* dest, int32_t bytes) {
    if (bytes <= 0 || Status == 0 || dest == nullptr || Stream == nullptr) {
        return 0;
    }
    // The channel writes its own copy of Position before every fill, so that, not the stream,
    // says where playing goes on.
    int32_t position = std::clamp<int32_t>(Position, 0, Playable);
    int32_t delivered = 0;
    // A looping pass that yields nothing (empty data) must not spin on the audio thread.
    bool passHadData = true;
    while (bytes > 0) {
        const int32_t target = DataStart + position;
        if (StreamPos != target) {
            StreamPos = Stream->Seek(target);
        }
        const int32_t want = StreamPos == target ? std::min(bytes, Playable - position) : 0;
        const int32_t got = want > 0 ? Stream->Read(dest, want) : 0;
        if (got > 0) {
            dest += got;
            bytes -= got;
            delivered += got;
            position += got;
            StreamPos += got;
            Position = position;
            passHadData = true;
        }
        if (want > 0 && got == want && position < Playable) {
            continue;
        }
        // The end of the data, or a stream that ended sooner than its size promised.
        Rewind();
        position = 0;
        if (LoopMode == 0 || !passHadData) {
            Status = 0;
            return delivered;
        }
        passHadData = false;
    }
    return delivered;
}

int32_t WavPlayer::Seek(int32_t position, int32_t unit) {
    const int32_t frameBytes = BytesPerFrame();
    if (Stream == nullptr || frameBytes <= 0) {
        return 0;
    }
    // Before the start is the start; past the end is the end, where the next fill rewinds.
    const int64_t frame = std::clamp<int64_t>(SeekFrame(position, unit, frameBytes), 0, Playable / frameBytes);
    const int32_t bytes = static_cast<int32_t>(frame * frameBytes);
    DebugLogInt("Wav seek to:", DataStart + bytes);
    const int32_t result = Stream->Seek(DataStart + bytes);
    StreamPos = result;
    Status = 1;
    Position = bytes;
    return result;
}

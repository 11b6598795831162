#pragma once
// The interface of every playable source: WAV, FLAC, Ogg Vorbis and tracker players and the
// in-memory sound. A source delivers interleaved PCM in its own format, keeps its play position
// in bytes, and carries the block of play state below that its channel writes before each fill.
//
// There is no virtual destructor: a source is destroyed only through its Deleter, when the last
// Release drops the reference count to zero. Slot order matters; new virtual operations of a
// concrete source go after PlayMusicOnChannel.

#include <atomic>
#include <cstdint>

#include "engine/Relaxed.h"

class ISonvexChannel;

class ISonvexMusic {
public:
    using DeleterFn = void (*)(ISonvexMusic*);

    // Base data: positions, lengths and loop bounds are in bytes. The format fields are set by
    // the loader before the source is shared; the play state is exchanged with the channel's
    // thread and so is read and written without tearing.
    int32_t SampleRate = 0;
    int32_t Channels = 0;
    int32_t Bits = 0;
    int32_t Length = 0;
    int32_t Seekable = 0;
    Relaxed<int32_t> Position{0};
    Relaxed<int32_t> LoopMode{0};
    Relaxed<int32_t> LoopStart{0};
    Relaxed<int32_t> LoopLength{0};
    Relaxed<int32_t> Status{0};
    // Counted from the main thread and, when the mixer reaps a channel, from the audio thread.
    std::atomic<int32_t> RefCount{0};
    Relaxed<double> PlaybackRate{0.0};
    DeleterFn Deleter = nullptr;

    ISonvexMusic() = default;
    ISonvexMusic(const ISonvexMusic&) = delete;
    ISonvexMusic& operator=(const ISonvexMusic&) = delete;

    virtual int32_t FillBuffer(uint8_t* dest, int32_t bytes) = 0;                   // 0
    virtual int32_t Seek(int32_t position, int32_t unit) = 0;                      // 1
    virtual int32_t GetLength(int32_t unit);                                       // 2
    virtual int32_t GetPosition(int32_t unit);                                     // 3
    virtual int32_t GetStatus();                                                   // 4
    virtual void SetStatus(int32_t status);                                        // 5
    virtual int32_t GetChannels();                                                 // 6
    virtual int32_t GetBits();                                                     // 7
    virtual int32_t GetSampleRate();                                               // 8
    virtual int32_t GetLoopMode();                                                 // 9
    virtual void SetLoopMode(int32_t mode);                                        // 10
    virtual int32_t IsSeekable();                                                  // 11
    virtual void AddRef();                                                         // 12
    virtual void Release();                                                        // 13
    virtual int32_t GetRefCount();                                                 // 14
    virtual ISonvexChannel* PlayMusicOnChannel(ISonvexChannel* channel);           // 15

    // (Bits / 8) x Channels.
    int32_t BytesPerFrame() const;

protected:
    ~ISonvexMusic() = default;
};

// Accepts a source and a path and does nothing: there is no exporter.
void Sonvex_ExportMusic(ISonvexMusic* music, const char* path);

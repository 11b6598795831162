#pragma once
// One playing instance of a music source: its own copy of the play state, volume, rate, loop
// range, lock and format converter. The mixer calls Mix on the audio thread; everything else
// comes from the main thread. Slot order matters (the framework layer calls by position).
//
// No virtual destructor: the mixer's reaping calls the destructor directly; a derived channel
// adds its own virtual destructor after Run.

#include <atomic>
#include <cstdint>

#include "engine/Relaxed.h"
#include "engine/SonvexMutex.h"

class ISonvexMusic;
class ChannelConverter;

class ISonvexChannel {
public:
    ISonvexMusic* Music = nullptr;
    SonvexMutex* Mutex = nullptr;
    ChannelConverter* Converter = nullptr;
    int32_t SampleRate = 0;
    int32_t Channels = 0;
    int32_t Bits = 0;
    int32_t Length = 0;
    Relaxed<int32_t> Position{0};
    Relaxed<int32_t> LoopMode{0};
    Relaxed<int32_t> LoopStart{0};
    Relaxed<int32_t> LoopLength{0};
    Relaxed<int32_t> PlayingFlag{0};
    // Stored with release by Sonvex_ReleaseChannel and read with acquire by Reap, so everything
    // the owner did to the channel happens before the mixer destroys it.
    std::atomic<int32_t> ReleaseFlag{0};
    Relaxed<float> Volume{1.0f};
    Relaxed<float> Rate{1.0f};
    // Where the source ended without looping, in bytes, or -1. The source has rewound by then
    // (so that playing again starts from the beginning), but the channel still sounds its last
    // window and then stands at the end: positions are answered from here until it plays again
    // or seeks.
    Relaxed<int32_t> EndPosition{-1};
    // A fill at a negative step moved the source forward: it reads forward whatever the rate (a
    // streamed file), so at its end it stands at the end of its data, not where it rewound to.
    // Learned by Mix, forgotten when another source is bound.
    bool SourceReadsForward = false;

    ISonvexChannel();
    ~ISonvexChannel();
    ISonvexChannel(const ISonvexChannel&) = delete;
    ISonvexChannel& operator=(const ISonvexChannel&) = delete;

    virtual void Stop();                                            // 0
    virtual void SetPaused(int32_t paused);                         // 1
    virtual void SetVolume(float volume);                           // 2
    virtual void SetPan(float pan);                                 // 3
    virtual void SetDepth(float depth);                             // 4
    virtual void SetRate(float rate);                               // 5
    virtual int32_t Playing();                                      // 6
    virtual int32_t GetPosition(int32_t unit);                      // 7
    virtual int32_t GetLength(int32_t unit);                        // 8
    virtual void Seek(int32_t position, int32_t unit);              // 9
    virtual int32_t GetLoopMode();                                  // 10
    virtual void SetLoopMode(int32_t mode);                         // 11
    virtual void SetLoopRange(int32_t start, int32_t length);       // 12
    virtual void GetLevels(double* left, double* right);            // 13
    virtual int32_t IsSeekable();                                   // 14
    virtual int32_t Mix(float* out, int32_t frames);                // 15
    virtual int32_t Run();                                          // 16

    // (Bits / 8) x Channels, from the channel's own copies.
    int32_t BytesPerFrame() const;

    // Released by its owner and stopped: nothing will fill it again, and the mixer may free it.
    bool Done() const;
    // For the mixer: destroys and frees a released channel that has stopped; true when it did.
    bool Reap();
};

void Sonvex_SetChannelRateAdjuster(ISonvexChannel* channel, double delta);
void Sonvex_ReleaseChannel(ISonvexChannel* channel);

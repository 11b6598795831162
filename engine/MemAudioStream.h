#pragma once
// A channel that does not play: it decodes its source into caller memory on a thread of its own,
// 44,100 bytes a step, from the source's position until a fill comes back short or the channel is
// stopped. It is never on the mixer's list; its owner destroys it (Sonvex_DeleteMemAudioStream),
// which stops the thread first.
//
// The caller's memory must hold the source's remaining bytes plus one step: a fill may write a
// whole step at Destination. That is all a fill is ever given: a source that delivers more than
// its length says (a header that understates it) ends there.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/ISonvexChannel.h"
#include "engine/SonvexThread.h"

class MemAudioStream final : public ISonvexChannel {
public:
    SonvexThread* Thread = nullptr;
    std::atomic<int32_t> StopFlag{0};
    int32_t Step = 44100;
    uint8_t* Destination = nullptr;

    MemAudioStream(ISonvexMusic* music, uint8_t* destination);

    // Stops decoding and waits for the thread; a second call returns at once. Never from the
    // decoding thread itself.
    void Stop() override;                                           // 0
    void SetPaused(int32_t paused) override;                        // 1
    void SetVolume(float volume) override;                          // 2
    void SetPan(float pan) override;                                // 3
    void SetDepth(float depth) override;                            // 4
    void SetRate(float rate) override;                              // 5
    // 1 until decoding has ended, paused or not.
    int32_t Playing() override;                                     // 6
    // How far decoding has got, from the source.
    int32_t GetPosition(int32_t unit) override;                     // 7
    void Seek(int32_t position, int32_t unit) override;             // 9
    int32_t Run() override;                                         // 16
    virtual ~MemAudioStream();                                      // 17, 18
    // One decoding step.
    virtual void Pump();                                            // 19

    // Passes the decoding thread has made through its loop; for the tests of an idle thread.
    int64_t Passes() const { return passes_.load(std::memory_order_relaxed); }

    // True while a memory-decoding channel fills this source: nothing else may fill or seek it
    // until that decode has ended. Once it answers false no fill of the decode is under way or
    // to come. A caller that acts on the answer holds the engine lock, under which decodes are
    // made.
    static bool Decodes(const ISonvexMusic* music);

private:
    // Paused, or the source has stopped: the thread sleeps here until something changes.
    void WaitWhileIdle();
    void Wake();

    std::mutex idleLock_;
    std::condition_variable idleChanged_;
    std::atomic<int64_t> passes_{0};
    // Bytes of the caller's memory not yet written.
    int64_t room_ = 0;
};

// A memory-decoding channel over the source, decoding at once; it holds a reference on the source.
ISonvexChannel* Sonvex_CreateMemAudioStream(ISonvexMusic* music, uint8_t* destination);
// Stops and destroys it; null is ignored.
void Sonvex_DeleteMemAudioStream(ISonvexChannel* channel);

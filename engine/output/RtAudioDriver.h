#pragma once
// The output driver over RtAudio: the default output device as an output-only stream of
// interleaved stereo 32-bit float at 44100 Hz in 1024-frame buffers. RtAudio's callback thread
// runs the mixer once per buffer; everything else runs on the main thread.
//
// Failures are answered, never thrown: a Startup that finds no device, or that RtAudio refuses
// with an RtAudioError, answers 0 and leaves the driver ready to try again; the next Startup then
// looks for the device anew, since RtAudio keeps to the API it found (or did not find) devices on
// when it was made, and a sound server may have started since. A running stream that
// fails (the sound server goes away) stops being mixed at RtAudio's first error report; the
// driver's watcher thread then closes it, and the next Startup opens a new one.

#include <RtAudio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/output/ISonvexAudioDriver.h"

class RtAudioDriver final : public ISonvexAudioDriver {
public:
    // Nominal format; the stream itself is float and nothing reads these three.
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t bits = 16;
    // Made again whenever a Startup looks for the device anew.
    std::unique_ptr<RtAudio> audio;
    // All zero (nChannels 0) when the constructor found no output device.
    RtAudio::StreamParameters outputParams{};
    RtAudio::StreamOptions options{};
    uint32_t bufferFrames = 0;
    // Main thread only.
    // shutDown: 1 from a Shutdown until the next Startup that gets the stream running.
    // started: 1 once a Startup has got the stream running; never cleared.
    int32_t shutDown = 0;
    int32_t started = 0;
    // 1 from RtAudio's first error report on the running stream until a Startup gets a new one
    // running; the callback then mixes nothing, so the channels stay where they were.
    std::atomic<int32_t> failed{0};

    RtAudioDriver();
    ~RtAudioDriver() override;
    RtAudioDriver(const RtAudioDriver&) = delete;
    RtAudioDriver& operator=(const RtAudioDriver&) = delete;

    // Opens and starts the stream: 1 when it runs (at once if it already runs, again after a
    // Shutdown or a failure), 0 when there is no device or RtAudio refuses; the reason then goes
    // to the debug log and to standard error.
    int32_t Startup() override;
    // Closes the stream if one is open; always 1.
    int32_t Shutdown() override;
    void CreateSound() override;
    std::string LastError() const override;
    int32_t Failed() const override { return failed.load(); }

private:
    void ReportStartupFailure(const std::string& reason);
    // The device count of `audio`, with outputParams and bufferFrames set for its default output
    // device when there is one.
    uint32_t FindDevice();
    // RtAudio's error callback. It carries no user data: the driver is the one whose stream
    // thread reports, as the audio callback noted it there.
    static void OnStreamError(RtAudioError::Type type, const std::string& text);
    // The watcher thread: closes a failed stream, off the audio thread that RtAudio joins.
    void WatchOutput();

    // Every call on `audio` from the main thread and the watcher, one at a time. Never taken on
    // the audio thread: closing a stream waits for that thread.
    std::mutex rtAudioLock;
    // Guards what follows; the watcher waits on it.
    mutable std::mutex stateLock;
    std::condition_variable stateChanged;
    // Why the last Startup failed or the running stream failed; empty while it runs.
    std::string lastError;
    bool failurePending = false;
    // Main thread only: the last Startup failed, so the next one looks for the device anew.
    bool lookAgain = false;
    bool watcherQuit = false;
    std::thread watcher;
};

// RtAudio's stream callback: mixes one buffer in place and keeps the stream running. Once the
// driver passed as user data has failed it gives silence at the pace of the device instead, so
// the stream thread does not spin until the watcher has closed it.
int AudioCallback(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                  RtAudioStreamStatus status, void* userData);

// A new RtAudio driver; release it with Sonvex_DeleteAudioDriver.
ISonvexAudioDriver* Sonvex_CreateRtAudioDriver();

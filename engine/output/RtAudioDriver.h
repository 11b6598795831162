#pragma once
// The output driver over RtAudio: the default output device as an output-only stream of
// interleaved stereo 32-bit float at 44100 Hz in 1024-frame buffers. RtAudio's callback thread
// runs the mixer once per buffer; everything else runs on the main thread.
//
// Failures are answered, never thrown: a Startup that finds no device, or that RtAudio refuses
// with an RtAudioError, answers 0 and leaves the driver ready to try again.

#include <RtAudio.h>

#include <cstdint>

#include "engine/output/ISonvexAudioDriver.h"

class RtAudioDriver final : public ISonvexAudioDriver {
public:
    // Nominal format; the stream itself is float and nothing reads these three.
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    int32_t bits = 16;
    RtAudio audio{RtAudio::UNSPECIFIED};
    // All zero (nChannels 0) when the constructor found no output device.
    RtAudio::StreamParameters outputParams{};
    RtAudio::StreamOptions options{};
    uint32_t bufferFrames = 0;
    // Main thread only: the callback reads nothing of the driver.
    // shutDown: 1 from a Shutdown until the next Startup that gets the stream running.
    // started: 1 once a Startup has got the stream running; never cleared.
    int32_t shutDown = 0;
    int32_t started = 0;
    // Why the last Startup failed; empty once one worked.
    std::string lastError;

    RtAudioDriver();
    ~RtAudioDriver() override;
    RtAudioDriver(const RtAudioDriver&) = delete;
    RtAudioDriver& operator=(const RtAudioDriver&) = delete;

    // Opens and starts the stream: 1 when it runs (at once if it already runs, again after a
    // Shutdown), 0 when there is no device or RtAudio refuses; the reason then goes to the debug
    // log and to standard error.
    int32_t Startup() override;
    // Closes the stream if one is open; always 1.
    int32_t Shutdown() override;
    void CreateSound() override;
    std::string LastError() const override { return lastError; }

private:
    void ReportStartupFailure(const std::string& reason);
};

// RtAudio's stream callback: mixes one buffer in place and keeps the stream running.
int AudioCallback(void* outputBuffer, void* inputBuffer, unsigned int frames, double streamTime,
                  RtAudioStreamStatus status, void* userData);

// A new RtAudio driver; release it with Sonvex_DeleteAudioDriver.
ISonvexAudioDriver* Sonvex_CreateRtAudioDriver();

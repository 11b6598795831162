#include "engine/output/RtAudioDriver.h"

#include <iostream>

#include "engine/DebugLog.h"
#include "engine/Mixer.h"

namespace {

constexpr uint32_t kOutputRate = 44100;
constexpr uint32_t kOutputChannels = 2;
constexpr uint32_t kBufferFrames = 1024;

}  // namespace

// A driver that cannot start leaves the program silent; say why where a user will see it, and
// keep the reason for a program that tells its user itself.
void RtAudioDriver::ReportStartupFailure(const std::string& reason) {
    lastError = reason;
    DebugLogPair("RtAudioDriver::Startup failed:", reason);
    std::cerr << "RtAudioDriver::Startup failed: " << reason << std::endl;
}

RtAudioDriver::RtAudioDriver() {
    DebugLog("RtAudioDriver::RtAudioDriver");
    const uint32_t count = audio.getDeviceCount();
    if (count == 0) {
        DebugLog("No audio output device found!");
        return;
    }
    DebugLogInt("Audio drivers found=", static_cast<int32_t>(count));
    outputParams.deviceId = audio.getDefaultOutputDevice();
    outputParams.nChannels = kOutputChannels;
    outputParams.firstChannel = 0;
    bufferFrames = kBufferFrames;
}

RtAudioDriver::~RtAudioDriver() {
    DebugLog("~RtAudioStream");
    if (shutDown == 0) {
        Shutdown();
    }
}

int32_t RtAudioDriver::Startup() {
    if (started == 1 && shutDown == 0) {
        return 1;
    }
    DebugLog("RtAudioDriver::Startup");
    if (outputParams.nChannels == 0) {
        ReportStartupFailure("No audio output device found!");
        return 0;
    }
    options.flags = RTAUDIO_SCHEDULE_REALTIME;
    options.numberOfBuffers = 3;
    options.priority = 1;
    // openStream may have changed it on an earlier attempt.
    bufferFrames = kBufferFrames;
    try {
        audio.openStream(&outputParams, nullptr, RTAUDIO_FLOAT32, kOutputRate, &bufferFrames,
                         &AudioCallback, this, &options);
        audio.startStream();
    } catch (const RtAudioError& error) {
        // A stream that opened but would not start is closed, so the next Startup can open it.
        if (audio.isStreamOpen()) {
            audio.closeStream();
        }
        ReportStartupFailure(error.getMessage());
        return 0;
    }
    started = 1;
    shutDown = 0;
    lastError.clear();
    return 1;
}

int32_t RtAudioDriver::Shutdown() {
    DebugLog("RtAudioDriver::Shutdown");
    shutDown = 1;
    // Closing no stream only makes RtAudio print a warning.
    if (audio.isStreamOpen()) {
        audio.closeStream();
    }
    return 1;
}

void RtAudioDriver::CreateSound() {
}

int AudioCallback(void* outputBuffer, void* /*inputBuffer*/, unsigned int frames,
                  double /*streamTime*/, RtAudioStreamStatus /*status*/, void* /*userData*/) {
    // An underflow flagged in the status needs nothing: the next buffer is mixed as usual.
    MixOutput(static_cast<float*>(outputBuffer), frames);
    return 0;
}

ISonvexAudioDriver* Sonvex_CreateRtAudioDriver() {
    return new RtAudioDriver();
}

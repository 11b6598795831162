#include "engine/output/RtAudioDriver.h"

#include <algorithm>
#include <chrono>
#include <iostream>

#include "engine/DebugLog.h"
#include "engine/Mixer.h"

namespace {

constexpr uint32_t kOutputRate = 44100;
constexpr uint32_t kOutputChannels = 2;
constexpr uint32_t kBufferFrames = 1024;

// The driver whose stream this thread runs, noted by the audio callback for the error callback.
thread_local RtAudioDriver* streamDriver = nullptr;

}  // namespace

// A driver that cannot start leaves the program silent; say why where a user will see it, and
// keep the reason for a program that tells its user itself.
void RtAudioDriver::ReportStartupFailure(const std::string& reason) {
    {
        std::lock_guard<std::mutex> state(stateLock);
        lastError = reason;
    }
    DebugLogPair("RtAudioDriver::Startup failed:", reason);
    std::cerr << "RtAudioDriver::Startup failed: " << reason << std::endl;
}

uint32_t RtAudioDriver::FindDevice() {
    outputParams = RtAudio::StreamParameters{};
    const uint32_t count = audio->getDeviceCount();
    if (count != 0) {
        outputParams.deviceId = audio->getDefaultOutputDevice();
        outputParams.nChannels = kOutputChannels;
        outputParams.firstChannel = 0;
        bufferFrames = kBufferFrames;
    }
    return count;
}

RtAudioDriver::RtAudioDriver() : audio(std::make_unique<RtAudio>(RtAudio::UNSPECIFIED)) {
    DebugLog("RtAudioDriver::RtAudioDriver");
    const uint32_t count = FindDevice();
    if (count == 0) {
        DebugLog("No audio output device found!");
        return;
    }
    DebugLogInt("Audio drivers found=", static_cast<int32_t>(count));
}

RtAudioDriver::~RtAudioDriver() {
    DebugLog("~RtAudioStream");
    if (shutDown == 0) {
        Shutdown();
    }
    if (watcher.joinable()) {
        {
            std::lock_guard<std::mutex> state(stateLock);
            watcherQuit = true;
        }
        stateChanged.notify_one();
        watcher.join();
    }
}

int32_t RtAudioDriver::Startup() {
    std::lock_guard<std::mutex> lock(rtAudioLock);
    if (started == 1 && shutDown == 0 && failed.load() == 0) {
        return 1;
    }
    DebugLog("RtAudioDriver::Startup");
    if (outputParams.nChannels == 0 || lookAgain) {
        try {
            audio = std::make_unique<RtAudio>(RtAudio::UNSPECIFIED);
        } catch (const RtAudioError& error) {
            ReportStartupFailure(error.getMessage());
            return 0;
        }
        FindDevice();
    }
    if (outputParams.nChannels == 0) {
        ReportStartupFailure("No audio output device found!");
        return 0;
    }
    options.flags = RTAUDIO_SCHEDULE_REALTIME;
    options.numberOfBuffers = 3;
    options.priority = 1;
    // openStream may have changed it on an earlier attempt.
    bufferFrames = kBufferFrames;
    // A failed stream stays open until the watcher gets to it. Once it is closed no callback of
    // it runs, so the new stream starts unfailed.
    if (audio->isStreamOpen()) {
        audio->closeStream();
    }
    const int32_t hadFailed = failed.exchange(0);
    try {
        audio->openStream(&outputParams, nullptr, RTAUDIO_FLOAT32, kOutputRate, &bufferFrames,
                          &AudioCallback, this, &options, &RtAudioDriver::OnStreamError);
        audio->startStream();
    } catch (const RtAudioError& error) {
        // A stream that opened but would not start is closed, so the next Startup can open it.
        if (audio->isStreamOpen()) {
            audio->closeStream();
        }
        // Still down after a failure: the next Startup tries again.
        failed.store(hadFailed);
        lookAgain = true;
        ReportStartupFailure(error.getMessage());
        return 0;
    }
    lookAgain = false;
    started = 1;
    shutDown = 0;
    {
        std::lock_guard<std::mutex> state(stateLock);
        lastError.clear();
    }
    if (!watcher.joinable()) {
        watcher = std::thread(&RtAudioDriver::WatchOutput, this);
    }
    return 1;
}

int32_t RtAudioDriver::Shutdown() {
    DebugLog("RtAudioDriver::Shutdown");
    shutDown = 1;
    std::lock_guard<std::mutex> lock(rtAudioLock);
    // Closing no stream only makes RtAudio print a warning.
    if (audio->isStreamOpen()) {
        audio->closeStream();
    }
    return 1;
}

void RtAudioDriver::CreateSound() {
}

std::string RtAudioDriver::LastError() const {
    std::lock_guard<std::mutex> state(stateLock);
    return lastError;
}

// On the stream thread, inside RtAudio's write with the stream's own lock held: nothing here may
// call back into RtAudio. Every later write of a dead connection fails the same way, so only the
// first report counts.
void RtAudioDriver::OnStreamError(RtAudioError::Type /*type*/, const std::string& text) {
    RtAudioDriver* driver = streamDriver;
    if (driver == nullptr) {
        DebugLogPair("RtAudio:", text);
        return;
    }
    if (driver->failed.exchange(1) != 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> state(driver->stateLock);
        driver->lastError = text;
        driver->failurePending = true;
    }
    driver->stateChanged.notify_one();
}

void RtAudioDriver::WatchOutput() {
    std::unique_lock<std::mutex> state(stateLock);
    for (;;) {
        stateChanged.wait(state, [this] { return failurePending || watcherQuit; });
        if (watcherQuit) {
            return;
        }
        failurePending = false;
        const std::string reason = lastError;
        state.unlock();
        {
            std::lock_guard<std::mutex> lock(rtAudioLock);
            // A Startup may have put a new stream in its place meanwhile.
            if (failed.load() != 0 && audio->isStreamOpen()) {
                audio->closeStream();
            }
        }
        DebugLogPair("RtAudioDriver: output failed, stream closed:", reason);
        state.lock();
    }
}

int AudioCallback(void* outputBuffer, void* /*inputBuffer*/, unsigned int frames,
                  double /*streamTime*/, RtAudioStreamStatus /*status*/, void* userData) {
    float* out = static_cast<float*>(outputBuffer);
    RtAudioDriver* driver = static_cast<RtAudioDriver*>(userData);
    if (driver != nullptr) {
        streamDriver = driver;
        if (driver->failed.load(std::memory_order_relaxed) != 0) {
            std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
            std::this_thread::sleep_for(std::chrono::microseconds(1000000ull * frames / kOutputRate));
            return 0;
        }
    }
    // An underflow flagged in the status needs nothing: the next buffer is mixed as usual.
    MixOutput(out, frames);
    return 0;
}

ISonvexAudioDriver* Sonvex_CreateRtAudioDriver() {
    return new RtAudioDriver();
}

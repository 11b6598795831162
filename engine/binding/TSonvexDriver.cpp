#include "engine/binding/TSonvexDriver.h"

#include <algorithm>
#include <cstring>

#include "engine/DebugLog.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"
#include "engine/binding/SourceKeeper.h"
#include "engine/binding/TSonvexChannel.h"
#include "engine/output/RtAudioDriver.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Collect.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/TMap.h"

namespace sonvex2 {

namespace {

fw::TMap<std::string, fw::Object>& Registry() {
    static auto* registry = new fw::TMap<std::string, fw::Object>;   // lives for the run
    return *registry;
}

fw::Ref<TSonvexDriver>& RtAudioDriverObject() {
    static fw::Ref<TSonvexDriver> driver;
    return driver;
}

// A copy of 16-bit high-byte-first PCM with each sample's bytes swapped.
fw::Ref<fw::TBank> SwappedCopy(const uint8_t* data, int32_t bytes) {
    fw::Ref<fw::TBank> bank = fw::New<fw::TBank>(static_cast<size_t>(bytes));
    uint8_t* out = bank->Buf();
    for (int32_t i = 0; i + 1 < bytes; i += 2) {
        out[i] = data[i + 1];
        out[i + 1] = data[i];
    }
    return bank;
}

}  // namespace

int32_t TSonvexDriver::Startup() {
    return _driver != nullptr ? _driver->Startup() : 0;
}

int32_t TSonvexDriver::Shutdown() {
    return _driver != nullptr ? _driver->Shutdown() : 0;
}

fw::Ref<fw::TSound> TSonvexDriver::CreateSound(const fw::Ref<fw::TAudioSample>& sample, int32_t flags) {
    fw::GCCollect();
    // A rate of 0 or below would never move the sound on: its channel would "play" for ever.
    if (!sample || sample->format < fw::SF_MONO8 || sample->format > fw::SF_STEREO16BE ||
        sample->length < 0 || sample->hertz <= 0) {
        return fw::Ref<fw::TSound>();
    }
    const int32_t channels = fw::ChannelsPerSample(sample->format);
    const int32_t frameBytes = fw::BytesPerSample(sample->format);
    const int32_t bits = frameBytes * (8 / channels);
    const int64_t bytes = static_cast<int64_t>(sample->length) * frameBytes;
    if (bytes > sample->capacity || (bytes > 0 && sample->samples == nullptr)) {
        return fw::Ref<fw::TSound>();
    }
    const uint8_t* data = sample->samples;
    fw::Ref<fw::TBank> swapped;
    if (sample->format == fw::SF_MONO16BE || sample->format == fw::SF_STEREO16BE) {
        swapped = SwappedCopy(data, static_cast<int32_t>(bytes));
        data = swapped->Buf();
    }

    fw::Ref<TSonvexSound> sound = fw::New<TSonvexSound>();
    ISonvexSound* engineSound = Sonvex_CreateSound(channels, bits, sample->hertz,
                                                   static_cast<int32_t>(bytes), data, flags);
    if (engineSound == nullptr) {
        return fw::Ref<fw::TSound>();
    }
    // The engine sound reads the block in place for as long as it lives, which may be longer
    // than the framework sound when a channel still plays it.
    KeepUntilDestroyed(engineSound, sample);
    KeepUntilDestroyed(engineSound, swapped);
    engineSound->AddRef();
    sound->_sound = engineSound;
    sound->_audiosample = sample;
    sound->_loop = (flags & 1) != 0;
    return sound;
}

fw::Ref<fw::TChannel> TSonvexDriver::AllocChannel() {
    fw::GCCollect();
    if (_driver == nullptr) {
        return fw::Ref<fw::TChannel>();
    }
    ISonvexChannel* engine = _driver->AllocChannel();
    if (engine == nullptr) {
        return fw::Ref<fw::TChannel>();
    }
    fw::Ref<TSonvexChannel> channel = fw::New<TSonvexChannel>();
    channel->_channel = engine;
    return channel;
}

fw::Ref<TSonvexDriver> TSonvexRtAudioDriver::Create(const std::string& name) {
    fw::Ref<TSonvexDriver>& driver = RtAudioDriverObject();
    if (!driver) {
        driver = fw::New<TSonvexRtAudioDriver>();
        driver->_driver = Sonvex_CreateRtAudioDriver();
        driver->_name = name;
    }
    return driver;
}

void TSonvexRtAudioDriver::Delete() {
    Sonvex_DeleteAudioDriver(_driver);
    _driver = nullptr;
    TSonvexDriver::Delete();
}

int32_t TSonvexStreamDriver::AddDriver(const fw::Ref<TSonvexDriver>& driver, const std::string& name) {
    if (driver && !name.empty()) {
        Registry().Insert(fw::Lower(name), driver);
    }
    return 0;
}

fw::Ref<TSonvexDriver> TSonvexStreamDriver::Find(const std::string& name) {
    return fw::Cast<TSonvexDriver>(Registry().ValueForKey(fw::Lower(name)));
}

int32_t TSonvexStreamDriver::SetDriver(const std::string& name) {
    fw::Ref<TSonvexDriver> driver = Find(name);
    if (!driver) {
        fw::Notify("Unable to find sonvex2 audio driver \"" + name + "\"", false);
        return 0;
    }
    if (driver->Startup() == 0) {
        fw::Notify("Unable to start sonvex2 audio stream driver \"" + name + "\"", false);
    }
    return 0;
}

int32_t SetDebugLog(int32_t flag) {
    Sonvex_SetDebugLog(flag);
    return 0;
}

int32_t RequestOutputCopy(float* buffer, int32_t frames) {
    Sonvex_RequestOutputCopy(buffer, frames);
    return 0;
}

int32_t SetStreamDriver(const std::string& name) {
    TSonvexStreamDriver::SetDriver(name);
    return 0;
}

// Every engine driver is shut down at exit, the framework's current one or not (SetStreamDriver
// starts drivers behind the framework's back), before the engine frees its channel list.
void ShutDownEngineDrivers() {
    for (const auto& entry : Registry()) {
        fw::Ref<TSonvexDriver> driver = fw::Cast<TSonvexDriver>(entry.second);
        if (driver) {
            driver->Shutdown();
        }
    }
}

}  // namespace sonvex2

#pragma once
// Audio drivers and the driver list. Every driver enters the list, at its head, when it is made,
// so the newest driver of a name is found first. One driver is current at a time: the silent
// driver until SetAudioDriver starts another. At process exit the current driver is shut down
// before anything the engine frees (EndPhase::Drivers).

#include <cstdint>
#include <string>

#include "platform/audio/TAudioSample.h"
#include "platform/audio/TSound.h"
#include "platform/runtime/TList.h"

namespace fw {

class TAudioDriver : public Object {
public:
    TAudioDriver();

    virtual std::string Name() { return std::string(); }
    // Non-zero when the driver runs.
    virtual int32_t Startup() { return 0; }
    virtual int32_t Shutdown() { return 0; }
    virtual Ref<TSound> CreateSound(const Ref<TAudioSample>& /*sample*/, int32_t /*flags*/) {
        return Ref<TSound>();
    }
    virtual Ref<TChannel> AllocChannel() { return Ref<TChannel>(); }
    // The framework's own: a sound over the sample through CreateSound.
    Ref<TSound> LoadSound(const Ref<TAudioSample>& sample, int32_t flags) {
        return sample ? CreateSound(sample, flags) : Ref<TSound>();
    }

protected:
    // Leaves the driver list.
    void Delete() override;
};

// Every driver made so far, newest first.
TList<TAudioDriver>& AudioDrivers();

// Shuts the current driver down, falls back to the silent driver, then starts the first driver
// whose name equals `name` regardless of case: 1 when it started (it is then current), else 0.
int32_t SetAudioDriver(const std::string& name);
// The current driver: the silent one until another has started.
Ref<TAudioDriver> AudioDriver();

}  // namespace fw

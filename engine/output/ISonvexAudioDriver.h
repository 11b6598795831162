#pragma once
// The engine's output-driver interface: the framework-facing driver object starts and stops the
// output through it and asks it for channels. Slot order matters (the binding calls by position).

#include <cstdint>
#include <string>

#include "engine/ChannelList.h"

class ISonvexAudioDriver {
public:
    // 1 when the output runs, 0 when it could not be started.
    virtual int32_t Startup() = 0;                                  // 0
    virtual int32_t Shutdown() = 0;                                 // 1
    // Sounds are made by Sonvex_CreateSound; nothing calls this.
    virtual void CreateSound() = 0;                                 // 2
    // A new channel, already on the mixer's list, with no source and not playing.
    virtual ISonvexChannel* AllocChannel() {                        // 3
        return ::AllocChannel();
    }
    // Last, so slots 0-3 stay put; lets Sonvex_DeleteAudioDriver destroy any driver safely.
    virtual ~ISonvexAudioDriver() = default;                        // 4, 5
    // Why the output does not run, for the user: why the last Startup answered 0, or why the
    // running output failed; empty after a start that worked, until the output fails.
    virtual std::string LastError() const { return std::string(); } // 6
    // 1 from the moment the running output fails until a Startup gets it running again.
    virtual int32_t Failed() const { return 0; }                    // 7
};

// Shuts a running driver down (through its destructor) and frees it. Ignores null.
inline void Sonvex_DeleteAudioDriver(ISonvexAudioDriver* driver) {
    delete driver;
}

#include "app/AudioStart.h"

#include "engine/binding/TSonvexDriver.h"
#include "platform/audio/TAudioDriver.h"
#include "platform/runtime/App.h"

namespace app {

namespace {

// Set once the user knows of the current outage; the output running again clears it.
bool outageTold = false;

fw::Ref<sonvex2::TSonvexDriver> FailedOutput() {
    fw::Ref<sonvex2::TSonvexDriver> driver = fw::Cast<sonvex2::TSonvexDriver>(fw::AudioDriver());
    return driver && driver->Failed() != 0 ? driver : fw::Ref<sonvex2::TSonvexDriver>();
}

}  // namespace

int32_t StartAudioDriver(const std::string& name) {
    const int32_t started = fw::SetAudioDriver(name);
    if (started == 0) {
        fw::Ref<sonvex2::TSonvexDriver> driver = sonvex2::TSonvexStreamDriver::Find(name);
        std::string reason = driver ? driver->LastError() : "there is no such driver";
        if (reason.empty()) {
            reason = "the audio device did not start";
        }
        fw::Notify("Unable to start the audio output \"" + name + "\": " + reason +
                       "\nThe player goes on without sound.",
                   true);
    }
    return started;
}

int32_t OutputFailureToTell() {
    return !outageTold && FailedOutput() ? 1 : 0;
}

void TellOutputFailure() {
    fw::Ref<sonvex2::TSonvexDriver> driver = FailedOutput();
    if (!driver) {
        return;
    }
    // Before the box: its modal loop goes on handling timer ticks.
    outageTold = true;
    fw::Notify("The audio output \"" + driver->Name() + "\" stopped: " + driver->LastError() +
                   "\nPLAY or LOAD starts it again.",
               true);
}

void RestartFailedOutput() {
    fw::Ref<sonvex2::TSonvexDriver> driver = FailedOutput();
    if (driver && driver->Startup() != 0) {
        outageTold = false;
    }
}

}  // namespace app

#include "app/AudioStart.h"

#include "engine/binding/TSonvexDriver.h"
#include "platform/audio/TAudioDriver.h"
#include "platform/runtime/App.h"

namespace app {

namespace {

// The driver StartAudioDriver was asked for.
std::string& WantedOutput() {
    static std::string name;
    return name;
}

// Set once the user knows of the current outage; the output running again clears it.
bool outageTold = false;

fw::Ref<sonvex2::TSonvexDriver> CurrentOutput() {
    return fw::Cast<sonvex2::TSonvexDriver>(fw::AudioDriver());
}

fw::Ref<sonvex2::TSonvexDriver> FailedOutput() {
    fw::Ref<sonvex2::TSonvexDriver> driver = CurrentOutput();
    return driver && driver->Failed() != 0 ? driver : fw::Ref<sonvex2::TSonvexDriver>();
}

std::string WhyNotRunning(const fw::Ref<sonvex2::TSonvexDriver>& driver) {
    const std::string reason = driver ? driver->LastError() : "there is no such driver";
    return reason.empty() ? "the audio device did not start" : reason;
}

}  // namespace

int32_t StartAudioDriver(const std::string& name) {
    WantedOutput() = name;
    const int32_t started = fw::SetAudioDriver(name);
    if (started == 0) {
        fw::Notify("Unable to start the audio output \"" + name + "\": " +
                       WhyNotRunning(sonvex2::TSonvexStreamDriver::Find(name)) +
                       "\nThe player goes on without sound; PLAY or LOAD tries again.",
                   true);
    }
    return started;
}

int32_t OutputRuns() {
    fw::Ref<sonvex2::TSonvexDriver> driver = CurrentOutput();
    return driver && driver->Failed() == 0 ? 1 : 0;
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

int32_t RestartOutput() {
    if (OutputRuns() != 0) {
        return 1;
    }
    // A driver that failed while running is still current; one that never started is not, and
    // is selected anew.
    fw::Ref<sonvex2::TSonvexDriver> driver = FailedOutput();
    if (driver ? driver->Startup() != 0 : fw::SetAudioDriver(WantedOutput()) != 0) {
        outageTold = false;
        return 1;
    }
    if (!driver) {
        driver = sonvex2::TSonvexStreamDriver::Find(WantedOutput());
    }
    outageTold = true;
    fw::Notify("Unable to start the audio output \"" + (driver ? driver->Name() : WantedOutput()) + "\" again: " +
                   WhyNotRunning(driver) + "\nPLAY or LOAD tries again.",
               true);
    return 0;
}

}  // namespace app

#include "app/AudioStart.h"

#include "engine/binding/TSonvexDriver.h"
#include "platform/audio/TAudioDriver.h"
#include "platform/runtime/App.h"

namespace app {

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

}  // namespace app

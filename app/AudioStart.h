#pragma once
// Selecting the engine's output driver at start-up.

#include <cstdint>
#include <string>

namespace app {

// SetAudioDriver with the name; when the driver does not start, the user is told once why,
// through Notify, and the program goes on without sound. Answers SetAudioDriver's result.
int32_t StartAudioDriver(const std::string& name);

}  // namespace app

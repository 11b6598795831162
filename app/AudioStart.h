#pragma once
// Selecting the engine's output driver at start-up, and keeping the user informed when the
// running output fails later (the sound server goes away).

#include <cstdint>
#include <string>

namespace app {

// SetAudioDriver with the name; when the driver does not start, the user is told once why,
// through Notify, and the program goes on without sound. Answers SetAudioDriver's result.
int32_t StartAudioDriver(const std::string& name);

// 1 when the current driver is an engine driver whose running output has failed and the user
// has not been told of this outage yet.
int32_t OutputFailureToTell();
// Tells the user why the output stopped, in the same kind of box as StartAudioDriver, and marks
// the outage told: a later failed restart shows no second box.
void TellOutputFailure();
// Starts a failed output again; once it runs, its next failure is told anew.
void RestartFailedOutput();

}  // namespace app

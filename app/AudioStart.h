#pragma once
// Selecting the engine's output driver at start-up, keeping the user informed when the output
// does not run (it did not start, or the sound server went away later), and trying it again
// when the user asks for sound.

#include <cstdint>
#include <string>

namespace app {

// SetAudioDriver with the name, which PLAY and LOAD try again while the output does not run;
// when the driver does not start, the user is told why through Notify, and the program goes on
// without sound. Answers SetAudioDriver's result.
int32_t StartAudioDriver(const std::string& name);

// 1 when the current driver is an engine driver whose output runs.
int32_t OutputRuns();
// 1 when the current driver is an engine driver whose running output has failed and the user
// has not been told of this outage yet.
int32_t OutputFailureToTell();
// Tells the user why the output stopped, in the same kind of box as StartAudioDriver, and marks
// the outage told.
void TellOutputFailure();
// Starts the output again when it does not run: 1 once it runs. When it stays down the user is
// told why, one box for each call, and the answer is 0.
int32_t RestartOutput();

}  // namespace app

#pragma once
// Process-wide application state: arguments, title, file types, exit handlers and the notify
// call through which messages reach the user.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fw {

enum : int32_t { FILETYPE_NONE = 0, FILETYPE_FILE = 1, FILETYPE_DIR = 2 };

// 0 when nothing is there, 1 for a file, 2 for a directory.
int32_t FileType(const std::string& path);

// The command line, program name first.
std::vector<std::string>& AppArgs();
std::string& AppTitle();
// Records the command line and takes the default title from the program's name.
void StartApp(int argc, char** argv);

// Exit handlers run by phase, whatever order the modules started in: audio drivers are shut down
// (their device threads stopped) before the engine frees what those threads read, and that
// before everything else. Within a phase the last added runs first.
enum class EndPhase : int32_t { Drivers = 0, Engine = 1, Rest = 2 };
void OnEnd(std::function<void()> handler, EndPhase phase = EndPhase::Rest);
// Runs the exit handlers once and ends the process with code 0.
[[noreturn]] void End();
// Runs the exit handlers without ending the process (End's first step; also for tests). A handler
// added while they run (by another handler) runs too, in its phase's turn.
void RunExitHandlers();

// Shows text to the user; `serious` marks an error. Until a GUI installs its own presenter the
// text goes to standard error.
using NotifyPresenter = std::function<void(const std::string& text, bool serious)>;
void SetNotifyPresenter(NotifyPresenter presenter);
void Notify(const std::string& text, bool serious = false);

}  // namespace fw

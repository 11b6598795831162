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

// Handlers run by End, last added first.
void OnEnd(std::function<void()> handler);
// Runs the exit handlers once and ends the process with code 0.
[[noreturn]] void End();
// Runs the exit handlers without ending the process (End's first step; also for tests).
void RunExitHandlers();

// Shows text to the user; `serious` marks an error. Until a GUI installs its own presenter the
// text goes to standard error.
using NotifyPresenter = std::function<void(const std::string& text, bool serious)>;
void SetNotifyPresenter(NotifyPresenter presenter);
void Notify(const std::string& text, bool serious = false);

}  // namespace fw

#pragma once
// The player's start-up and main loop.

#include <cstdint>

#include "app/TApp.h"

namespace app {

// Start-up up to and including the application object, which it answers (the event hook holds it
// too). Runs once; a second call answers none.
fw::Ref<TApp> StartUp();

// One pass of the main loop: waits for an event, then keeps the clip lamp.
void MainLoopStep();
// The clip lamp's part of a pass, after the event has been handled.
void KeepClipIndicator();

// Start-up, then the main loop for ever; the process ends through the window's close event.
[[noreturn]] void MainProgram();
// Records the command line, then MainProgram.
[[noreturn]] void ProgramEntry(int argc, char** argv);

}  // namespace app

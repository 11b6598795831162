#pragma once
// Objects let go on a thread other than the main one (the audio thread, when the mixer reaps a
// channel and its source) are not destroyed there: their Delete steps may take locks the main
// thread holds or free what only the main thread may touch. They wait here until the main thread
// collects them, on demand.

#include "platform/runtime/Object.h"

namespace fw {

// True on the thread that started the program.
bool IsMainThread();

// Drops the handle now on the main thread, otherwise hands it to the next GCCollect.
void ReleaseLater(Ref<Object> object);

// Destroys what other threads let go since the last collection; answers how many handles it
// dropped. Off the main thread it does nothing and answers 0. Every system poll collects, and so
// do the engine's calls that make, cue or release sounds and channels, so nothing waits long.
int32_t GCCollect();

// Type registration: each framework type is registered once, before its first object.
void RegisterType(const char* name);

}  // namespace fw

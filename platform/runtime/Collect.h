#pragma once
// Objects let go on a thread other than the main one (the audio thread, when the mixer reaps a
// channel and its source) are not destroyed there: the audio thread must not run their Delete
// steps under the engine's lock. They wait here until a thread that calls the framework (the main
// one, or the one a program drives the engine from) collects them, on demand.

#include "platform/runtime/Object.h"

namespace fw {

// True on the thread that started the program.
bool IsMainThread();

// Drops the handle now on the main thread, otherwise hands it to the next GCCollect.
void ReleaseLater(Ref<Object> object);

// Destroys what other threads let go since the last collection, on the calling thread; answers
// how many handles it dropped. Every system poll collects, and so do the engine's calls that
// make, cue or release sounds and channels, from whatever thread makes them, so nothing waits
// long. The audio thread never calls it.
int32_t GCCollect();

// Type registration: each framework type is registered once, before its first object.
void RegisterType(const char* name);

}  // namespace fw

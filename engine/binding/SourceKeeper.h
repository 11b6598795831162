#pragma once
// Keeps what an engine source reads in place (a bank, an audio sample's memory) alive until the
// source itself is destroyed, which may be long after the framework object that loaded it has
// gone: a channel can go on playing the source on the audio thread.
//
// The source's Deleter has no context, so the keeper wraps it: the source's own Deleter runs
// first, then the kept objects are let go. When that happens on the audio thread (the mixer
// reaping a channel), they wait for the main thread's next collection (fw::GCCollect) instead of
// running their Delete steps there.

#include "engine/ISonvexMusic.h"
#include "platform/runtime/Object.h"

namespace sonvex2 {

// Call before the source is shared with a channel; a source may keep several objects.
void KeepUntilDestroyed(ISonvexMusic* source, fw::Ref<fw::Object> kept);

}  // namespace sonvex2

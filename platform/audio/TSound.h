#pragma once
// A framework sound: something a driver made from an audio sample, played on channels.

#include "platform/audio/TChannel.h"

namespace fw {

class TSound : public Object {
public:
    // Plays on the given channel (none: a new one) and answers the channel that plays.
    virtual Ref<TChannel> Play(const Ref<TChannel>& /*channel*/) { return Ref<TChannel>(); }
    // As Play, but paused until resumed.
    virtual Ref<TChannel> Cue(const Ref<TChannel>& /*channel*/) { return Ref<TChannel>(); }
};

}  // namespace fw

#pragma once
// An effect: a music source that stands between a channel and the channel's source. The channel
// treats it as its source (writes its play state into it, pulls PCM from it, reads its Position
// back); the effect reads from Input. No effect exists yet: the engine provides the insertion
// (Sonvex_AttachEffect) and nothing more.

#include "engine/ISonvexMusic.h"

class ISonvexEffect : public ISonvexMusic {
public:
    // The source this effect reads from; set by Sonvex_AttachEffect. The reference the channel
    // held on it passes to the effect, which gives it back when it is destroyed.
    ISonvexMusic* Input = nullptr;

    // Called once, under the channel-list lock, when the effect has been put in place.
    virtual void OnAttach() = 0;                                                   // 16

protected:
    ~ISonvexEffect() = default;
};

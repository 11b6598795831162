#pragma once
// The engine's framework sound and channel types, and the module functions for what the
// framework's own channel calls lack (length, seek, position, loop, levels, effects). Each module
// function acts only on a TSonvexChannel: given none or another driver's channel it answers 0
// (-1 for SeekChannel and ChannelSeekable) and does nothing.

#include <cstdint>

#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/binding/TMusic.h"
#include "platform/audio/TAudioSample.h"
#include "platform/audio/TSound.h"

namespace sonvex2 {

class TSonvexChannel;

class TSonvexSound final : public fw::TSound {
public:
    fw::Ref<fw::TAudioSample> _audiosample;
    ISonvexMusic* _sound = nullptr;   // the engine sound; this object holds one reference
    // Made to loop (bit 0 of CreateSound's flags). The engine sound's own flag cannot say so for
    // long: every channel that plays it writes its own over it.
    bool _loop = false;

    fw::Ref<fw::TChannel> Play(const fw::Ref<fw::TChannel>& channel) override;
    // Binds the sound to the channel (reused when it is one of ours, else a new one), paused.
    fw::Ref<fw::TChannel> Cue(const fw::Ref<fw::TChannel>& channel) override;

protected:
    void Delete() override;
};

class TSonvexChannel final : public fw::TChannel {
public:
    fw::Ref<TSonvexSound> _sound;      // while set, this channel holds a reference on its engine sound
    ISonvexChannel* _channel = nullptr;
    fw::Ref<TMusic> _music;            // while set, this channel holds a reference on its source

    int32_t Stop() override;
    int32_t SetPaused(int32_t paused) override;
    int32_t SetVolume(float volume) override;
    int32_t SetPan(float pan) override;
    int32_t SetDepth(float depth) override;
    int32_t SetRate(float rate) override;
    int32_t Playing() override;
    int32_t Lock() { return 0; }
    int32_t Unlock() { return 0; }
    int32_t SetChannelRateAdjuster(double adjustment);

protected:
    void Delete() override;
};

int32_t GetChannelLength(const fw::Ref<fw::TChannel>& channel, int32_t unit);
int32_t SeekChannel(const fw::Ref<fw::TChannel>& channel, int32_t position, int32_t unit);
int32_t ChannelSeekable(const fw::Ref<fw::TChannel>& channel);
int32_t GetChannelPosition(const fw::Ref<fw::TChannel>& channel, int32_t unit);
int32_t GetChannelLoopMode(const fw::Ref<fw::TChannel>& channel);
int32_t SetChannelLoopMode(const fw::Ref<fw::TChannel>& channel, int32_t mode);
// Start and length in frames.
int32_t SetChannelLoopRange(const fw::Ref<fw::TChannel>& channel, int32_t start, int32_t length);
int32_t GetChannelLevels(const fw::Ref<fw::TChannel>& channel, double* left, double* right);
int32_t AttachEffect(const fw::Ref<fw::TChannel>& channel, const fw::Ref<TSonvexEffect>& effect);
int32_t SetMasterVolume(double volume);

}  // namespace sonvex2

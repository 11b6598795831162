#pragma once
// A framework channel: one playing voice of the current audio driver. The channel functions
// below call its operations and do nothing for none.

#include <cstdint>

#include "platform/runtime/Object.h"

namespace fw {

class TChannel : public Object {
public:
    virtual int32_t Stop() { return 0; }
    virtual int32_t SetPaused(int32_t /*paused*/) { return 0; }
    virtual int32_t SetVolume(float /*volume*/) { return 0; }
    virtual int32_t SetPan(float /*pan*/) { return 0; }
    virtual int32_t SetDepth(float /*depth*/) { return 0; }
    virtual int32_t SetRate(float /*rate*/) { return 0; }
    virtual int32_t Playing() { return 0; }
};

void StopChannel(const Ref<TChannel>& channel);
void PauseChannel(const Ref<TChannel>& channel);
void ResumeChannel(const Ref<TChannel>& channel);
void SetChannelVolume(const Ref<TChannel>& channel, float volume);
void SetChannelPan(const Ref<TChannel>& channel, float pan);
void SetChannelDepth(const Ref<TChannel>& channel, float depth);
void SetChannelRate(const Ref<TChannel>& channel, float rate);
// 1 while the channel plays; 0 for none.
int32_t ChannelPlaying(const Ref<TChannel>& channel);

}  // namespace fw

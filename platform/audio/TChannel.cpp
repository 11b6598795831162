#include "platform/audio/TChannel.h"

namespace fw {

void StopChannel(const Ref<TChannel>& channel) {
    if (channel) {
        channel->Stop();
    }
}

void PauseChannel(const Ref<TChannel>& channel) {
    if (channel) {
        channel->SetPaused(1);
    }
}

void ResumeChannel(const Ref<TChannel>& channel) {
    if (channel) {
        channel->SetPaused(0);
    }
}

void SetChannelVolume(const Ref<TChannel>& channel, float volume) {
    if (channel) {
        channel->SetVolume(volume);
    }
}

void SetChannelPan(const Ref<TChannel>& channel, float pan) {
    if (channel) {
        channel->SetPan(pan);
    }
}

void SetChannelDepth(const Ref<TChannel>& channel, float depth) {
    if (channel) {
        channel->SetDepth(depth);
    }
}

void SetChannelRate(const Ref<TChannel>& channel, float rate) {
    if (channel) {
        channel->SetRate(rate);
    }
}

int32_t ChannelPlaying(const Ref<TChannel>& channel) {
    return channel ? channel->Playing() : 0;
}

}  // namespace fw

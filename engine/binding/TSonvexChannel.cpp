#include "engine/binding/TSonvexChannel.h"

#include "engine/ChannelList.h"
#include "engine/MasterVolume.h"
#include "engine/MemAudioStream.h"
#include "platform/runtime/Collect.h"

namespace sonvex2 {

namespace {

// Set at exit once the channel list is gone: no mixer will reap a channel any more, so a framework
// channel that goes after that (a global of the program) frees its engine channel itself.
bool engineEnded = false;

bool IsMemoryDecoding(ISonvexChannel* channel) {
    return dynamic_cast<MemAudioStream*>(channel) != nullptr;
}

void ReleaseEngineChannel(ISonvexChannel* channel) {
    if (IsMemoryDecoding(channel)) {
        // Never on the mixer's list: nobody else would stop its thread or free it.
        Sonvex_DeleteMemAudioStream(channel);
        return;
    }
    Sonvex_ReleaseChannel(channel);
    if (engineEnded) {
        channel->PlayingFlag = 0;
        channel->Reap();
    }
}

// The engine channel behind a framework channel, or null when it is not one of ours.
ISonvexChannel* EngineChannel(const fw::Ref<fw::TChannel>& channel) {
    fw::Ref<TSonvexChannel> ours = fw::Cast<TSonvexChannel>(channel);
    return ours ? ours->_channel : nullptr;
}

// Gives back the engine references the channel held for what it played, and the music. The
// handle on the sound stays: it may be the last one on a sound that is about to be cued again.
void ReleaseSourceReferences(TSonvexChannel& channel) {
    if (channel._sound) {
        channel._sound->_sound->Release();
    }
    if (channel._music) {
        if (channel._music->Music != nullptr) {
            channel._music->Music->Release();
        }
        channel._music = fw::Ref<TMusic>();
    }
}

}  // namespace

fw::Ref<fw::TChannel> TSonvexSound::Cue(const fw::Ref<fw::TChannel>& channel) {
    fw::GCCollect();
    fw::Ref<TSonvexChannel> target = fw::Cast<TSonvexChannel>(channel);
    if (target && IsMemoryDecoding(target->_channel)) {
        // Its thread fills from the source under the channel's own lock: rebinding would pull the
        // source out from under the decode. The decode goes on; the sound gets a channel of its own.
        target = fw::Ref<TSonvexChannel>();
    }
    if (target) {
        ReleaseSourceReferences(*target);
    } else {
        target = fw::New<TSonvexChannel>();
    }
    target->_sound = fw::Ref<TSonvexSound>(this);
    // A channel that has played nothing has no loop flag of its program's yet: the sound's goes.
    const bool fresh = target->_channel == nullptr || target->_channel->Music == nullptr;
    target->_channel = _sound->PlayMusicOnChannel(target->_channel);
    if (fresh && _loop) {
        target->_channel->SetLoopMode(1);
    }
    _sound->AddRef();
    return target;
}

fw::Ref<fw::TChannel> TSonvexSound::Play(const fw::Ref<fw::TChannel>& channel) {
    fw::Ref<fw::TChannel> cued = Cue(channel);
    fw::ResumeChannel(cued);
    return cued;
}

void TSonvexSound::Delete() {
    if (_sound != nullptr) {
        ISonvexMusic* const sound = _sound;
        _sound = nullptr;
        sound->Release();
    }
    _audiosample = fw::Ref<fw::TAudioSample>();
}

int32_t TSonvexChannel::Stop() {
    if (_channel != nullptr) {
        _channel->Stop();
    }
    return 0;
}

int32_t TSonvexChannel::SetPaused(int32_t paused) {
    if (_channel != nullptr) {
        _channel->SetPaused(paused);
    }
    return 0;
}

int32_t TSonvexChannel::SetVolume(float volume) {
    if (_channel != nullptr) {
        _channel->SetVolume(volume);
    }
    return 0;
}

int32_t TSonvexChannel::SetPan(float pan) {
    if (_channel != nullptr) {
        _channel->SetPan(pan);
    }
    return 0;
}

int32_t TSonvexChannel::SetDepth(float depth) {
    if (_channel != nullptr) {
        _channel->SetDepth(depth);
    }
    return 0;
}

int32_t TSonvexChannel::SetRate(float rate) {
    if (_channel != nullptr) {
        _channel->SetRate(rate);
    }
    return 0;
}

int32_t TSonvexChannel::Playing() {
    return _channel != nullptr ? _channel->Playing() : 0;
}

int32_t TSonvexChannel::SetChannelRateAdjuster(double adjustment) {
    Sonvex_SetChannelRateAdjuster(_channel, adjustment);
    return 0;
}

void TSonvexChannel::Delete() {
    fw::GCCollect();
    ReleaseSourceReferences(*this);
    if (_channel != nullptr) {
        // The mixer frees it once it has stopped; a playing channel plays on to its end.
        ReleaseEngineChannel(_channel);
        _channel = nullptr;
    }
    _sound = fw::Ref<TSonvexSound>();
}

// At exit, after every driver has stopped its device thread: frees the channel list's entries and
// the channels already released (the rest belong to framework channels still held), then closes
// the engine lock.
void FreeChannelList() {
    LockChannelList();
    for (ChannelListEntry* entry = ChannelList.first; entry != nullptr;) {
        ChannelListEntry* const next = entry->next;
        if (entry->channel->ReleaseFlag.load() == 1) {
            entry->channel->PlayingFlag = 0;
            entry->channel->Reap();
        }
        delete entry;
        entry = next;
    }
    ChannelList.first = nullptr;
    ChannelList.last = nullptr;
    engineEnded = true;
    UnlockChannelList();
    ChannelListLock.Close();
}

int32_t GetChannelLength(const fw::Ref<fw::TChannel>& channel, int32_t unit) {
    ISonvexChannel* const engine = EngineChannel(channel);
    return engine != nullptr ? engine->GetLength(unit) : 0;
}

int32_t SeekChannel(const fw::Ref<fw::TChannel>& channel, int32_t position, int32_t unit) {
    ISonvexChannel* const engine = EngineChannel(channel);
    if (engine == nullptr) {
        return -1;
    }
    engine->Seek(position, unit);
    return 0;
}

int32_t ChannelSeekable(const fw::Ref<fw::TChannel>& channel) {
    ISonvexChannel* const engine = EngineChannel(channel);
    return engine != nullptr ? engine->IsSeekable() : -1;
}

int32_t GetChannelPosition(const fw::Ref<fw::TChannel>& channel, int32_t unit) {
    ISonvexChannel* const engine = EngineChannel(channel);
    return engine != nullptr ? engine->GetPosition(unit) : 0;
}

int32_t GetChannelLoopMode(const fw::Ref<fw::TChannel>& channel) {
    ISonvexChannel* const engine = EngineChannel(channel);
    return engine != nullptr ? engine->GetLoopMode() : 0;
}

int32_t SetChannelLoopMode(const fw::Ref<fw::TChannel>& channel, int32_t mode) {
    if (ISonvexChannel* const engine = EngineChannel(channel)) {
        engine->SetLoopMode(mode);
    }
    return 0;
}

int32_t SetChannelLoopRange(const fw::Ref<fw::TChannel>& channel, int32_t start, int32_t length) {
    if (ISonvexChannel* const engine = EngineChannel(channel)) {
        engine->SetLoopRange(start, length);
    }
    return 0;
}

int32_t GetChannelLevels(const fw::Ref<fw::TChannel>& channel, double* left, double* right) {
    if (ISonvexChannel* const engine = EngineChannel(channel)) {
        engine->GetLevels(left, right);
    }
    return 0;
}

int32_t AttachEffect(const fw::Ref<fw::TChannel>& channel, const fw::Ref<TSonvexEffect>& effect) {
    ISonvexChannel* const engine = EngineChannel(channel);
    // A memory-decoding channel's source is read by its own thread outside the engine's lock, and
    // nothing would ever pull the effect.
    if (engine == nullptr || !effect || IsMemoryDecoding(engine)) {
        return 0;
    }
    Sonvex_AttachEffect(engine, effect->_effect);
    return 1;
}

int32_t SetMasterVolume(double volume) {
    Sonvex_SetMasterVolume(volume);
    return 0;
}

}  // namespace sonvex2

#include "engine/ChannelList.h"

#include "engine/ChannelConverter.h"
#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexEffect.h"
#include "engine/ISonvexMusic.h"

ChannelListHead ChannelList{nullptr, nullptr};
SonvexMutex ChannelListLock;

namespace {

// Creates the lock before main runs, so that any module may start first.
struct ChannelListLockMaker {
    ChannelListLockMaker() { ChannelListLock.Create(); }
} channelListLockMaker;

}  // namespace

void LockChannelList() {
    ChannelListLock.Lock();
}

void UnlockChannelList() {
    ChannelListLock.Unlock();
}

void AddChannel(ISonvexChannel* channel) {
    auto* entry = new ChannelListEntry{nullptr, nullptr, channel};
    SonvexLockGuard lock(ChannelListLock);
    entry->prev = ChannelList.last;
    if (ChannelList.last != nullptr) {
        ChannelList.last->next = entry;
    } else {
        ChannelList.first = entry;
    }
    ChannelList.last = entry;
}

namespace {

// Unlinks and frees one entry; the caller holds the lock.
void Unlink(ChannelListEntry* entry) {
    if (entry->prev != nullptr) {
        entry->prev->next = entry->next;
    } else {
        ChannelList.first = entry->next;
    }
    if (entry->next != nullptr) {
        entry->next->prev = entry->prev;
    } else {
        ChannelList.last = entry->prev;
    }
    delete entry;
}

}  // namespace

void RemoveChannel(ISonvexChannel* channel) {
    SonvexLockGuard lock(ChannelListLock);
    for (ChannelListEntry* entry = ChannelList.first; entry != nullptr;) {
        ChannelListEntry* const next = entry->next;
        if (entry->channel == channel) {
            Unlink(entry);
        }
        entry = next;
    }
}

int32_t CountChannels() {
    SonvexLockGuard lock(ChannelListLock);
    int32_t count = 0;
    for (const ChannelListEntry* entry = ChannelList.first; entry != nullptr; entry = entry->next) {
        ++count;
    }
    return count;
}

bool ChannelReads(const ISonvexChannel* channel, const ISonvexMusic* source) {
    for (const ISonvexMusic* music = channel->Music; music != nullptr;) {
        if (music == source) {
            return true;
        }
        const auto* effect = dynamic_cast<const ISonvexEffect*>(music);
        music = effect != nullptr ? effect->Input : nullptr;
    }
    return false;
}

bool ChannelsHoldSource(const ISonvexMusic* source) {
    SonvexLockGuard lock(ChannelListLock);
    for (const ChannelListEntry* entry = ChannelList.first; entry != nullptr; entry = entry->next) {
        const ISonvexChannel* channel = entry->channel;
        if (ChannelReads(channel, source) && !channel->Done()) {
            return true;
        }
    }
    return false;
}

// The mixer's reaping pass; the caller (MixOutput) holds the lock.
void ReapChannels() {
    for (ChannelListEntry* entry = ChannelList.first; entry != nullptr;) {
        ChannelListEntry* const next = entry->next;
        if (entry->channel->Reap()) {
            Unlink(entry);
        }
        entry = next;
    }
}

ISonvexChannel* AllocChannel() {
    auto* channel = new ISonvexChannel;
    AddChannel(channel);
    DebugLogInt("AllocChannel #=", CountChannels());
    return channel;
}

ISonvexChannel* ISonvexMusic::PlayMusicOnChannel(ISonvexChannel* channel) {
    LockChannelList();
    SetStatus(1);
    const bool isNew = channel == nullptr;
    if (isNew) {
        channel = new ISonvexChannel;
    }
    // AddRef first: rebinding to the source already held must not drop it to zero on the way.
    AddRef();
    if (channel->Music != nullptr) {
        channel->Music->Release();
    }
    channel->Music = this;

    channel->Channels = Channels;
    channel->Bits = Bits;
    channel->SampleRate = SampleRate;
    channel->Length = Length;
    channel->PlayingFlag = 0;
    channel->Position = 0;
    channel->EndPosition = -1;
    channel->SourceReadsForward = false;
    channel->LoopStart = 0;
    channel->LoopLength = Length;
    channel->ReleaseFlag.store(0, std::memory_order_relaxed);
    channel->Converter->SetInputFormat(Channels, Bits, SampleRate);
    UnlockChannelList();

    if (isNew) {
        AddChannel(channel);
    }
    return channel;
}

void Sonvex_AttachEffect(ISonvexChannel* channel, ISonvexEffect* effect) {
    if (channel == nullptr || effect == nullptr) {
        return;
    }
    SonvexLockGuard lock(ChannelListLock);
    effect->Input = channel->Music;
    channel->Music = effect;
    channel->SourceReadsForward = false;
    effect->OnAttach();
}

#pragma once
// The engine's list of active channels and its lock. The mixer visits every channel on the list
// once per block; a channel leaves the list only when the mixer reaps it (released and stopped).
//
// ChannelListLock guards the list, the output-copy request, binding a source to a channel and
// inserting an effect. Lock order: ChannelListLock, then a channel's Mutex, then a sound's lock.

#include <cstdint>

#include "engine/SonvexMutex.h"

class ISonvexChannel;
class ISonvexEffect;
class ISonvexMusic;

struct ChannelListEntry {
    ChannelListEntry* prev;
    ChannelListEntry* next;
    ISonvexChannel* channel;
};

// A doubly linked list of channel pointers, in the order they were added. It owns its entries,
// not the channels. Constant-initialised, so it is there before any module starts; the engine
// module's exit handler frees its entries once every output driver has stopped mixing.
struct ChannelListHead {
    ChannelListEntry* first;
    ChannelListEntry* last;
};

extern ChannelListHead ChannelList;
// Created before main runs; closed by the same exit handler, after the entries are freed.
extern SonvexMutex ChannelListLock;

void LockChannelList();
void UnlockChannelList();

// Appends the channel at the end of the list (takes the lock).
void AddChannel(ISonvexChannel* channel);
// Removes every entry holding this channel (takes the lock). The engine itself never calls it.
void RemoveChannel(ISonvexChannel* channel);
// The number of entries (takes the lock).
int32_t CountChannels();
// True when the channel fills the source: it is bound to it, or to an effect that reads it
// (through however many effects). Effects change under the lock, which the caller holds.
bool ChannelReads(const ISonvexChannel* channel, const ISonvexMusic* source);
// True when a channel on the list reads the source and may still fill it: any but one that has
// been released and has stopped (takes the lock).
bool ChannelsHoldSource(const ISonvexMusic* source);

// The mixer's reaping pass: destroys every released channel that has stopped and unlinks its
// entry. The caller holds the lock.
void ReapChannels();

// A new channel on the list, with no source and not playing; logs "AllocChannel #=" and the count.
ISonvexChannel* AllocChannel();

// Puts the effect in front of the channel's source: the effect reads the former source through
// its Input, and the channel's reference now stands on the effect. Null arguments do nothing.
void Sonvex_AttachEffect(ISonvexChannel* channel, ISonvexEffect* effect);

#include "engine/MemAudioStream.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/DebugLog.h"
#include "engine/ISonvexMusic.h"

namespace {

// An idle thread looks again this often even when nothing wakes it (a source whose status is set
// from elsewhere).
constexpr std::chrono::milliseconds kIdleRecheck{50};

// Every memory-decoding channel that exists, so that a source can be asked whether one fills it.
std::mutex& DecodersLock() {
    static auto* lock = new std::mutex;   // outlives exit, with the list
    return *lock;
}

std::vector<const MemAudioStream*>& Decoders() {
    static auto* decoders = new std::vector<const MemAudioStream*>;   // outlives exit
    return *decoders;
}

}  // namespace

bool MemAudioStream::Decodes(const ISonvexMusic* music) {
    std::lock_guard<std::mutex> hold(DecodersLock());
    return std::any_of(Decoders().begin(), Decoders().end(), [music](const MemAudioStream* decoder) {
        return ChannelReads(decoder, music) && decoder->StopFlag == 0;
    });
}

MemAudioStream::MemAudioStream(ISonvexMusic* music, uint8_t* destination) {
    DebugLog("MemAudioStream create!");
    Music = music;
    Music->AddRef();
    Channels = Music->GetChannels();
    Bits = Music->GetBits();
    SampleRate = Music->GetSampleRate();
    StopFlag = 0;
    Destination = destination;
    Step = 44100;
    room_ = std::max<int64_t>(int64_t{Music->GetLength(0)} - Music->GetPosition(0), 0) + Step;
    {
        std::lock_guard<std::mutex> hold(DecodersLock());
        Decoders().push_back(this);
    }
    Music->SetLoopMode(0);
    Music->SetStatus(1);
    Thread = new SonvexThread;
    Thread->Start(this);
    if (!Thread->hasHandle) {
        StopFlag = 1;   // no thread, nothing will decode: say so rather than "decoding" for ever
    }
    SetPaused(0);
}

MemAudioStream::~MemAudioStream() {
    DebugLog("~MemAudioStream");
    if (StopFlag == 0) {
        Stop();
    }
    Thread->Close();
    delete Thread;
    Thread = nullptr;
    std::lock_guard<std::mutex> hold(DecodersLock());
    Decoders().erase(std::remove(Decoders().begin(), Decoders().end(), this), Decoders().end());
}

void MemAudioStream::Stop() {
    {
        // Set between fills, never during one: from here on the source is free for others.
        SonvexLockGuard hold(*Mutex);
        StopFlag = 1;
    }
    Wake();
    if (Thread->running != 0) {
        Thread->Join();
        DebugLog("Memory stream stopped!");
    }
}

void MemAudioStream::SetPaused(int32_t paused) {
    if (paused != 0) {
        PlayingFlag = 0;
        return;
    }
    PlayingFlag = 1;
    {
        // A decode that has ended has given its source back; others may play it by now.
        SonvexLockGuard hold(*Mutex);
        if (StopFlag == 0) {
            Music->SetStatus(1);
        }
    }
    Wake();
}

void MemAudioStream::SetVolume(float /*volume*/) {}
void MemAudioStream::SetPan(float /*pan*/) {}
void MemAudioStream::SetDepth(float /*depth*/) {}
void MemAudioStream::SetRate(float /*rate*/) {}
void MemAudioStream::Seek(int32_t /*position*/, int32_t /*unit*/) {}

int32_t MemAudioStream::Playing() {
    return StopFlag == 0 ? 1 : 0;
}

int32_t MemAudioStream::GetPosition(int32_t unit) {
    return Music->GetPosition(unit);
}

int32_t MemAudioStream::Run() {
    Thread->SetPriority(ThreadPriorityAboveNormal);
    DebugLog("MemAudioStream ThreadProc!");
    while (StopFlag == 0) {
        passes_.fetch_add(1, std::memory_order_relaxed);
        Pump();
        WaitWhileIdle();
    }
    DebugLog("exiting thread!");
    return 0;
}

void MemAudioStream::Pump() {
    if (PlayingFlag == 0 || Music->GetStatus() == 0) {
        return;
    }
    const int32_t ask = static_cast<int32_t>(std::min<int64_t>(Step, room_));
    // The end of decoding is set under the same lock as the fills, so that Decodes never says a
    // source is free while a fill is under way.
    SonvexLockGuard hold(*Mutex);
    if (StopFlag != 0) {
        return;   // stopped while this pass was on its way here
    }
    const int32_t delivered = std::clamp(Music->FillBuffer(Destination, ask), 0, ask);
    Destination += delivered;
    room_ -= delivered;
    if (delivered == ask && room_ == 0) {
        DebugLog("MemAudioStream: the music runs on past the memory it was given");
    }
    // A source that stopped at its end on a full step is done too: nothing would fill it again,
    // and Playing would answer 1 for ever.
    if (delivered < Step || Music->GetStatus() == 0) {
        StopFlag = 1;
    }
}

void MemAudioStream::WaitWhileIdle() {
    std::unique_lock<std::mutex> hold(idleLock_);
    if (StopFlag == 0 && (PlayingFlag == 0 || Music->GetStatus() == 0)) {
        idleChanged_.wait_for(hold, kIdleRecheck);
    }
}

void MemAudioStream::Wake() {
    {
        // Taken so a wake-up cannot fall between the idle check and the wait.
        std::lock_guard<std::mutex> hold(idleLock_);
    }
    idleChanged_.notify_all();
}

ISonvexChannel* Sonvex_CreateMemAudioStream(ISonvexMusic* music, uint8_t* destination) {
    if (music == nullptr || destination == nullptr) {
        return nullptr;
    }
    return new MemAudioStream(music, destination);
}

void Sonvex_DeleteMemAudioStream(ISonvexChannel* channel) {
    delete dynamic_cast<MemAudioStream*>(channel);
}

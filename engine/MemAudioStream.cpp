#include "engine/MemAudioStream.h"

#include <chrono>

#include "engine/DebugLog.h"
#include "engine/ISonvexMusic.h"

namespace {

// An idle thread looks again this often even when nothing wakes it (a source whose status is set
// from elsewhere).
constexpr std::chrono::milliseconds kIdleRecheck{50};

}  // namespace

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
}

void MemAudioStream::Stop() {
    StopFlag = 1;
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
    Music->SetStatus(1);
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
    int32_t delivered = 0;
    {
        SonvexLockGuard hold(*Mutex);
        delivered = Music->FillBuffer(Destination, Step);
    }
    Destination += delivered;
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

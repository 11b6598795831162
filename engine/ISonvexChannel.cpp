#include "engine/ISonvexChannel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "engine/ChannelConverter.h"
#include "engine/ChannelList.h"
#include "engine/ISonvexMusic.h"
#include "engine/Units.h"

namespace {

constexpr int32_t kMixRate = 44100;
constexpr int32_t kBytesPerMixFrame = 8;   // stereo 32-bit float

}  // namespace

ISonvexChannel::ISonvexChannel()
    : Mutex(new SonvexMutex), Converter(new ChannelConverter(2, 32, kMixRate)) {
    Mutex->Create();
}

ISonvexChannel::~ISonvexChannel() {
    Mutex->Close();
    delete Mutex;
    Mutex = nullptr;
    delete Converter;
    Converter = nullptr;
    if (Music != nullptr) {
        Music->Release();
        Music = nullptr;
    }
}

int32_t ISonvexChannel::BytesPerFrame() const {
    return ::BytesPerFrame(Bits, Channels);
}

void ISonvexChannel::Stop() {
    PlayingFlag = 0;
    if (Music != nullptr) {
        Music->SetStatus(0);
    }
}

void ISonvexChannel::SetPaused(int32_t paused) {
    const int32_t playing = paused == 1 ? 0 : 1;
    if (playing == 1) {
        // Resumed while its last window still plays out, the music has not started again: it
        // goes on to stand where it ended.
        SonvexLockGuard lock(*Mutex);
        if (Converter->inputEnd == ChannelConverter::kInputOpen) {
            EndPosition = -1;
        }
    }
    PlayingFlag = playing;
    if (Music != nullptr) {
        Music->SetStatus(playing);
    }
}

void ISonvexChannel::SetVolume(float volume) {
    // Negative or not a number: silent. There is no upper bound.
    if (!(volume >= 0.0f)) {
        volume = 0.0f;
    }
    Volume = volume;
    Converter->volume = static_cast<double>(volume);
}

void ISonvexChannel::SetPan(float pan) {
    if (std::isnan(pan) || pan > 1.0f) {
        pan = 1.0f;
    } else if (pan < -1.0f) {
        pan = -1.0f;
    }
    Converter->SetPan(static_cast<double>(pan));
}

void ISonvexChannel::SetDepth(float /*depth*/) {}

void ISonvexChannel::SetRate(float rate) {
    Rate = rate;
    Converter->rateFactor = static_cast<double>(rate);
    if (Music != nullptr) {
        Music->PlaybackRate = static_cast<double>(rate);
    }
}

int32_t ISonvexChannel::Playing() {
    return PlayingFlag;
}

int32_t ISonvexChannel::GetPosition(int32_t unit) {
    if (unit == SonvexUnitBytes || unit == SonvexUnitFrames || unit == SonvexUnitMillisecs) {
        const int32_t end = EndPosition;
        return BytesToUnit(end >= 0 ? end : Position.load(), unit, SampleRate, BytesPerFrame());
    }
    // Units of the source's own (a tracker's row and order); nothing to ask without one.
    return Music != nullptr ? Music->GetPosition(unit) : 0;
}

int32_t ISonvexChannel::GetLength(int32_t unit) {
    if (unit == SonvexUnitBytes || unit == SonvexUnitFrames || unit == SonvexUnitMillisecs) {
        return BytesToUnit(Length, unit, SampleRate, BytesPerFrame());
    }
    return Music != nullptr ? Music->GetLength(unit) : 0;
}

void ISonvexChannel::Seek(int32_t position, int32_t unit) {
    if (Music == nullptr) {
        return;
    }
    // Another channel may play the same source; the mixer fills every channel under the engine
    // lock, so that, not this channel's lock alone, keeps the seek from meeting its fill.
    SonvexLockGuard engine(ChannelListLock);
    SonvexLockGuard lock(*Mutex);
    Music->Seek(position, unit);
    Position = Music->Position.load();
    EndPosition = -1;
    // A seek while the end of the sound still plays out goes on from the new place.
    Converter->inputEnd = ChannelConverter::kInputOpen;
}

int32_t ISonvexChannel::GetLoopMode() {
    return LoopMode;
}

void ISonvexChannel::SetLoopMode(int32_t mode) {
    LoopMode = mode != 0 ? 1 : 0;
}

void ISonvexChannel::SetLoopRange(int32_t start, int32_t length) {
    const int64_t frameBytes = BytesPerFrame();
    const int64_t startBytes = start * frameBytes;
    const int64_t lengthBytes = length * frameBytes;
    // A range whose bounds in bytes, its end included, do not fit the 32-bit fields is refused:
    // nothing changes.
    auto fits = [](int64_t bytes) {
        return bytes >= std::numeric_limits<int32_t>::min() &&
               bytes <= std::numeric_limits<int32_t>::max();
    };
    if (!fits(startBytes) || !fits(lengthBytes) || !fits(startBytes + lengthBytes)) {
        return;
    }
    LoopStart = static_cast<int32_t>(startBytes);
    LoopLength = static_cast<int32_t>(lengthBytes);
}

void ISonvexChannel::GetLevels(double* left, double* right) {
    double l = 0.0;
    double r = 0.0;
    if (Music != nullptr && PlayingFlag == 1) {
        l = Converter->levelLeft;
        r = Converter->levelRight;
    }
    if (left != nullptr) {
        *left = l;
    }
    if (right != nullptr) {
        *right = r;
    }
}

int32_t ISonvexChannel::IsSeekable() {
    return Music != nullptr ? Music->Seekable : 0;
}

int32_t ISonvexChannel::Mix(float* out, int32_t frames) {
    if (Music == nullptr || frames <= 0) {
        return 0;
    }
    // A paused channel is still pulled while a rate nudge moves it.
    const int32_t playing = PlayingFlag;
    if (playing == 0 && Converter->rateAdjuster.load() == 0.0) {
        return 0;
    }

    Mutex->Lock();
    ISonvexMusic* const music = Music;
    ChannelConverter& converter = *Converter;
    // A source that ended without looping has rewound itself as it stopped; pulling it again
    // would play its start. Until the converter has played what it delivered last, only silence
    // goes in and the source keeps its stopped state.
    bool ended = converter.inputEnd != ChannelConverter::kInputOpen;
    music->Position = Position.load();
    music->Status = ended ? 0 : playing;
    music->LoopStart = LoopStart.load();
    music->LoopLength = LoopLength.load();
    music->LoopMode = LoopMode.load();

    converter.playing = playing;
    // The converter counts the block in 32-bit bytes; a block larger than that (the mixer allows
    // 2^31 - 1 frames) gets this channel in its first 2^28 - 1 frames only.
    frames = std::min(frames, std::numeric_limits<int32_t>::max() / kBytesPerMixFrame);
    converter.BeginOutput(out, frames * kBytesPerMixFrame);
    // The converter makes progress on every refill (at least one output frame, or the end of
    // the block), so this ends after at most about two refills per frame; the bound only keeps
    // the audio thread safe should that ever break.
    const int64_t maxRefills = 2 * static_cast<int64_t>(frames) + 4;
    for (int64_t refill = 0; refill < maxRefills && converter.Process() == 1; ++refill) {
        uint8_t* const free = converter.window + converter.keptBytes;
        const int32_t room = converter.windowBytes - converter.keptBytes;
        converter.SilenceInput(free, room);
        int32_t delivered = 0;
        bool endsHere = false;
        if (!ended) {
            music->PlaybackRate = converter.step;
            const int32_t from = music->Position;
            delivered = music->FillBuffer(free, room);
            const int32_t now = music->Position;
            const bool stepsBack = converter.step < 0.0 && delivered > 0;
            endsHere = playing == 1 && music->Status == 0;
            ended = endsHere;
            if (endsHere) {
                // Forward, the source rewinds as it ends; backward, it ends where it stands, at 0.
                const bool back = stepsBack && !SourceReadsForward && int64_t{from} - now == delivered;
                const int64_t end = std::max<int64_t>(from, 0) + std::clamp(delivered, 0, room);
                EndPosition = back ? now
                                   : static_cast<int32_t>(std::min<int64_t>(end, std::numeric_limits<int32_t>::max()));
            } else if (stepsBack && int64_t{now} - from == delivered) {
                SourceReadsForward = true;
            }
        }
        converter.FeedInput(delivered);
        if (endsHere) {
            converter.EndInput();
        }
    }
    Position = music->Position.load();
    const bool drained = converter.inputEnd == ChannelConverter::kInputDrained;
    if (drained) {
        converter.inputEnd = ChannelConverter::kInputOpen;
    }
    Mutex->Unlock();

    // Only a channel that played can have ended; a resume from the main thread during this
    // pass must not be undone by a paused pass.
    if (playing == 1 && (ended ? drained : music->Status == 0)) {
        PlayingFlag = 0;
    }
    return 0;
}

int32_t ISonvexChannel::Run() {
    return 0;
}

bool ISonvexChannel::Done() const {
    return ReleaseFlag.load(std::memory_order_acquire) == 1 && PlayingFlag == 0;
}

bool ISonvexChannel::Reap() {
    if (!Done()) {
        return false;
    }
    // Channels on the mixer's list are plain ISonvexChannel objects made with new (a derived
    // channel never goes on the list), and there is no virtual destructor to go through.
    this->ISonvexChannel::~ISonvexChannel();
    ::operator delete(this);
    return true;
}

void Sonvex_SetChannelRateAdjuster(ISonvexChannel* channel, double delta) {
    if (channel == nullptr || !std::isfinite(delta)) {
        return;
    }
    SonvexLockGuard lock(*channel->Mutex);
    Relaxed<double>& adjuster = channel->Converter->rateAdjuster;
    const double current = adjuster;
    // A push against the current direction replaces it; otherwise pushes add up.
    if ((delta > 0.0 && current < 0.0) || (delta < 0.0 && current > 0.0)) {
        adjuster = delta;
    } else {
        adjuster = current + delta;
    }
}

void Sonvex_ReleaseChannel(ISonvexChannel* channel) {
    if (channel != nullptr) {
        channel->ReleaseFlag.store(1, std::memory_order_release);
    }
}

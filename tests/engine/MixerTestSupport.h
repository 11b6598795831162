#pragma once
// Helpers shared by the mixing tests: sources that behave well or badly on purpose, a driver for
// a bare converter, and sample makers.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/ChannelConverter.h"
#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexMusic.h"
#include "engine/Mixer.h"

namespace mixtest {

// A source whose fills are scripted by the test. It records what the channel wrote into it, and
// its Deleter only counts, so it can live on the stack.
class ScriptedSource final : public ISonvexMusic {
public:
    using FillFn = std::function<int32_t(ScriptedSource&, uint8_t*, int32_t)>;

    FillFn fill;
    int32_t fills = 0;
    int32_t deleted = 0;
    int32_t statusSeen = -1;
    double rateSeen = 0.0;
    int32_t largestRequest = 0;

    ScriptedSource(int32_t channels, int32_t bits, int32_t rate, int32_t length, FillFn fn = {})
        : fill(std::move(fn)) {
        Channels = channels;
        Bits = bits;
        SampleRate = rate;
        Length = length;
        Seekable = 1;
        Deleter = &CountDelete;
    }

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override {
        ++fills;
        statusSeen = Status;
        rateSeen = PlaybackRate;
        if (bytes > largestRequest) {
            largestRequest = bytes;
        }
        return fill ? fill(*this, dest, bytes) : 0;
    }

    int32_t Seek(int32_t position, int32_t /*unit*/) override {
        Position = position * BytesPerFrame();
        return Position;
    }

private:
    static void CountDelete(ISonvexMusic* m) { ++static_cast<ScriptedSource*>(m)->deleted; }
};

// A fill that plays `data` once, forward, and ends (Status 0) at its end.
inline ScriptedSource::FillFn PlayOnce(const std::vector<uint8_t>& data) {
    return [&data](ScriptedSource& s, uint8_t* dest, int32_t bytes) -> int32_t {
        const int32_t pos = s.Position;
        const int32_t left = static_cast<int32_t>(data.size()) - pos;
        const int32_t n = left < bytes ? (left > 0 ? left : 0) : bytes;
        std::memcpy(dest, data.data() + pos, static_cast<size_t>(n));
        s.Position = pos + n;
        if (n < bytes) {
            s.Status = 0;
        }
        return n;
    };
}

inline std::vector<uint8_t> S16Frames(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

inline std::vector<uint8_t> F32Frames(const std::vector<float>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 4);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// What the converter adds for a 16-bit sample read at weight 0 with unit volume and gains.
inline float S16Out(int16_t sample) {
    return static_cast<float>(0.0 + sample * 1.0 * 1.0 * (1.0 / 32767.0));
}

// Runs one block through a bare converter the way the channel does, pulling from `fill`.
// Answers the number of fills. `fill` is used in place, so a Feeder keeps its position.
template <typename Fill>
int32_t RunBlock(ChannelConverter& c, float* out, int32_t frames, Fill&& fill) {
    c.BeginOutput(out, frames * 8);
    int32_t fills = 0;
    while (c.Process() == 1) {
        uint8_t* free = c.window + c.keptBytes;
        const int32_t room = c.windowBytes - c.keptBytes;
        c.SilenceInput(free, room);
        c.FeedInput(fill(free, room));
        ++fills;
        if (fills > 100000) {
            break;   // a hang shows up as a failed expectation, not a stuck test run
        }
    }
    return fills;
}

// A byte feeder over a vector, optionally repeating.
struct Feeder {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    bool repeat = false;

    int32_t operator()(uint8_t* dest, int32_t n) {
        int32_t done = 0;
        while (done < n && !bytes.empty()) {
            if (pos >= bytes.size()) {
                if (!repeat) {
                    break;
                }
                pos = 0;
            }
            const size_t take = std::min(bytes.size() - pos, static_cast<size_t>(n - done));
            std::memcpy(dest + done, bytes.data() + pos, take);
            pos += take;
            done += static_cast<int32_t>(take);
        }
        return done;
    }
};

inline int32_t ListLength() {
    return CountChannels();
}

// Stops and lets go of every channel on the engine's list, then lets the mixer reap them.
inline void DrainChannelList() {
    LockChannelList();
    for (ChannelListEntry* e = ChannelList.first; e != nullptr; e = e->next) {
        e->channel->Stop();
        Sonvex_ReleaseChannel(e->channel);
    }
    UnlockChannelList();
    std::vector<float> block(2 * 16);
    MixOutput(block.data(), 16);
}

}  // namespace mixtest

// Mixer cost per channel and output frame: N channels of 16-bit stereo in-memory sounds at
// 48,000 Hz (so every channel resamples to 44,100 Hz), one 1024-frame block per iteration, the
// way the output device's callback runs it.
//
// Counters:
//   per_channel_frame  time per channel and output frame
//   channels_realtime  how many such channels one core mixes in real time:
//                      block duration (1024 / 44100 s) / time per channel-block

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/MixerBenchSound.h"
#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"

namespace {

constexpr uint32_t kBlock = 1024;
using mixerbench::kSoundFrames;
using mixerbench::SoundData;

void StopAll() {
    LockChannelList();
    for (ChannelListEntry* e = ChannelList.first; e != nullptr; e = e->next) {
        e->channel->Stop();
        Sonvex_ReleaseChannel(e->channel);
    }
    UnlockChannelList();
    std::vector<float> out(2 * 16);
    MixOutput(out.data(), 16);
}

void BM_MixResampledChannels(benchmark::State& state) {
    const auto channels = static_cast<int32_t>(state.range(0));
    const std::vector<uint8_t>& data = SoundData();
    for (int32_t i = 0; i < channels; ++i) {
        ISonvexSound* sound = Sonvex_CreateSound(2, 16, 48000, static_cast<int32_t>(data.size()),
                                                 data.data(), 1);
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        channel->SetLoopMode(1);
        channel->Seek((i * 997) % kSoundFrames, 1);   // channels read different places
        channel->SetVolume(0.5f);
        channel->SetPan(static_cast<float>(i % 21 - 10) / 10.0f);
        channel->SetPaused(0);
    }
    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        MixOutput(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double channelFrames = static_cast<double>(channels) * kBlock;
    state.counters["per_channel_frame"] = benchmark::Counter(
        channelFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["channels_realtime"] = benchmark::Counter(
        channels * (static_cast<double>(kBlock) / 44100.0),
        benchmark::Counter::kIsIterationInvariantRate);
    StopAll();
}

BENCHMARK(BM_MixResampledChannels)->Arg(1)->Arg(16)->Arg(256)->Arg(1024)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();

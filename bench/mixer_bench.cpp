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
#include "engine/Mixer.h"

namespace {

constexpr uint32_t kBlock = 1024;

void BM_MixResampledChannels(benchmark::State& state) {
    const auto channels = static_cast<int32_t>(state.range(0));
    mixerbench::StartChannels(channels);
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
    mixerbench::StopAllChannels();
}

BENCHMARK(BM_MixResampledChannels)->Arg(1)->Arg(16)->Arg(256)->Arg(1024)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();

// What a window costs a chunked run (`fft -n 4096 -w WINDOW`): one 4096-point chunk transform
// without a window and one with it, timed in turn inside each iteration, as the run makes them
// chunk after chunk.
//
// Counters:
//   per_chunk            time of one windowed chunk transform
//   windowed_over_plain  that time over the time of the same transform without a window

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "tools/spectrum/Spectrum.h"
#include "tools/spectrum/SpectrumState.h"
#include "tools/spectrum/Windows.h"

namespace {

constexpr int32_t kChunk = 4096;

void BM_WindowedChunk(benchmark::State& state, const char* window) {
    std::vector<float> series(kChunk);
    for (int32_t j = 0; j < kChunk; ++j) {
        series[j] = static_cast<float>(std::sin(0.05 * j) + 0.25 * std::sin(1.3 * j * j));
    }
    std::vector<float> samples(kChunk + 4);
    spectrum::reset_run(stdin, stdout, stderr);
    spectrum::run.max_len = kChunk;
    spectrum::run.avg_chunk = kChunk;
    spectrum::run.window_fn = spectrum::find_window(window);
    spectrum::run.samples = samples.data();
    auto transform = [&](bool windowed) {
        spectrum::run.window_on = windowed;
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(samples.data(), series.data(), kChunk * sizeof(float));
        spectrum::run.count = kChunk;
        spectrum::forward_transform();
        benchmark::DoNotOptimize(samples.data());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double plain = 0.0;
    double windowed = 0.0;
    for (auto _ : state) {
        plain += transform(false);
        windowed += transform(true);
    }
    state.counters["per_chunk"] = benchmark::Counter(windowed / static_cast<double>(state.iterations()));
    state.counters["windowed_over_plain"] = windowed / plain;
    spectrum::reset_run(stdin, stdout, stderr);
}

BENCHMARK_CAPTURE(BM_WindowedChunk, Hann, "Hann");
BENCHMARK_CAPTURE(BM_WindowedChunk, BlackmanHarris, "Blackman-Harris");

}  // namespace

BENCHMARK_MAIN();

// The tracker player against DUMB used directly: the same module, the same delta, the same
// number of frames, in the pieces each is used with (1024 bytes through the player, as the
// channel asks; 256 frames straight from duh_render). "ratio" is player time over DUMB time,
// both measured in the same iterations.

#include <benchmark/benchmark.h>
#include <dumb.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "engine/ISonvexStream.h"
#include "engine/players/DumbPlayer.h"
#include "tests/media/ModuleWriter.h"

namespace {

constexpr int32_t kPiece = 1024;
constexpr long kPieceFrames = kPiece / 4;
constexpr long kFrames = 10 * 44100;  // ten seconds of a looping song
constexpr float kDelta = 65536.0f / 44100.0f;

struct DirectDumb {
    explicit DirectDumb(const std::vector<uint8_t>& bytes) {
        file = dumbfile_open_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        duh = dumb_read_it(file);
        renderer = duh_start_sigrenderer(duh, 0, 2, 0);
    }
    ~DirectDumb() {
        duh_end_sigrenderer(renderer);
        unload_duh(duh);
        dumbfile_close(file);
    }
    DUMBFILE* file;
    DUH* duh;
    DUH_SIGRENDERER* renderer;
};

double RenderDirect(DirectDumb& direct, std::vector<int16_t>& out) {
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < kFrames; done += kPieceFrames) {
        duh_render(direct.renderer, 16, 0, 1.0f, kDelta, kPieceFrames, out.data());
    }
    benchmark::DoNotOptimize(out.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RenderPlayer(DumbPlayer* player, std::vector<int16_t>& out) {
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < kFrames; done += kPieceFrames) {
        player->FillBuffer(reinterpret_cast<uint8_t*>(out.data()), kPiece);
    }
    benchmark::DoNotOptimize(out.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PlayerOverDirect(benchmark::State& state) {
    // IT: the format whose render is reproducible, so both sides do the same work.
    const std::vector<uint8_t> bytes = WriteModule(ModuleFormat::It, LoopingSong());
    ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
    DumbPlayer* player = DumbLoader(stream);
    player->AddRef();
    player->Status = 1;
    player->LoopMode = 1;
    DirectDumb direct(bytes);
    dumb_it_set_loop_callback(duh_get_it_sigrenderer(direct.renderer), [](void*) { return 0; }, nullptr);
    std::vector<int16_t> out(kPieceFrames * 2);

    double playerSeconds = 0.0;
    double directSeconds = 0.0;
    for (auto _ : state) {
        // Alternate the order so neither side always runs with a warmer cache.
        if (state.iterations() % 2 == 0) {
            directSeconds += RenderDirect(direct, out);
            playerSeconds += RenderPlayer(player, out);
        } else {
            playerSeconds += RenderPlayer(player, out);
            directSeconds += RenderDirect(direct, out);
        }
    }
    state.counters["player_ms"] = benchmark::Counter(playerSeconds * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["dumb_ms"] = benchmark::Counter(directSeconds * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = playerSeconds / directSeconds;
    player->Release();
}
BENCHMARK(BM_PlayerOverDirect)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Loading a module of about 90 hours: the player's bounded measurement against DUMB's own reader,
// which measures all of it. "ratio" is player time over DUMB time.
void BM_LoadLongSong(benchmark::State& state) {
    const std::vector<uint8_t> bytes = WriteModule(ModuleFormat::It, LongSong());
    double playerSeconds = 0.0;
    double directSeconds = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        DumbPlayer* player = DumbLoader(stream);
        playerSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        player->AddRef();
        player->Release();

        start = std::chrono::steady_clock::now();
        DirectDumb direct(bytes);
        directSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["player_ms"] = benchmark::Counter(playerSeconds * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["dumb_ms"] = benchmark::Counter(directSeconds * 1e3, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = playerSeconds / directSeconds;
}
BENCHMARK(BM_LoadLongSong)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

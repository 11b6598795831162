// The Ogg Vorbis player against vorbisfile used directly: both decode the same whole file from
// memory, the player in the 1024-byte fills a channel asks for, vorbisfile in 4096-byte reads.
// The ratio player/direct is reported by the Ratio benchmark, measured within one run.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "engine/ISonvexStream.h"
#include "engine/players/OggPlayer.h"
#include "tests/media/OggWriter.h"

namespace {

const std::vector<uint8_t>& File() {
    static const std::vector<uint8_t> file = [] {
        OggWriterOptions options;
        options.channels = 2;
        options.rate = 44100;
        options.frames = 44100 * 20;
        options.quality = 0.4f;
        return WriteOggVorbis(options);
    }();
    return file;
}

struct MemSource {
    const std::vector<uint8_t>* data;
    size_t pos;
};

size_t MemRead(void* dest, size_t size, size_t count, void* source) {
    auto* m = static_cast<MemSource*>(source);
    size_t n = size * count;
    const size_t left = m->data->size() - m->pos;
    if (n > left) {
        n = left / size * size;
    }
    std::memcpy(dest, m->data->data() + m->pos, n);
    m->pos += n;
    return n / size;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
    auto* m = static_cast<MemSource*>(source);
    const ogg_int64_t size = static_cast<ogg_int64_t>(m->data->size());
    const ogg_int64_t base = whence == 0 ? 0 : whence == 1 ? static_cast<ogg_int64_t>(m->pos) : size;
    if (base + offset < 0 || base + offset > size) {
        return -1;
    }
    m->pos = static_cast<size_t>(base + offset);
    return 0;
}

long MemTell(void* source) {
    return static_cast<long>(static_cast<MemSource*>(source)->pos);
}

int64_t DecodeDirect() {
    MemSource source{&File(), 0};
    OggVorbis_File vf;
    const ov_callbacks callbacks = {MemRead, MemSeek, nullptr, MemTell};
    if (ov_open_callbacks(&source, &vf, nullptr, 0, callbacks) < 0) {
        return -1;
    }
    char buffer[4096];
    int64_t total = 0;
    int link = 0;
    long got;
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) != 0) {
        if (got > 0) {
            total += got;
        }
    }
    ov_clear(&vf);
    return total;
}

int64_t DecodePlayer() {
    ISonvexStream* stream = Sonvex_CreateMemStream(File().data(), static_cast<int32_t>(File().size()));
    OggPlayer* player = OggLoader(stream);
    if (player == nullptr) {
        Sonvex_DeleteStream(stream);
        return -1;
    }
    uint8_t buffer[1024];
    int64_t total = 0;
    while (player->Status != 0) {
        total += player->FillBuffer(buffer, sizeof buffer);
    }
    OggPlayer::Destroy(player);
    return total;
}

void BM_OggDirect(benchmark::State& state) {
    File();  // encoded once, outside the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodeDirect());
    }
    state.SetBytesProcessed(state.iterations() * DecodeDirect());
}

void BM_OggPlayer(benchmark::State& state) {
    File();  // encoded once, outside the timing
    for (auto _ : state) {
        benchmark::DoNotOptimize(DecodePlayer());
    }
    state.SetBytesProcessed(state.iterations() * DecodePlayer());
}

// Alternates the two decodes so drift in clock speed hits both alike; reports player/direct.
void BM_OggPlayerOverDirectRatio(benchmark::State& state) {
    File();  // encoded once, outside the timing
    using Clock = std::chrono::steady_clock;
    Clock::duration direct{};
    Clock::duration player{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(DecodeDirect());
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(DecodePlayer());
        const auto t2 = Clock::now();
        direct += t1 - t0;
        player += t2 - t1;
    }
    state.counters["ratio"] = static_cast<double>(player.count()) / static_cast<double>(direct.count());
}

}  // namespace

BENCHMARK(BM_OggDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggPlayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggPlayerOverDirectRatio)->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();

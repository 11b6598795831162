// The FLAC player's decode path against a straight libFLAC decode of the same file.
//
// The file is three minutes of 16-bit stereo noise and tones at 44,100 Hz, encoded in memory at
// the default compression level. The straight decode is what any user of libFLAC would write:
// a stream decoder over the bytes in memory whose write callback interleaves each frame into
// 16-bit samples. The player is filled in 1024-byte pieces, as the channel asks, until it stops.
// FlacPlayerOverStraight times both in turn inside each iteration and reports their ratio.

#include <benchmark/benchmark.h>

#include <FLAC/stream_decoder.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "engine/ISonvexStream.h"
#include "engine/players/FlacPlayer.h"
#include "tests/media/FlacWriter.h"

namespace {

constexpr int32_t kSeconds = 180;

const std::vector<uint8_t>& File() {
    static const std::vector<uint8_t> file = [] {
        FlacWriterOptions o;
        o.channels = 2;
        o.bits = 16;
        o.rate = 44100;
        o.frames = 44100 * kSeconds;
        o.blockSize = 4096;
        return WriteFlac(o);
    }();
    return file;
}

int64_t PcmBytes() {
    return int64_t{44100} * kSeconds * 4;
}

struct Straight {
    const std::vector<uint8_t>* file;
    size_t pos = 0;
    std::vector<int16_t> frame = std::vector<int16_t>(65536 * 2);
    int64_t samples = 0;
};

FLAC__StreamDecoderReadStatus StraightRead(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                           void* client) {
    auto* s = static_cast<Straight*>(client);
    const size_t n = std::min(*bytes, s->file->size() - s->pos);
    if (n == 0) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }
    std::memcpy(buffer, s->file->data() + s->pos, n);
    s->pos += n;
    *bytes = n;
    return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderWriteStatus StraightWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                             const FLAC__int32* const buffer[], void* client) {
    auto* s = static_cast<Straight*>(client);
    const uint32_t n = frame->header.blocksize;
    int16_t* out = s->frame.data();
    for (uint32_t i = 0; i < n; ++i) {
        out[2 * i] = static_cast<int16_t>(buffer[0][i]);
        out[2 * i + 1] = static_cast<int16_t>(buffer[1][i]);
    }
    benchmark::DoNotOptimize(out);
    s->samples += n * 2;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void StraightMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata*, void*) {}
void StraightError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

int64_t DecodeStraight(bool md5) {
    Straight s{&File()};
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, md5);
    FLAC__stream_decoder_init_stream(decoder, &StraightRead, nullptr, nullptr, nullptr, nullptr, &StraightWrite,
                                     &StraightMetadata, &StraightError, &s);
    FLAC__stream_decoder_process_until_end_of_stream(decoder);
    FLAC__stream_decoder_delete(decoder);
    return s.samples * 2;
}

int64_t DecodePlayer() {
    const std::vector<uint8_t>& file = File();
    ISonvexStream* stream = Sonvex_CreateMemStream(file.data(), static_cast<int32_t>(file.size()));
    FlacPlayer* player = FlacLoader(stream);
    if (player == nullptr) {
        Sonvex_DeleteStream(stream);
        return 0;
    }
    uint8_t block[1024];
    int64_t bytes = 0;
    while (player->Status != 0) {
        std::memset(block, 0, sizeof block);
        bytes += player->FillBuffer(block, sizeof block);
        benchmark::DoNotOptimize(block);
    }
    DeleteFlacPlayer(player);
    return bytes;
}

void Check(benchmark::State& state, int64_t bytes) {
    if (bytes != PcmBytes()) {
        state.SkipWithError("decoded length differs from the file's");
    }
}

void StraightDecode(benchmark::State& state) {
    File();
    for (auto _ : state) {
        Check(state, DecodeStraight(false));
    }
    state.SetBytesProcessed(state.iterations() * PcmBytes());
}

void StraightDecodeWithMd5(benchmark::State& state) {
    File();
    for (auto _ : state) {
        Check(state, DecodeStraight(true));
    }
    state.SetBytesProcessed(state.iterations() * PcmBytes());
}

void PlayerDecode(benchmark::State& state) {
    File();
    for (auto _ : state) {
        Check(state, DecodePlayer());
    }
    state.SetBytesProcessed(state.iterations() * PcmBytes());
}

// Both paths in turn each iteration, so drift in the machine's speed hits both alike.
void FlacPlayerOverStraight(benchmark::State& state) {
    File();
    using Clock = std::chrono::steady_clock;
    double straight = 0.0;
    double player = 0.0;
    for (auto _ : state) {
        const Clock::time_point a = Clock::now();
        Check(state, DecodeStraight(false));
        const Clock::time_point b = Clock::now();
        Check(state, DecodePlayer());
        const Clock::time_point c = Clock::now();
        straight += std::chrono::duration<double, std::milli>(b - a).count();
        player += std::chrono::duration<double, std::milli>(c - b).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["straight_ms"] = straight / n;
    state.counters["player_ms"] = player / n;
    state.counters["ratio"] = straight > 0.0 ? player / straight : 0.0;
}

}  // namespace

BENCHMARK(StraightDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(StraightDecodeWithMd5)->Unit(benchmark::kMillisecond);
BENCHMARK(PlayerDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(FlacPlayerOverStraight)->Unit(benchmark::kMillisecond)->MinTime(3.0);

BENCHMARK_MAIN();

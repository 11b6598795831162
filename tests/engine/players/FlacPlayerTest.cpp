#include "engine/players/FlacPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/DebugLog.h"
#include "engine/ISonvexStream.h"
#include "tests/engine/players/PlayerTestSupport.h"
#include "tests/media/FlacWriter.h"

namespace {

constexpr int32_t kFill = 1024;  // what the channel asks for at a time

// A loaded player over a memory copy of the file; the bytes outlive the player.
struct Loaded {
    std::vector<uint8_t> bytes;
    FlacPlayer* player = nullptr;

    explicit Loaded(std::vector<uint8_t> file) : bytes(std::move(file)) {
        ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        player = FlacLoader(stream);
        if (player == nullptr) {
            Sonvex_DeleteStream(stream);
        }
    }
    ~Loaded() { DeleteFlacPlayer(player); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
};

// Fills in channel-sized pieces until the player stops or `limitBytes` have come, keeping only
// the bytes each fill reports.
std::vector<int16_t> Play(FlacPlayer* player, size_t limitBytes, int32_t piece = kFill) {
    std::vector<int16_t> out;
    std::vector<uint8_t> block(static_cast<size_t>(piece));
    while (out.size() * 2 < limitBytes && player->Status != 0) {
        std::fill(block.begin(), block.end(), 0);
        const int32_t got = player->FillBuffer(block.data(), piece);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, piece);
        EXPECT_EQ(got % 2, 0);
        const size_t samples = static_cast<size_t>(got) / 2;
        const size_t old = out.size();
        out.resize(old + samples);
        std::memcpy(out.data() + old, block.data(), samples * 2);
        if (got < piece) {
            EXPECT_EQ(player->Status, 0) << "a short fill must end the music";
        }
    }
    return out;
}

std::vector<int16_t> PlayAll(FlacPlayer* player) {
    return Play(player, SIZE_MAX / 4);
}

// The first index where a and b differ, for messages; -1 when equal.
int64_t FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return static_cast<int64_t>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<int64_t>(n);
}

std::string Describe(const FlacWriterOptions& o) {
    std::ostringstream s;
    s << o.channels << "ch " << o.bits << "bit block " << o.blockSize << " frames " << o.frames
      << (o.seekTable ? " seektable" : "") << (o.padding > 0 ? " padding" : "")
      << (o.damageFrame ? " damaged" : "");
    return s.str();
}

FlacWriterOptions Options(int32_t channels, int32_t bits, int32_t blockSize, int32_t frames) {
    FlacWriterOptions o;
    o.channels = channels;
    o.bits = bits;
    o.blockSize = blockSize;
    o.frames = frames;
    o.seed = static_cast<uint32_t>(channels * 100 + bits + blockSize);
    return o;
}


// Sets the 36-bit total-sample count of STREAMINFO (right after "fLaC" and the block header).
void PatchTotalSamples(std::vector<uint8_t>& file, uint64_t total) {
    uint8_t* p = file.data() + 8 + 13;
    p[0] = static_cast<uint8_t>((p[0] & 0xf0) | ((total >> 32) & 0x0f));
    p[1] = static_cast<uint8_t>(total >> 24);
    p[2] = static_cast<uint8_t>(total >> 16);
    p[3] = static_cast<uint8_t>(total >> 8);
    p[4] = static_cast<uint8_t>(total);
}

// ---------------------------------------------------------------------------------------------
// Whole-file decodes: the player, asked as the channel asks, against a plain libFLAC decode.

class FlacWholeFile : public testing::TestWithParam<FlacWriterOptions> {};

TEST_P(FlacWholeFile, PlaysEverySampleOnceThenStops) {
    const FlacWriterOptions o = GetParam();
    SCOPED_TRACE(Describe(o));
    Loaded loaded(WriteFlac(o));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    ASSERT_TRUE(ref.ok);

    FlacPlayer* p = loaded.player;
    EXPECT_EQ(p->SampleRate, o.rate);
    EXPECT_EQ(p->Channels, o.channels);
    EXPECT_EQ(p->Bits, 16);
    EXPECT_EQ(p->Length, o.frames * o.channels * 2);

    const std::vector<int16_t> played = PlayAll(p);
    EXPECT_EQ(FirstDifference(played, ref.samples), -1);
    EXPECT_EQ(p->Status, 0);
    // Rewound for a replay.
    EXPECT_EQ(p->Position, 0);

    if (!o.damageFrame) {
        // Lossless: the player gives back the encoded signal itself, scaled to 16 bits.
        const std::vector<int32_t> signal = FlacTestSignal(o);
        ASSERT_EQ(played.size(), signal.size());
        for (size_t i = 0; i < signal.size(); ++i) {
            const int32_t expected = o.bits >= 16 ? signal[i] >> (o.bits - 16) : signal[i] * (1 << (16 - o.bits));
            ASSERT_EQ(played[i], expected) << "sample " << i;
        }
    }
}

TEST_P(FlacWholeFile, LoopingPassesFollowEachOtherExactly) {
    const FlacWriterOptions o = GetParam();
    SCOPED_TRACE(Describe(o));
    Loaded loaded(WriteFlac(o));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;
    p->LoopMode = 1;

    const size_t passBytes = ref.samples.size() * 2;
    const size_t extra = 5000;
    const std::vector<int16_t> played = Play(p, 3 * passBytes + extra);
    EXPECT_EQ(p->Status, 1);
    std::vector<int16_t> expected;
    while (expected.size() < played.size()) {
        expected.insert(expected.end(), ref.samples.begin(), ref.samples.end());
    }
    expected.resize(played.size());
    EXPECT_EQ(FirstDifference(played, expected), -1);
    // Position counts from the start of the current pass (which begins at the next fill once
    // the last sample of a pass has gone out).
    EXPECT_EQ(static_cast<size_t>(p->Position), (played.size() * 2 - 1) % passBytes + 1);
}

FlacWriterOptions Damaged() {
    FlacWriterOptions o = Options(2, 16, 1152, 30000);
    o.damageFrame = true;
    return o;
}

FlacWriterOptions Padded() {
    FlacWriterOptions o = Options(2, 16, 16384, 50000);
    o.seekTable = false;
    o.padding = 5000;
    return o;
}

// A pass far shorter than one fill behind far more metadata than audio: every fill restarts
// several times, and each restart must cost the audio, not the metadata again.
FlacWriterOptions ShortBehindMetadata(int32_t channels, int32_t frames, int32_t padding) {
    FlacWriterOptions o = Options(channels, 16, 4096, frames);
    o.padding = padding;
    return o;
}

INSTANTIATE_TEST_SUITE_P(Formats, FlacWholeFile,
                         testing::Values(Options(2, 16, 4096, 30011), Options(1, 16, 1152, 20000),
                                         Options(2, 8, 192, 9000), Options(1, 8, 4096, 12345),
                                         Options(2, 24, 4608, 25000), Options(1, 24, 576, 10000),
                                         Options(2, 16, 65535, 140000), Options(2, 16, 1024, 1024),
                                         Options(1, 16, 4096, 1), Padded(), Damaged(),
                                         ShortBehindMetadata(2, 100, 100 * 1024),
                                         ShortBehindMetadata(1, 37, 300 * 1024)));

TEST(FlacPlayerDecode, FileStreamPlaysLikeMemory) {
    const FlacWriterOptions o = Options(2, 16, 4096, 40000);
    const std::vector<uint8_t> bytes = WriteFlac(o);
    const FlacReferenceDecode ref = DecodeFlacReference(bytes);
    const std::string path = playertest::WriteTempFile("flac_file.flac", bytes);
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    FlacPlayer* p = FlacLoader(stream);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(FirstDifference(PlayAll(p), ref.samples), -1);
    p->LoopMode = 1;
    p->Status = 1;
    const std::vector<int16_t> again = Play(p, ref.samples.size() * 2 + 4096);
    std::vector<int16_t> expected = ref.samples;
    expected.insert(expected.end(), ref.samples.begin(), ref.samples.end());
    expected.resize(again.size());
    EXPECT_EQ(FirstDifference(again, expected), -1);
    DeleteFlacPlayer(p);
    std::remove(path.c_str());
}

TEST(FlacPlayerDecode, ReplayAfterTheEndStartsAtTheFirstSample) {
    Loaded loaded(WriteFlac(Options(2, 16, 4096, 10000)));
    ASSERT_NE(loaded.player, nullptr);
    FlacPlayer* p = loaded.player;
    const std::vector<int16_t> first = PlayAll(p);
    ASSERT_EQ(p->Status, 0);
    uint8_t block[kFill] = {};
    EXPECT_EQ(p->FillBuffer(block, kFill), 0);  // stopped sources deliver nothing
    p->Status = 1;                              // as the channel does when played again
    EXPECT_EQ(FirstDifference(PlayAll(p), first), -1);
}

TEST(FlacPlayerDecode, OddAndTinyFillSizes) {
    Loaded loaded(WriteFlac(Options(2, 16, 4096, 10000)));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;

    uint8_t block[8];
    std::memset(block, 0x77, sizeof block);
    EXPECT_EQ(p->FillBuffer(block, 1), 1);
    EXPECT_EQ(block[0], 0x77);
    EXPECT_EQ(p->Position, 0);

    EXPECT_EQ(p->FillBuffer(block, 5), 5);
    EXPECT_EQ(p->Position, 4);
    int16_t two[2];
    std::memcpy(two, block, 4);
    EXPECT_EQ(two[0], ref.samples[0]);
    EXPECT_EQ(two[1], ref.samples[1]);
    EXPECT_EQ(block[4], 0x77);

    // The samples go on where they left off, whatever the piece size.
    std::vector<int16_t> played = {two[0], two[1]};
    const std::vector<int16_t> rest = Play(p, SIZE_MAX / 4, 998);
    played.insert(played.end(), rest.begin(), rest.end());
    EXPECT_EQ(FirstDifference(played, ref.samples), -1);

    p->Status = 0;
    EXPECT_EQ(p->FillBuffer(block, 8), 0);
}

TEST(FlacPlayerDecode, TruncatedFileEndsWhereTheDecoderEnds) {
    std::vector<uint8_t> bytes = WriteFlac(Options(2, 16, 4096, 30000));
    bytes.resize(bytes.size() * 2 / 3 + 7);
    const FlacReferenceDecode ref = DecodeFlacReference(bytes);
    Loaded loaded(bytes);
    ASSERT_NE(loaded.player, nullptr);
    const std::vector<int16_t> played = PlayAll(loaded.player);
    EXPECT_EQ(FirstDifference(played, ref.samples), -1);
    EXPECT_LT(played.size(), 30000u * 2);
    EXPECT_GT(played.size(), 0u);
    EXPECT_EQ(loaded.player->Status, 0);
}

TEST(FlacPlayerDecode, DamagedFrameIsReportedAndPlayedAsLibflacDecodesIt) {
    FlacWriterOptions o = Damaged();
    const std::vector<std::string> log = playertest::LogLines([&] {
        Loaded loaded(WriteFlac(o));
        ASSERT_NE(loaded.player, nullptr);
        PlayAll(loaded.player);
    });
    bool reported = false;
    for (const std::string& line : log) {
        reported = reported || line.rfind("Got error callback:  FLAC__STREAM_DECODER_ERROR_STATUS_", 0) == 0;
    }
    EXPECT_TRUE(reported);
}

TEST(FlacPlayerDecode, LoopingStreamWithoutAudioEndsInsteadOfSpinning) {
    // STREAMINFO promises samples, but the file stops before its first frame.
    std::vector<uint8_t> bytes = WriteFlac(Options(2, 16, 4096, 10000));
    bytes.resize(FlacAudioOffset(bytes));
    Loaded loaded(bytes);
    ASSERT_NE(loaded.player, nullptr);
    loaded.player->LoopMode = 1;
    uint8_t block[kFill];
    EXPECT_EQ(loaded.player->FillBuffer(block, kFill), 0);
    EXPECT_EQ(loaded.player->Status, 0);
}

TEST(FlacPlayerDecode, LoopingOverMostlyDamageDoesNotHoldTheFill) {
    // One 16-sample frame, then a long run of noise the decoder must scan on every pass: a
    // looping fill would otherwise restart the pass 32 times for its 512 samples.
    std::vector<uint8_t> bytes = WriteFlac(Options(1, 16, 16, 16));
    std::mt19937 random(7);
    for (int32_t i = 0; i < 300000; ++i) {
        bytes.push_back(static_cast<uint8_t>(random()));
    }
    const FlacReferenceDecode ref = DecodeFlacReference(bytes);
    ASSERT_EQ(ref.samples.size(), 16u);
    ASSERT_GT(ref.errors, 0);

    Loaded loaded(bytes);
    ASSERT_NE(loaded.player, nullptr);
    loaded.player->LoopMode = 1;
    std::vector<int16_t> block(kFill / 2, 0);
    int32_t got = 0;
    const std::vector<std::string> log = playertest::LogLines([&] {
        got = loaded.player->FillBuffer(reinterpret_cast<uint8_t*>(block.data()), kFill);
    });
    EXPECT_EQ(got, kFill);
    EXPECT_EQ(loaded.player->Status, 1);
    const std::vector<int16_t> firstPass(block.begin(), block.begin() + 16);
    EXPECT_EQ(firstPass, ref.samples);
    const auto errors = std::count_if(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("Got error callback:", 0) == 0;
    });
    EXPECT_LE(errors, 4 * ref.errors);
}

// ---------------------------------------------------------------------------------------------
// Seeking.

class FlacSeek : public testing::TestWithParam<FlacWriterOptions> {};

TEST_P(FlacSeek, ResumesAtTheTargetSample) {
    const FlacWriterOptions o = GetParam();
    SCOPED_TRACE(Describe(o));
    Loaded loaded(WriteFlac(o));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;
    const int32_t channels = o.channels;
    const int32_t frameBytes = channels * 2;

    std::mt19937 random(o.seed);
    std::vector<int32_t> targets = {0, 1, o.blockSize - 1, o.blockSize, o.blockSize + 1, o.frames - 1,
                                    o.frames - 2, 2 * o.blockSize};
    for (int32_t i = 0; i < 150; ++i) {
        targets.push_back(static_cast<int32_t>(random() % static_cast<uint32_t>(o.frames)));
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const int32_t target = std::min(targets[i], o.frames - 1);
        SCOPED_TRACE("seek to frame " + std::to_string(target));
        int32_t result;
        if (i % 3 == 2) {
            // Bytes inside the frame round down to it.
            result = p->Seek(target * frameBytes + frameBytes - 1, 0);
        } else {
            result = p->Seek(target, 1);
        }
        ASSERT_EQ(result, target * frameBytes);
        ASSERT_EQ(p->Position, target * frameBytes);
        p->Status = 1;
        const std::vector<int16_t> played = Play(p, 3000);
        const size_t from = static_cast<size_t>(target) * channels;
        std::vector<int16_t> expected(ref.samples.begin() + static_cast<std::ptrdiff_t>(from),
                                      ref.samples.begin() + static_cast<std::ptrdiff_t>(std::min(ref.samples.size(), from + played.size())));
        ASSERT_EQ(FirstDifference(played, expected), -1);
        if (played.size() * 2 < 3000) {
            EXPECT_EQ(from + played.size(), ref.samples.size()) << "stopped before the end";
        }
    }
}

FlacWriterOptions NoSeekTable(int32_t channels, int32_t bits, int32_t blockSize, int32_t frames) {
    FlacWriterOptions o = Options(channels, bits, blockSize, frames);
    o.seekTable = false;
    return o;
}

INSTANTIATE_TEST_SUITE_P(Formats, FlacSeek,
                         testing::Values(Options(2, 16, 4096, 200000), NoSeekTable(2, 16, 1152, 100000),
                                         NoSeekTable(1, 24, 576, 50000), Options(2, 8, 192, 20000),
                                         Padded()));

TEST(FlacPlayerSeek, UnitsAndBoundsOnATenSecondFile) {
    FlacWriterOptions o = Options(2, 16, 4096, 441000);
    o.compression = 0;
    Loaded loaded(WriteFlac(o));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;
    EXPECT_EQ(p->SampleRate, 44100);
    EXPECT_EQ(p->Channels, 2);
    EXPECT_EQ(p->Bits, 16);
    EXPECT_EQ(p->Length, 1764000);
    EXPECT_EQ(p->GetLength(1), 441000);
    EXPECT_EQ(p->Seekable, 1);
    EXPECT_EQ(p->Status, 1);
    EXPECT_EQ(p->Position, 0);
    EXPECT_EQ(p->GetRefCount(), 0);
    EXPECT_EQ(p->Deleter, &FlacPlayer::Destroy);

    auto next = [&](size_t frame) {
        const std::vector<int16_t> got = Play(p, 8, 8);
        return got.size() == 4 && got[0] == ref.samples[frame * 2] && got[3] == ref.samples[frame * 2 + 3];
    };
    EXPECT_EQ(p->Seek(1000, 1), 4000);
    EXPECT_EQ(p->Position, 4000);
    EXPECT_TRUE(next(1000));
    EXPECT_EQ(p->Seek(4001, 0), 4000);
    EXPECT_TRUE(next(1000));
    EXPECT_EQ(p->Seek(5, 2), 0);  // milliseconds are not a seek unit: frame 0
    EXPECT_TRUE(next(0));
    EXPECT_EQ(p->Seek(-7, 1), 0);
    EXPECT_TRUE(next(0));

    // At or past the end: stop, report the length, and keep the place.
    p->Seek(300000, 1);
    EXPECT_EQ(p->Seek(441000, 1), 1764000);
    EXPECT_EQ(p->Status, 0);
    EXPECT_EQ(p->Position, 1200000);
    p->Status = 1;
    EXPECT_TRUE(next(300000));
}

TEST(FlacPlayerSeek, SeekNearTheEndWhileLoopingWrapsToTheStart) {
    Loaded loaded(WriteFlac(Options(1, 16, 1152, 20000)));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;
    p->LoopMode = 1;
    EXPECT_EQ(p->Seek(19990, 1), 39980);
    const std::vector<int16_t> played = Play(p, 200, 200);
    std::vector<int16_t> expected(ref.samples.end() - 10, ref.samples.end());
    expected.insert(expected.end(), ref.samples.begin(), ref.samples.begin() + 90);
    EXPECT_EQ(FirstDifference(played, expected), -1);
    EXPECT_EQ(p->Position, 180);
}

TEST(FlacPlayerSeek, RefusedSeekResumesWherePlayingWas) {
    // libFLAC cannot land inside the scrambled frame, half-way through the file.
    const FlacWriterOptions o = Damaged();
    Loaded loaded(WriteFlac(o));
    ASSERT_NE(loaded.player, nullptr);
    const FlacReferenceDecode ref = DecodeFlacReference(loaded.bytes);
    FlacPlayer* p = loaded.player;
    Play(p, 800, 800);
    ASSERT_EQ(p->Position, 800);

    int32_t result = 0;
    const std::vector<std::string> log = playertest::LogLines([&] { result = p->Seek(o.frames / 2 + 22, 1); });
    EXPECT_TRUE(playertest::Contains(log, "ERROR: FLAC__stream_decoder_seek_absolute"));
    EXPECT_EQ(result, 800);
    EXPECT_EQ(p->Position, 800);
    const std::vector<int16_t> played = Play(p, 4000, 1000);
    const std::vector<int16_t> expected(ref.samples.begin() + 400, ref.samples.begin() + 400 + 2000);
    EXPECT_EQ(FirstDifference(played, expected), -1);
}

// ---------------------------------------------------------------------------------------------
// Loading, rejection and ownership.

TEST(FlacLoaderTest, NullStreamIsRefusedSilently) {
    const std::vector<std::string> log = playertest::LogLines([] { EXPECT_EQ(FlacLoader(nullptr), nullptr); });
    EXPECT_TRUE(log.empty());
}

TEST(FlacLoaderTest, RejectionsLeaveTheStreamOpenWithTheCaller) {
    const std::vector<uint8_t> good = WriteFlac(Options(2, 16, 4096, 5000));
    FlacWriterOptions withId3 = Options(2, 16, 4096, 5000);
    withId3.id3Prefix = true;
    FlacWriterOptions noTotal = Options(2, 16, 4096, 5000);
    noTotal.totalSamples = false;
    std::vector<uint8_t> tooLong = good;
    PatchTotalSamples(tooLong, uint64_t{1} << 35);
    std::vector<uint8_t> garbage = {'f', 'L', 'a', 'C'};
    garbage.resize(200, 0xee);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<std::string> lines;
    };
    const std::string tag = "Flac tag rejected";
    const std::string decoder = "Flac decoder rejected";
    const std::vector<Case> cases = {
        {"id3", WriteFlac(withId3), {tag}},
        {"short", {'f', 'L', 'a'}, {tag}},
        {"empty", {}, {tag}},
        {"wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, {tag}},
        {"garbage", garbage, {decoder}},
        {"nototal", WriteFlac(noTotal), {decoder}},
        {"marker only", {'f', 'L', 'a', 'C'}, {decoder}},
        {"three channels", WriteFlac(Options(3, 16, 4096, 5000)),
         {"Flac channel count not supported: 3", decoder}},
        {"six channels", WriteFlac(Options(6, 24, 4096, 5000)),
         {"Flac channel count not supported: 6", decoder}},
        {"too long", tooLong, {"Flac stream too long for a 32-bit length", decoder}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = playertest::WriteTempFile("flac_reject.bin", c.bytes);
        const int32_t before = playertest::OpenDescriptors();
        ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
        ASSERT_NE(stream, nullptr);
        FlacPlayer* player = reinterpret_cast<FlacPlayer*>(1);
        const std::vector<std::string> log = playertest::LogLines([&] { player = FlacLoader(stream); });
        EXPECT_EQ(player, nullptr);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), "Flac Loader...");
        EXPECT_EQ(log.back(), c.lines.back());
        for (const std::string& line : c.lines) {
            EXPECT_TRUE(playertest::Contains(log, line)) << line;
        }
        // Still open and readable by the next loader.
        EXPECT_EQ(playertest::OpenDescriptors(), before + 1);
        EXPECT_EQ(stream->Seek(0), 0);
        EXPECT_EQ(stream->Size(), static_cast<int32_t>(c.bytes.size()));
        if (c.bytes.size() >= 3) {
            EXPECT_EQ(stream->ReadByte(), c.bytes[0]);
        }
        Sonvex_DeleteStream(stream);
        EXPECT_EQ(playertest::OpenDescriptors(), before);
        std::remove(path.c_str());
    }
}

TEST(FlacLoaderTest, AcceptedStreamIsClosedOnceWhenThePlayerGoes) {
    const std::string path = playertest::WriteTempFile("flac_owned.flac", WriteFlac(Options(1, 24, 4096, 8000)));
    const int32_t before = playertest::OpenDescriptors();
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    FlacPlayer* player = nullptr;
    std::vector<std::string> log = playertest::LogLines([&] { player = FlacLoader(stream); });
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"Flac Loader..."});
    EXPECT_EQ(player->Stream, stream);
    EXPECT_EQ(playertest::OpenDescriptors(), before + 1);
    Play(player, 20000);

    player->AddRef();
    player->AddRef();
    log = playertest::LogLines([&] { player->Release(); });
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(playertest::OpenDescriptors(), before + 1);
    log = playertest::LogLines([&] { player->Release(); });
    EXPECT_EQ(log, std::vector<std::string>{"~FlacPlayer"});
    EXPECT_EQ(playertest::OpenDescriptors(), before);
    std::remove(path.c_str());
}

TEST(FlacLoaderTest, DestroyingNothingDoesNothing) {
    const std::vector<std::string> log = playertest::LogLines([] {
        FlacPlayer::Destroy(nullptr);
        DeleteFlacPlayer(nullptr);
    });
    EXPECT_TRUE(log.empty());
}

TEST(FlacLoaderTest, MonoAndWideStreamsPlayRatherThanFallSilent) {
    for (const FlacWriterOptions& o : {Options(1, 16, 4096, 6000), Options(2, 24, 4096, 6000)}) {
        SCOPED_TRACE(Describe(o));
        std::vector<int16_t> played;
        const std::vector<std::string> log = playertest::LogLines([&] {
            Loaded loaded(WriteFlac(o));
            ASSERT_NE(loaded.player, nullptr);
            played = PlayAll(loaded.player);
        });
        EXPECT_EQ(played.size(), static_cast<size_t>(o.frames * o.channels));
        EXPECT_NE(std::count(played.begin(), played.end(), int16_t{0}), static_cast<std::ptrdiff_t>(played.size()));
        for (const std::string& line : log) {
            EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
        }
    }
}

}  // namespace

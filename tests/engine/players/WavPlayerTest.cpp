#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/DebugLog.h"
#include "engine/ISonvexStream.h"
#include "engine/players/WavPlayer.h"
#include "tests/engine/players/PlayerTestSupport.h"
#include "tests/media/WavWriter.h"

namespace {

// What a channel asks of its source at a time.
constexpr int32_t kPiece = 1024;

WavFormat Pcm(int16_t channels, int16_t bits, uint32_t rate = 44100) {
    WavFormat format;
    format.channels = channels;
    format.bits = bits;
    format.sampleRate = rate;
    return format;
}

// A stream over the file's bytes, in memory or through a file on disk.
ISonvexStream* OpenStream(const std::vector<uint8_t>& bytes, bool onDisk, const std::string& name) {
    if (!onDisk) {
        return Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    const std::string path = playertest::WriteTempFile("wav_" + name + ".wav", bytes);
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    std::remove(path.c_str());  // the open stream keeps the file's contents until it is closed
    return stream;
}

// Fills in channel-sized pieces until the player ends (or `limit` bytes), checking on the way
// that no fill overruns its request and that the position stays inside the data.
std::vector<uint8_t> Decode(WavPlayer* player, size_t limit = 1 << 24) {
    std::vector<uint8_t> out;
    uint8_t piece[kPiece];
    while (player->Status != 0 && out.size() < limit) {
        const int32_t got = player->FillBuffer(piece, kPiece);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, kPiece);
        EXPECT_GE(player->Position, 0);
        EXPECT_LE(player->Position, player->Length);
        out.insert(out.end(), piece, piece + std::max(got, 0));
    }
    out.resize(std::min(out.size(), limit));
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    from = std::min(from, bytes.size());
    count = std::min(count, bytes.size() - from);
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// A loaded player over a file kept alive by the fixture; released at the end of the test.
class WavTest : public testing::Test {
protected:
    WavPlayer* Load(std::vector<uint8_t> bytes) {
        file_ = std::move(bytes);
        WavPlayer* player = WavLoader(Sonvex_CreateMemStream(file_.data(), static_cast<int32_t>(file_.size())));
        if (player != nullptr) {
            player->AddRef();
            player_ = player;
        }
        return player;
    }
    void TearDown() override {
        if (player_ != nullptr) {
            player_->Release();
        }
    }

    std::vector<uint8_t> file_;
    WavPlayer* player_ = nullptr;
};

// ---- Loading ----------------------------------------------------------------------------------

TEST_F(WavTest, PlainFileLoadsWithItsFormatAndLogLines) {
    const std::vector<uint8_t> samples = WavSamples(1000, 2, 16);
    WavPlayer* player = nullptr;
    const auto log = playertest::LogLines([&] { player = Load(WavWriter::Simple(Pcm(2, 16, 22050), samples)); });
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Wav Loader...", "Wav accepted! samples=4000", "channels=2",
                                             "freq=22050", "start@=44"}));
    EXPECT_EQ(player->DataStart, 44);
    EXPECT_EQ(player->Length, 4000);
    EXPECT_EQ(player->Channels, 2);
    EXPECT_EQ(player->Bits, 16);
    EXPECT_EQ(player->SampleRate, 22050);
    EXPECT_EQ(player->ByteRate, 22050 * 4);
    EXPECT_EQ(player->BlockAlign, 4);
    EXPECT_EQ(player->Seekable, 1);
    EXPECT_EQ(player->Status, 1);
    EXPECT_EQ(player->Position, 0);
    EXPECT_EQ(player->LoopMode, 0);
    EXPECT_EQ(player->GetRefCount(), 1);  // ours; the loader adds none
    EXPECT_EQ(player->Deleter, &WavPlayer::Destroy);
    EXPECT_EQ(player->GetLength(1), 1000);
    EXPECT_EQ(player->GetLength(2), 45);  // 1000 / 22.05, truncated
    EXPECT_EQ(player->Stream->Pos(), 44);
}

TEST_F(WavTest, FormatChunkExtraBytesAreSkipped) {
    const std::vector<uint8_t> samples = WavSamples(300, 1, 16);
    struct Case {
        std::vector<uint8_t> extra;
        int32_t dataStart;
    };
    // cbSize alone, an extensible-sized block with tag 1, and an odd size with its pad byte.
    const Case cases[] = {{{0, 0}, 46}, {std::vector<uint8_t>(24, 7), 68}, {{9}, 46}};
    for (const Case& c : cases) {
        WavFormat format = Pcm(1, 16);
        format.extra = c.extra;
        WavPlayer* player = Load(WavWriter::Simple(format, samples));
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(player->DataStart, c.dataStart);
        EXPECT_EQ(Decode(player), samples);
        player->Release();
        player_ = nullptr;
    }
}

TEST_F(WavTest, ChunksBeforeTheDataAreSkippedWithTheirPadBytes) {
    const std::vector<uint8_t> samples = WavSamples(777, 2, 8);
    const std::vector<uint8_t> odd = WavListInfo("Odd!");  // 4 + 8 + 5 = 17 bytes
    ASSERT_EQ(odd.size() % 2, 1u);
    WavPlayer* player = Load(WavWriter()
                                 .Format(Pcm(2, 8))
                                 .Chunk("LIST", odd)
                                 .Chunk("fact", {1, 2, 3, 4})
                                 .Chunk("id3 ", WavId3Tag("Title"))
                                 .Chunk("junk", {0xff})
                                 .Data(samples)
                                 .Bytes());
    ASSERT_NE(player, nullptr);
    const int32_t id3 = static_cast<int32_t>(WavId3Tag("Title").size());
    EXPECT_EQ(player->DataStart, 36 + (8 + 18) + (8 + 4) + (8 + id3 + id3 % 2) + (8 + 2) + 8);
    EXPECT_EQ(Decode(player), samples);
}

TEST_F(WavTest, OddChunkWhoseWriterLeftOutThePadByteStillLoads) {
    const std::vector<uint8_t> samples = WavSamples(64, 1, 8);
    for (const std::string& next : {std::string("data"), std::string("LIST")}) {
        WavWriter writer;
        writer.OmitPadBytes().Format(Pcm(1, 8)).Chunk("note", {'a', 'b', 'c'});
        if (next == "LIST") {
            writer.Chunk("LIST", WavListInfo("xy"));
        }
        WavPlayer* player = Load(writer.Data(samples).Bytes());
        ASSERT_NE(player, nullptr) << next;
        EXPECT_EQ(Decode(player), samples) << next;
        player->Release();
        player_ = nullptr;
    }
}

// Every header the engine cannot play is refused with its log line, and the stream stays with
// the caller, open and readable from the start, whether it is memory or a file.
TEST(WavRefused, HeadersAreRefusedAndTheStreamStaysWithTheCaller) {
    const std::vector<uint8_t> samples = WavSamples(100, 2, 16);
    auto format = [&](auto change) {
        WavFormat f = Pcm(2, 16);
        change(f);
        return WavWriter::Simple(f, samples);
    };
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "Wav rejected"},
        {"not_riff", WavWriter().RiffId("RIFX").Format(Pcm(2, 16)).Data(samples).Bytes(), "Wav rejected"},
        {"not_wave", WavWriter().FormType("AVI ").Format(Pcm(2, 16)).Data(samples).Bytes(), "Wav rejected"},
        {"list_first", WavWriter().Chunk("LIST", WavListInfo("a")).Format(Pcm(2, 16)).Data(samples).Bytes(),
         "Wav rejected"},
        {"data_first", WavWriter().Data(samples).Format(Pcm(2, 16)).Bytes(), "Wav rejected"},
        {"float", format([](WavFormat& f) { f.tag = 3, f.bits = 32; }), "Wav rejected - compression not supported"},
        {"extensible", format([](WavFormat& f) { f.tag = 65534; }), "Wav rejected - compression not supported"},
        {"adpcm", format([](WavFormat& f) { f.tag = 2; }), "Wav rejected - compression not supported"},
        {"no_channels", format([](WavFormat& f) { f.channels = 0; }), "Wav rejected - format not supported"},
        {"three_channels", format([](WavFormat& f) { f.channels = 3; }), "Wav rejected - format not supported"},
        {"six_channels", format([](WavFormat& f) { f.channels = 6; }), "Wav rejected - format not supported"},
        {"negative_channels", format([](WavFormat& f) { f.channels = -2; }), "Wav rejected - format not supported"},
        {"bits_0", format([](WavFormat& f) { f.bits = 0; }), "Wav rejected - format not supported"},
        {"bits_4", format([](WavFormat& f) { f.bits = 4; }), "Wav rejected - format not supported"},
        {"bits_12", format([](WavFormat& f) { f.bits = 12; }), "Wav rejected - format not supported"},
        {"bits_24", format([](WavFormat& f) { f.bits = 24; }), "Wav rejected - format not supported"},
        {"bits_32", format([](WavFormat& f) { f.bits = 32; }), "Wav rejected - format not supported"},
        {"rate_0", format([](WavFormat& f) { f.sampleRate = 0; }), "Wav rejected - format not supported"},
        {"rate_negative", format([](WavFormat& f) { f.sampleRate = 0x80000000u; }),
         "Wav rejected - format not supported"},
        {"no_data", WavWriter().Format(Pcm(2, 16)).Chunk("LIST", WavListInfo("tail")).Bytes(),
         "Wav rejected - no data chunk"},
        {"chunk_runs_past_end", WavWriter().Format(Pcm(2, 16)).Chunk("LIST", {1, 2}, 0xfffffff0u).Data(samples).Bytes(),
         "Wav rejected - no data chunk"},
        {"data_header_cut", WavTruncated(WavWriter::Simple(Pcm(2, 16), samples), 42), "Wav rejected - no data chunk"},
    };
    for (const bool onDisk : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (onDisk ? " (file)" : " (memory)"));
            ISonvexStream* stream = OpenStream(c.bytes, onDisk, c.name);
            ASSERT_NE(stream, nullptr);
            WavPlayer* player = nullptr;
            const auto log = playertest::LogLines([&] { player = WavLoader(stream); });
            EXPECT_EQ(player, nullptr);
            ASSERT_GE(log.size(), 3u);
            EXPECT_EQ(log.front(), "Wav Loader...");
            EXPECT_EQ(log[log.size() - 2], c.line);
            EXPECT_EQ(log.back(), "~WavPlayer");

            // Still open: the next loader reads it from the start.
            EXPECT_EQ(stream->Seek(0), 0);
            std::vector<uint8_t> again(c.bytes.size() + 1);
            const int32_t got = stream->Read(again.data(), static_cast<int32_t>(again.size()));
            EXPECT_EQ(got, static_cast<int32_t>(c.bytes.size()));
            again.resize(static_cast<size_t>(std::max(got, 0)));
            EXPECT_EQ(again, c.bytes);
            Sonvex_DeleteStream(stream);
        }
    }
}

TEST(WavRefused, EveryCutOfTheHeaderIsRefusedAndTheFullHeaderLoads) {
    const std::vector<uint8_t> whole =
        WavWriter().Format(Pcm(1, 16)).Chunk("LIST", WavListInfo("cuts")).Data(WavSamples(10, 1, 16)).Bytes();
    const size_t header = 36 + 8 + 17 + 1 + 8;  // an odd chunk and its pad byte before the data
    for (size_t length = 0; length <= header; ++length) {
        const std::vector<uint8_t> bytes = WavTruncated(whole, length);
        ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        WavPlayer* player = WavLoader(stream);
        if (length < header) {
            EXPECT_EQ(player, nullptr) << length;
            Sonvex_DeleteStream(stream);
            continue;
        }
        // The whole header and none of the data: it loads and ends at once, looping or not.
        ASSERT_NE(player, nullptr);
        EXPECT_EQ(player->Length, 20);
        player->LoopMode = 1;
        uint8_t piece[kPiece];
        EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);
        EXPECT_EQ(player->Status, 0);
        WavPlayer::Destroy(player);
    }
}

// ---- Playing ----------------------------------------------------------------------------------

TEST(WavPlayback, WholeFilesDecodeToTheWrittenSamples) {
    for (const bool onDisk : {false, true}) {
        for (const int16_t bits : {8, 16}) {
            for (const int16_t channels : {1, 2}) {
                for (const int32_t frames : {1, 255, 256, 1000, 4097}) {
                    SCOPED_TRACE(testing::Message() << bits << "-bit x" << channels << ", " << frames
                                                    << " frames" << (onDisk ? ", file" : ""));
                    const std::vector<uint8_t> samples = WavSamples(frames, channels, bits, frames);
                    const std::vector<uint8_t> bytes = WavWriter::Simple(Pcm(channels, bits), samples);
                    WavPlayer* player = WavLoader(OpenStream(bytes, onDisk, "whole"));
                    ASSERT_NE(player, nullptr);
                    player->AddRef();
                    EXPECT_EQ(Decode(player), samples);
                    // Ended: rewound, stopped, and a further fill reads nothing.
                    EXPECT_EQ(player->Status, 0);
                    EXPECT_EQ(player->Position, 0);
                    uint8_t piece[kPiece];
                    EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);
                    // Started again, it plays the whole file once more.
                    player->Status = 1;
                    EXPECT_EQ(Decode(player), samples);
                    player->Release();
                }
            }
        }
    }
}

TEST(WavPlayback, ChunksAfterTheDataAreNeverPlayed) {
    for (const bool onDisk : {false, true}) {
        // 8-bit mono of odd length: the data chunk's own pad byte is not sound either.
        const std::vector<uint8_t> samples = WavSamples(2001, 1, 8);
        const std::vector<uint8_t> bytes = WavWriter()
                                               .Format(Pcm(1, 8))
                                               .Data(samples)
                                               .Chunk("LIST", WavListInfo("After the data"))
                                               .Chunk("id3 ", WavId3Tag("Tagged"))
                                               .Bytes();
        WavPlayer* player = WavLoader(OpenStream(bytes, onDisk, "trailing"));
        ASSERT_NE(player, nullptr);
        player->AddRef();
        EXPECT_EQ(Decode(player), samples);
        player->Release();
    }
}

TEST(WavPlayback, TruncatedDataEndsWhereTheStreamEnds) {
    const std::vector<uint8_t> samples = WavSamples(3000, 2, 16);
    const std::vector<uint8_t> whole = WavWriter::Simple(Pcm(2, 16), samples);
    // Cut on a frame boundary and in the middle of a frame: only whole frames play.
    for (const size_t cut : {size_t{44 + 5000}, size_t{44 + 5003}}) {
        for (const bool onDisk : {false, true}) {
            const std::vector<uint8_t> bytes = WavTruncated(whole, cut);
            WavPlayer* player = WavLoader(OpenStream(bytes, onDisk, "truncated"));
            ASSERT_NE(player, nullptr);
            player->AddRef();
            EXPECT_EQ(player->Length, 12000);  // what the header declares
            EXPECT_EQ(Decode(player), Slice(samples, 0, 5000));
            player->LoopMode = 1;
            player->Status = 1;
            std::vector<uint8_t> twice = Slice(samples, 0, 5000);
            twice.insert(twice.end(), twice.begin(), twice.end());
            EXPECT_EQ(Decode(player, twice.size()), twice);
            player->Release();
        }
    }
}

TEST(WavPlayback, UnknownDataSizeRunsToTheEndOfTheStream) {
    const std::vector<uint8_t> samples = WavSamples(999, 2, 8);
    const std::vector<uint8_t> tags = WavListInfo("Cut in its tags");
    // A size no position can reach, and the 0 of a recorder that never finished its header; but
    // a 0 with a chunk id after it is an empty data chunk, even when that chunk was cut short.
    const struct {
        uint32_t size;
        WavWriter file;
        std::vector<uint8_t> plays;
    } cases[] = {
        {0xffffffffu, WavWriter().Format(Pcm(2, 8)).Data(samples, 0xffffffffu), samples},
        {0, WavWriter().Format(Pcm(2, 8)).Data(samples, 0), samples},
        {0, WavWriter().Format(Pcm(2, 8)).Data({}).Chunk("LIST", tags), {}},
        {0, WavWriter().Format(Pcm(2, 8)).Data({}).Chunk("LIST", tags, static_cast<uint32_t>(tags.size() + 100)), {}},
    };
    for (const auto& k : cases) {
        const std::vector<uint8_t> bytes = k.file.Bytes();
        ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        WavPlayer* player = WavLoader(stream);
        ASSERT_NE(player, nullptr) << k.size << ", " << bytes.size() << " bytes";
        EXPECT_EQ(player->Length, static_cast<int32_t>(k.plays.size())) << k.size << ", " << bytes.size() << " bytes";
        EXPECT_EQ(Decode(player), k.plays) << k.size << ", " << bytes.size() << " bytes";
        WavPlayer::Destroy(player);
    }
}

TEST_F(WavTest, TheFillThatMeetsTheEnd) {
    const std::vector<uint8_t> samples = WavSamples(1000, 2, 16);  // 4000 bytes
    WavPlayer* player = Load(WavWriter::Simple(Pcm(2, 16), samples));
    ASSERT_NE(player, nullptr);
    uint8_t piece[kPiece];

    // Short of the end: the rest comes back, the player stops and rewinds.
    player->Seek(900, 1);
    EXPECT_EQ(player->FillBuffer(piece, kPiece), 400);
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + 400), Slice(samples, 3600, 400));
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(player->Position, 0);
    EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);

    // A request that ends exactly at the end is served whole and ends the player too.
    player->Seek(744, 1);
    EXPECT_EQ(player->FillBuffer(piece, kPiece), kPiece);
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(player->Position, 0);

    // Nothing asked, or stopped: nothing read.
    player->Status = 1;
    EXPECT_EQ(player->FillBuffer(piece, 0), 0);
    EXPECT_EQ(player->FillBuffer(piece, -5), 0);
    player->Status = 0;
    EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);
    EXPECT_EQ(player->Position, 0);
}

TEST_F(WavTest, LoopingPassesRepeatTheFileAndIgnoreTheLoopRange) {
    // 4097 frames of 16-bit stereo: the end falls inside a 1024-byte piece.
    const std::vector<uint8_t> samples = WavSamples(4097, 2, 16);
    WavPlayer* player =
        Load(WavWriter().Format(Pcm(2, 16)).Data(samples).Chunk("LIST", WavListInfo("not sound")).Bytes());
    ASSERT_NE(player, nullptr);
    player->LoopMode = 1;
    player->LoopStart = 400;  // a range set on a channel has no effect on a WAV source
    player->LoopLength = 200;
    std::vector<uint8_t> expected;
    for (int pass = 0; pass < 4; ++pass) {
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    EXPECT_EQ(Decode(player, expected.size()), expected);
    EXPECT_EQ(player->Status, 1);

    // The piece that wraps is whole; Position counts what came after the restart.
    player->Seek(4097 - 10, 1);
    uint8_t piece[kPiece];
    EXPECT_EQ(player->FillBuffer(piece, kPiece), kPiece);
    EXPECT_EQ(player->Position, kPiece - 40);
    std::vector<uint8_t> wrapped = Slice(samples, samples.size() - 40, 40);
    const std::vector<uint8_t> head = Slice(samples, 0, kPiece - 40);
    wrapped.insert(wrapped.end(), head.begin(), head.end());
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + kPiece), wrapped);
}

TEST_F(WavTest, LoopingOverDataShorterThanAPieceFillsTheWholeRequest) {
    const std::vector<uint8_t> samples = WavSamples(3, 1, 8);
    WavPlayer* player = Load(WavWriter::Simple(Pcm(1, 8), samples));
    ASSERT_NE(player, nullptr);
    player->LoopMode = 1;
    uint8_t piece[kPiece];
    ASSERT_EQ(player->FillBuffer(piece, kPiece), kPiece);
    for (int32_t i = 0; i < kPiece; ++i) {
        ASSERT_EQ(piece[i], samples[static_cast<size_t>(i % 3)]) << i;
    }
}

TEST_F(WavTest, LoopingOverEmptyDataEndsItsFill) {
    WavPlayer* player = Load(WavWriter().Format(Pcm(2, 16)).Data({}).Chunk("LIST", WavListInfo("only tags")).Bytes());
    ASSERT_NE(player, nullptr);
    player->LoopMode = 1;
    uint8_t piece[kPiece];
    EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(player->Position, 0);
}

TEST_F(WavTest, FillGoesOnFromThePositionTheChannelWrites) {
    // Two channels on one source each write their own position before their fill.
    const std::vector<uint8_t> samples = WavSamples(2000, 1, 16);
    WavPlayer* player = Load(WavWriter::Simple(Pcm(1, 16), samples));
    ASSERT_NE(player, nullptr);
    uint8_t piece[kPiece];
    int32_t a = 0;
    int32_t b = 1000;
    for (int i = 0; i < 3; ++i) {
        player->Position = a;
        ASSERT_EQ(player->FillBuffer(piece, 100), 100);
        EXPECT_EQ(std::vector<uint8_t>(piece, piece + 100), Slice(samples, static_cast<size_t>(a), 100));
        a = player->Position;
        player->Position = b;
        ASSERT_EQ(player->FillBuffer(piece, 100), 100);
        EXPECT_EQ(std::vector<uint8_t>(piece, piece + 100), Slice(samples, static_cast<size_t>(b), 100));
        b = player->Position;
    }
    EXPECT_EQ(a, 300);
    EXPECT_EQ(b, 1300);
}

// ---- Seeking ----------------------------------------------------------------------------------

TEST_F(WavTest, SeeksInEveryUnitLandOnWholeFrames) {
    const std::vector<uint8_t> samples = WavSamples(3000, 2, 16);
    WavPlayer* player = Load(WavWriter::Simple(Pcm(2, 16), samples));
    ASSERT_NE(player, nullptr);
    uint8_t piece[16];

    int32_t result = 0;
    auto log = playertest::LogLines([&] { result = player->Seek(1000, 1); });
    EXPECT_EQ(log, std::vector<std::string>{"Wav seek to:4044"});
    EXPECT_EQ(result, 4044);
    EXPECT_EQ(player->Position, 4000);
    ASSERT_EQ(player->FillBuffer(piece, 16), 16);
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + 16), Slice(samples, 4000, 16));

    EXPECT_EQ(player->Seek(1001, 0), 1044);  // bytes: truncated to frame 250
    EXPECT_EQ(player->Position, 1000);
    EXPECT_EQ(player->GetPosition(1), 250);
    ASSERT_EQ(player->FillBuffer(piece, 16), 16);
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + 16), Slice(samples, 1000, 16));

    // Milliseconds and unknown units go to the start.
    for (const int32_t unit : {2, 3, 4, 5, -1}) {
        player->Seek(1000, 1);
        EXPECT_EQ(player->Seek(5, unit), 44) << unit;
        EXPECT_EQ(player->Position, 0) << unit;
    }

    // A seek starts an ended player again.
    player->Seek(2999, 1);
    EXPECT_EQ(player->FillBuffer(piece, 16), 4);
    EXPECT_EQ(player->Status, 0);
    player->Seek(10, 1);
    EXPECT_EQ(player->Status, 1);
    ASSERT_EQ(player->FillBuffer(piece, 16), 16);
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + 16), Slice(samples, 40, 16));
}

TEST_F(WavTest, SeeksBeforeTheStartOrPastTheEndStayInsideTheData) {
    const std::vector<uint8_t> samples = WavSamples(3000, 2, 16);
    WavPlayer* player = Load(WavWriter().Format(Pcm(2, 16)).Data(samples).Chunk("id3 ", WavId3Tag("x")).Bytes());
    ASSERT_NE(player, nullptr);
    uint8_t piece[kPiece];
    for (const int32_t unit : {0, 1}) {
        for (const int32_t position : {-1, -4, -100000, INT32_MIN}) {
            EXPECT_EQ(player->Seek(position, unit), 44) << position << " unit " << unit;
            EXPECT_EQ(player->Position, 0);
        }
        for (const int32_t position : {12001, 3001 * 4, INT32_MAX}) {
            EXPECT_EQ(player->Seek(position, unit), 44 + 12000) << position << " unit " << unit;
            EXPECT_EQ(player->Position, 12000);
            // Not looping: the next fill finds the end and stops.
            EXPECT_EQ(player->FillBuffer(piece, kPiece), 0);
            EXPECT_EQ(player->Status, 0);
        }
    }
    // Looping: the next fill starts over.
    player->LoopMode = 1;
    player->Seek(INT32_MAX, 1);
    ASSERT_EQ(player->FillBuffer(piece, kPiece), kPiece);
    EXPECT_EQ(std::vector<uint8_t>(piece, piece + kPiece), Slice(samples, 0, kPiece));
}

TEST(WavSeek, RandomSeeksResumeAtTheTargetFrame) {
    std::mt19937 random(4);
    for (const bool onDisk : {false, true}) {
        for (const int16_t bits : {8, 16}) {
            for (const int16_t channels : {1, 2}) {
                const int32_t frames = 20011;
                const std::vector<uint8_t> samples = WavSamples(frames, channels, bits, 9);
                const std::vector<uint8_t> bytes = WavWriter()
                                                       .Format(Pcm(channels, bits))
                                                       .Chunk("LIST", WavListInfo("seek"))
                                                       .Data(samples)
                                                       .Chunk("LIST", WavListInfo("tail"))
                                                       .Bytes();
                WavPlayer* player = WavLoader(OpenStream(bytes, onDisk, "seek"));
                ASSERT_NE(player, nullptr);
                player->AddRef();
                const int32_t frameBytes = channels * bits / 8;
                uint8_t piece[kPiece];
                for (int i = 0; i < 200; ++i) {
                    const int32_t frame = std::uniform_int_distribution<int32_t>(0, frames - 1)(random);
                    const bool inBytes = i % 2 == 1;
                    // A byte position inside the frame lands on its start.
                    const int32_t slack = std::uniform_int_distribution<int32_t>(0, frameBytes - 1)(random);
                    player->Seek(inBytes ? frame * frameBytes + slack : frame, inBytes ? 0 : 1);
                    ASSERT_EQ(player->Position, frame * frameBytes);
                    const int32_t got = player->FillBuffer(piece, kPiece);
                    const size_t from = static_cast<size_t>(frame * frameBytes);
                    ASSERT_EQ(std::vector<uint8_t>(piece, piece + got), Slice(samples, from, kPiece))
                        << "frame " << frame << " bits " << bits << " channels " << channels;
                    player->Status = 1;
                }
                player->Release();
            }
        }
    }
}

// ---- Lifetime ---------------------------------------------------------------------------------

TEST(WavLifetime, AnAcceptedFileIsClosedOnceWhenThePlayerGoes) {
    const sonvex_test::TempFile file("wav_lifetime.wav");
    const std::string& path = file.path();
    ASSERT_TRUE(WavWriter().Format(Pcm(2, 16)).Data(WavSamples(100, 2, 16)).WriteFile(path));
    const int32_t before = playertest::OpenDescriptors();
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(playertest::OpenDescriptors(), before + 1);
    WavPlayer* player = WavLoader(stream);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->Stream, stream);
    player->AddRef();
    player->AddRef();
    player->Release();
    EXPECT_EQ(playertest::OpenDescriptors(), before + 1);  // one holder left
    const auto log = playertest::LogLines([&] { player->Release(); });
    EXPECT_EQ(log, std::vector<std::string>{"~WavPlayer"});
    EXPECT_EQ(playertest::OpenDescriptors(), before);
}

TEST(WavLifetime, CloseRewindsAndKeepsTheStreamOpen) {
    const std::vector<uint8_t> samples = WavSamples(500, 1, 8);
    const std::vector<uint8_t> bytes = WavWriter::Simple(Pcm(1, 8), samples);
    WavPlayer* player = WavLoader(Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size())));
    ASSERT_NE(player, nullptr);
    player->Seek(200, 1);
    player->Close();
    EXPECT_EQ(player->Position, 0);
    ASSERT_NE(player->Stream, nullptr);
    EXPECT_EQ(Decode(player), samples);
    WavPlayer::Destroy(player);
    WavPlayer::Destroy(nullptr);
}

TEST(WavLifetime, ALoaderGivenNoStreamReturnsNone) {
    EXPECT_EQ(WavLoader(nullptr), nullptr);
}

}  // namespace

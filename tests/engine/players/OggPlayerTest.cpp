#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/DebugLog.h"
#include "engine/ISonvexStream.h"
#include "engine/players/OggPlayer.h"
#include "tests/media/OggWriter.h"
#include "tests/media/TempFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- media, encoded once per run ---------------------------------------------------------

OggWriterOptions Options(int32_t channels, int32_t rate, int32_t frames, int32_t serial = 0x1234,
                         uint32_t seed = 1) {
    OggWriterOptions o;
    o.channels = channels;
    o.rate = rate;
    o.frames = frames;
    o.serial = serial;
    o.seed = seed;
    return o;
}

const Bytes& StereoTenSeconds() {
    static const Bytes file = WriteOggVorbis(Options(2, 44100, 441000));
    return file;
}

const Bytes& MonoTenSeconds() {
    static const Bytes file = WriteOggVorbis(Options(1, 44100, 441000));
    return file;
}

const Bytes& ChainedFile() {
    static const Bytes file = WriteChainedOggVorbis(
        {Options(2, 44100, 30011, 0x1111, 3), Options(2, 44100, 20000, 0x2222, 4)});
    return file;
}

// ---- the straight vorbisfile decode the player is held against ---------------------------

struct MemSource {
    const Bytes* data;
    size_t pos = 0;
};

size_t MemRead(void* dest, size_t size, size_t count, void* source) {
    auto* m = static_cast<MemSource*>(source);
    const size_t left = m->data->size() - m->pos;
    const size_t n = std::min(left, size * count) / size * size;
    std::memcpy(dest, m->data->data() + m->pos, n);
    m->pos += n;
    return n / size;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
    auto* m = static_cast<MemSource*>(source);
    const ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(m->pos)
                                                                          : static_cast<ogg_int64_t>(m->data->size());
    const ogg_int64_t at = base + offset;
    if (at < 0 || at > static_cast<ogg_int64_t>(m->data->size())) {
        return -1;
    }
    m->pos = static_cast<size_t>(at);
    return 0;
}

long MemTell(void* source) {
    return static_cast<long>(static_cast<MemSource*>(source)->pos);
}

// The first logical stream decoded with ov_read (16-bit signed little-endian); breaks in the
// data are stepped over, as vorbisfile's own examples do.
Bytes StraightDecode(const Bytes& file) {
    MemSource source{&file};
    OggVorbis_File vf;
    const ov_callbacks callbacks = {MemRead, MemSeek, nullptr, MemTell};
    Bytes pcm;
    if (ov_open_callbacks(&source, &vf, nullptr, 0, callbacks) < 0) {
        ADD_FAILURE() << "reference decoder refused the file";
        return pcm;
    }
    char buffer[4096];
    for (;;) {
        int link = 0;
        const long got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link);
        if (got == 0 || (got > 0 && link != 0)) {
            break;
        }
        if (got > 0) {
            pcm.insert(pcm.end(), buffer, buffer + got);
        }
    }
    ov_clear(&vf);
    return pcm;
}

// ---- the player under test ----------------------------------------------------------------

// Owns a memory stream until a loader takes it, and the player after.
struct Loaded {
    ISonvexStream* stream = nullptr;
    OggPlayer* player = nullptr;

    explicit Loaded(const Bytes& file) {
        stream = Sonvex_CreateMemStream(file.data(), static_cast<int32_t>(file.size()));
        player = OggLoader(stream);
        if (player == nullptr) {
            Sonvex_DeleteStream(stream);
        }
    }
    ~Loaded() { OggPlayer::Destroy(player); }
};

// Fills in pieces of `piece` bytes until the source ends or `limit` bytes have come.
Bytes Drain(OggPlayer* player, int32_t piece, size_t limit = SIZE_MAX) {
    Bytes out;
    std::vector<uint8_t> buffer(static_cast<size_t>(piece));
    while (out.size() < limit && player->Status != 0) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const int32_t got = player->FillBuffer(buffer.data(), piece);
        EXPECT_GE(got, 0);
        EXPECT_LE(got, piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    return out;
}

// Index of the first differing byte, or -1: a clearer failure than a huge vector dump.
long FirstDifference(const Bytes& a, const Bytes& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

class LogCapture {
public:
    LogCapture() {
        Sonvex_SetDebugLog(1);
        testing::internal::CaptureStdout();
    }
    std::string Take() {
        const std::string text = testing::internal::GetCapturedStdout();
        Sonvex_SetDebugLog(0);
        return text;
    }
};

// ---- loading ------------------------------------------------------------------------------

TEST(OggLoader, AcceptsStereoFileSetsFormatAndLogs) {
    const std::string path = sonvex_test::WriteTempFile("ten.ogg", StereoTenSeconds());
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    LogCapture log;
    OggPlayer* player = OggLoader(stream);
    const std::string text = log.Take();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(text,
              "Sonvex2: OGG Loader...\n"
              "Sonvex2: OGG accepted! samples=1764000\n"
              "Sonvex2: channels=2\n"
              "Sonvex2: freq=44100\n");
    EXPECT_EQ(player->Stream, stream);
    EXPECT_EQ(player->SampleRate, 44100);
    EXPECT_EQ(player->Channels, 2);
    EXPECT_EQ(player->Bits, 16);
    EXPECT_EQ(player->Length, 1764000);
    EXPECT_EQ(player->GetLength(1), 441000);
    EXPECT_EQ(player->Seekable, 1);
    EXPECT_EQ(player->Status, 1);
    EXPECT_EQ(player->Position, 0);
    EXPECT_EQ(player->RefCount, 0);
    EXPECT_EQ(player->Deleter, &OggPlayer::Destroy);

    // The last reference destroys the player, which logs and closes its stream.
    player->AddRef();
    LogCapture end;
    player->Release();
    EXPECT_EQ(end.Take(), "Sonvex2: ~OggPlayer\n");
    std::remove(path.c_str());
}

TEST(OggLoader, MonoLengthAndOtherRates) {
    Loaded mono(MonoTenSeconds());
    ASSERT_NE(mono.player, nullptr);
    EXPECT_EQ(mono.player->Length, 882000);
    EXPECT_EQ(mono.player->Channels, 1);

    for (const int32_t rate : {22050, 48000}) {
        Loaded file(WriteOggVorbis(Options(2, rate, 12345)));
        ASSERT_NE(file.player, nullptr) << rate;
        EXPECT_EQ(file.player->SampleRate, rate);
        EXPECT_EQ(file.player->Length, 12345 * 4);
    }
}

TEST(OggLoader, RejectsOtherDataAndLeavesStreamWithCaller) {
    Bytes wav = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    wav.resize(64, 0);
    Bytes flac = {'f', 'L', 'a', 'C', 0, 0, 0, 34};
    flac.resize(64, 0x55);
    Bytes truncated(StereoTenSeconds().begin(), StereoTenSeconds().begin() + 40);
    for (const Bytes* data : std::vector<const Bytes*>{&wav, &flac, &truncated}) {
        ISonvexStream* stream = Sonvex_CreateMemStream(data->data(), static_cast<int32_t>(data->size()));
        LogCapture log;
        EXPECT_EQ(OggLoader(stream), nullptr);
        const std::string text = log.Take();
        EXPECT_NE(text.find("Sonvex2: OGG Loader...\n"), std::string::npos);
        EXPECT_NE(text.find("Sonvex2: OGG decoder rejected\nSonvex2: ~OggPlayer\n"), std::string::npos) << text;
        // Still open and readable from the start, as the next loader needs it.
        stream->Seek(0);
        uint8_t head[4] = {};
        EXPECT_EQ(stream->Read(head, 4), 4);
        EXPECT_EQ(std::memcmp(head, data->data(), 4), 0);
        Sonvex_DeleteStream(stream);
    }
    EXPECT_EQ(OggLoader(nullptr), nullptr);
}

TEST(OggLoader, RefusesMoreThanTwoChannels) {
    // Not 6: libvorbisenc leaks one allocation setting up a 5.1 encoder.
    for (const int32_t channels : {3, 4}) {
        const Bytes file = WriteOggVorbis(Options(channels, 44100, 4000));
        ASSERT_FALSE(file.empty());
        ISonvexStream* stream = Sonvex_CreateMemStream(file.data(), static_cast<int32_t>(file.size()));
        LogCapture log;
        EXPECT_EQ(OggLoader(stream), nullptr);
        const std::string text = log.Take();
        EXPECT_NE(text.find("Sonvex2: OGG rejected, channels=" + std::to_string(channels) + "\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("OGG accepted!"), std::string::npos);
        stream->Seek(0);
        uint8_t head[4] = {};
        EXPECT_EQ(stream->Read(head, 4), 4);
        EXPECT_EQ(std::memcmp(head, "OggS", 4), 0);
        Sonvex_DeleteStream(stream);
    }
}

// ---- whole-file decodes -------------------------------------------------------------------

struct Format {
    int32_t channels;
    int32_t rate;
};

class OggWholeFile : public testing::TestWithParam<Format> {};

TEST_P(OggWholeFile, EqualsStraightDecodeAndEndsCleanly) {
    const Format format = GetParam();
    const Bytes file = WriteOggVorbis(Options(format.channels, format.rate, format.rate * 3 / 2 + 17));
    const Bytes expected = StraightDecode(file);
    ASSERT_EQ(expected.size(), static_cast<size_t>(format.rate * 3 / 2 + 17) * 2 * format.channels);

    Loaded loaded(file);
    ASSERT_NE(loaded.player, nullptr);
    OggPlayer* player = loaded.player;
    const Bytes got = Drain(player, 1024);
    EXPECT_EQ(FirstDifference(got, expected), -1);
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(player->Position, 0);

    // Ended: no read at all until the channel plays it again.
    uint8_t buffer[1024];
    EXPECT_EQ(player->FillBuffer(buffer, 1024), 0);
    // A replay hears the file from its start.
    player->Status = 1;
    EXPECT_EQ(FirstDifference(Drain(player, 1024), expected), -1);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, OggWholeFile,
                         testing::Values(Format{1, 22050}, Format{2, 22050}, Format{1, 44100},
                                         Format{2, 44100}, Format{1, 48000}, Format{2, 48000}),
                         [](const testing::TestParamInfo<Format>& info) {
                             return std::to_string(info.param.channels) + "ch" + std::to_string(info.param.rate);
                         });

TEST(OggPlayer, TenSecondFileFromDiskInOddPieces) {
    const Bytes expected = StraightDecode(StereoTenSeconds());
    const std::string path = sonvex_test::WriteTempFile("ten.ogg", StereoTenSeconds());
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    OggPlayer* player = OggLoader(stream);
    ASSERT_NE(player, nullptr);
    // 1023 is no whole number of stereo frames: each fill delivers the 255 frames that fit.
    const Bytes got = Drain(player, 1023);
    EXPECT_EQ(got.size(), 1764000u);
    EXPECT_EQ(FirstDifference(got, expected), -1);
    OggPlayer::Destroy(player);
    std::remove(path.c_str());
}

TEST(OggPlayer, FillEdgeCases) {
    Loaded loaded(StereoTenSeconds());
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);
    uint8_t buffer[16] = {};
    EXPECT_EQ(player->FillBuffer(buffer, 0), 0);
    EXPECT_EQ(player->FillBuffer(buffer, -4), 0);
    // Less than one frame: nothing to deliver, but the source has not ended.
    EXPECT_EQ(player->FillBuffer(buffer, 3), 0);
    EXPECT_EQ(player->Status, 1);
    EXPECT_EQ(player->FillBuffer(buffer, 16), 16);
    EXPECT_EQ(player->Position, 16);
    // A stopped channel writes Status 0: the fill reads nothing and moves nothing.
    player->Status = 0;
    EXPECT_EQ(player->FillBuffer(buffer, 16), 0);
    EXPECT_EQ(player->Position, 16);
    player->Status = 1;
    const Bytes expected = StraightDecode(StereoTenSeconds());
    EXPECT_EQ(std::memcmp(buffer, expected.data(), 16), 0);
    const Bytes rest = Drain(player, 1024, 4096);
    EXPECT_EQ(std::memcmp(rest.data(), expected.data() + 16, rest.size()), 0);
}

// ---- looping ------------------------------------------------------------------------------

TEST(OggPlayer, LoopingPassesFollowEachOtherExactly) {
    const Bytes file = WriteOggVorbis(Options(2, 44100, 20000));
    const Bytes pass = StraightDecode(file);
    Loaded loaded(file);
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);
    player->LoopMode = 1;

    // Each fill returns the whole request, the seams included.
    const size_t total = pass.size() * 3 + 5000;
    Bytes got;
    uint8_t buffer[1024];
    while (got.size() < total) {
        ASSERT_EQ(player->FillBuffer(buffer, 1024), 1024);
        got.insert(got.end(), buffer, buffer + 1024);
    }
    EXPECT_EQ(player->Status, 1);
    for (size_t i = 0; i < got.size(); i += pass.size()) {
        const size_t n = std::min(pass.size(), got.size() - i);
        EXPECT_EQ(std::memcmp(got.data() + i, pass.data(), n), 0) << "pass starting at byte " << i;
    }
    // Position counts from the start of the current pass.
    EXPECT_EQ(static_cast<size_t>(player->Position), got.size() % pass.size());

    // Looping turned off mid-pass: the source ends at the end of this pass.
    player->LoopMode = 0;
    const Bytes tail = Drain(player, 1024);
    EXPECT_EQ(got.size() + tail.size(), pass.size() * 4);
    EXPECT_EQ(player->Status, 0);
}

TEST(OggPlayer, MonoLoopAtOtherRate) {
    const Bytes file = WriteOggVorbis(Options(1, 22050, 7777));
    const Bytes pass = StraightDecode(file);
    Loaded loaded(file);
    ASSERT_NE(loaded.player, nullptr);
    loaded.player->LoopMode = 1;
    const Bytes got = Drain(loaded.player, 1024, pass.size() * 2 + 1024);
    ASSERT_GE(got.size(), pass.size() * 2);
    EXPECT_EQ(std::memcmp(got.data(), pass.data(), pass.size()), 0);
    EXPECT_EQ(std::memcmp(got.data() + pass.size(), pass.data(), pass.size()), 0);
}

// ---- chained files ------------------------------------------------------------------------

TEST(OggPlayer, ChainedFilePlaysItsFirstStreamOnly) {
    const Bytes first = StraightDecode(ChainedFile());
    ASSERT_EQ(first.size(), 30011u * 4);
    Loaded loaded(ChainedFile());
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->Length, 30011 * 4);

    const Bytes once = Drain(player, 1024);
    EXPECT_EQ(FirstDifference(once, first), -1);
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(player->Position, 0);

    // Looping: the first stream again straight after, no silent stretch for the second one.
    player->Status = 1;
    player->LoopMode = 1;
    const Bytes looped = Drain(player, 1024, first.size() * 2 + 2048);
    ASSERT_GE(looped.size(), first.size() * 2);
    EXPECT_EQ(std::memcmp(looped.data(), first.data(), first.size()), 0);
    EXPECT_EQ(std::memcmp(looped.data() + first.size(), first.data(), first.size()), 0);
}

// ---- seeking ------------------------------------------------------------------------------

TEST(OggPlayer, SeekPositionsStatusAndLog) {
    Loaded loaded(StereoTenSeconds());
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);

    player->Status = 0;
    LogCapture log;
    EXPECT_EQ(player->Seek(1000, 1), 0);
    const std::string text = log.Take();
    EXPECT_NE(text.find("Sonvex2: Ogg seek to:1000\n"), std::string::npos) << text;
    EXPECT_EQ(player->Position, 4000);
    EXPECT_EQ(player->Status, 1);

    player->Status = 0;
    EXPECT_EQ(player->Seek(4001, 0), 0);
    EXPECT_EQ(player->Position, 4000);
    EXPECT_EQ(player->Status, 1);

    player->Status = 0;
    EXPECT_EQ(player->Seek(5, 2), 0);
    EXPECT_EQ(player->Position, 0);
    EXPECT_EQ(player->Status, 1);

    // Beyond the end: vorbisfile refuses, the position is taken all the same.
    player->Status = 0;
    EXPECT_LT(player->Seek(500000, 1), 0);
    EXPECT_EQ(player->Position, 2000000);
    EXPECT_EQ(player->Status, 1);
}

TEST(OggPlayer, SeeksWorkWhateverTheSerialNumber) {
    // Serial numbers are random 32-bit values; half of them read as negative.
    for (const uint32_t serial : {0u, 0x7fffffffu, 0x80000000u, 0xfedcba98u}) {
        const Bytes file = WriteOggVorbis(Options(2, 44100, 30000, static_cast<int32_t>(serial)));
        const Bytes expected = StraightDecode(file);
        Loaded loaded(file);
        ASSERT_NE(loaded.player, nullptr);
        EXPECT_EQ(loaded.player->Seek(20000, 1), 0) << serial;
        const Bytes got = Drain(loaded.player, 1024);
        ASSERT_EQ(got.size(), 10000u * 4);
        EXPECT_EQ(std::memcmp(got.data() + 1024, expected.data() + 20000 * 4 + 1024, got.size() - 1024), 0);
    }
}

TEST(OggPlayer, SeekDeliversStraightDecodeAfterCrosslap) {
    const Bytes expected = StraightDecode(StereoTenSeconds());
    Loaded loaded(StereoTenSeconds());
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);
    const vorbis_info* info = ov_info(&player->VorbisFile, -1);
    // The seek blends half a short block of the old place into the new one.
    const size_t lapBytes = static_cast<size_t>(vorbis_info_blocksize(const_cast<vorbis_info*>(info), 0) / 2) * 4;

    Drain(player, 1024, 50 * 1024);
    for (const int32_t frame : {123457, 3, 300000, 99999}) {
        player->Seek(frame, 1);
        const Bytes got = Drain(player, 1024, 64 * 1024);
        const size_t at = static_cast<size_t>(frame) * 4;
        ASSERT_GT(got.size(), lapBytes);
        EXPECT_EQ(std::memcmp(got.data() + lapBytes, expected.data() + at + lapBytes, got.size() - lapBytes), 0)
            << "after seek to frame " << frame;
        EXPECT_EQ(static_cast<size_t>(player->Position), at + got.size());
    }

    // A seek near the end, then on through the end into the next looping pass.
    player->LoopMode = 1;
    const int32_t nearEnd = 441000 - 3000;
    player->Seek(nearEnd, 1);
    const Bytes got = Drain(player, 1024, 3000 * 4 + 8192);
    ASSERT_GT(got.size(), 3000u * 4 + 8192);
    EXPECT_EQ(std::memcmp(got.data() + lapBytes, expected.data() + nearEnd * 4 + lapBytes, 3000 * 4 - lapBytes), 0);
    EXPECT_EQ(std::memcmp(got.data() + 3000 * 4, expected.data(), got.size() - 3000 * 4), 0);
    EXPECT_EQ(static_cast<size_t>(player->Position), got.size() - 3000 * 4);
}

// ---- bad data -----------------------------------------------------------------------------

TEST(OggPlayer, PlaysOnPastAMissingPage) {
    const Bytes whole = WriteOggVorbis(Options(2, 44100, 88200));
    const std::vector<size_t> pages = OggPageOffsets(whole);
    ASSERT_GT(pages.size(), 8u);
    Bytes damaged(whole.begin(), whole.begin() + static_cast<long>(pages[5]));
    damaged.insert(damaged.end(), whole.begin() + static_cast<long>(pages[6]), whole.end());

    const Bytes expected = StraightDecode(damaged);
    Loaded loaded(damaged);
    ASSERT_NE(loaded.player, nullptr);
    const Bytes got = Drain(loaded.player, 1024);
    // The break costs a page's worth of samples, not the rest of the file.
    EXPECT_GT(got.size(), StraightDecode(whole).size() * 3 / 4);
    EXPECT_EQ(FirstDifference(got, expected), -1);
}

size_t CountSeeks(const std::string& log) {
    size_t count = 0;
    for (size_t at = log.find("CMEM SEEK"); at != std::string::npos; at = log.find("CMEM SEEK", at + 1)) {
        ++count;
    }
    return count;
}

TEST(OggPlayer, FileWhoseLengthReadsAsZeroStillLoopsAndSeeksFailFast) {
    // The last page claims granule 0: vorbisfile measures no audio across 150 KB of pages, and
    // its sample seeks divide by that length. Their guesses then lie far beyond the data.
    Bytes file = StereoTenSeconds();
    OggSetGranule(file, OggPageOffsets(file).back(), 0);
    const Bytes pass = StraightDecode(file);
    ASSERT_GT(pass.size(), 1000000u);

    Loaded loaded(file);
    OggPlayer* player = loaded.player;
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->Length, 0);
    // Passes restart by the bytes of the first audio page, which need no length.
    player->LoopMode = 1;
    const Bytes got = Drain(player, 1024, pass.size() * 2 + 4096);
    ASSERT_GE(got.size(), pass.size() * 2);
    EXPECT_EQ(std::memcmp(got.data(), pass.data(), pass.size()), 0);
    EXPECT_EQ(std::memcmp(got.data() + pass.size(), pass.data(), pass.size()), 0);
    EXPECT_EQ(player->Seek(0, 1), 0);

    // vorbisfile's own sample seek asks for an offset near 2^63; refused at once, it gives up
    // after a seek or two instead of bisecting the whole 64-bit range.
    LogCapture log;
    EXPECT_LT(ov_pcm_seek(&player->VorbisFile, 0), 0);
    EXPECT_LT(CountSeeks(log.Take()), 100u);
}

Bytes PageAt(const Bytes& file, size_t page) {
    size_t body = 0;
    for (size_t i = 0; i < file[page + 26]; ++i) {
        body += file[page + 27 + i];
    }
    return Bytes(file.begin() + static_cast<long>(page), file.begin() + static_cast<long>(page + 27 + file[page + 26] + body));
}

TEST(OggPlayer, SplicedDamagedFilesRestartWithoutCorruptingLibogg) {
    // As a fuzzer splices them: a stream's headers, its audio pages with broken checksums, a
    // foreign stream's page in between, and its own last page intact. Going back to frame 0
    // through vorbisfile's sample seek, libogg was handed a page whose bytes had been read
    // over, and its next page-in moved a negative number of bytes.
    const Bytes own = WriteOggVorbis(Options(2, 44100, 64000, 104, 4));
    const Bytes foreign = WriteOggVorbis(Options(2, 44100, 264600, 400, 5));
    const std::vector<size_t> ownPages = OggPageOffsets(own);
    const std::vector<size_t> foreignPages = OggPageOffsets(foreign);
    ASSERT_GE(ownPages.size(), 6u);
    ASSERT_GE(foreignPages.size(), 10u);
    const auto broken = [](Bytes page) {
        page[22] ^= 0xff;
        return page;
    };
    const std::vector<Bytes> layouts[] = {
        {PageAt(own, ownPages[0]), PageAt(own, ownPages[1]), broken(PageAt(own, ownPages[2])),
         broken(PageAt(own, ownPages[3])), PageAt(foreign, foreignPages[8]), broken(PageAt(foreign, foreignPages[9])),
         broken(PageAt(own, ownPages[4])), PageAt(own, ownPages.back())},
        {PageAt(own, ownPages[0]), PageAt(own, ownPages[1]), broken(PageAt(own, ownPages[2])),
         PageAt(foreign, foreignPages[4]), broken(PageAt(foreign, foreignPages[5])), broken(PageAt(own, ownPages[3])),
         broken(PageAt(own, ownPages[4])), PageAt(own, ownPages.back())},
    };
    for (const std::vector<Bytes>& layout : layouts) {
        Bytes file;
        for (const Bytes& page : layout) {
            file.insert(file.end(), page.begin(), page.end());
        }
        const Bytes expected = StraightDecode(file);
        Loaded loaded(file);
        ASSERT_NE(loaded.player, nullptr);
        OggPlayer* player = loaded.player;
        player->LoopMode = 1;
        // Nothing survives the damage: the fill ends, going back to frame 0 as it does.
        EXPECT_EQ(FirstDifference(Drain(player, 1024, 1 << 20), expected), -1);
        EXPECT_EQ(player->Status, 0);
        player->Seek(7, 2);
        EXPECT_EQ(player->Status, 1);
        EXPECT_EQ(FirstDifference(Drain(player, 1024, 1 << 20), expected), -1);
        // Elsewhere vorbisfile would take the same path: with the first audio page broken,
        // sample seeks are refused and the position taken all the same.
        for (const int32_t frame : {1000, 30000}) {
            player->Status = 0;
            EXPECT_LT(player->Seek(frame, 1), 0);
            EXPECT_EQ(player->Status, 1);
            EXPECT_EQ(player->Position, frame * 4);
        }
    }
}

TEST(OggPlayer, StreamWithoutAudioEndsEvenWhenLooping) {
    const Bytes empty = WriteOggVorbis(Options(2, 44100, 0));
    ASSERT_FALSE(empty.empty());
    // Headers intact, audio pages with broken checksums: nothing ever decodes.
    Bytes garbled = WriteOggVorbis(Options(2, 44100, 30000));
    const std::vector<size_t> pages = OggPageOffsets(garbled);
    size_t audioPages = 0;
    for (const size_t page : pages) {
        uint64_t granule = 0;
        std::memcpy(&granule, garbled.data() + page + 6, 8);
        if (granule != 0) {  // header pages carry granule 0
            garbled[page + 22] ^= 0xff;
            ++audioPages;
        }
    }
    ASSERT_GT(audioPages, 1u);

    for (const Bytes* file : std::vector<const Bytes*>{&empty, &garbled}) {
        Loaded loaded(*file);
        ASSERT_NE(loaded.player, nullptr);
        for (const int32_t loop : {0, 1}) {
            loaded.player->Status = 1;
            loaded.player->LoopMode = loop;
            uint8_t buffer[1024];
            EXPECT_EQ(loaded.player->FillBuffer(buffer, 1024), 0);
            EXPECT_EQ(loaded.player->Status, 0);
            // Found by fuzzing: vorbisfile's crosslapping seek overran its buffers here.
            loaded.player->Seek(0, 1);
            EXPECT_EQ(loaded.player->Status, 1);
            loaded.player->Seek(100, 1);
            EXPECT_EQ(loaded.player->FillBuffer(buffer, 1024), 0);
            EXPECT_EQ(loaded.player->Status, 0);
        }
    }
}

// ---- callbacks ----------------------------------------------------------------------------

TEST(OggPlayer, CallbacksWorkOnTheStream) {
    const Bytes data = {1, 2, 3, 4, 5, 6, 7};
    ISonvexStream* stream = Sonvex_CreateMemStream(data.data(), static_cast<int32_t>(data.size()));
    uint8_t out[8] = {};
    // Whole items only.
    EXPECT_EQ(OggPlayer::ReadCallback(out, 2, 2, stream), 2u);
    EXPECT_EQ(OggPlayer::TellCallback(stream), 4);
    EXPECT_EQ(OggPlayer::SeekCallback(stream, -1, 2), 0);
    EXPECT_EQ(OggPlayer::TellCallback(stream), 6);
    EXPECT_EQ(OggPlayer::SeekCallback(stream, 1, 3), -1);
    EXPECT_EQ(OggPlayer::TellCallback(stream), 6);
    EXPECT_EQ(OggPlayer::SeekCallback(stream, 0, 0), 0);
    EXPECT_EQ(OggPlayer::ReadCallback(out, 4, 4, stream), 1u);
    EXPECT_EQ(OggPlayer::ReadCallback(out, 1, 4, stream), 0u);
    EXPECT_EQ(OggPlayer::ReadCallback(out, 0, 4, stream), 0u);
    // Places outside the data are no seek, however vorbisfile computes them: cut to 32 bits
    // they would land somewhere inside, and the stream would clamp the rest.
    const struct {
        ogg_int64_t offset;
        int whence;
    } outside[] = {{(ogg_int64_t{1} << 32) + 3, 0}, {INT64_MAX - 47532, 0}, {INT64_MIN, 0}, {-1, 0},
                   {8, 0}, {INT64_MAX, 1}, {-7, 1}, {2, 1}, {1, 2}, {-8, 2}, {INT64_MIN + 3, 2}};
    for (const auto& seek : outside) {
        SCOPED_TRACE(std::to_string(seek.offset) + " from " + std::to_string(seek.whence));
        ASSERT_EQ(OggPlayer::SeekCallback(stream, 0, 0), 0);
        ASSERT_EQ(OggPlayer::SeekCallback(stream, 6, 0), 0);
        EXPECT_EQ(OggPlayer::SeekCallback(stream, seek.offset, seek.whence), -1);
        EXPECT_EQ(OggPlayer::TellCallback(stream), 6);
    }
    EXPECT_EQ(OggPlayer::SeekCallback(stream, 0, 2), 0);
    EXPECT_EQ(OggPlayer::TellCallback(stream), 7);
    EXPECT_EQ(OggPlayer::SeekCallback(stream, -7, 1), 0);
    EXPECT_EQ(OggPlayer::TellCallback(stream), 0);
    EXPECT_EQ(OggPlayer::CloseCallback(stream), 0);
    // Still open: the player, not vorbisfile, closes it.
    EXPECT_EQ(OggPlayer::SeekCallback(stream, 0, 0), 0);
    EXPECT_EQ(OggPlayer::ReadCallback(out, 1, 1, stream), 1u);
    Sonvex_DeleteStream(stream);
}

}  // namespace

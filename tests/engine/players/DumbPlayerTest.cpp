#include <dumb.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "engine/DebugLog.h"
#include "engine/ISonvexStream.h"
#include "engine/Units.h"
#include "engine/players/DumbPlayer.h"
#include "engine/players/DumbScreen.h"
#include "tests/engine/players/PlayerTestSupport.h"
#include "tests/media/ModuleWriter.h"
#include "tests/media/WavWriter.h"

namespace {

// What a channel asks of its source at a time, in bytes and in frames.
constexpr int32_t kPiece = 1024;
constexpr long kPieceFrames = kPiece / 4;
constexpr float kDelta = 65536.0f / 44100.0f;


// A player over a module held in memory, released when the test is done with it.
class Loaded {
public:
    explicit Loaded(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
        stream = Sonvex_CreateMemStream(data.data(), static_cast<int32_t>(data.size()));
        player = DumbLoader(stream);
        if (player != nullptr) {
            player->AddRef();
        } else {
            Sonvex_DeleteStream(stream);
        }
    }
    Loaded(ModuleFormat format, const ModuleSong& song) : Loaded(WriteModule(format, song)) {}
    ~Loaded() {
        if (player != nullptr) {
            player->Release();
        }
    }

    std::vector<uint8_t> data;
    ISonvexStream* stream = nullptr;
    DumbPlayer* player = nullptr;
};

// Fills in channel-sized pieces until a short fill or maxFrames; what came out, as samples.
std::vector<int16_t> PlayerRender(DumbPlayer* player, int64_t maxFrames, int32_t* lastFill = nullptr) {
    std::vector<int16_t> out;
    std::vector<int16_t> piece(kPiece / 2);
    while (static_cast<int64_t>(out.size() / 2) < maxFrames) {
        const int32_t got = player->FillBuffer(reinterpret_cast<uint8_t*>(piece.data()), kPiece);
        out.insert(out.end(), piece.begin(), piece.begin() + got / 2);
        if (lastFill != nullptr) {
            *lastFill = got;
        }
        if (got < kPiece) {
            break;
        }
    }
    return out;
}

// DUMB used directly on the same bytes: the reader of the module's own format, one renderer,
// the same delta and piece size as the player.
class Direct {
public:
    Direct(ModuleFormat format, const std::vector<uint8_t>& bytes) {
        file = dumbfile_open_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        switch (format) {
        case ModuleFormat::Mod:
            duh = dumb_read_mod(file);
            break;
        case ModuleFormat::S3m:
            duh = dumb_read_s3m(file);
            break;
        case ModuleFormat::Xm:
            duh = dumb_read_xm(file);
            break;
        case ModuleFormat::It:
            duh = dumb_read_it(file);
            break;
        }
    }
    ~Direct() {
        duh_end_sigrenderer(renderer);
        unload_duh(duh);
        dumbfile_close(file);
    }

    void StartAt(long time) { Use(duh_start_sigrenderer(duh, 0, 2, time)); }
    void StartAtOrder(int order) { Use(dumb_it_start_at_order(duh, 2, order)); }

    std::vector<int16_t> Render(int64_t maxFrames) {
        std::vector<int16_t> out;
        std::vector<int16_t> piece(kPieceFrames * 2);
        while (static_cast<int64_t>(out.size() / 2) < maxFrames) {
            const long got = duh_render(renderer, 16, 0, 1.0f, kDelta, kPieceFrames, piece.data());
            out.insert(out.end(), piece.begin(), piece.begin() + got * 2);
            if (got < kPieceFrames) {
                break;
            }
        }
        return out;
    }

    DUMB_IT_SIGRENDERER* It() { return duh_get_it_sigrenderer(renderer); }

    bool loop = false;
    // Ends the render where an XM or MOD sets speed 0, as DUMB's own measurement does.
    bool stopAtSpeedZero = false;
    DUMBFILE* file = nullptr;
    DUH* duh = nullptr;
    DUH_SIGRENDERER* renderer = nullptr;

private:
    static int OnLoop(void* data) { return static_cast<Direct*>(data)->loop ? 0 : 1; }
    static int OnSpeedZero(void* data) { return static_cast<Direct*>(data)->stopAtSpeedZero ? 1 : 0; }
    void Use(DUH_SIGRENDERER* fresh) {
        duh_end_sigrenderer(renderer);
        renderer = fresh;
        dumb_it_set_loop_callback(duh_get_it_sigrenderer(renderer), &Direct::OnLoop, this);
        dumb_it_set_xm_speed_zero_callback(duh_get_it_sigrenderer(renderer), &Direct::OnSpeedZero, this);
    }
};

// Equal sample for sample; on a difference, says where rather than printing both renders.
testing::AssertionResult SameSamples(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    if (a.size() != b.size()) {
        return testing::AssertionFailure() << "frames " << a.size() / 2 << " vs " << b.size() / 2;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return testing::AssertionFailure() << "first difference at frame " << i / 2 << ": " << a[i] << " vs " << b[i];
        }
    }
    return testing::AssertionSuccess();
}

std::vector<int16_t> Head(const std::vector<int16_t>& samples, size_t frames) {
    return std::vector<int16_t>(samples.begin(), samples.begin() + std::min(samples.size(), frames * 2));
}

// A module the loader must refuse, through a memory stream and through a file stream: the
// loader's lines, no player, and the stream left open with the caller.
void ExpectRefused(const std::vector<uint8_t>& bytes) {
    for (bool onDisk : {false, true}) {
        SCOPED_TRACE(onDisk ? "file stream" : "memory stream");
        const std::string path = onDisk ? playertest::WriteTempFile("dumb_refused", bytes) : "";
        ISonvexStream* stream = onDisk ? Sonvex_OpenFileStream(path.c_str())
                                       : Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        ASSERT_NE(stream, nullptr);
        DumbPlayer* p = nullptr;
        const auto log = playertest::LogLines([&] { p = DumbLoader(stream); });
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(log, (std::vector<std::string>{"Dumb Loader...", onDisk ? "Dumb File Loader..." : "Dumb Memory Loader...",
                                                 "Dumb rejected", "~DumbPlayer"}));
        EXPECT_EQ(stream->Seek(0), 0);
        Sonvex_DeleteStream(stream);
        if (onDisk) {
            std::remove(path.c_str());
        }
    }
}

// Where an XM module's first sample header is: past the header, the patterns and the first
// instrument's header.
size_t XmSampleHeader(const std::vector<uint8_t>& b) {
    auto at16 = [&](size_t i) { return static_cast<size_t>(b[i] | b[i + 1] << 8); };
    auto at32 = [&](size_t i) { return at16(i) | at16(i + 2) << 16; };
    size_t at = 60 + at32(60);
    for (size_t p = 0; p < at16(70); ++p) {
        at += at32(at) + at16(at + 7);
    }
    return at + at32(at);
}

// What became of bytes loaded and played for a while in a child process, so that a file DUMB
// crashes or hangs on fails its test instead of ending the suite.
enum class ChildLoad { Loads, Refused, Crashes, Hangs };

ChildLoad LoadInChild(const std::vector<uint8_t>& bytes, int32_t pieces = 256) {
    constexpr unsigned kWatchdogSeconds = 60;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(kWatchdogSeconds);
        ISonvexStream* stream = Sonvex_CreateMemStream(bytes.data(), static_cast<int32_t>(bytes.size()));
        DumbPlayer* player = DumbLoader(stream);
        if (player == nullptr) {
            _exit(11);
        }
        player->AddRef();
        player->Status = 1;
        std::vector<uint8_t> piece(kPiece);
        for (int32_t i = 0; i < pieces && player->FillBuffer(piece.data(), kPiece) == kPiece; ++i) {
        }
        player->Release();
        _exit(10);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return ChildLoad::Crashes;
    }
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGALRM ? ChildLoad::Hangs : ChildLoad::Crashes;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return code == 10 ? ChildLoad::Loads : code == 11 ? ChildLoad::Refused : ChildLoad::Crashes;
}

// How far the process's peak resident memory rises, in megabytes, while run runs. The peak is
// reset first where the kernel allows it, so that an earlier test's peak cannot hide this one.
int64_t PeakGrowthMb(const std::function<void()>& run) {
    auto peakKb = [] {
        std::ifstream status("/proc/self/status");
        for (std::string key; status >> key;) {
            if (key == "VmHWM:") {
                int64_t kb = 0;
                status >> kb;
                return kb;
            }
        }
        return int64_t{0};
    };
    std::ofstream("/proc/self/clear_refs") << "5";
    const int64_t before = peakKb();
    run();
    return (peakKb() - before) / 1024;
}

// One cell of XM pattern data as raw bytes: a mask byte and the fields it names, or five plain
// fields.
struct XmCell {
    int32_t pattern;
    int32_t row;
    int32_t channel;
    std::vector<uint8_t> bytes;
};

// The ending song's XM header and instruments over patterns that hold only the given cells;
// every other cell is emptyCell.
std::vector<uint8_t> XmWithCells(size_t patterns, const std::vector<uint8_t>& orders, const std::vector<XmCell>& cells,
                                 const std::vector<uint8_t>& emptyCell = {0x80}) {
    constexpr int32_t kCells = ModulePattern::kRows * ModulePattern::kChannels;
    ModuleSong song = EndingSong();
    song.patterns.assign(patterns, ModulePattern());
    song.orders = orders;
    const std::vector<uint8_t> plain = WriteXm(song);
    // After the 336-byte header each empty pattern is a 9-byte header and a 0x80 per cell.
    size_t at = 336;
    std::vector<uint8_t> out(plain.begin(), plain.begin() + at);
    for (size_t p = 0; p < patterns; ++p) {
        std::vector<uint8_t> data;
        for (int32_t i = 0; i < kCells; ++i) {
            const auto cell = std::find_if(cells.begin(), cells.end(), [&](const XmCell& c) {
                return c.pattern == static_cast<int32_t>(p) && c.row * ModulePattern::kChannels + c.channel == i;
            });
            const std::vector<uint8_t>& bytes = cell != cells.end() ? cell->bytes : emptyCell;
            data.insert(data.end(), bytes.begin(), bytes.end());
        }
        out.insert(out.end(), plain.begin() + at, plain.begin() + at + 7);
        out.push_back(static_cast<uint8_t>(data.size() & 0xff));
        out.push_back(static_cast<uint8_t>(data.size() >> 8));
        out.insert(out.end(), data.begin(), data.end());
        at += 9 + kCells;
    }
    out.insert(out.end(), plain.begin() + at, plain.end());
    return out;
}

// The ending song with its lead's channel holding one note, from the start, with the effect on
// every row it plays.
ModuleSong LeadSong(int32_t note, ModuleEffect effect) {
    ModuleSong song = EndingSong();
    for (ModulePattern& pattern : song.patterns) {
        for (int32_t row = 0; row < 16; ++row) {
            pattern.At(row, 0) = ModuleCell{-1, 0, -1, effect, 0xdf};
        }
    }
    song.patterns[0].At(0, 0).note = note;
    song.patterns[0].At(0, 0).instrument = 1;
    return song;
}

// A stream of a kind neither file nor memory.
class OddStream final : public ISonvexStream {
public:
    OddStream() : ISonvexStream(7) {}
    ~OddStream() = default;
    void Close() override {}
    int32_t Eof() override { return 1; }
    int32_t Size() override { return 0; }
    int32_t Pos() override { return 0; }
    int32_t Seek(int32_t) override { return 0; }
    int32_t SeekFrom(int32_t, int32_t) override { return 0; }
    void Flush() override {}
    int32_t Read(void*, int32_t) override { return 0; }
};

class EachFormat : public testing::TestWithParam<ModuleFormat> {};

std::string FormatName(const testing::TestParamInfo<ModuleFormat>& info) {
    return ModuleFormatName(info.param);
}

}  // namespace

TEST_P(EachFormat, LoadsFromMemoryWithTheFixedFormatAndDumbsLength) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    Direct direct(GetParam(), bytes);
    ASSERT_NE(direct.duh, nullptr);
    std::unique_ptr<Loaded> loaded;
    const auto log = playertest::LogLines([&] { loaded = std::make_unique<Loaded>(bytes); });
    DumbPlayer* p = loaded->player;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Dumb Loader...", "Dumb Memory Loader..."}));

    EXPECT_EQ(p->SampleRate, 44100);
    EXPECT_EQ(p->Channels, 2);
    EXPECT_EQ(p->Bits, 16);
    EXPECT_EQ(p->Seekable, 1);
    EXPECT_EQ(p->Status, 0);
    EXPECT_EQ(p->Position, 0);
    EXPECT_EQ(p->Stream, loaded->stream);
    EXPECT_FLOAT_EQ(p->Delta, 1.4860771f);
    const long dumbLength = duh_get_length(direct.duh);
    EXPECT_EQ(p->Length, static_cast<int32_t>(dumbLength * 2.691650390625));
    EXPECT_EQ(p->GetLength(0), p->Length);
    EXPECT_EQ(p->GetLength(1), p->Length / 4);
    EXPECT_EQ(p->GetLength(2), BytesToUnit(p->Length, 2, 44100, 4));
    EXPECT_EQ(p->GetLength(5), dumb_it_sd_get_n_orders(duh_get_it_sigdata(direct.duh)));
    EXPECT_EQ(p->GetPosition(4), 0);
    EXPECT_EQ(p->GetPosition(5), 0);
}

TEST_P(EachFormat, FileStreamReadsThroughTheOpenHandleAndPlaysTheSame) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    const std::string path = playertest::WriteTempFile(std::string("dumb_song.") + ModuleFormatName(GetParam()), bytes);
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    DumbPlayer* p = nullptr;
    const auto log = playertest::LogLines([&] { p = DumbLoader(stream); });
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Dumb Loader...", "Dumb File Loader..."}));
    p->AddRef();
    p->Status = 1;

    Loaded memory(bytes);
    memory.player->Status = 1;
    EXPECT_EQ(p->Length, memory.player->Length);
    EXPECT_TRUE(SameSamples(PlayerRender(p, INT32_MAX), PlayerRender(memory.player, INT32_MAX)));
    const auto released = playertest::LogLines([&] { p->Release(); });
    EXPECT_EQ(released, (std::vector<std::string>{"~DumbPlayer"}));
    std::remove(path.c_str());
}

TEST_P(EachFormat, PlaysSampleForSampleAsDumbDoes) {
    for (bool looping : {false, true}) {
        SCOPED_TRACE(looping ? "looping" : "ending");
        const std::vector<uint8_t> bytes = WriteModule(GetParam(), looping ? LoopingSong() : EndingSong());
        Loaded loaded(bytes);
        ASSERT_NE(loaded.player, nullptr);
        DumbPlayer* p = loaded.player;
        p->Status = 1;
        p->LoopMode = looping ? 1 : 0;
        Direct direct(GetParam(), bytes);
        direct.loop = looping;
        direct.StartAt(0);

        // Two and a half passes when looping: the seam is rendered inside one fill.
        const int64_t frames = looping ? p->GetLength(1) * 5 / 2 : INT32_MAX;
        const std::vector<int16_t> mine = PlayerRender(p, frames);
        const std::vector<int16_t> theirs = direct.Render(frames);
        ASSERT_GT(mine.size(), 44100u);
        EXPECT_TRUE(SameSamples(mine, theirs));
        EXPECT_EQ(p->RetiredRenderers(), 0u);
    }
}

TEST_P(EachFormat, RowAndOrderFollowTheRender) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    Loaded loaded(bytes);
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    Direct direct(GetParam(), bytes);
    direct.StartAt(0);
    std::vector<uint8_t> piece(kPiece);
    int32_t lastOrder = 0;
    for (int32_t i = 0; i < 400; ++i) {
        ASSERT_EQ(p->FillBuffer(piece.data(), kPiece), kPiece);
        direct.Render(kPieceFrames);
        ASSERT_EQ(p->GetPosition(4), dumb_it_sr_get_current_row(direct.It())) << "piece " << i;
        ASSERT_EQ(p->GetPosition(5), dumb_it_sr_get_current_order(direct.It())) << "piece " << i;
        lastOrder = p->GetPosition(5);
    }
    EXPECT_EQ(lastOrder, 2);  // 400 pieces reach the last order
    EXPECT_EQ(p->Position, 400 * kPiece);
    EXPECT_EQ(p->GetPosition(1), 400 * kPieceFrames);
    EXPECT_EQ(p->GetPosition(2), BytesToUnit(400 * kPiece, 2, 44100, 4));
}

TEST_P(EachFormat, SeeksInBytesFramesAndMillisecondsStartWhereDumbStartsThem) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    Loaded loaded(bytes);
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    struct Case {
        int32_t position;
        int32_t unit;
        int32_t bytes;
        long dumbTime;
    };
    const Case cases[] = {
        {1000, 1, 4000, 1486},
        {4003, 0, 4000, 1486},
        {1000, 2, 176400, 65535},
        {0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Seek(" << c.position << ", " << c.unit << ")");
        PlayerRender(p, 3000);
        EXPECT_EQ(p->Seek(c.position, c.unit), c.bytes);
        EXPECT_EQ(p->Position, c.bytes);
        EXPECT_EQ(p->Status, 1);
        Direct direct(GetParam(), bytes);
        direct.StartAt(c.dumbTime);
        EXPECT_TRUE(SameSamples(PlayerRender(p, 20000), direct.Render(20000)));
        EXPECT_EQ(p->RetiredRenderers(), 0u);
    }
}

TEST_P(EachFormat, SeeksToAnOrderAndIgnoresUnitsItDoesNotKnow) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    Loaded loaded(bytes);
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    PlayerRender(p, 5000);
    EXPECT_EQ(p->Seek(2, 5), 0);
    EXPECT_EQ(p->Position, 0);
    EXPECT_EQ(p->GetPosition(5), 2);
    EXPECT_EQ(p->GetPosition(4), 0);
    Direct direct(GetParam(), bytes);
    direct.StartAtOrder(2);
    EXPECT_TRUE(SameSamples(PlayerRender(p, 8000), direct.Render(8000)));

    // Units 3 and 4 and anything out of range: nothing changes, the render goes on.
    const int32_t before = p->Position;
    for (int32_t unit : {3, 4, -1, 6}) {
        EXPECT_EQ(p->Seek(7, unit), before);
    }
    EXPECT_EQ(p->Position, before);
    EXPECT_TRUE(SameSamples(PlayerRender(p, 8000), direct.Render(8000)));
    // A unit the query does not know comes back as asked.
    EXPECT_EQ(p->GetPosition(3), 3);
    EXPECT_EQ(p->GetLength(4), 4);
}

TEST_P(EachFormat, OrderOutsideTheSongLeavesNothingToRender) {
    Loaded loaded(GetParam(), EndingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    std::vector<uint8_t> piece(kPiece);
    for (int32_t order : {p->GetLength(5), -1, 1000, INT32_MAX}) {
        SCOPED_TRACE(order);
        EXPECT_EQ(p->Seek(order, 5), 0);
        EXPECT_EQ(p->Renderer, nullptr);
        EXPECT_EQ(p->FillBuffer(piece.data(), kPiece), 0);
        EXPECT_EQ(p->Status, 1);
        EXPECT_EQ(p->GetPosition(4), -1);
        EXPECT_EQ(p->GetPosition(5), -1);
    }
    EXPECT_EQ(p->Seek(0, 1), 0);
    EXPECT_EQ(p->FillBuffer(piece.data(), kPiece), kPiece);
}

TEST_P(EachFormat, SeeksOutsideTheModuleLandAtItsEnds) {
    Loaded loaded(GetParam(), EndingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    const int32_t end = p->Length / 4 * 4;
    EXPECT_EQ(p->Seek(INT32_MAX, 1), end);
    EXPECT_EQ(p->Seek(INT32_MAX, 2), end);
    EXPECT_EQ(p->Seek(INT32_MAX, 0), end);
    int32_t last = -1;
    EXPECT_LT(PlayerRender(p, INT32_MAX, &last).size(), 2u * 64);
    EXPECT_EQ(p->Status, 0);
    EXPECT_EQ(p->Seek(-5000, 2), 0);
    EXPECT_EQ(p->Seek(INT32_MIN, 1), 0);
}

TEST_P(EachFormat, ThousandSeeksLeaveNoRendererBehind) {
    Loaded loaded(GetParam(), LoopingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    std::vector<uint8_t> piece(kPiece);
    for (int32_t i = 0; i < 1000; ++i) {
        switch (i % 4) {
        case 0:
            p->Seek(i * 100, 1);
            break;
        case 1:
            p->Seek(i % 3, 5);
            break;
        case 2:
            p->Seek(i, 2);
            break;
        default:
            p->Seek(i * 400, 0);
            break;
        }
        ASSERT_EQ(p->RetiredRenderers(), 0u);
        if (i % 10 == 0) {
            ASSERT_EQ(p->FillBuffer(piece.data(), kPiece), kPiece);
        }
    }
}

TEST_P(EachFormat, EndWithoutLoopingStopsThenPlaysAgainFromTheBeginning) {
    const std::vector<uint8_t> bytes = WriteModule(GetParam(), EndingSong());
    Loaded loaded(bytes);
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    int32_t last = 0;
    const std::vector<int16_t> all = PlayerRender(p, INT32_MAX, &last);
    EXPECT_LT(last, kPiece);
    EXPECT_EQ(p->Status, 0);
    EXPECT_EQ(p->Position, last);
    EXPECT_EQ(p->RetiredRenderers(), 0u);
    // DUMB reports the end within a frame or two of the length it measured.
    EXPECT_NEAR(static_cast<double>(all.size() / 2), p->GetLength(1), 2.0);

    std::vector<uint8_t> piece(kPiece);
    EXPECT_EQ(p->FillBuffer(piece.data(), kPiece), 0);
    p->Status = 1;
    const std::vector<int16_t> again = PlayerRender(p, 30000);
    EXPECT_TRUE(SameSamples(Head(again, 30000), Head(all, 30000)));
}

TEST_P(EachFormat, LoopingPlaysOnFromTheRestartPoint) {
    Loaded loaded(GetParam(), LoopingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->Status = 1;
    p->LoopMode = 1;
    std::vector<uint8_t> piece(kPiece);
    const int64_t pieces = p->GetLength(1) * 3 / kPieceFrames;
    int64_t total = 0;
    bool backToOrderOne = false;
    int32_t previousOrder = 0;
    for (int64_t i = 0; i < pieces; ++i) {
        ASSERT_EQ(p->FillBuffer(piece.data(), kPiece), kPiece) << "piece " << i;
        total += kPiece;
        const int32_t order = p->GetPosition(5);
        backToOrderOne |= previousOrder == 2 && order == 1;
        previousOrder = order;
    }
    EXPECT_TRUE(backToOrderOne);
    EXPECT_EQ(p->Status, 1);
    // Position counts from the last loop point.
    EXPECT_LT(p->Position, p->Length);
    EXPECT_LT(p->Position, total);
}

TEST(DumbPlayerStall, SpeedZeroEndsThePassWhereDumbReportsIt) {
    // MOD and XM stop at speed 0, where DUMB reports it; S3M and IT ignore it and end normally.
    for (ModuleFormat format : AllModuleFormats()) {
        SCOPED_TRACE(ModuleFormatName(format));
        const std::vector<uint8_t> bytes = WriteModule(format, StallingSong());
        Loaded loaded(bytes);
        DumbPlayer* p = loaded.player;
        ASSERT_NE(p, nullptr);
        p->Status = 1;
        int32_t last = 0;
        const std::vector<int16_t> all = PlayerRender(p, 20 * 44100, &last);
        EXPECT_EQ(p->Status, 0);
        EXPECT_LT(last, kPiece);
        Direct direct(format, bytes);
        direct.stopAtSpeedZero = true;
        direct.StartAt(0);
        EXPECT_TRUE(SameSamples(all, direct.Render(20 * 44100)));
        EXPECT_EQ(p->RetiredRenderers(), 0u);
        // Played again, it starts from the beginning.
        p->Status = 1;
        EXPECT_TRUE(SameSamples(Head(PlayerRender(p, 10000), 10000), Head(all, 10000)));
    }
}

TEST(DumbPlayerStall, LoopingStalledModuleStartsAgainWhereDumbReportsSpeedZero) {
    for (ModuleFormat format : {ModuleFormat::Mod, ModuleFormat::Xm}) {
        SCOPED_TRACE(ModuleFormatName(format));
        const std::vector<uint8_t> bytes = WriteModule(format, StallingSong());
        Loaded loaded(bytes);
        DumbPlayer* p = loaded.player;
        ASSERT_NE(p, nullptr);
        p->Status = 1;
        p->LoopMode = 1;
        Direct direct(format, bytes);
        direct.stopAtSpeedZero = true;
        direct.StartAt(0);
        const std::vector<int16_t> pass = direct.Render(INT32_MAX);
        const int64_t frames = static_cast<int64_t>(pass.size() / 2);
        const std::vector<int16_t> all = PlayerRender(p, frames * 2 + 20000);
        ASSERT_EQ(static_cast<int64_t>(all.size() / 2), (frames * 2 + 20000 + kPieceFrames - 1) / kPieceFrames * kPieceFrames);
        EXPECT_EQ(p->Status, 1);
        // Each pass is DUMB's, sample for sample, and the next starts right after it.
        for (int64_t start : {int64_t{0}, frames}) {
            SCOPED_TRACE(start);
            EXPECT_TRUE(SameSamples(std::vector<int16_t>(all.begin() + start * 2, all.begin() + (start + frames) * 2), pass));
        }
        EXPECT_TRUE(SameSamples(std::vector<int16_t>(all.begin() + frames * 4, all.begin() + (frames * 2 + 20000) * 2), Head(pass, 20000)));
    }
}

TEST(DumbPlayerFill, PiecesAreWholeFramesAndNothingComesWhileStopped) {
    Loaded loaded(ModuleFormat::It, EndingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    std::vector<uint8_t> piece(kPiece);
    EXPECT_EQ(p->FillBuffer(piece.data(), kPiece), 0);  // Status 0 until a channel plays it
    p->Status = 1;
    EXPECT_EQ(p->FillBuffer(piece.data(), kPiece), 1024);
    EXPECT_EQ(p->FillBuffer(piece.data(), 1022), 1020);
    EXPECT_EQ(p->FillBuffer(piece.data(), 3), 0);
    EXPECT_EQ(p->FillBuffer(piece.data(), 0), 0);
    EXPECT_EQ(p->FillBuffer(piece.data(), -4), 0);
    EXPECT_EQ(p->Position, 2044);
    p->Close();
    EXPECT_EQ(p->Position, 0);
}

TEST(DumbPlayerFill, ANoteSlidToTheTopOfDumbsRangePlaysOn) {
    // Under Amiga slides DUMB lets a note rise until its rate passes 32768 x 65536 Hz; a slow
    // portamento up can stop just short of that, where the step at the player's rate passes 2^31
    // and DUMB's resampler never returns. Where a slide stops depends on the sample's rate (a
    // relative note and finetune here) and on every tick before, so no rule on the bytes sees it.
    ModuleSong song = EndingSong();
    for (ModulePattern& pattern : song.patterns) {
        for (int32_t row = 0; row < 16; ++row) {
            pattern.At(row, 0) = ModuleCell{-1, 0, -1, ModuleEffect::PortamentoUp, 1};
        }
        pattern.At(15, 3).effect = ModuleEffect::PatternBreak;
    }
    song.patterns.push_back(song.patterns[0]);
    song.patterns.back().At(0, 0).note = 60;
    song.patterns.back().At(0, 0).instrument = 1;
    song.orders = {3};
    for (int32_t i = 0; i < 12; ++i) {
        song.orders.insert(song.orders.end(), {0, 1, 2});
    }
    // relative note, finetune: where DUMB hangs after about 21, 3 and 5 s of song
    for (const auto& [relative, finetune] : {std::pair{-10, 79}, {22, 2}, {13, 11}}) {
        SCOPED_TRACE(relative);
        std::vector<uint8_t> bytes = WriteXm(song);
        bytes[74] = 0;  // Amiga slides
        bytes[XmSampleHeader(bytes) + 16] = static_cast<uint8_t>(relative);
        bytes[XmSampleHeader(bytes) + 13] = static_cast<uint8_t>(finetune);
        constexpr int32_t kThirtySeconds = 30 * 44100 / kPieceFrames;
        EXPECT_EQ(LoadInChild(bytes, kThirtySeconds), ChildLoad::Loads);
    }
}

TEST(DumbPlayerLoad, RejectsWhatNoReaderTakesAndLeavesTheStreamOpen) {
    // A text file through a file stream: all four readers are tried on it.
    std::string text;
    while (text.size() < 4000) {
        text += "These lines are not music, however a tracker might read them. ";
    }
    const std::string path = playertest::WriteTempFile("dumb_notes.txt", std::vector<uint8_t>(text.begin(), text.end()));
    ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
    ASSERT_NE(stream, nullptr);
    DumbPlayer* p = reinterpret_cast<DumbPlayer*>(1);
    const auto log = playertest::LogLines([&] { p = DumbLoader(stream); });
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Dumb Loader...", "Dumb File Loader...", "Dumb rejected", "~DumbPlayer"}));
    char head[5] = {};
    EXPECT_EQ(stream->Seek(0), 0);
    EXPECT_EQ(stream->Read(head, 4), 4);
    EXPECT_STREQ(head, "Thes");
    Sonvex_DeleteStream(stream);
    std::remove(path.c_str());

    // Memory: nothing at all, and a module cut after its header.
    const std::vector<uint8_t> song = WriteModule(ModuleFormat::It, EndingSong());
    for (size_t size : {size_t{0}, size_t{200}}) {
        ISonvexStream* memory = Sonvex_CreateMemStream(song.data(), static_cast<int32_t>(size));
        EXPECT_EQ(DumbLoader(memory), nullptr);
        Sonvex_DeleteStream(memory);
    }

    // A stream that is neither file nor memory is not offered to DUMB.
    OddStream odd;
    const auto oddLog = playertest::LogLines([&] { EXPECT_EQ(DumbLoader(&odd), nullptr); });
    EXPECT_EQ(oddLog, (std::vector<std::string>{"Dumb Loader...", "Dumb rejected", "~DumbPlayer"}));
    EXPECT_EQ(DumbLoader(nullptr), nullptr);
}

TEST(DumbPlayerLoad, ReleaseDestroysThePlayerAndItsStream) {
    Loaded loaded(ModuleFormat::S3m, LoopingSong());
    DumbPlayer* p = loaded.player;
    ASSERT_NE(p, nullptr);
    p->AddRef();
    EXPECT_EQ(p->GetRefCount(), 2);
    p->Release();
    EXPECT_EQ(p->GetRefCount(), 1);
    const auto log = playertest::LogLines([&] { loaded.player->Release(); });
    loaded.player = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"~DumbPlayer"}));
}

INSTANTIATE_TEST_SUITE_P(DumbPlayer, EachFormat, testing::ValuesIn(AllModuleFormats()), FormatName);

TEST(DumbPlayerLoad, RefusesHeadersThatWouldCrashOrStallDumb) {
    // Found by fuzzing: DUMB divides by the initial tempo and by a sample's base rate while it
    // measures a module, so a zero in either kills the process before the loader returns; and
    // it allocates an S3M sample's stated length before reading it.
    auto at16 = [](const std::vector<uint8_t>& b, size_t i) { return static_cast<size_t>(b[i] | b[i + 1] << 8); };
    auto at32 = [&](const std::vector<uint8_t>& b, size_t i) { return at16(b, i) | at16(b, i + 2) << 16; };
    auto put32 = [](std::vector<uint8_t>& b, size_t i, uint32_t value) { std::memcpy(b.data() + i, &value, 4); };
    // Where each format's first sample header is.
    auto itSample = [&](const std::vector<uint8_t>& b) { return at32(b, 192 + at16(b, 32) + at16(b, 34) * 4); };
    auto s3mSample = [&](const std::vector<uint8_t>& b) { return at16(b, 96 + at16(b, 32)) * 16; };
    auto xmSample = XmSampleHeader;
    struct Case {
        const char* name;
        ModuleFormat format;
        std::function<void(std::vector<uint8_t>&)> spoil;
    };
    const Case cases[] = {
        {"it tempo 0", ModuleFormat::It, [](std::vector<uint8_t>& b) { b[51] = 0; }},
        {"it sample rate 0", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             const size_t sample = itSample(b);
             std::fill(b.begin() + sample + 60, b.begin() + sample + 64, 0);
         }},
        // Found by fuzzing: DUMB allocates an IT sample's stated length (here 4 GB) first.
        {"it sample longer than the file", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             const size_t sample = itSample(b);
             std::fill(b.begin() + sample + 48, b.begin() + sample + 52, 0);
             b[sample + 51] = 0x7f;
         }},
        // Found by fuzzing: DUMB calls exit() on a compressed stereo sample.
        {"it compressed stereo sample", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) { b[itSample(b) + 18] |= 0x0c; }},
        // Found by fuzzing: DUMB appends to dupentry.txt in the working directory, or aborts
        // where it cannot, on a row that names one channel twice.
        {"it row naming a channel twice", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             const size_t pattern = at32(b, 192 + at16(b, 32) + at16(b, 34) * 4 + at16(b, 36) * 4);
             const size_t first = pattern + 8;
             const uint8_t mask = b[first + 1];
             const size_t second = first + 2 + (mask & 1) + (mask >> 1 & 1) + (mask >> 2 & 1) + (mask & 8 ? 2 : 0);
             ASSERT_NE(b[second], 0) << "the first row has one entry only";
             b[second] = b[first];
         }},
        // Found by fuzzing: a last pattern of no rows keeps DUMB measuring the module for ever.
        {"it pattern of no rows", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             const size_t patterns = 192 + at16(b, 32) + at16(b, 34) * 4 + at16(b, 36) * 4;
             const size_t last = at32(b, patterns + (at16(b, 38) - 1) * 4);
             b[last + 2] = b[last + 3] = 0;
         }},
        // Found by fuzzing: DUMB resamples at the stated rate while it measures the module, and
        // from about 850 MHz on it does not come back; Impulse Tracker stops at 9,999,999 Hz.
        {"it sample rate of gigahertz", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) { put32(b, itSample(b) + 60, 3120578076u); }},
        {"it sample rate above Impulse Tracker's", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) { put32(b, itSample(b) + 60, 10000000); }},
        // Found by fuzzing: an IT of 22,024 orders took DUMB 89 s and 624 MB to measure.
        {"it orders beyond 256 and the end mark", ModuleFormat::It,
         [](std::vector<uint8_t>& b) {
             ModuleSong song = EndingSong();
             song.orders.assign(257, 0);
             b = WriteIt(song);
         }},
        {"s3m tempo 0", ModuleFormat::S3m, [](std::vector<uint8_t>& b) { b[50] = 0; }},
        {"s3m sample rate above Impulse Tracker's", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) { put32(b, s3mSample(b) + 32, 10000000); }},
        {"s3m orders beyond 256", ModuleFormat::S3m,
         [](std::vector<uint8_t>& b) {
             ModuleSong song = EndingSong();
             song.orders.assign(258, 0);
             b = WriteS3m(song);
         }},
        {"s3m sample rate 0", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) {
             const size_t sample = s3mSample(b);
             std::fill(b.begin() + sample + 32, b.begin() + sample + 36, 0);
         }},
        {"s3m sample longer than the file", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) {
             const size_t sample = s3mSample(b);
             std::fill(b.begin() + sample + 16, b.begin() + sample + 20, 0xff);
         }},
        {"xm tempo 0", ModuleFormat::Xm, [](std::vector<uint8_t>& b) { b[78] = b[79] = 0; }},
        // Found by fuzzing: DUMB keeps the XM tempo in a byte, and allocates an XM sample's
        // stated length before reading it.
        {"xm tempo 256", ModuleFormat::Xm,
         [](std::vector<uint8_t>& b) {
             b[78] = 0;
             b[79] = 1;
         }},
        // Found by fuzzing: a speed of about 60,000 makes DUMB measure weeks of song.
        {"xm speed above 255", ModuleFormat::Xm,
         [](std::vector<uint8_t>& b) {
             b[76] = 0x60;
             b[77] = 0xea;
         }},
        {"xm pattern of no rows", ModuleFormat::Xm,
         [&](std::vector<uint8_t>& b) {
             size_t at = 60 + at32(b, 60);
             for (size_t p = 0; p + 1 < at16(b, 70); ++p) {
                 at += at32(b, at) + at16(b, at + 7);
             }
             const size_t data = at + at32(b, at);
             b.erase(b.begin() + data, b.begin() + data + at16(b, at + 7));
             std::fill(b.begin() + at + 5, b.begin() + at + 9, 0);
         }},
        {"xm sample longer than the file", ModuleFormat::Xm,
         [&](std::vector<uint8_t>& b) { std::fill(b.begin() + xmSample(b), b.begin() + xmSample(b) + 4, 0xff); }},
        // DUMB reads every S3M sample slot of a type other than 0 that carries "SCRS": a step of 0
        // divides by zero, one past 2^31 never ends.
        {"s3m sample of type 2 at rate 0", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) {
             b[s3mSample(b)] = 2;
             put32(b, s3mSample(b) + 32, 0);
         }},
        {"s3m sample of type 200 at rate 2 GHz", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) {
             b = WriteS3m(LeadSong(60, ModuleEffect::None));
             b[s3mSample(b)] = 200;
             put32(b, s3mSample(b) + 32, 2000000000);
         }},
        // A portamento up takes a note to the top of DUMB's pitch range, where its step at 9,999,999
        // Hz passes 2^31 and DUMB's resampler never returns; a relative note of 127 gives an XM
        // sample a rate of 25.7 MHz. Low rates at low notes come to a step of 0 instead.
        {"it rate at Impulse Tracker's top, climbing from B-9", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             b = WriteIt(LeadSong(119, ModuleEffect::PortamentoUp));
             put32(b, itSample(b) + 60, 9999999);
         }},
        {"xm relative note 127, climbing", ModuleFormat::Xm,
         [&](std::vector<uint8_t>& b) {
             b = WriteXm(LeadSong(60, ModuleEffect::PortamentoUp));
             b[xmSample(b) + 16] = 127;
         }},
        {"it rate 1 at C-0", ModuleFormat::It,
         [&](std::vector<uint8_t>& b) {
             b = WriteIt(LeadSong(0, ModuleEffect::None));
             put32(b, itSample(b) + 60, 1);
         }},
        {"s3m rate 1 at C-0", ModuleFormat::S3m,
         [&](std::vector<uint8_t>& b) {
             b = WriteS3m(LeadSong(12, ModuleEffect::None));
             put32(b, s3mSample(b) + 32, 1);
         }},
        // XM notes 98 to 120 take their sample and pitch from note-map entries DUMB never fills.
        {"xm note 98", ModuleFormat::Xm, [](std::vector<uint8_t>& b) { b = WriteXm(LeadSong(109, ModuleEffect::None)); }},
        // DUMB halves the order table through a pointer it has not set, then reads 2 KB per pattern
        // into a buffer of none.
        {"mod tagged FLT8", ModuleFormat::Mod, [](std::vector<uint8_t>& b) { b = WriteMod(EndingSong(), "FLT8"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = WriteModule(c.format, EndingSong());
        c.spoil(bytes);
        const bool screened = !DumbScreenAccepts(bytes.data(), bytes.size());
        EXPECT_TRUE(screened);
        if (screened) {  // what the screen lets through here crashes or hangs the suite
            ExpectRefused(bytes);
        }
    }

    // The trackers' own limits still pass: the longest order lists, and Impulse Tracker's top rate
    // under Amiga slides (and S3M's), where a note stops rising at B-9.
    ModuleSong longest = EndingSong();
    longest.orders.assign(256, 0);
    for (ModuleFormat format : {ModuleFormat::It, ModuleFormat::S3m, ModuleFormat::Xm}) {
        SCOPED_TRACE(ModuleFormatName(format));
        const std::vector<uint8_t> bytes = WriteModule(format, longest);
        EXPECT_TRUE(DumbScreenAccepts(bytes.data(), bytes.size()));
    }
    std::vector<uint8_t> fastest = WriteIt(EndingSong());
    put32(fastest, itSample(fastest) + 60, 9999999);
    fastest[44] &= ~8;
    EXPECT_TRUE(DumbScreenAccepts(fastest.data(), fastest.size()));
    fastest = WriteS3m(EndingSong());
    put32(fastest, s3mSample(fastest) + 32, 9999999);
    EXPECT_TRUE(DumbScreenAccepts(fastest.data(), fastest.size()));
}

TEST(DumbPlayerLoad, ScreensAFileStreamWithoutReadingItWhole) {
    // The loader is offered every file the others refuse; a large one must cost what the
    // module's headers declare, not the file's size. The files are sparse.
    constexpr off_t kFileBytes = off_t{256} << 20;
    struct Case {
        const char* name;
        std::vector<uint8_t> head;
        bool loads;
    };
    // A compressed IT sample of 2^31 frames: its least bits fit the file, and DUMB would allocate
    // 2 GiB, then take the length as a negative int and clear memory it does not own.
    std::vector<uint8_t> compressed = WriteIt(EndingSong());
    const size_t sample = compressed[192 + compressed[32]] | compressed[193 + compressed[32]] << 8;  // no instruments
    compressed[sample + 18] = 1 | 8;  // compressed, and no loop for DUMB to cut it short at
    const uint32_t frames = 0x80000000u;
    std::memcpy(compressed.data() + sample + 48, &frames, 4);
    const Case cases[] = {
        {"no module", {}, false},
        {"module with a long tail", WriteIt(EndingSong()), true},
        {"compressed sample of 2^31 frames", compressed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = playertest::WriteTempFile("dumb_large", c.head);
        ASSERT_EQ(truncate(path.c_str(), kFileBytes), 0);
        ISonvexStream* stream = Sonvex_OpenFileStream(path.c_str());
        ASSERT_NE(stream, nullptr);
        DumbPlayer* p = nullptr;
        if (!c.loads && DumbScreenAccepts(stream)) {
            ADD_FAILURE() << "the screen hands it to DUMB";
            Sonvex_DeleteStream(stream);
            std::remove(path.c_str());
            continue;
        }
        EXPECT_LT(PeakGrowthMb([&] { p = DumbLoader(stream); }), 32);
        EXPECT_EQ(p != nullptr, c.loads);
        if (p != nullptr) {
            p->AddRef();
            p->Release();
        } else {
            Sonvex_DeleteStream(stream);
        }
        std::remove(path.c_str());
    }
}

TEST(DumbPlayerLoad, SongTooLongToMeasureLoadsInBoundedMemoryAndEndsAtItsLength) {
    // DUMB alone measures the whole 90 hours before its reader returns, keeping a copy of its
    // playing state for every 30 seconds of them.
    for (ModuleFormat format : {ModuleFormat::It, ModuleFormat::S3m, ModuleFormat::Xm}) {
        SCOPED_TRACE(ModuleFormatName(format));
        std::unique_ptr<Loaded> loaded;
        EXPECT_LT(PeakGrowthMb([&] { loaded = std::make_unique<Loaded>(format, LongSong()); }), 32);
        DumbPlayer* p = loaded->player;
        ASSERT_NE(p, nullptr);
        EXPECT_GT(p->Length, 0);
        p->Status = 1;
        const std::vector<int16_t> start = PlayerRender(p, 20000);
        // Where its measurement stopped, the song ends as one that DUMB never loops.
        p->Seek(INT32_MAX, 1);
        int32_t last = -1;
        EXPECT_LT(PlayerRender(p, INT32_MAX, &last).size(), 2u * 64 + 2);
        EXPECT_EQ(p->Status, 0);
        p->Status = 1;
        EXPECT_TRUE(SameSamples(PlayerRender(p, 20000), start));
    }
}

TEST(DumbPlayerLoad, RefusesKeyOffsThatWouldReadOutsideDumbsInstruments) {
    // DUMB keeps an XM instrument field of 0, or above the count, as the channel's instrument; a
    // key-off on that channel while the looped lead still sounds then reads that instrument outside
    // its table while the loader measures the module. (DUMB itself is not instrumented: valgrind
    // --redzone-size=1024 shows the read for each of these; AddressSanitizer only when it lands on
    // unmapped memory.) S3M and IT in sample mode have no table, and DUMB takes a command of 32 in
    // them as its XM key-off: that crashes on every load.
    const std::vector<uint8_t> lead = {0x83, 49, 1};
    auto keyOffEffect = [](ModuleFormat format) {
        ModuleSong song = EndingSong();
        song.patterns[0].At(1, 0).effect = ModuleEffect::KeyOff;
        return WriteModule(format, song);
    };
    auto itCut = [] {
        std::vector<uint8_t> b = WriteIt(EndingSong());
        const size_t offsets = 192 + b[32] + b[36] * 4;  // of the patterns
        const size_t first = b[offsets] | b[offsets + 1] << 8;
        b[first] = 2;  // its data: the first entry's channel and mask, none of the fields it names
        b[first + 1] = 0;
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"s3m command 32", keyOffEffect(ModuleFormat::S3m)},
        {"it command 32 in sample mode", keyOffEffect(ModuleFormat::It)},
        {"instrument above the count, then effect K",
         XmWithCells(1, {0}, {{0, 0, 0, lead}, {0, 2, 0, {0x82, 3}}, {0, 4, 0, {0x88, 0x14}}})},
        {"key-off note with instrument 255", XmWithCells(1, {0}, {{0, 0, 0, lead}, {0, 2, 0, {0x83, 97, 255}}})},
        // The last cell of the pattern played names an effect its data has no byte for: DUMB reads
        // the K that the pattern before left in its buffer. IT entries likewise.
        {"effect read past the pattern's data",
         XmWithCells(2, {1}, {{0, 0, 0, {49, 1, 0x10, 0, 0}}, {0, 63, 2, {0x83, 0x14, 0}}, {1, 0, 3, lead},
                              {1, 2, 3, {0x82, 255}}, {1, 63, 3, {0x88}}})},
        {"it entry cut short by its pattern's end", itCut()},
        // Every empty cell plain: note 0, which DUMB reads as a key-off, and instrument 0.
        {"patterns stored unpacked", XmWithCells(1, {0}, {{0, 0, 0, {49, 1, 0, 0, 0}}}, {0, 0, 0, 0, 0})},
        {"key-off note with instrument 0", XmWithCells(1, {0}, {{0, 0, 0, lead}, {0, 2, 0, {0x83, 97, 0}}})},
        {"instrument 0, then effect K", XmWithCells(1, {0}, {{0, 0, 0, lead}, {0, 2, 0, {0x82, 0}}, {0, 4, 0, {0x88, 0x14}}})},
        {"note field 0 after instrument 0", XmWithCells(1, {0}, {{0, 0, 0, lead}, {0, 2, 0, {0x82, 0}}, {0, 4, 0, {0x81, 0}}})},
        // The key-off comes first in the file but plays after the instrument 0.
        {"key-off in a pattern played later",
         XmWithCells(2, {1, 0}, {{0, 0, 0, {0x81, 97}}, {1, 0, 0, lead}, {1, 2, 0, {0x82, 0}}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(DumbScreenAccepts(c.bytes.data(), c.bytes.size()));
        ExpectRefused(c.bytes);
    }
}

TEST(DumbPlayerLoad, PlaysXmKeyOffsAndInstrumentZeroOnSeparateChannels) {
    // Either alone on a channel is safe in DUMB and must still play, exactly as DUMB plays it.
    const std::vector<uint8_t> lead = {0x83, 49, 1};
    const std::vector<uint8_t> cut = {0x82, 0};
    const std::vector<uint8_t> keyOff = {0x81, 97};
    const std::vector<std::vector<XmCell>> songs = {
        {{0, 0, 0, lead}, {0, 4, 0, keyOff}, {0, 8, 0, {0x88, 0x14}}},
        {{0, 0, 0, lead}, {0, 4, 0, cut}, {0, 8, 0, lead}, {0, 12, 0, cut}},
        {{0, 0, 0, lead}, {0, 0, 1, lead}, {0, 4, 0, cut}, {0, 8, 1, keyOff}},
        // The last instrument there is.
        {{0, 0, 0, {0x83, 49, 2}}, {0, 4, 0, {0x82, 2}}, {0, 8, 0, keyOff}},
        // A note with an instrument DUMB lacks stops the voice, so a later key-off reads nothing.
        {{0, 0, 0, lead}, {0, 4, 0, {0x83, 49, 3}}, {0, 8, 0, keyOff}},
        {{0, 0, 0, lead}, {0, 4, 0, {0x83, 49, 0}}, {0, 8, 0, {0x88, 0x14}}, {0, 12, 0, lead}, {0, 14, 0, keyOff}},
    };
    for (size_t i = 0; i < songs.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t> bytes = XmWithCells(1, {0}, songs[i]);
        EXPECT_TRUE(DumbScreenAccepts(bytes.data(), bytes.size()));
        Loaded loaded(bytes);
        ASSERT_NE(loaded.player, nullptr);
        loaded.player->Status = 1;
        Direct direct(ModuleFormat::Xm, bytes);
        direct.StartAt(0);
        EXPECT_TRUE(SameSamples(PlayerRender(loaded.player, INT32_MAX), direct.Render(INT32_MAX)));
    }
}

TEST(DumbPlayerLoad, PlaysKeyOffCommandsThatNeverCountDown) {
    // DUMB counts an IT or S3M command 32 down a tick at a time from its parameter and starts again
    // at every row: at the row's ticks or more it never keys off, and the module plays as DUMB
    // plays it.
    ModuleSong song = EndingSong();
    song.patterns[0].At(1, 0).effect = ModuleEffect::KeyOff;
    song.patterns[0].At(1, 0).param = 3;  // the speed
    for (ModuleFormat format : {ModuleFormat::S3m, ModuleFormat::It}) {
        SCOPED_TRACE(ModuleFormatName(format));
        const std::vector<uint8_t> bytes = WriteModule(format, song);
        Loaded loaded(bytes);
        ASSERT_NE(loaded.player, nullptr);
        loaded.player->Status = 1;
        Direct direct(format, bytes);
        direct.StartAt(0);
        EXPECT_TRUE(SameSamples(PlayerRender(loaded.player, INT32_MAX), direct.Render(INT32_MAX)));
    }
}

TEST(DumbPlayerLoad, HandsEachReaderOnlyBytesItsOwnRulesAccepted) {
    // DUMB's S3M reader ignores a module's first bytes. With "IMPM" there, DUMB's IT reader refuses
    // the module, and the S3M reader must still be held to the S3M rules (the 15-sample MOD reader
    // is kept off by an order count of 0 where it looks).
    auto impmHead = [](std::vector<uint8_t> b) {
        std::memcpy(b.data(), "IMPM", 4);
        b[470] = 0;
        return b;
    };
    ModuleSong keyOff = EndingSong();
    keyOff.patterns[0].At(1, 0).effect = ModuleEffect::KeyOff;
    std::vector<uint8_t> silent = WriteS3m(EndingSong());
    std::fill_n(silent.begin() + (silent[96 + silent[32]] | silent[97 + silent[32]] << 8) * 16 + 32, 4, 0);
    for (const std::vector<uint8_t>& bytes : {impmHead(WriteS3m(keyOff)), impmHead(silent)}) {
        EXPECT_EQ(LoadInChild(bytes), ChildLoad::Refused);
    }
    // The same module, well formed, still plays through its own reader.
    EXPECT_NE(Loaded(impmHead(WriteS3m(EndingSong()))).player, nullptr);
}

TEST(DumbPlayerLoad, TakesNoOtherFormatAndNoSoundtrackerModuleItsTrackerWouldNotWrite) {
    // DUMB's 15-sample MOD reader has no signature: it would play a 24-bit WAV that the WAV loader
    // refused, or a file of noise, as a burst of noise.
    const std::vector<uint8_t> soundtracker = WriteMod(EndingSong(), "");
    auto changed = [&](size_t at, const std::string& bytes) {
        std::vector<uint8_t> b = soundtracker;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    std::vector<uint8_t> sine;
    for (int32_t i = 0; i < 4 * 44100 * 2; ++i) {
        const int32_t v = static_cast<int32_t>(std::lround(4194303.0 * std::sin(i / 2 * 2.0 * M_PI * 1000.0 / 44100.0)));
        sine.insert(sine.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)});
    }
    // As sox writes it: the extensible format and a fact chunk.
    WavFormat format;
    format.tag = 65534;
    format.bits = 24;
    format.extra = {22, 0, 24, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71};
    std::vector<uint8_t> noise(200000);
    uint32_t seed = 1;
    for (uint8_t& byte : noise) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    std::vector<uint8_t> trailed = soundtracker;
    trailed.resize(soundtracker.size() * 2 + 16384 + 2);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"24-bit WAV", WavWriter().Format(format).Chunk("fact", {0x10, 0xb1, 0x02, 0}).Data(sine).Bytes()},
        {"RIFF", changed(0, "RIFF")},
        {"fLaC", changed(0, "fLaC")},
        {"OggS", changed(0, "OggS")},
        {"noise", noise},
        {"control code in the title", changed(3, "\x07")},
        {"volume above 64", changed(20 + 25, "\x41")},
        {"finetune byte above 15", changed(20 + 24, "\x10")},
        {"no orders", changed(470, std::string(1, '\0'))},
        {"sample number above 15 in a pattern", changed(600, "\x10")},
        {"a trailer longer than the module", trailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Loaded(c.bytes).player, nullptr);
    }
    // As Soundtracker writes it, the module plays as DUMB plays it.
    Loaded loaded(soundtracker);
    ASSERT_NE(loaded.player, nullptr);
    loaded.player->Status = 1;
    Direct direct(ModuleFormat::Mod, soundtracker);
    direct.StartAt(0);
    EXPECT_TRUE(SameSamples(PlayerRender(loaded.player, INT32_MAX), direct.Render(INT32_MAX)));
}

#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "engine/ISonvexMusic.h"
#include "engine/Units.h"

namespace {

// A source with no data: only the base data and the default slots matter here.
class NullMusic final : public ISonvexMusic {
public:
    static int deletes;

    NullMusic(int32_t rate, int32_t channels, int32_t bits, int32_t length) {
        SampleRate = rate;
        Channels = channels;
        Bits = bits;
        Length = length;
        Deleter = [](ISonvexMusic* music) {
            ++deletes;
            delete static_cast<NullMusic*>(music);
        };
    }
    int32_t FillBuffer(uint8_t*, int32_t) override { return 0; }
    int32_t Seek(int32_t position, int32_t) override { return Position = position; }
};
int NullMusic::deletes = 0;

TEST(MusicUnits, LengthInBytesFramesAndMilliseconds) {
    auto* music = new NullMusic(44100, 2, 16, 180000);
    EXPECT_EQ(music->GetLength(0), 180000);
    EXPECT_EQ(music->GetLength(1), 45000);
    EXPECT_EQ(music->GetLength(2), 1020);
    music->Release();
}

TEST(MusicUnits, MillisecondsTruncateInExtendedPrecision) {
    auto* music = new NullMusic(44100, 2, 16, 0);
    music->Position = 176399;  // one byte short of a second
    EXPECT_EQ(music->GetPosition(2), 999);
    music->Position = 176400;  // exactly one second: 0.001's rounding error shows
    EXPECT_EQ(music->GetPosition(2), 999);
    music->Position = 176576;
    EXPECT_EQ(music->GetPosition(2), 1000);
    music->Position = 176400 * 3;
    EXPECT_EQ(music->GetPosition(1), 44100 * 3);
    music->Release();
}

TEST(MusicUnits, OtherFormatsAndUnknownUnits) {
    EXPECT_EQ(BytesToUnit(22050, 2, 22050, 1), 999);     // 8-bit mono, one second
    EXPECT_EQ(BytesToUnit(44100 * 2, 1, 44100, 2), 44100);
    EXPECT_EQ(BytesToUnit(1000, 3, 44100, 4), -1);
    EXPECT_EQ(BytesToUnit(1000, 1, 44100, 0), 0);        // no format yet: no division by zero
    EXPECT_EQ(BytesToUnit(1000, 2, 0, 4), 0);
    EXPECT_EQ(BytesPerFrame(16, 2), 4);
    EXPECT_EQ(BytesPerFrame(8, 1), 1);
}

TEST(MusicUnits, MillisecondsSaturateWhereTheyOutgrow32Bits) {
    struct Case {
        int32_t bytes;
        int32_t rate;
        int32_t frameBytes;
        int32_t expect;
    };
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    for (const Case& k : {Case{2000000000, 500, 1, kMax}, Case{kMax, 1, 1, kMax},
                          Case{-2000000000, 500, 1, kMin}, Case{kMin, 1, 1, kMin},
                          // Still in range: truncated by the extended-precision rule.
                          Case{1000000000, 500, 1, 1999999999}, Case{kMax, 44100, 4, 12173943}}) {
        EXPECT_EQ(BytesToUnit(k.bytes, 2, k.rate, k.frameBytes), k.expect)
            << k.bytes << " bytes at " << k.rate << " Hz";
    }
    auto* music = new NullMusic(500, 1, 8, 2000000000);
    EXPECT_EQ(music->GetLength(2), kMax);
    music->Release();
}

TEST(MusicState, DefaultSlotsWorkOnTheBaseData) {
    auto* music = new NullMusic(48000, 1, 8, 10);
    EXPECT_EQ(music->GetSampleRate(), 48000);
    EXPECT_EQ(music->GetChannels(), 1);
    EXPECT_EQ(music->GetBits(), 8);
    music->SetLoopMode(5);
    EXPECT_EQ(music->GetLoopMode(), 5);  // stored as given
    music->SetStatus(1);
    EXPECT_EQ(music->GetStatus(), 1);
    EXPECT_EQ(music->IsSeekable(), 0);
    music->Release();
}

TEST(MusicRefCount, DeleterRunsExactlyOnce) {
    NullMusic::deletes = 0;
    auto* music = new NullMusic(44100, 2, 16, 0);
    EXPECT_EQ(music->GetRefCount(), 0);
    music->AddRef();
    music->AddRef();
    music->Release();
    EXPECT_EQ(NullMusic::deletes, 0);
    EXPECT_EQ(music->GetRefCount(), 1);
    music->Release();
    EXPECT_EQ(NullMusic::deletes, 1);
}

TEST(MusicRefCount, CountIsExactUnderTwoThreads) {
    NullMusic::deletes = 0;
    auto* music = new NullMusic(44100, 2, 16, 0);
    music->AddRef();
    auto churn = [music] {
        for (int i = 0; i < 200000; ++i) {
            music->AddRef();
            music->Release();
        }
    };
    std::thread main(churn);
    std::thread audio(churn);
    main.join();
    audio.join();
    EXPECT_EQ(NullMusic::deletes, 0);
    EXPECT_EQ(music->GetRefCount(), 1);
    music->Release();
    EXPECT_EQ(NullMusic::deletes, 1);
}

}  // namespace

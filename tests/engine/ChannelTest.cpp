#include "engine/ISonvexChannel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/ChannelConverter.h"
#include "engine/ISonvexSound.h"
#include "tests/engine/MixerTestSupport.h"

namespace {

using mixtest::PlayOnce;
using mixtest::S16Out;
using mixtest::ScriptedSource;

constexpr int32_t kBlock = 1024;

// A channel that is not on the mixer's list. The sources it plays live in the fixture and are
// declared first, so they outlive the channel's last Release.
class BoundChannel : public ::testing::Test {
protected:
    std::vector<std::unique_ptr<ScriptedSource>> sources;
    ISonvexChannel channel;
    std::vector<float> out = std::vector<float>(2 * kBlock, 0.0f);

    ScriptedSource& Source(int32_t length, ScriptedSource::FillFn fill = {}) {
        sources.push_back(std::make_unique<ScriptedSource>(2, 16, 44100, length, std::move(fill)));
        return *sources.back();
    }
    void Bind(ISonvexMusic& source) { source.PlayMusicOnChannel(&channel); }
    void MixBlock() {
        std::fill(out.begin(), out.end(), 0.0f);
        channel.Mix(out.data(), kBlock);
    }
};

TEST(Channel, NewChannelHasNoSourceAndUnitSettings) {
    ISonvexChannel channel;
    EXPECT_EQ(channel.Music, nullptr);
    EXPECT_EQ(channel.PlayingFlag, 0);
    EXPECT_EQ(channel.Volume, 1.0f);
    EXPECT_EQ(channel.Rate, 1.0f);
    EXPECT_EQ(channel.Converter->outRate, 44100.0);
    EXPECT_EQ(channel.Converter->windowBytes, 1024);
    // Without a source the block is left as it was, and the queries answer 0.
    std::vector<float> out(2 * kBlock, 0.5f);
    channel.SetPaused(0);
    EXPECT_EQ(channel.Mix(out.data(), kBlock), 0);
    for (float v : out) {
        ASSERT_EQ(v, 0.5f);
    }
    EXPECT_EQ(channel.IsSeekable(), 0);
    double l = 1.0;
    double r = 1.0;
    channel.GetLevels(&l, &r);
    EXPECT_EQ(l, 0.0);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(channel.GetPosition(4), 0);
    channel.Seek(10, 1);   // nothing to seek
    EXPECT_EQ(channel.Position, 0);
}

TEST(Channel, VolumePanAndRateSettersClampAndPassOn) {
    ScriptedSource source(2, 16, 44100, 4000);   // outlives the channel
    ISonvexChannel channel;
    source.PlayMusicOnChannel(&channel);

    channel.SetVolume(-2.0f);
    EXPECT_EQ(channel.Volume, 0.0f);
    EXPECT_EQ(channel.Converter->volume, 0.0);
    channel.SetVolume(3.5f);
    EXPECT_EQ(channel.Volume, 3.5f);
    EXPECT_EQ(channel.Converter->volume, 3.5);
    channel.SetVolume(NAN);
    EXPECT_EQ(channel.Volume, 0.0f);

    channel.SetPan(7.0f);
    EXPECT_EQ(channel.Converter->gainLeft, 0.0);
    EXPECT_EQ(channel.Converter->gainRight, 1.0);
    channel.SetPan(-7.0f);
    EXPECT_EQ(channel.Converter->gainLeft, 1.0);
    EXPECT_EQ(channel.Converter->gainRight, 0.0);
    channel.SetPan(NAN);
    EXPECT_EQ(channel.Converter->gainLeft, 0.0);
    EXPECT_EQ(channel.Converter->gainRight, 1.0);

    channel.SetRate(-0.5f);
    EXPECT_EQ(channel.Rate, -0.5f);
    EXPECT_EQ(channel.Converter->rateFactor, -0.5);
    EXPECT_EQ(source.PlaybackRate, -0.5);
}

TEST(Channel, PauseResumeAndStopReachTheSource) {
    ScriptedSource source(2, 16, 44100, 4000);   // outlives the channel
    ISonvexChannel channel;
    source.PlayMusicOnChannel(&channel);
    channel.SetPaused(2);   // anything but 1 resumes
    EXPECT_EQ(channel.Playing(), 1);
    EXPECT_EQ(source.Status, 1);
    channel.SetPaused(1);
    EXPECT_EQ(channel.Playing(), 0);
    EXPECT_EQ(source.Status, 0);
    channel.SetPaused(0);
    channel.Stop();
    EXPECT_EQ(channel.Playing(), 0);
    EXPECT_EQ(source.Status, 0);
    ISonvexChannel bare;
    bare.SetPaused(0);
    EXPECT_EQ(bare.Playing(), 1);
}

TEST(Channel, RateAdjusterPushAgainstTheDirectionReplaces) {
    struct Case {
        double first;
        double second;
        double expect;
    };
    for (const Case& k : {Case{0.3, 0.2, 0.5}, Case{0.3, -0.2, -0.2}, Case{-0.3, -0.2, -0.5},
                          Case{0.0, -0.2, -0.2}, Case{0.3, 0.0, 0.3}}) {
        ISonvexChannel channel;
        Sonvex_SetChannelRateAdjuster(&channel, k.first);
        Sonvex_SetChannelRateAdjuster(&channel, k.second);
        EXPECT_DOUBLE_EQ(channel.Converter->rateAdjuster, k.expect) << k.first << " " << k.second;
    }
    ISonvexChannel channel;
    Sonvex_SetChannelRateAdjuster(&channel, 0.25);
    Sonvex_SetChannelRateAdjuster(&channel, NAN);
    EXPECT_EQ(channel.Converter->rateAdjuster, 0.25);
    Sonvex_SetChannelRateAdjuster(nullptr, 0.5);
}

TEST_F(BoundChannel, PausedChannelIsPulledOnlyWhileNudged) {
    const std::vector<uint8_t> data = mixtest::S16Frames(std::vector<int16_t>(20000, 1000));
    ScriptedSource& source = Source(static_cast<int32_t>(data.size()), PlayOnce(data));
    Bind(source);
    MixBlock();
    EXPECT_EQ(source.fills, 0);
    Sonvex_SetChannelRateAdjuster(&channel, 0.5);
    MixBlock();
    EXPECT_GT(source.fills, 0);
    EXPECT_EQ(source.statusSeen, 0);
    EXPECT_GT(source.rateSeen, 0.0);   // the nudge, decaying
    EXPECT_LE(source.rateSeen, 0.5);
    EXPECT_GT(channel.Position, 0);
    EXPECT_NE(out[2 * 1000], 0.0f);
}

TEST_F(BoundChannel, StepOneThroughAChannelReproducesTheSound) {
    std::vector<int16_t> samples;
    for (int32_t k = 0; k < 2 * 3000; ++k) {
        samples.push_back(static_cast<int16_t>((k * 37) % 20000 - 10000));
    }
    const std::vector<uint8_t> data = mixtest::S16Frames(samples);
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 44100, static_cast<int32_t>(data.size()),
                                             data.data(), 0);
    Bind(*sound);
    channel.SetPaused(0);
    MixBlock();
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    for (int32_t k = 0; k + 2 < kBlock; ++k) {
        ASSERT_EQ(out[2 * (k + 2)], S16Out(samples[2 * k])) << k;
        ASSERT_EQ(out[2 * (k + 2) + 1], S16Out(samples[2 * k + 1])) << k;
    }
    // The source saw the converter's step as its rate, and the position came back.
    EXPECT_EQ(sound->PlaybackRate, 1.0);
    EXPECT_EQ(channel.Position, sound->Position);
    EXPECT_EQ(channel.GetPosition(0), sound->Position);
    double l = 0.0;
    double r = 0.0;
    channel.GetLevels(&l, &r);
    EXPECT_GT(l, 0.25);
    EXPECT_GT(r, 0.25);
}   // the channel's destructor releases the sound

TEST_F(BoundChannel, SourceEndingMidBlockLeavesSilenceAndStops) {
    const std::vector<uint8_t> data = mixtest::S16Frames(std::vector<int16_t>(2 * 300, 8000));
    ScriptedSource& source = Source(static_cast<int32_t>(data.size()), PlayOnce(data));
    Bind(source);
    channel.SetPaused(0);
    MixBlock();
    EXPECT_NEAR(out[2 * 200], 8000 / 32767.0, 1e-6);
    for (int32_t j = 310; j < kBlock; ++j) {
        ASSERT_EQ(out[2 * j], 0.0f) << j;
    }
    EXPECT_EQ(channel.Playing(), 0);
    double l = 1.0;
    double r = 1.0;
    channel.GetLevels(&l, &r);
    EXPECT_EQ(l, 0.0);
}

TEST_F(BoundChannel, EndedSoundDoesNotReplayItsStartInTheSameBlock) {
    // The in-memory sound rewinds to its start as it ends; the rest of the block stays silent.
    std::vector<int16_t> samples(2 * 300);
    for (size_t k = 0; k < samples.size(); ++k) {
        samples[k] = static_cast<int16_t>(1000 + k);
    }
    const std::vector<uint8_t> data = mixtest::S16Frames(samples);
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 44100, static_cast<int32_t>(data.size()),
                                             data.data(), 0);
    Bind(*sound);
    channel.SetPaused(0);
    MixBlock();
    EXPECT_EQ(out[2 * 100], S16Out(samples[2 * 98]));
    for (int32_t j = 303; j < kBlock; ++j) {
        ASSERT_EQ(out[2 * j], 0.0f) << j;
        ASSERT_EQ(out[2 * j + 1], 0.0f) << j;
    }
    EXPECT_EQ(channel.Playing(), 0);
}

TEST_F(BoundChannel, EightBitSilenceStaysSilentAroundTheSound) {
    // The window around a short sound (before its first frame, after its end, behind a backward
    // fill that reached the start) must hold 8-bit silence, 128, not zero bytes.
    struct Case {
        int32_t channels;
        float rate;
    };
    for (const Case& k : {Case{1, 1.0f}, Case{2, 1.0f}, Case{1, -1.0f}, Case{2, 0.5f}}) {
        const std::vector<uint8_t> data(static_cast<size_t>(300 * k.channels), 128);
        ISonvexChannel eight;
        ISonvexSound* sound = Sonvex_CreateSound(k.channels, 8, 44100,
                                                 static_cast<int32_t>(data.size()), data.data(), 0);
        sound->PlayMusicOnChannel(&eight);
        eight.SetRate(k.rate);
        if (k.rate < 0.0f) {
            eight.Seek(300, 1);
        }
        eight.SetPaused(0);
        for (int block = 0; block < 2; ++block) {
            std::fill(out.begin(), out.end(), 0.0f);
            eight.Mix(out.data(), kBlock);
            for (size_t j = 0; j < out.size(); ++j) {
                ASSERT_EQ(out[j], 0.0f) << k.channels << " channels, rate " << k.rate
                                        << ", block " << block << ", value " << j;
            }
        }
    }   // each channel releases its sound
}

TEST_F(BoundChannel, LoopRangeAndPositionsInEachUnit) {
    ScriptedSource& source = Source(400000);
    Bind(source);
    channel.SetLoopRange(100, 50);
    EXPECT_EQ(channel.LoopStart, 400);
    EXPECT_EQ(channel.LoopLength, 200);
    channel.SetLoopMode(5);
    EXPECT_EQ(channel.GetLoopMode(), 1);
    channel.Position = 88300;
    EXPECT_EQ(channel.GetPosition(2), 500);
    EXPECT_EQ(channel.GetPosition(1), 22075);
    EXPECT_EQ(channel.GetPosition(0), 88300);
    EXPECT_EQ(channel.GetLength(1), 100000);
    // Units the channel does not know go to the source.
    EXPECT_EQ(channel.GetPosition(5), source.GetPosition(5));
}

// Ranges whose bytes, or whose end, do not fit 32 bits are refused; the others are kept as asked
// and reach a looping sound that plays on without reading outside its block.
TEST_F(BoundChannel, LoopRangesThatDoNotFitAreRefused) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        int32_t start;
        int32_t length;
        bool kept;
    };
    const Case cases[] = {
        {kMax, 1, false},          {1, kMax, false},          {kMin, 1, false},
        {0, kMin, false},          {kMax, kMax, false},       {kMin, kMin, false},
        {kMax / 4 + 1, 0, false},  {0, kMax / 4 + 1, false},  {kMin / 4 - 1, 0, false},
        {kMax / 8 + 1, kMax / 8 + 1, false},   // each fits, their end does not
        {kMin / 4, -1, false},
        {kMax / 4, 0, true},       {0, kMax / 4, true},       {kMin / 4, 0, true},
        {kMax / 8, kMax / 8 + 1, true},       {-1, 10, true},   {-100, -50, true},
        {20, 0, true},
    };
    const std::vector<uint8_t> data = mixtest::S16Frames(std::vector<int16_t>(2 * 600, 3000));
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 44100, static_cast<int32_t>(data.size()),
                                             data.data(), 1);
    Bind(*sound);
    channel.SetLoopMode(1);
    channel.SetPaused(0);
    for (const Case& k : cases) {
        channel.SetLoopRange(100, 50);
        channel.SetLoopRange(k.start, k.length);
        const int64_t start = k.kept ? int64_t{k.start} * 4 : 400;
        const int64_t length = k.kept ? int64_t{k.length} * 4 : 200;
        EXPECT_EQ(channel.LoopStart, start) << k.start << ", " << k.length;
        EXPECT_EQ(channel.LoopLength, length) << k.start << ", " << k.length;
        MixBlock();
        EXPECT_EQ(channel.Playing(), 1) << k.start << ", " << k.length;
    }
}   // the channel's destructor releases the sound

// A format whose frame size does not fit 32 bits has none: the units answer 0, nothing is read,
// and a seek or loop range does not overflow on the way.
TEST_F(BoundChannel, FormatsWithoutA32BitFrameSizeConvertNothing) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        int32_t channels;
        int32_t bits;
    };
    const std::vector<uint8_t> data(4000, 0x40);
    for (const Case& k : {Case{kMax, 16}, Case{16, kMax}, Case{1 << 30, 32}, Case{kMin, 16},
                          Case{1 << 29, 32}}) {
        ISonvexSound* sound = Sonvex_CreateSound(k.channels, k.bits, 44100, 4000, data.data(), 0);
        Bind(*sound);
        channel.SetPaused(0);
        channel.Position = 2000;
        EXPECT_EQ(channel.BytesPerFrame(), 0) << k.channels << " x " << k.bits;
        EXPECT_EQ(channel.GetPosition(1), 0);
        EXPECT_EQ(channel.GetPosition(2), 0);
        EXPECT_EQ(channel.GetLength(1), 0);
        channel.SetLoopRange(kMax, kMax);
        channel.Seek(kMax, 1);
        MixBlock();
        for (float v : out) {
            ASSERT_EQ(v, 0.0f) << k.channels << " x " << k.bits;
        }
    }
}   // the last sound goes with the channel; binding each next one gave the one before back

// A block too large to count in 32-bit bytes (the mixer passes up to 2^31 - 1 frames) overflows
// nothing. A backward channel with nothing to read writes only the block's first frame.
TEST_F(BoundChannel, BlockBeyond32BitBytesDoesNotOverflow) {
    ScriptedSource& empty = Source(4000, [](ScriptedSource&, uint8_t*, int32_t) { return 0; });
    Bind(empty);
    channel.SetRate(-1.0f);
    channel.SetPaused(0);
    for (int32_t frames : {1 << 28, (1 << 29) + 1, std::numeric_limits<int32_t>::max()}) {
        std::vector<float> first(2, 0.0f);
        channel.Mix(first.data(), frames);
    }
    EXPECT_GT(empty.fills, 0);
}

TEST_F(BoundChannel, SeekAnswersTheNewPositionAtOnce) {
    ScriptedSource& source = Source(400000);
    Bind(source);
    channel.Seek(1000, 1);
    EXPECT_EQ(channel.GetPosition(0), 4000);
    EXPECT_EQ(channel.IsSeekable(), 1);
}

TEST_F(BoundChannel, PlayStateIsWrittenIntoTheSourceBeforeEachFill) {
    const std::vector<uint8_t> data(40000, 0);
    ScriptedSource& source = Source(40000, PlayOnce(data));
    Bind(source);
    channel.SetLoopMode(1);
    channel.SetLoopRange(10, 20);
    channel.Position = 800;
    channel.SetPaused(0);
    int32_t startSeen = -1;
    int32_t positionSeen = -1;
    int32_t loopSeen = -1;
    source.fill = [&](ScriptedSource& s, uint8_t* d, int32_t n) {
        if (startSeen < 0) {
            startSeen = s.LoopStart;
            positionSeen = s.Position;
            loopSeen = s.LoopMode;
        }
        return PlayOnce(data)(s, d, n);
    };
    MixBlock();
    EXPECT_EQ(positionSeen, 800);
    EXPECT_EQ(startSeen, 40);
    EXPECT_EQ(loopSeen, 1);
    EXPECT_EQ(source.largestRequest, 1024 - 4);   // the window less the kept frame
}

// The audio thread must finish every block whatever the source does.
TEST_F(BoundChannel, MisbehavingSourcesCannotHangOrOverflowTheMix) {
    ScriptedSource& silent = Source(4000, [](ScriptedSource&, uint8_t*, int32_t) { return 0; });
    Bind(silent);
    channel.SetPaused(0);
    MixBlock();
    MixBlock();
    EXPECT_EQ(channel.Playing(), 1);   // it never said it ended
    EXPECT_LE(silent.fills, 2 * (2 * kBlock + 4));

    // Claims more than it was asked for.
    ScriptedSource& greedy = Source(4000, [](ScriptedSource&, uint8_t* d, int32_t n) {
        std::memset(d, 0x11, static_cast<size_t>(n));
        return n * 4 + 3;
    });
    Bind(greedy);
    channel.SetPaused(0);
    MixBlock();
    EXPECT_LE(channel.Converter->inFrames, 256);

    // Odd and negative counts.
    int32_t call = 0;
    ScriptedSource& odd = Source(4000, [&call](ScriptedSource&, uint8_t* d, int32_t n) {
        std::memset(d, 0x22, static_cast<size_t>(n));
        ++call;
        return call % 3 == 0 ? -5 : (call % 2 == 0 ? 3 : n - 1);
    });
    Bind(odd);
    channel.SetPaused(0);
    MixBlock();
    MixBlock();
    EXPECT_GT(call, 0);
    Bind(silent);   // rebinding gives the others back
    EXPECT_EQ(greedy.GetRefCount(), 0);
    EXPECT_EQ(odd.GetRefCount(), 0);
}

TEST(Channel, ReapDestroysOnlyReleasedStoppedChannels) {
    ScriptedSource source(2, 16, 44100, 4000);
    auto* channel = new ISonvexChannel;
    source.PlayMusicOnChannel(channel);
    EXPECT_EQ(source.GetRefCount(), 1);
    EXPECT_FALSE(channel->Reap());
    channel->SetPaused(0);
    Sonvex_ReleaseChannel(channel);
    EXPECT_FALSE(channel->Reap());   // still playing
    channel->Stop();
    EXPECT_TRUE(channel->Reap());
    EXPECT_EQ(source.GetRefCount(), 0);
    EXPECT_EQ(source.deleted, 1);
    Sonvex_ReleaseChannel(nullptr);
}

TEST(Channel, RunAnswersZero) {
    ISonvexChannel channel;
    EXPECT_EQ(channel.Run(), 0);
    channel.SetDepth(3.0f);
}

}  // namespace

#include "engine/ChannelConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "engine/MasterVolume.h"
#include "tests/engine/MixerTestSupport.h"

namespace {

using mixtest::Feeder;
using mixtest::RunBlock;
using mixtest::S16Out;

constexpr int32_t kBlock = 1024;

// A 16-bit stereo ramp: left k * 7 - 3000, right -(k * 5).
std::vector<int16_t> StereoRamp(int32_t frames) {
    std::vector<int16_t> s;
    for (int32_t k = 0; k < frames; ++k) {
        s.push_back(static_cast<int16_t>(k * 7 - 3000));
        s.push_back(static_cast<int16_t>(-k * 5));
    }
    return s;
}

class ConverterTest : public ::testing::Test {
protected:
    ChannelConverter c{2, 32, 44100};
    std::vector<float> out = std::vector<float>(2 * kBlock, 0.0f);

    void Playing(int32_t channels, int32_t bits, int32_t rate) {
        c.SetInputFormat(channels, bits, rate);
        c.playing = 1;
    }
    void Clear() { std::fill(out.begin(), out.end(), 0.0f); }
};

TEST_F(ConverterTest, FreshConverterHasAnEmptyWindowAndUnitSettings) {
    EXPECT_EQ(c.windowBytes, 1024);
    for (int32_t i = 0; i < c.windowBytes; ++i) {
        ASSERT_EQ(c.window[i], 0);
    }
    EXPECT_EQ(c.decayPeriod, 512);
    EXPECT_EQ(c.rateFactor, 1.0);
    EXPECT_EQ(c.volume, 1.0);
    EXPECT_EQ(c.gainLeft, 1.0);
    EXPECT_EQ(c.gainRight, 1.0);
    EXPECT_EQ(c.rateAdjuster, 0.0);
    EXPECT_EQ(c.step, 0.0);
    ChannelConverter int16Out(2, 16, 44100);
    EXPECT_EQ(int16Out.windowBytes, 512);
}

TEST_F(ConverterTest, StepOneReproducesTheInputAfterTwoSilentFrames) {
    Playing(2, 16, 44100);
    const std::vector<int16_t> ramp = StereoRamp(3000);
    Feeder feed{mixtest::S16Frames(ramp)};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.step, 1.0);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    // Across several window seams (255 new frames per window once a frame is kept).
    for (int32_t k = 0; k + 2 < kBlock; ++k) {
        ASSERT_EQ(out[2 * (k + 2)], S16Out(ramp[2 * k])) << "frame " << k;
        ASSERT_EQ(out[2 * (k + 2) + 1], S16Out(ramp[2 * k + 1])) << "frame " << k;
    }
    // The next block goes on seamlessly.
    Clear();
    RunBlock(c, out.data(), kBlock, feed);
    for (int32_t j = 0; j < kBlock; ++j) {
        const int32_t k = kBlock - 2 + j;
        ASSERT_EQ(out[2 * j], S16Out(ramp[2 * k])) << "frame " << k;
    }
}

TEST_F(ConverterTest, HalfRateInterleavesInputFramesAndMidpoints) {
    Playing(1, 16, 22050);
    std::vector<int16_t> mono;
    for (int32_t k = 0; k < 1000; ++k) {
        mono.push_back(static_cast<int16_t>(k * 30 - 9000));
    }
    Feeder feed{mixtest::S16Frames(mono)};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.step, 0.5);
    for (int32_t k = 0; 3 + 2 * k < kBlock; ++k) {
        const double x0 = mono[k] / 32767.0;
        const double mid = (mono[k] + mono[k + 1]) / 2.0 / 32767.0;
        ASSERT_FLOAT_EQ(out[2 * (2 + 2 * k)], static_cast<float>(x0)) << k;
        ASSERT_NEAR(out[2 * (3 + 2 * k)], mid, 1e-6) << k;
        ASSERT_EQ(out[2 * (3 + 2 * k)], out[2 * (3 + 2 * k) + 1]) << "mono goes to both sides";
    }
}

TEST_F(ConverterTest, QuarterRateUsesCosineWeights) {
    Playing(1, 16, 11025);
    std::vector<int16_t> mono;
    for (int32_t k = 0; k < 400; ++k) {
        mono.push_back(static_cast<int16_t>((k % 2 == 0 ? 1 : -1) * (1000 + 10 * k)));
    }
    Feeder feed{mixtest::S16Frames(mono)};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.step, 0.25);
    // The fresh window's zero frame is kept at weight 0.25, so input frame k is reached at
    // output frame 4 + 4k, and output frame 4 + 4k + q sits between k and k + 1 at weight q / 4.
    for (int32_t k = 0; 4 + 4 * k + 3 < kBlock; ++k) {
        for (int32_t q = 0; q < 4; ++q) {
            const double m = (1.0 - std::cos(q / 4.0 * M_PI)) * 0.5;
            const double expect = ((1.0 - m) * mono[k] + m * mono[k + 1]) / 32767.0;
            ASSERT_NEAR(out[2 * (4 + 4 * k + q)], expect, 1e-6) << k << "," << q;
        }
    }
}

TEST_F(ConverterTest, ResamplingFromFortyEightKilohertz) {
    Playing(2, 16, 48000);
    // A constant input stays constant through the interpolation; the source is read faster.
    std::vector<int16_t> dc(2 * 4000, 12000);
    Feeder feed{mixtest::S16Frames(dc), 0, true};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_DOUBLE_EQ(c.step, 48000.0 / 44100.0);
    for (int32_t j = 3; j < kBlock; ++j) {
        ASSERT_NEAR(out[2 * j], 12000.0 / 32767.0, 1e-6) << j;
    }
    // About 1024 x 48000 / 44100 = 1114.6 input frames per block, counted over 40 blocks since
    // the source is asked in windows of 255 frames.
    int64_t bytes = 0;
    for (int32_t b = 0; b < 40; ++b) {
        RunBlock(c, out.data(), kBlock, [&feed, &bytes](uint8_t* d, int32_t n) {
            const int32_t got = feed(d, n);
            bytes += got;
            return got;
        });
    }
    EXPECT_NEAR(bytes / 4.0 / 40.0, 1114.6, 8.0);
}

TEST(ConverterWeight, MatchesTheCosineFormula) {
    for (int32_t i = 0; i <= 10000; ++i) {
        const double f = i / 10001.0;
        ASSERT_NEAR(ChannelConverter::CosineWeight(f), (1.0 - std::cos(f * M_PI)) * 0.5, 1e-12) << f;
    }
    EXPECT_EQ(ChannelConverter::CosineWeight(0.0), 0.0);
    // The plain form works on the fraction of mu only; the 8-bit form centres on 128.
    EXPECT_NEAR(ChannelConverter::CosineInterpolate(10.0, 20.0, 3.5), 15.0, 1e-9);
    EXPECT_NEAR(ChannelConverter::CosineInterpolateU8(128.0, 255.0, 0.5), 63.5, 1e-9);
}

TEST_F(ConverterTest, PanGains) {
    struct Case {
        double pan;
        double left;
        double right;
    };
    for (const Case& k : {Case{0.0, 1.0, 1.0}, Case{-0.5, 1.0, 0.5}, Case{1.0, 0.0, 1.0},
                          Case{0.25, 0.75, 1.0}, Case{-1.0, 1.0, 0.0}, Case{NAN, 1.0, 1.0}}) {
        c.SetPan(k.pan);
        EXPECT_EQ(c.gainLeft, k.left) << k.pan;
        EXPECT_EQ(c.gainRight, k.right) << k.pan;
    }
    // Mono input goes to both sides through the gains.
    Playing(1, 16, 44100);
    c.SetPan(-0.5);
    Feeder feed{mixtest::S16Frames(std::vector<int16_t>(2000, 16000)), 0, true};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_NEAR(out[200], 16000 / 32767.0, 1e-6);
    EXPECT_NEAR(out[201], 8000 / 32767.0, 1e-6);
    EXPECT_NEAR(c.peakLeft, 16000 / 32767.0, 1e-6);
    EXPECT_NEAR(c.peakRight, 8000 / 32767.0, 1e-6);
}

TEST_F(ConverterTest, VolumeScalesWithoutBound) {
    Playing(2, 32, 44100);
    Feeder feed{mixtest::F32Frames({0.25f, -0.5f}), 0, true};
    c.volume = 3.0;
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_FLOAT_EQ(out[100], 0.75f);
    EXPECT_FLOAT_EQ(out[101], -1.5f);   // the mixer clamps, not the converter
    c.volume = 0.5;
    Clear();
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_FLOAT_EQ(out[100], 0.125f);
    EXPECT_FLOAT_EQ(out[101], -0.25f);
}

TEST_F(ConverterTest, ConverterAddsIntoTheBlock) {
    Playing(2, 32, 44100);
    Feeder feed{mixtest::F32Frames({0.25f, 0.25f}), 0, true};
    std::fill(out.begin(), out.end(), 0.5f);
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[500], 0.75f);
}

TEST_F(ConverterTest, EightBitStereoIsCentredOn128) {
    Playing(2, 8, 44100);
    c.SetPan(-0.5);
    c.volume = 0.8;
    Feeder feed{{128, 255}, 0, true};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(out[400], 0.0f);
    EXPECT_FLOAT_EQ(out[401], static_cast<float>(127.0 * 0.8 * 0.5 / 127.0));
    // 0 maps to -128/127.
    ChannelConverter low(2, 32, 44100);
    low.SetInputFormat(1, 8, 44100);
    low.playing = 1;
    Feeder zero{{0}, 0, true};
    Clear();
    RunBlock(low, out.data(), kBlock, zero);
    EXPECT_FLOAT_EQ(out[400], static_cast<float>(-128.0 / 127.0));
}

TEST_F(ConverterTest, ZeroStepHoldsOneValueAndAsksForNothing) {
    Playing(2, 16, 44100);
    Feeder feed{mixtest::S16Frames(StereoRamp(5000))};
    RunBlock(c, out.data(), kBlock, feed);
    c.rateFactor = 0.0;   // playing, rateFactor + adjuster = 0
    Clear();
    EXPECT_EQ(RunBlock(c, out.data(), kBlock, feed), 0);
    EXPECT_EQ(c.step, 0.0);
    for (int32_t j = 1; j < kBlock; ++j) {
        ASSERT_EQ(out[2 * j], out[0]);
        ASSERT_EQ(out[2 * j + 1], out[1]);
    }
    EXPECT_NE(out[0], 0.0f);
}

TEST_F(ConverterTest, PausedConverterMovesByItsAdjusterWhichDecaysEvery513Frames) {
    Playing(2, 16, 44100);
    c.playing = 0;
    c.rateAdjuster = 0.25;
    Feeder feed{mixtest::S16Frames(StereoRamp(5000))};
    // 512 frames: the counter runs up to the period without a decay.
    RunBlock(c, out.data(), 512, feed);
    EXPECT_EQ(c.rateAdjuster, 0.25);
    EXPECT_EQ(c.step, 0.25);
    // The 513th frame decays, and the counter carries across blocks.
    RunBlock(c, out.data(), 1, feed);
    EXPECT_EQ(c.rateAdjuster, 0.25 * 0.9);
    EXPECT_EQ(c.step, 0.25 * 0.9);
    RunBlock(c, out.data(), 512, feed);
    EXPECT_EQ(c.rateAdjuster, 0.25 * 0.9);
    RunBlock(c, out.data(), 1, feed);
    EXPECT_EQ(c.rateAdjuster, 0.25 * 0.9 * 0.9);
    // A playing converter adds the adjuster to its rate.
    c.playing = 1;
    c.rateFactor = 1.0;
    RunBlock(c, out.data(), 10, feed);
    EXPECT_DOUBLE_EQ(c.step, 1.0 + 0.25 * 0.9 * 0.9);
}

TEST_F(ConverterTest, LevelsRiseAtOnceAndFallByAQuarter) {
    Playing(2, 32, 44100);
    Feeder feed{mixtest::F32Frames({1.7f, 0.5f}), 0, true};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.peakLeft, 1.0);
    EXPECT_EQ(c.levelLeft, 1.0);
    EXPECT_DOUBLE_EQ(c.levelRight, 0.5);
    c.volume = 0.0;
    const double falls[] = {0.75, 0.5625, 0.421875};
    for (double expect : falls) {
        RunBlock(c, out.data(), kBlock, feed);
        EXPECT_DOUBLE_EQ(c.levelLeft, expect);
    }
    // The master volume scales the peaks.
    Sonvex_SetMasterVolume(0.5);
    c.volume = 1.0;
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_NEAR(c.levelLeft, 0.85, 1e-6);
    EXPECT_DOUBLE_EQ(c.levelRight, 0.25);
    Sonvex_SetMasterVolume(1.0);
}

TEST_F(ConverterTest, BackwardPlayReadsEachWindowFromItsEnd) {
    Playing(1, 16, 44100);
    c.rateFactor = -1.0;
    std::vector<int16_t> mono;
    for (int32_t k = 0; k < 600; ++k) {
        mono.push_back(static_cast<int16_t>(100 * k));
    }
    Feeder feed{mixtest::S16Frames(mono)};
    RunBlock(c, out.data(), 300, feed);
    EXPECT_EQ(c.step, -1.0);
    // The fresh window's frame 0 first, then the delivered 512 frames from frame 510 down.
    EXPECT_EQ(out[0], 0.0f);
    for (int32_t j = 1; j < 300; ++j) {
        ASSERT_EQ(out[2 * j], S16Out(mono[511 - j])) << j;
    }
}

TEST_F(ConverterTest, BackwardShortFillEndsTheBlockAtOnce) {
    Playing(2, 16, 44100);
    c.rateFactor = -1.0;
    c.levelLeft = 0.8;
    Feeder one{mixtest::S16Frames({5000, 5000})};
    RunBlock(c, out.data(), kBlock, one);
    EXPECT_LT(c.readPos, 0.0);
    EXPECT_EQ(c.outputFull, 1);
    EXPECT_LT(c.outPos, 4);
    EXPECT_DOUBLE_EQ(c.levelLeft, 0.6);   // the levels still decay
}

TEST_F(ConverterTest, InputFormatChangeEmptiesTheWindowOnlyWhenTheSampleFormatChanges) {
    Playing(2, 16, 44100);
    Feeder feed{mixtest::S16Frames(StereoRamp(3000))};
    RunBlock(c, out.data(), 100, feed);
    const double pos = c.readPos;
    const int32_t kept = c.keptBytes;
    c.SetInputFormat(2, 16, 48000);   // a new rate alone keeps the window
    EXPECT_EQ(c.readPos, pos);
    EXPECT_EQ(c.keptBytes, kept);
    // Same frame size, other format; then another frame size. The window holds the new
    // format's silence.
    for (const std::pair<int32_t, int32_t>& fmt : {std::make_pair(1, 32), std::make_pair(2, 16),
                                                    std::make_pair(4, 8), std::make_pair(1, 8)}) {
        RunBlock(c, out.data(), 100, feed);
        c.SetInputFormat(fmt.first, fmt.second, 22050);
        EXPECT_EQ(c.keptBytes, 0) << fmt.first << "x" << fmt.second;
        EXPECT_EQ(c.inFrames, 0);
        EXPECT_EQ(c.readPos, 0.0);
        const uint8_t silence = fmt.second == 8 ? 128 : 0;
        for (int32_t i = 0; i < c.windowBytes; ++i) {
            ASSERT_EQ(c.window[i], silence) << fmt.first << "x" << fmt.second << " byte " << i;
        }
    }
}

// The audio thread must finish every block whatever the source does.
TEST_F(ConverterTest, SourceThatNeverDeliversStillFinishesTheBlock) {
    Playing(2, 16, 44100);
    const int32_t fills = RunBlock(c, out.data(), kBlock, [](uint8_t*, int32_t) { return 0; });
    EXPECT_EQ(c.outputFull, 1);
    EXPECT_LE(fills, 2 * kBlock + 2);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
}

TEST_F(ConverterTest, ReadPositionBeyondAnEmptyWindowRecovers) {
    // A converter that never kept a frame, left by backward play in the middle of its first
    // frame, turned forward against a source that delivers nothing.
    Playing(2, 16, 44100);
    c.keptBytes = 0;
    c.inFrames = 0;
    c.readPos = 0.5;
    c.step = 1.0;
    const int32_t fills = RunBlock(c, out.data(), kBlock, [](uint8_t*, int32_t) { return 0; });
    EXPECT_EQ(c.outputFull, 1);
    EXPECT_LE(fills, 2 * kBlock + 2);
}

TEST_F(ConverterTest, BackwardAgainstAnExhaustedSourceThenForwardPlaysAgain) {
    Playing(2, 16, 44100);
    c.rateFactor = -1.0;
    RunBlock(c, out.data(), kBlock, [](uint8_t*, int32_t) { return 0; });
    EXPECT_LT(c.readPos, 0.0);
    c.rateFactor = 1.0;
    Feeder feed{mixtest::S16Frames(std::vector<int16_t>(4000, 9000))};
    Clear();
    const int32_t fills = RunBlock(c, out.data(), kBlock, feed);
    EXPECT_GT(fills, 0) << "forward play must ask for input again";
    EXPECT_NEAR(out[2 * 1000], 9000 / 32767.0, 1e-6);
}

TEST_F(ConverterTest, OverlongOddAndNegativeDeliveriesStayInsideTheWindow) {
    Playing(2, 16, 44100);
    RunBlock(c, out.data(), kBlock, [](uint8_t*, int32_t n) { return n + 4096; });
    EXPECT_LE(c.inFrames, c.windowBytes / 4);
    RunBlock(c, out.data(), kBlock, [](uint8_t*, int32_t) { return -7; });
    EXPECT_EQ(c.outputFull, 1);
    // Odd byte counts: a partial frame is not counted.
    c.BeginOutput(out.data(), kBlock * 8);
    c.keptBytes = 4;
    c.FeedInput(7);
    EXPECT_EQ(c.inFrames, 2);
}

TEST_F(ConverterTest, FormatsWithoutUsableFramesFinishSilently) {
    for (auto fmt : {std::pair<int32_t, int32_t>{0, 16}, {2, 4}, {300, 32}}) {
        ChannelConverter odd(2, 32, 44100);
        odd.SetInputFormat(fmt.first, fmt.second, 44100);
        odd.playing = 1;
        int32_t calls = 0;
        RunBlock(odd, out.data(), kBlock, [&calls](uint8_t*, int32_t n) { ++calls; return n; });
        EXPECT_EQ(odd.outputFull, 1);
        EXPECT_EQ(calls, 0);
    }
    // A known frame size in an unknown layout consumes input but adds nothing.
    ChannelConverter three(2, 32, 44100);
    three.SetInputFormat(3, 16, 44100);
    three.playing = 1;
    Clear();
    Feeder feed{std::vector<uint8_t>(60000, 0x55)};
    RunBlock(three, out.data(), kBlock, feed);
    EXPECT_GT(feed.pos, 6000u);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
}

TEST_F(ConverterTest, RateThatIsNotANumberHoldsThePosition) {
    Playing(2, 16, 44100);
    c.rateFactor = NAN;
    Feeder feed{mixtest::S16Frames(StereoRamp(3000))};
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.step, 0.0);
    EXPECT_EQ(c.outputFull, 1);
    c.rateFactor = INFINITY;
    RunBlock(c, out.data(), kBlock, feed);
    EXPECT_EQ(c.outputFull, 1);
}

// A looping tape of frames that delivers as a source does: forwards from its position, or,
// while the step is negative, the stretch before its position in stored order.
struct Tape {
    std::vector<uint8_t> bytes;
    int64_t pos = 0;

    int32_t Fill(uint8_t* dest, int32_t n, double step) {
        const auto size = static_cast<int64_t>(bytes.size());
        int64_t from = step < 0.0 ? pos - n : pos;
        pos = step < 0.0 ? from : pos + n;
        for (int32_t k = 0; k < n; ++k) {
            dest[k] = bytes[static_cast<size_t>(((from + k) % size + size) % size)];
        }
        return n;
    }
};

// The mixing rules written plainly, one frame at a time, with the library cosine.
struct ExactMixer {
    int32_t channels;
    int32_t bits;
    double inRate;
    double rateFactor = 1.0;
    double adjuster = 0.0;
    double gainLeft = 1.0;
    double gainRight = 1.0;
    std::vector<uint8_t> window = std::vector<uint8_t>(1024, 0);
    int32_t kept = 0;
    int32_t inFrames = 0;
    double readPos = 0.0;
    double step = 0.0;
    int32_t counter = 0;

    int32_t FrameBytes() const { return bits / 8 * channels; }
    double StepNow() const { return inRate / 44100.0 * (rateFactor + adjuster); }
    double Sample(int32_t frame, int32_t side) const {
        const uint8_t* p = window.data() + frame * FrameBytes() + side * (bits / 8);
        if (bits == 8) {
            return (*p - 128.0) / 127.0;
        }
        if (bits == 16) {
            int16_t v;
            std::memcpy(&v, p, 2);
            return v / 32767.0;
        }
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    // 1: window used up; 0: block full.
    int32_t Mix(float* out, int32_t& outPos, int32_t outFrames) {
        step = StepNow();
        if (step > 0.0 && readPos < 0.0) {
            readPos = 0.0;
        }
        while (outPos < outFrames && readPos >= 0.0) {
            const auto i = static_cast<int32_t>(readPos);
            const double f = readPos - i;
            if (counter == 512) {
                counter = 0;
                adjuster *= 0.9;
                step = StepNow();
            } else {
                ++counter;
            }
            const double m = (1.0 - std::cos(M_PI * f)) / 2.0;
            const int32_t right = channels == 2 ? 1 : 0;
            const double l = ((1.0 - m) * Sample(i, 0) + m * Sample(i + 1, 0)) * gainLeft;
            const double r = ((1.0 - m) * Sample(i, right) + m * Sample(i + 1, right)) * gainRight;
            out[2 * outPos] = static_cast<float>(out[2 * outPos] + l);
            out[2 * outPos + 1] = static_cast<float>(out[2 * outPos + 1] + r);
            ++outPos;
            readPos += step;
            if (step > 0.0 && readPos + 1.0 >= inFrames) {
                std::memmove(window.data(), window.data() + 1024 - FrameBytes(), FrameBytes());
                kept = FrameBytes();
                readPos -= std::trunc(readPos);
                return 1;
            }
            if (step < 0.0 && readPos < 1.0) {
                return 1;
            }
        }
        return 0;
    }
    void Block(float* out, int32_t outFrames, Tape& tape) {
        int32_t outPos = 0;
        for (;;) {
            if (readPos <= inFrames && Mix(out, outPos, outFrames) == 0) {
                return;
            }
            std::fill(window.begin() + kept, window.end(), bits == 8 ? 128 : 0);
            inFrames = (tape.Fill(window.data() + kept, 1024 - kept, step) + kept) / FrameBytes();
            if (step < 0.0) {
                readPos = inFrames - 2;
            }
        }
    }
};

// A long stream mixed by the converter stays within float rounding of the raised-cosine blend
// computed with the library cosine, through window seams, loops, both directions, rates that
// change between blocks and within them, and every sample format.
TEST_F(ConverterTest, LongStreamMatchesTheExactCosineBlend) {
    struct Case {
        int32_t channels;
        int32_t bits;
        int32_t rate;
        std::vector<double> rates;   // the rate factor, block by block, in turn
        double adjuster;
    };
    const std::vector<Case> cases = {
        {2, 16, 48000, {1.0}, 0.0},           {1, 16, 22050, {1.0}, 0.0},
        {2, 8, 32000, {1.0, 1.3}, 0.0},       {1, 8, 44100, {0.77}, 0.2},
        {2, 32, 96000, {1.0, 0.6}, -0.3},     {1, 32, 11025, {1.9}, 0.0},
        {2, 16, 44100, {-1.0}, 0.0},          {2, 16, 48000, {1.0, 1.0, -0.8}, 0.25},
        {1, 8, 48000, {-1.4, 0.9}, 0.0},      {2, 32, 8000, {-0.5}, -0.1},
        {2, 16, 44100, {1.0}, 0.0},           {1, 16, 192000, {1.0, 0.31}, 0.0},
    };
    for (const Case& k : cases) {
        const int32_t frameBytes = k.bits / 8 * k.channels;
        Tape tape;
        uint32_t seed = 12345;
        for (int32_t b = 0; b < 3001 * frameBytes; b += k.bits / 8) {
            seed = seed * 1664525u + 1013904223u;
            if (k.bits == 32) {
                const float v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
                tape.bytes.insert(tape.bytes.end(), reinterpret_cast<const uint8_t*>(&v),
                                  reinterpret_cast<const uint8_t*>(&v) + 4);
            } else {
                for (int32_t j = 0; j < k.bits / 8; ++j) {
                    tape.bytes.push_back(static_cast<uint8_t>(seed >> (24 - 8 * j)));
                }
            }
        }
        tape.pos = 1500 * frameBytes;
        Tape exactTape = tape;
        ChannelConverter mixer(2, 32, 44100);
        mixer.SetInputFormat(k.channels, k.bits, k.rate);
        mixer.playing = 1;
        mixer.rateAdjuster = k.adjuster;
        mixer.SetPan(-0.3);
        ExactMixer exact{k.channels, k.bits, static_cast<double>(k.rate)};
        std::fill(exact.window.begin(), exact.window.end(), k.bits == 8 ? 128 : 0);
        exact.adjuster = k.adjuster;
        exact.gainRight = 0.7;
        std::vector<float> expected(2 * kBlock);
        for (int32_t block = 0; block < 60; ++block) {
            const double rate = k.rates[static_cast<size_t>(block) % k.rates.size()];
            mixer.rateFactor = rate;
            exact.rateFactor = rate;
            std::fill(out.begin(), out.end(), 0.25f);
            std::fill(expected.begin(), expected.end(), 0.25f);
            RunBlock(mixer, out.data(), kBlock, [&](uint8_t* d, int32_t n) {
                return tape.Fill(d, n, mixer.step);
            });
            exact.Block(expected.data(), kBlock, exactTape);
            for (size_t j = 0; j < out.size(); ++j) {
                ASSERT_NEAR(out[j], expected[j], 1e-6)
                    << k.channels << " x " << k.bits << " bits at " << k.rate << " Hz, block " << block
                    << ", value " << j;
            }
        }
        EXPECT_EQ(tape.pos, exactTape.pos);
    }
}

class Int16ConverterTest : public ::testing::Test {
protected:
    ChannelConverter c{2, 16, 44100};
    std::vector<int16_t> out = std::vector<int16_t>(2 * 256, 0);

    int32_t Run(Feeder& feed) {
        c.BeginOutput(reinterpret_cast<float*>(out.data()), 256 * 4);
        int32_t fills = 0;
        while (c.MixToInt16() == 1 && fills < 10000) {
            uint8_t* free = c.window + c.keptBytes;
            const int32_t room = c.windowBytes - c.keptBytes;
            std::memset(free, 0, static_cast<size_t>(room));
            c.FeedInput(feed(free, room));
            ++fills;
        }
        return fills;
    }
};

TEST_F(Int16ConverterTest, StepOneCopiesSixteenBitInput) {
    c.SetInputFormat(2, 16, 44100);
    const std::vector<int16_t> ramp = StereoRamp(600);
    Feeder feed{mixtest::S16Frames(ramp)};
    Run(feed);
    EXPECT_EQ(c.outputFull, 1);
    for (int32_t k = 0; k + 2 < 256; ++k) {
        ASSERT_EQ(out[2 * (k + 2)], ramp[2 * k]) << k;
        ASSERT_EQ(out[2 * (k + 2) + 1], ramp[2 * k + 1]) << k;
    }
}

TEST_F(Int16ConverterTest, ScalesEightBitAndFloatAndSaturates) {
    c.SetInputFormat(1, 32, 44100);
    c.volume = 0.5;
    Feeder half{mixtest::F32Frames({0.5f}), 0, true};
    Run(half);
    EXPECT_EQ(out[100], static_cast<int16_t>(std::trunc(0.5 * 32767.0 * 0.5)));
    // Sums outside the 16-bit range saturate.
    c.volume = 4.0;
    Run(half);
    EXPECT_EQ(out[100], 32767);

    ChannelConverter eight(2, 16, 44100);
    eight.SetInputFormat(1, 8, 44100);
    eight.BeginOutput(reinterpret_cast<float*>(out.data()), 256 * 4);
    std::fill(out.begin(), out.end(), 0);
    Feeder bytes{{100}, 0, true};   // read as a signed byte
    while (eight.MixToInt16() == 1) {
        eight.FeedInput(bytes(eight.window + eight.keptBytes, eight.windowBytes - eight.keptBytes));
    }
    EXPECT_EQ(out[100], 25500);
}

TEST_F(Int16ConverterTest, NegativeRateHoldsInsteadOfReadingBackwards) {
    c.SetInputFormat(2, 16, 44100);
    c.rateFactor = -1.0;
    Feeder feed{mixtest::S16Frames(StereoRamp(600))};
    EXPECT_EQ(Run(feed), 0);
    EXPECT_EQ(c.step, 0.0);
    EXPECT_EQ(c.outputFull, 1);
}

}  // namespace

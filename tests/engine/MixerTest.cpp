#include "engine/Mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/ChannelConverter.h"
#include "engine/ChannelList.h"
#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexEffect.h"
#include "engine/ISonvexSound.h"
#include "engine/MasterVolume.h"
#include "engine/players/WavPlayer.h"
#include "tests/engine/MixerTestSupport.h"
#include "tests/media/WavWriter.h"

namespace {

using mixtest::ScriptedSource;

constexpr uint32_t kBlock = 1024;

// An effect that halves 16-bit samples read from its input.
class HalvingEffect final : public ISonvexEffect {
public:
    int32_t attaches = 0;
    int32_t fills = 0;

    HalvingEffect() { Deleter = &Destroy; }

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override {
        ++fills;
        Input->Position = Position.load();
        Input->Status = Status.load();
        Input->PlaybackRate = PlaybackRate.load();
        const int32_t n = Input->FillBuffer(dest, bytes);
        for (int32_t i = 0; i + 1 < n; i += 2) {
            int16_t s;
            std::memcpy(&s, dest + i, 2);
            s = static_cast<int16_t>(s / 2);
            std::memcpy(dest + i, &s, 2);
        }
        Position = Input->Position.load();
        Status = Input->Status.load();
        return n;
    }
    int32_t Seek(int32_t position, int32_t unit) override { return Input->Seek(position, unit); }
    void OnAttach() override { ++attaches; }

private:
    // The channel's reference stands on the effect; the effect gives its input back.
    static void Destroy(ISonvexMusic* m) { static_cast<HalvingEffect*>(m)->Input->Release(); }
};

class MixerTest : public ::testing::Test {
protected:
    // Sources and blocks outlive the channels, which TearDown lets the mixer reap.
    std::deque<std::vector<uint8_t>> blocks;
    std::vector<std::unique_ptr<ScriptedSource>> scripted;
    std::vector<float> out = std::vector<float>(2 * kBlock, 0.0f);

    void SetUp() override {
        mixtest::DrainChannelList();
        ASSERT_EQ(CountChannels(), 0);
    }
    void TearDown() override {
        mixtest::DrainChannelList();
        EXPECT_EQ(CountChannels(), 0);
        Sonvex_SetMasterVolume(1.0);
    }

    // A looping in-memory sound of one repeated float stereo frame, playing on a new channel.
    ISonvexChannel* PlayConstant(float left, float right) {
        std::vector<float> frames;
        for (int32_t i = 0; i < 4000; ++i) {
            frames.push_back(left);
            frames.push_back(right);
        }
        blocks.push_back(mixtest::F32Frames(frames));
        const std::vector<uint8_t>& block = blocks.back();
        ISonvexSound* sound = Sonvex_CreateSound(2, 32, 44100, static_cast<int32_t>(block.size()),
                                                 block.data(), 1);
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        channel->SetLoopMode(1);
        channel->SetPaused(0);
        return channel;
    }
    ScriptedSource& Scripted(int32_t length, ScriptedSource::FillFn fill = {}) {
        scripted.push_back(std::make_unique<ScriptedSource>(2, 16, 44100, length, std::move(fill)));
        return *scripted.back();
    }
    void Mix() { MixOutput(out.data(), kBlock); }
};

TEST_F(MixerTest, EmptyListGivesSilenceAndServesACopyRequest) {
    std::fill(out.begin(), out.end(), 7.0f);
    std::vector<float> copy(2 * kBlock, 3.0f);
    Sonvex_RequestOutputCopy(copy.data(), kBlock);
    EXPECT_EQ(Sonvex_OutputCopyPending(), 1);
    Mix();
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0.0f);
        ASSERT_EQ(copy[i], 0.0f);
    }
    EXPECT_EQ(Sonvex_OutputCopyPending(), 0);
}

TEST_F(MixerTest, MasterVolumeThenClamp) {
    PlayConstant(0.6f, -0.7f);
    Sonvex_SetMasterVolume(2.0);
    Mix();
    // Two leading silent frames from the fresh converter.
    EXPECT_EQ(out[0], 0.0f);
    for (uint32_t j = 2; j < kBlock; ++j) {
        ASSERT_EQ(out[2 * j], 1.0f) << j;
        ASSERT_EQ(out[2 * j + 1], -1.0f) << j;
    }
    mixtest::DrainChannelList();
    PlayConstant(0.3f, 0.3f);
    Mix();
    EXPECT_EQ(out[100], static_cast<float>(2.0 * 0.3f));
    Sonvex_SetMasterVolume(0.0);
    ISonvexChannel* quiet = ChannelList.first->channel;
    Mix();
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
    // The meters see nothing either: from 0.6 (0.3 at master 2) they fall a quarter per block.
    double l = 1.0;
    double r = 1.0;
    quiet->GetLevels(&l, &r);
    EXPECT_NEAR(l, 0.6 * 0.75, 1e-6);
    for (int32_t b = 0; b < 100; ++b) {
        Mix();
    }
    quiet->GetLevels(&l, &r);
    EXPECT_LT(l, 1e-9);
    EXPECT_LT(r, 1e-9);
}

TEST_F(MixerTest, ChannelsAddUpBeforeTheClamp) {
    PlayConstant(0.8f, 0.4f);
    PlayConstant(0.8f, 0.4f);
    Mix();
    EXPECT_EQ(out[200], 1.0f);
    EXPECT_FLOAT_EQ(out[201], 0.8f);
}

TEST_F(MixerTest, NotANumberFromASourceBecomesSilence) {
    PlayConstant(NAN, 1e30f);
    Mix();
    EXPECT_EQ(out[200], 0.0f);
    EXPECT_EQ(out[201], 1.0f);
}

TEST_F(MixerTest, CopyRequestServesOneBlockOfAtMostTheBlockSize) {
    PlayConstant(0.25f, -0.25f);
    std::vector<float> copy(2 * 2083, -5.0f);
    Sonvex_RequestOutputCopy(copy.data(), 2083);
    Mix();
    for (uint32_t i = 0; i < 2 * kBlock; ++i) {
        ASSERT_EQ(copy[i], out[i]) << i;
    }
    for (size_t i = 2 * kBlock; i < copy.size(); ++i) {
        ASSERT_EQ(copy[i], -5.0f) << i;   // beyond the block: left as it was
    }
    EXPECT_EQ(Sonvex_OutputCopyPending(), 0);
    std::fill(copy.begin(), copy.end(), -5.0f);
    Mix();
    EXPECT_EQ(copy[100], -5.0f);   // served exactly once

    // A second request before the mix replaces the first.
    std::vector<float> first(20, -5.0f);
    std::vector<float> second(20, -5.0f);
    Sonvex_RequestOutputCopy(first.data(), 10);
    Sonvex_RequestOutputCopy(second.data(), 10);
    Mix();
    EXPECT_EQ(first[10], -5.0f);
    EXPECT_EQ(second[10], out[10]);
}

TEST_F(MixerTest, ReleasedChannelsAreReapedOnceTheyStop) {
    ScriptedSource& stopped = Scripted(40000, [](ScriptedSource&, uint8_t*, int32_t n) { return n; });
    ScriptedSource& shared = Scripted(40000, [](ScriptedSource&, uint8_t*, int32_t n) { return n; });
    std::vector<uint8_t> tone = mixtest::S16Frames(std::vector<int16_t>(2 * 600, 9000));
    ScriptedSource& ending = Scripted(static_cast<int32_t>(tone.size()), mixtest::PlayOnce(tone));

    ISonvexChannel* a = stopped.PlayMusicOnChannel(nullptr);
    ISonvexChannel* b = shared.PlayMusicOnChannel(nullptr);
    shared.AddRef();   // someone else holds the shared source too
    ISonvexChannel* c = ending.PlayMusicOnChannel(nullptr);
    c->SetPaused(0);
    b->SetPaused(0);
    b->Stop();
    Sonvex_ReleaseChannel(a);
    Sonvex_ReleaseChannel(b);
    Sonvex_ReleaseChannel(c);   // released while playing: still heard
    ASSERT_EQ(CountChannels(), 3);

    Mix();
    EXPECT_EQ(CountChannels(), 1);
    EXPECT_EQ(ChannelList.first->channel, c);
    EXPECT_EQ(stopped.fills, 0);   // reaped before the mix, never filled
    EXPECT_EQ(stopped.deleted, 1);
    EXPECT_EQ(stopped.GetRefCount(), 0);
    EXPECT_EQ(shared.GetRefCount(), 1);
    EXPECT_EQ(shared.deleted, 0);
    EXPECT_NEAR(out[2 * 100], 9000 / 32767.0, 1e-6);
    // Its source ended in that block; the next pass frees it.
    EXPECT_EQ(c->Playing(), 0);
    Mix();
    EXPECT_EQ(CountChannels(), 0);
    EXPECT_EQ(ending.deleted, 1);
    shared.Release();
}

// However the end of a sound falls against the blocks and windows, it plays to its last frame:
// the same number of sounding frames as the same sound followed by silence. Its position never
// goes back while it sounds its last window, stays at the end once it has stopped, and played
// again it starts from the beginning.
TEST_F(MixerTest, SoundThatEndsPlaysEveryFrame) {
    struct Case {
        int32_t frames;
        int32_t bits;
        int32_t rate;
    };
    // Ends in the first block, late in a block, in the middle, and after many blocks.
    const int32_t lengths[] = {1000, 2040, 3000, 10230, 132300};
    std::vector<Case> cases;
    for (int32_t bits : {8, 16}) {
        for (int32_t rate : {44100, 48000}) {
            for (int32_t frames : lengths) {
                cases.push_back(Case{frames, bits, rate});
            }
        }
    }
    // Sounding output frames of a stereo sound of `frames` loud frames and `silent` quiet ones.
    auto sounding = [this](const Case& k, int32_t silent) {
        const int32_t frameBytes = k.bits / 8 * 2;
        std::vector<uint8_t> data(static_cast<size_t>(k.frames + silent) * frameBytes,
                                  k.bits == 8 ? 128 : 0);
        for (int32_t i = 0; i < k.frames * 2; ++i) {
            if (k.bits == 8) {
                data[i] = 200;
            } else {
                const int16_t v = 5000;
                std::memcpy(&data[2 * i], &v, 2);
            }
        }
        ISonvexSound* sound = Sonvex_CreateSound(2, k.bits, k.rate, static_cast<int32_t>(data.size()),
                                                 data.data(), 0);
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        channel->SetPaused(0);
        int64_t count = 0;
        int32_t position = 0;
        for (int32_t block = 0; block < 400 && channel->Playing() == 1; ++block) {
            std::fill(out.begin(), out.end(), 0.0f);
            Mix();
            for (uint32_t j = 0; j < kBlock; ++j) {
                count += out[2 * j] != 0.0f || out[2 * j + 1] != 0.0f ? 1 : 0;
            }
            EXPECT_GE(channel->GetPosition(0), position);
            position = channel->GetPosition(0);
        }
        EXPECT_EQ(channel->Playing(), 0);
        EXPECT_EQ(channel->GetPosition(0), static_cast<int32_t>(data.size()));
        EXPECT_EQ(sound->GetStatus(), 0);
        channel->SetPaused(0);
        EXPECT_EQ(channel->GetPosition(0), 0);
        std::fill(out.begin(), out.end(), 0.0f);
        Mix();
        EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](float v) { return v != 0.0f; }));
        channel->Stop();
        Sonvex_ReleaseChannel(channel);
        Mix();
        return count;
    };
    for (const Case& k : cases) {
        const int64_t ended = sounding(k, 0);
        EXPECT_EQ(ended, sounding(k, 2048)) << k.frames << " frames, " << k.bits << " bits, " << k.rate;
        if (k.rate == 44100) {
            EXPECT_EQ(ended, k.frames) << k.frames << " frames, " << k.bits << " bits";
        }
    }
}

// Backward play fills 256 frames of 16-bit stereo at a time, so the start frame decides how much
// the fill that reaches the start of the data brings. Whatever that is, the channel ends as a
// forward end does: stopped at its end (position 0), reaped once released, its sound given back.
// A streamed source reads forward whatever the rate, so it ends at the end of its data; and a
// pause while the last window plays out leaves the channel where its music ended.
TEST_F(MixerTest, SoundThatEndsBackwardsStopsAndIsReaped) {
    struct Case {
        int32_t frames;       // the sound's length
        int32_t start;        // the frame play starts from
        float rate;
        bool resumed;         // played forward to its end first, then resumed at this rate
        bool wav = false;     // a WAV player over the same samples instead of the sound
        bool pausedAtEnd = false;   // paused and resumed once its source has ended
    };
    const Case cases[] = {
        {512, 512, -1.0f, false},    // the last fill lands on byte 0; the next brings nothing
        {600, 513, -1.0f, false},    // last fill 1 frame
        {514, 514, -1.0f, false},    // 2 frames
        {700, 515, -1.0f, false},    // 3 frames
        {300, 1, -1.0f, false},      // 1 frame, in the first fill
        {512, 512, -0.5f, false},
        {300, 0, -1.0f, false},      // backwards from position 0
        {300, 0, -1.0f, true},       // resumed backwards at position 0 after a forward end
        {512, 0, 1.0f, false},       // forward ends, as before
        {514, 3, 1.0f, false},
        {5000, 0, -1.0f, false, true},
        {5000, 0, 1.0f, false, true},
        {1250, 0, 0.05f, false, false, true},
        {1250, 1000, -0.05f, false, false, true},
    };
    for (const Case& k : cases) {
        std::vector<int16_t> samples(static_cast<size_t>(2 * k.frames), 4000);
        blocks.push_back(mixtest::S16Frames(samples));
        const std::vector<uint8_t>& data = blocks.back();
        ISonvexMusic* sound = Sonvex_CreateSound(2, 16, 44100, static_cast<int32_t>(data.size()), data.data(), 0);
        if (k.wav) {
            Sonvex_DeleteSound(static_cast<ISonvexSound*>(sound));
            blocks.push_back(WavWriter::Simple(WavFormat{}, data));
            sound = WavLoader(Sonvex_CreateMemStream(blocks.back().data(), static_cast<int32_t>(blocks.back().size())));
        }
        sound->AddRef();   // the framework's sound holds it too
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        auto playOut = [&](float rate) {
            channel->SetRate(rate);
            channel->SetPaused(0);
            for (int32_t block = 0; block < 400 && channel->Playing() == 1; ++block) {
                Mix();
                if (k.pausedAtEnd && sound->GetStatus() == 0 && channel->Playing() == 1) {
                    channel->SetPaused(1);
                    Mix();
                    channel->SetPaused(0);
                }
            }
        };
        if (k.resumed) {
            playOut(1.0f);
        }
        channel->Seek(k.start, 1);
        playOut(k.rate);
        const std::string name = std::to_string(k.frames) + " frames from " +
                                 std::to_string(k.start) + " at " + std::to_string(k.rate);
        EXPECT_EQ(channel->Playing(), 0) << name;
        EXPECT_EQ(channel->GetPosition(0), k.rate > 0.0f || k.wav ? static_cast<int32_t>(data.size()) : 0) << name;
        EXPECT_EQ(sound->GetStatus(), 0) << name;
        Sonvex_ReleaseChannel(channel);
        Mix();
        EXPECT_EQ(CountChannels(), 0) << name;
        EXPECT_EQ(sound->GetRefCount(), 1) << name;
        sound->Release();
        mixtest::DrainChannelList();
    }
}

TEST_F(MixerTest, AllocChannelLogsTheCount) {
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    ISonvexChannel* first = AllocChannel();
    ISonvexChannel* second = AllocChannel();
    const std::string log = testing::internal::GetCapturedStdout();
    Sonvex_SetDebugLog(0);
    EXPECT_EQ(log, "Sonvex2: AllocChannel #=1\nSonvex2: AllocChannel #=2\n");
    EXPECT_EQ(first->Music, nullptr);
    EXPECT_EQ(first->Playing(), 0);
    EXPECT_NE(first, second);
    Mix();   // channels without a source add nothing
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
    // RemoveChannel takes every entry of that channel off the list.
    RemoveChannel(second);
    EXPECT_EQ(CountChannels(), 1);
    Sonvex_ReleaseChannel(second);
    EXPECT_TRUE(second->Reap());
}

TEST_F(MixerTest, PlayMusicOnNoChannelMakesAListedStoppedChannel) {
    ScriptedSource& source = Scripted(40000);
    source.Status = 0;
    ISonvexChannel* channel = source.PlayMusicOnChannel(nullptr);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(CountChannels(), 1);
    EXPECT_EQ(ChannelList.first->channel, channel);
    EXPECT_EQ(source.GetRefCount(), 1);
    EXPECT_EQ(source.Status, 1);
    EXPECT_EQ(channel->Music, &source);
    EXPECT_EQ(channel->Playing(), 0);
    EXPECT_EQ(channel->Position, 0);
    EXPECT_EQ(channel->LoopStart, 0);
    EXPECT_EQ(channel->LoopLength, 40000);
    EXPECT_EQ(channel->GetLength(0), 40000);
    EXPECT_EQ(channel->LoopMode, 0);
    EXPECT_EQ(channel->Converter->inChannels, 2);
    EXPECT_EQ(channel->Converter->inBits, 16);
    EXPECT_EQ(channel->Converter->inRate, 44100.0);
}

TEST_F(MixerTest, RebindingReleasesTheFormerSourceOnceAndKeepsTheLoopFlag) {
    ScriptedSource& first = Scripted(40000);
    ScriptedSource& second = Scripted(8000);
    ISonvexChannel* channel = first.PlayMusicOnChannel(nullptr);
    channel->SetLoopMode(1);
    channel->SetPaused(0);
    channel->Position = 1234;
    EXPECT_EQ(second.PlayMusicOnChannel(channel), channel);
    EXPECT_EQ(first.GetRefCount(), 0);
    EXPECT_EQ(first.deleted, 1);
    EXPECT_EQ(second.GetRefCount(), 1);
    EXPECT_EQ(channel->GetLoopMode(), 1);
    EXPECT_EQ(channel->Playing(), 0);
    EXPECT_EQ(channel->Position, 0);
    EXPECT_EQ(channel->LoopLength, 8000);
    EXPECT_EQ(CountChannels(), 1);   // not added twice
    // The same source again: the count stays.
    second.PlayMusicOnChannel(channel);
    EXPECT_EQ(second.GetRefCount(), 1);
    EXPECT_EQ(second.deleted, 0);
}

TEST_F(MixerTest, EffectGoesInFrontOfTheSource) {
    auto effect = std::make_unique<HalvingEffect>();
    std::vector<uint8_t> tone = mixtest::S16Frames(std::vector<int16_t>(2 * 4000, 10000));
    ScriptedSource& source = Scripted(static_cast<int32_t>(tone.size()), mixtest::PlayOnce(tone));
    ISonvexChannel* channel = source.PlayMusicOnChannel(nullptr);
    channel->SetPaused(0);
    Sonvex_AttachEffect(channel, effect.get());
    EXPECT_EQ(effect->attaches, 1);
    EXPECT_EQ(channel->Music, effect.get());
    EXPECT_EQ(effect->Input, &source);
    EXPECT_EQ(source.GetRefCount(), 1);
    EXPECT_EQ(effect->GetRefCount(), 0);
    Mix();
    EXPECT_GT(effect->fills, 0);
    EXPECT_NEAR(out[2 * 100], 5000 / 32767.0, 1e-6);
    EXPECT_EQ(channel->Position, source.Position);
    Sonvex_AttachEffect(nullptr, effect.get());
    Sonvex_AttachEffect(channel, nullptr);
    EXPECT_EQ(effect->attaches, 1);
    // Reaping the channel releases the effect, which gives the source back.
    mixtest::DrainChannelList();
    EXPECT_EQ(source.deleted, 1);
}

}  // namespace

// The whole player heard through the private PulseAudio server of scripts/with-pulse: the file on
// the command line plays exactly as the mixer computes it offline, and a file opened while
// another plays replaces it; and, on a server of the test's own, what the user meets when that
// server ends mid-play and comes back. Without PULSE_SERVER the tests skip.

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Mixer.h"
#include "engine/binding/Sonvex2.h"
#include "platform/audio/TAudioDriver.h"
#include "tests/app/PlayerFixture.h"
#include "tests/engine/output/PrivatePulseServer.h"
#include "tests/media/MonitorRecorder.h"

// RtAudio's PulseAudio back end leaks its device enumeration (see the driver's device test).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n"
           "leak:librtaudio.so\n";
}

namespace {

using player_test::LoopUntil;
using sonvex_test::MonitorRecorder;
using sonvex_test::WaitFor;

constexpr size_t kRate = 44100;

// What the mixer makes of the file alone, block by block as the device asks for it.
std::vector<float> OfflineMix(const std::string& path) {
    std::vector<float> mix;
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::CueMusic(fw::Str(path), 0);
    if (!channel) {
        return mix;
    }
    fw::ResumeChannel(channel);
    std::vector<float> block(2048);
    for (int32_t blocks = 0; blocks < 1000 && fw::ChannelPlaying(channel) != 0; ++blocks) {
        MixOutput(block.data(), 1024);
        mix.insert(mix.end(), block.begin(), block.end());
    }
    fw::StopChannel(channel);
    channel = nullptr;
    MixOutput(block.data(), 1024);
    mix.resize(2 * sonvex_test::EndOfSound(mix));
    return mix;
}

// First frame at or after `from` where the recording holds `expected`'s frames from `at` on
// (32 of them), or npos.
size_t Find(const std::vector<float>& recorded, const std::vector<float>& expected, size_t at, size_t from) {
    constexpr size_t kRun = 32;
    for (size_t f = from; 2 * (f + kRun) <= recorded.size(); ++f) {
        size_t i = 0;
        while (i < 2 * kRun && recorded[2 * f + i] == expected[2 * at + i]) {
            ++i;
        }
        if (i == 2 * kRun) {
            return f;
        }
    }
    return std::string::npos;
}

// Frames from recorded[start] on that equal expected[at] on, up to `count`.
size_t Matching(const std::vector<float>& recorded, size_t start, const std::vector<float>& expected, size_t at,
                size_t count) {
    size_t n = 0;
    while (n < count && 2 * (start + n) + 1 < recorded.size() && 2 * (at + n) + 1 < expected.size() &&
           recorded[2 * (start + n)] == expected[2 * (at + n)] &&
           recorded[2 * (start + n) + 1] == expected[2 * (at + n) + 1]) {
        ++n;
    }
    return n;
}

TEST(PlayerDeviceTest, CommandLineFilePlaysAsMixedOfflineAndASecondFileReplacesTheFirst) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "PULSE_SERVER is not set; run under scripts/with-pulse";
    }
    const std::string first = player_test::WriteWav("first", 3 * kRate, 3);
    const std::string long_ = player_test::WriteWav("long", 4 * kRate, 5);
    const std::string second = player_test::WriteWav("second", kRate, 4);
    sonvex2::InitSonvexRtAudio();
    sonvex2::InitSonvexWav();
    const std::vector<float> firstMix = OfflineMix(first);
    const std::vector<float> longMix = OfflineMix(long_);
    const std::vector<float> secondMix = OfflineMix(second);
    ASSERT_GE(firstMix.size(), 2 * (3 * kRate - 1024));
    ASSERT_GE(secondMix.size(), 2 * (kRate - 1024));

    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() > 0; }, std::chrono::seconds(10)));

    fw::Ref<app::TApp> player = player_test::StartPlayer({"player", first});
    ASSERT_TRUE(player);
    ASSERT_TRUE(player_test::Told().empty()) << player_test::Told()[0];
    ASSERT_EQ(fw::AudioDriver()->Name(), "Sonvex RtAudio");
    ASSERT_TRUE(app::CurrentChannel);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");
    player_test::RunFor(1000);
    EXPECT_TRUE(player_test::Screenshot("player-playing"));
    LoopUntil([] { return fw::ChannelPlaying(app::CurrentChannel) == 0; });
    player_test::RunFor(300);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");

    // A long file, and after half a second of it another, through LOAD.
    player_test::RequesterAnswer() = long_;
    player_test::Act(player->myload);
    player_test::RunFor(500);
    player_test::RequesterAnswer() = second;
    player_test::Act(player->myload);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");
    // The second to its end, then a second more of recording: its quarter second of silence has
    // reached the monitor whatever the device's latency and however slowly the loop ran.
    LoopUntil([] { return fw::ChannelPlaying(app::CurrentChannel) == 0; });
    const uint64_t atSecondEnd = recorder.FramesRecorded();
    EXPECT_TRUE(WaitFor([&] { return recorder.FramesRecorded() >= atSecondEnd + kRate; }, std::chrono::seconds(10)));
    recorder.Stop();
    const std::vector<float> recorded = recorder.Samples();

    // The command-line file: the null sink may hold back the start of a new stream, so it is
    // found by content, then followed to its end and the silence after it.
    const size_t start = sonvex_test::FirstSoundingFrame(recorded);
    size_t at = 0;
    size_t found = std::string::npos;
    for (; at < kRate && found == std::string::npos; at += 4096) {
        found = Find(recorded, firstMix, at, start);
    }
    ASSERT_NE(found, std::string::npos) << "the command-line file was not heard";
    at -= 4096;
    const size_t firstLeft = firstMix.size() / 2 - at;
    EXPECT_EQ(Matching(recorded, found, firstMix, at, firstLeft), firstLeft);
    EXPECT_GT(firstLeft, 2 * kRate);
    const std::vector<float> silence(2 * kRate / 4, 0.0f);
    EXPECT_EQ(Matching(recorded, found + firstLeft, silence, 0, kRate / 4), kRate / 4);

    // The long file from its start until the second replaced it; then the second alone.
    const size_t longStart = Find(recorded, longMix, 0, found + firstLeft);
    ASSERT_NE(longStart, std::string::npos) << "the long file was not heard";
    const size_t secondStart = Find(recorded, secondMix, sonvex_test::FirstSoundingFrame(secondMix), longStart);
    ASSERT_NE(secondStart, std::string::npos) << "the second file was not heard";
    EXPECT_GT(secondStart - longStart, kRate / 4);
    EXPECT_LT(secondStart - longStart, kRate);
    EXPECT_GE(Matching(recorded, longStart, longMix, 0, secondStart - longStart), secondStart - longStart - 2048);
    const size_t secondFrames = secondMix.size() / 2 - sonvex_test::FirstSoundingFrame(secondMix);
    EXPECT_EQ(Matching(recorded, secondStart, secondMix, sonvex_test::FirstSoundingFrame(secondMix), secondFrames),
              secondFrames);
    EXPECT_EQ(Matching(recorded, secondStart + secondFrames, silence, 0, kRate / 4), kRate / 4);
}

// The server ends mid-play: the user is told once; each PLAY while it is still gone tries the
// output again and says that it failed, and the window goes on showing nothing playing; once it
// is back, one PLAY plays on from where the sound stopped.
TEST(PlayerDeviceTest, ServerEndingMidPlayIsToldOnceAndPlayGoesOnWhereItStoppedOnceItIsBack) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "PULSE_SERVER is not set; run under scripts/with-pulse";
    }
    const std::string song = player_test::WriteWav("song", 20 * kRate, 6);
    fw::Ref<app::TApp> player = player_test::StartPlayer();
    sonvex_test::PrivatePulseServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_EQ(fw::SetAudioDriver("Sonvex RtAudio"), 1);
    player_test::RequesterAnswer() = song;
    player_test::Act(player->myload);
    const auto position = [] { return sonvex2::GetChannelPosition(app::CurrentChannel, 1); };
    ASSERT_TRUE(LoopUntil([&] { return position() > static_cast<int32_t>(kRate / 4); }));

    const size_t told = player_test::Told().size();
    server.Stop();
    ASSERT_TRUE(LoopUntil([&] { return player_test::Told().size() > told; }));
    const int32_t stopped = position();
    EXPECT_EQ(player_test::Told().back().rfind("The audio output \"Sonvex RtAudio\" stopped: ", 0), 0u);
    EXPECT_EQ(player_test::ToldTitles().back(), "Telvo Audio Player V2.2 - (Wav/Flac/Ogg)");
    EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");
    for (size_t press = 1; press <= 2; ++press) {
        player_test::Act(player->myplay);
        EXPECT_EQ(player_test::Told().size(), told + 1 + press);
        EXPECT_EQ(player_test::Told().back().rfind("Unable to start the audio output \"Sonvex RtAudio\" again: ", 0), 0u)
            << player_test::Told().back();
        const double scopeX = app::ScopeX;
        player_test::RunFor(300);
        EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");
        EXPECT_EQ(fw::ChannelPlaying(app::CurrentChannel), 0);
        EXPECT_EQ(app::ScopeX, scopeX);
    }

    ASSERT_TRUE(server.Start());
    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(position(), stopped);
    player_test::Act(player->myplay);
    // Heard for a second, far past the three buffers a new stream is prefilled with.
    EXPECT_TRUE(LoopUntil([&] { return sonvex_test::SoundingFrames(recorder.Samples()) >= kRate; }))
        << "not heard for a second after PLAY";
    EXPECT_GE(position(), stopped + static_cast<int32_t>(kRate));
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");
    EXPECT_EQ(player_test::Told().size(), told + 3);
    fw::StopChannel(app::CurrentChannel);
}

}  // namespace

// End to end through the real output: the modules started in the player's order, the RtAudio
// driver selected by name, one file of each format cued (from a path, an embedded file and a
// bank) and resumed together, and the private PulseAudio server's recording compared sample for
// sample with the offline mix of the same channels.

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/ChannelList.h"
#include "platform/runtime/Incbin.h"
#include "tests/engine/binding/BindingTestSupport.h"
#include "tests/engine/players/PlayerTestSupport.h"
#include "tests/media/MonitorRecorder.h"

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n"
           "leak:librtaudio.so\n";
}

namespace {

using sonvex_test::WaitFor;

// Cues the four files, then resumes them all inside one mixer pass.
std::vector<fw::Ref<sonvex2::TSonvexChannel>> CueAll(const std::vector<fw::Ref<fw::Object>>& urls) {
    std::vector<fw::Ref<sonvex2::TSonvexChannel>> channels;
    for (const fw::Ref<fw::Object>& url : urls) {
        channels.push_back(sonvex2::CueMusic(url, 0));
    }
    LockChannelList();
    for (const auto& channel : channels) {
        fw::ResumeChannel(channel);
    }
    UnlockChannelList();
    return channels;
}

bool AnyPlaying(const std::vector<fw::Ref<sonvex2::TSonvexChannel>>& channels) {
    for (const auto& channel : channels) {
        if (channel && fw::ChannelPlaying(channel) != 0) {
            return true;
        }
    }
    return false;
}

TEST(BindingDevice, EveryFormatPlaysThroughTheSelectedDriverAsMixedOffline) {
    if (std::getenv("PULSE_SERVER") == nullptr) {
        GTEST_SKIP() << "PULSE_SERVER is not set; run under scripts/with-pulse";
    }
    bindingtest::StartModules();
    const std::vector<uint8_t> flac = bindingtest::FlacFile();
    const std::vector<uint8_t> ogg = bindingtest::OggFile();
    fw::IncbinAdd("song.flac", flac.data(), static_cast<int32_t>(flac.size()));
    const std::vector<fw::Ref<fw::Object>> urls = {
        fw::Str(playertest::WriteTempFile("song.wav", bindingtest::WavFile())),
        fw::Str("incbin::song.flac"),
        fw::Ref<fw::Object>(fw::New<fw::TBank>(ogg.data(), ogg.size())),
        fw::Str(playertest::WriteTempFile("song.mod", bindingtest::ModFile())),
    };

    std::vector<float> expected;
    {
        auto channels = CueAll(urls);
        for (const auto& channel : channels) {
            ASSERT_TRUE(channel);
        }
        std::vector<float> block(2048);
        for (int32_t i = 0; i < 400 && AnyPlaying(channels); ++i) {
            MixOutput(block.data(), 1024);
            expected.insert(expected.end(), block.begin(), block.end());
        }
        ASSERT_FALSE(AnyPlaying(channels));
    }
    const size_t expectedStart = sonvex_test::FirstSoundingFrame(expected);
    const size_t soundFrames = sonvex_test::EndOfSound(expected) - expectedStart;

    sonvex_test::MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() > 0; }, std::chrono::seconds(10)));
    ASSERT_EQ(fw::SetAudioDriver("SONVEX RTAUDIO"), 1);
    const uint64_t atStartup = recorder.FramesRecorded();
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() >= atStartup + 22050; }, std::chrono::seconds(10)));

    auto channels = CueAll(urls);
    ASSERT_TRUE(WaitFor([&] { return !AnyPlaying(channels); }, std::chrono::seconds(20)));
    std::vector<float> recorded;
    size_t recordedStart = 0;
    const size_t tail = 4410;
    const bool complete = WaitFor(
        [&] {
            recorded = recorder.Samples();
            recordedStart = sonvex_test::FirstSoundingFrame(recorded);
            return recorded.size() / 2 >= recordedStart + soundFrames + tail;
        },
        std::chrono::seconds(10));
    fw::SetAudioDriver("null");
    recorder.Stop();
    ASSERT_TRUE(complete);

    size_t mismatches = 0;
    for (size_t i = 0; i < 2 * (soundFrames + tail); ++i) {
        const size_t at = 2 * expectedStart + i;
        const float want = at < expected.size() ? expected[at] : 0.0f;
        mismatches += recorded[2 * recordedStart + i] != want ? 1 : 0;
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace

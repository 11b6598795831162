// The RtAudio driver against a real PulseAudio server: scripts/with-pulse starts a private one
// whose default sink is a float32 null sink, and these tests record its monitor with parec; the
// test that ends the server mid-play starts one of its own. Without PULSE_SERVER they skip.
//
// The recording is compared bit for bit with what the mixer computes offline: float32 passes
// the null sink and its monitor unchanged (one stream at unit volume is copied, not mixed, and
// no format or rate conversion happens), so the tolerance is zero.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"
#include "engine/output/RtAudioDriver.h"
#include "tests/engine/output/PrivatePulseServer.h"
#include "tests/media/MonitorRecorder.h"

// For the ASan build: RtAudio 5.2's PulseAudio back end leaks objects of its device enumeration
// and, when a connection fails, its stream handle. Neither library frees them on any path we can
// call, and their stacks end inside the libraries (no frame pointers), so the modules are named.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libpulse.so\n"
           "leak:librtaudio.so\n";
}

namespace {

using sonvex_test::EndOfSound;
using sonvex_test::FirstSoundingFrame;
using sonvex_test::MonitorRecorder;
using sonvex_test::PrivatePulseServer;
using sonvex_test::SoundingFrames;
using sonvex_test::WaitFor;

constexpr uint32_t kOutputRate = 44100;
constexpr uint32_t kBlockFrames = 1024;

// The engine's debug lines out of a capture (RtAudio and libpulse may write there too).
std::string EngineLines(const std::string& captured) {
    std::istringstream in(captured);
    std::string line;
    std::string lines;
    while (std::getline(in, line)) {
        if (line.rfind("Sonvex2: ", 0) == 0) {
            lines += line + "\n";
        }
    }
    return lines;
}

template <typename Fn>
std::string CaptureLog(Fn run) {
    testing::internal::CaptureStdout();
    run();
    return EngineLines(testing::internal::GetCapturedStdout());
}

// 16-bit stereo at 22050 Hz, so the converter resamples by 2; different tones left and right
// show a swap, and a fade-in keeps the very first frames distinct from silence.
std::vector<int16_t> MakeTone(uint32_t frames) {
    constexpr double kRate = 22050.0;
    constexpr double kPi = 3.14159265358979323846;
    std::vector<int16_t> pcm(2 * frames);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = i / kRate;
        const double fade = std::fmin(1.0, (i + 1) / 64.0);
        pcm[2 * i] = static_cast<int16_t>(std::lround(fade * 16000.0 * std::sin(2.0 * kPi * 440.0 * t + 0.5)));
        pcm[2 * i + 1] = static_cast<int16_t>(std::lround(fade * 9000.0 * std::sin(2.0 * kPi * 1250.0 * t + 1.0)));
    }
    return pcm;
}

class RtAudioDriverDeviceTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PULSE_SERVER") == nullptr) {
            GTEST_SKIP() << "PULSE_SERVER is not set; run under scripts/with-pulse";
        }
        Sonvex_SetDebugLog(1);
    }

    void TearDown() override { Sonvex_SetDebugLog(0); }
};

TEST_F(RtAudioDriverDeviceTest, StartAndShutdownSequenceWithItsLogLines) {
    RtAudioDriver* driver = nullptr;
    std::string log = CaptureLog([&] { driver = static_cast<RtAudioDriver*>(Sonvex_CreateRtAudioDriver()); });
    ASSERT_NE(driver, nullptr);
    const uint32_t devices = driver->audio->getDeviceCount();
    ASSERT_GE(devices, 1u);
    EXPECT_EQ(log, "Sonvex2: RtAudioDriver::RtAudioDriver\n"
                   "Sonvex2: Audio drivers found=" + std::to_string(devices) + "\n");
    EXPECT_EQ(driver->outputParams.deviceId, driver->audio->getDefaultOutputDevice());
    EXPECT_EQ(driver->outputParams.nChannels, 2u);
    EXPECT_EQ(driver->outputParams.firstChannel, 0u);
    EXPECT_EQ(driver->bufferFrames, kBlockFrames);

    int32_t result = 0;
    log = CaptureLog([&] { result = driver->Startup(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(log, "Sonvex2: RtAudioDriver::Startup\n");
    EXPECT_TRUE(driver->audio->isStreamRunning());
    EXPECT_EQ(driver->started, 1);
    EXPECT_EQ(driver->bufferFrames, kBlockFrames);
    EXPECT_EQ(driver->audio->getStreamSampleRate(), kOutputRate);

    // Already running: answers at once, logs and opens nothing.
    log = CaptureLog([&] { result = driver->Startup(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(log, "");
    EXPECT_TRUE(driver->audio->isStreamRunning());

    log = CaptureLog([&] { result = driver->Shutdown(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(log, "Sonvex2: RtAudioDriver::Shutdown\n");
    EXPECT_FALSE(driver->audio->isStreamOpen());
    EXPECT_EQ(driver->shutDown, 1);

    // Selected again after a Shutdown, the driver opens its stream again rather than answering 1
    // over a closed one.
    log = CaptureLog([&] { result = driver->Startup(); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(log, "Sonvex2: RtAudioDriver::Startup\n");
    EXPECT_TRUE(driver->audio->isStreamRunning());
    EXPECT_EQ(driver->shutDown, 0);

    // Deleted while running: shuts the stream down first.
    log = CaptureLog([&] { Sonvex_DeleteAudioDriver(driver); });
    EXPECT_EQ(log, "Sonvex2: ~RtAudioStream\n"
                   "Sonvex2: RtAudioDriver::Shutdown\n");
}

TEST_F(RtAudioDriverDeviceTest, RtAudioErrorFromOpenStreamIsAnsweredAndTheNextStartupWorks) {
    std::unique_ptr<RtAudioDriver> driver;
    CaptureLog([&] { driver.reset(static_cast<RtAudioDriver*>(Sonvex_CreateRtAudioDriver())); });
    ASSERT_EQ(driver->outputParams.nChannels, 2u);

    // The server goes away between construction and Startup: RtAudio throws from openStream.
    const std::string server = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", "unix:/nonexistent/sonvex-gone", 1);
    int32_t result = -1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(result = driver->Startup());
    const std::string log = EngineLines(testing::internal::GetCapturedStdout());
    const std::string err = testing::internal::GetCapturedStderr();
    setenv("PULSE_SERVER", server.c_str(), 1);

    EXPECT_EQ(result, 0);
    const std::string failed = "RtAudioDriver::Startup failed: RtApiPulse::";
    EXPECT_EQ(log.rfind("Sonvex2: RtAudioDriver::Startup\nSonvex2: " + failed, 0), 0u) << log;
    EXPECT_NE(err.find(failed), std::string::npos) << err;
    EXPECT_FALSE(driver->audio->isStreamOpen());
    EXPECT_EQ(driver->started, 0);

    CaptureLog([&] { result = driver->Startup(); });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(driver->audio->isStreamRunning());
    CaptureLog([&] { Sonvex_DeleteAudioDriver(driver.release()); });
}

TEST_F(RtAudioDriverDeviceTest, PlaysAnInMemorySoundExactlyAsTheMixerComputesIt) {
    Sonvex_SetDebugLog(0);
    constexpr uint32_t kToneFrames = 11025;  // half a second at 22050 Hz
    std::vector<int16_t> pcm = MakeTone(kToneFrames);
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 22050, static_cast<int32_t>(pcm.size() * sizeof(int16_t)),
                                             reinterpret_cast<uint8_t*>(pcm.data()), 0);
    ASSERT_NE(sound, nullptr);
    sound->AddRef();

    // What the mixer makes of the sound, block by block as the device will ask for it.
    std::vector<float> expected;
    {
        ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
        ASSERT_NE(channel, nullptr);
        channel->SetPaused(0);
        std::vector<float> block(2 * kBlockFrames);
        for (int32_t blocks = 0; blocks < 64 && channel->Playing() != 0; ++blocks) {
            MixOutput(block.data(), kBlockFrames);
            expected.insert(expected.end(), block.begin(), block.end());
        }
        ASSERT_EQ(channel->Playing(), 0) << "the sound did not end";
        Sonvex_ReleaseChannel(channel);
        MixOutput(block.data(), kBlockFrames);
        ASSERT_EQ(sound->GetRefCount(), 1);
    }
    const size_t expectedStart = FirstSoundingFrame(expected);
    const size_t expectedEnd = EndOfSound(expected);
    ASSERT_LT(expectedStart, expectedEnd);
    const size_t soundFrames = expectedEnd - expectedStart;
    // At least the whole tone: twice the frames at twice the rate, less the converter's edges.
    EXPECT_GE(soundFrames, 2 * kToneFrames - 8);

    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() > 0; }, std::chrono::seconds(10)))
        << "parec recorded nothing";

    std::unique_ptr<ISonvexAudioDriver, void (*)(ISonvexAudioDriver*)> driver(Sonvex_CreateRtAudioDriver(),
                                                                           &Sonvex_DeleteAudioDriver);
    ASSERT_EQ(driver->Startup(), 1);

    // The null sink holds a new stream for a while and drops the first few hundred frames at its
    // start; the sound begins only once the stream has run for half a second into the monitor.
    const uint64_t atStartup = recorder.FramesRecorded();
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() >= atStartup + kOutputRate / 2; },
                        std::chrono::seconds(10)))
        << "the stream never reached the monitor";

    ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
    channel->SetPaused(0);
    ASSERT_TRUE(WaitFor([&] { return channel->Playing() == 0; }, std::chrono::seconds(10)))
        << "the sound never ended on the device";

    // Everything played, and a tail of silence after it, has reached the recording.
    const size_t tailFrames = kOutputRate / 10;
    std::vector<float> recorded;
    size_t recordedStart = 0;
    const bool complete = WaitFor(
        [&] {
            recorded = recorder.Samples();
            recordedStart = FirstSoundingFrame(recorded);
            return recorded.size() / 2 >= recordedStart + soundFrames + tailFrames;
        },
        std::chrono::seconds(10));

    driver.reset();
    recorder.Stop();
    Sonvex_ReleaseChannel(channel);
    std::vector<float> block(2 * kBlockFrames);
    MixOutput(block.data(), kBlockFrames);
    EXPECT_EQ(sound->GetRefCount(), 1);
    sound->Release();

    ASSERT_TRUE(complete) << "recorded " << recorded.size() / 2 << " frames, sound from " << recordedStart;
    size_t mismatches = 0;
    size_t firstMismatch = 0;
    float largest = 0.0f;
    for (size_t i = 0; i < 2 * (soundFrames + tailFrames); ++i) {
        const float want = expectedStart * 2 + i < expected.size() ? expected[expectedStart * 2 + i] : 0.0f;
        const float got = recorded[recordedStart * 2 + i];
        if (got != want) {
            if (mismatches == 0) {
                firstMismatch = i;
            }
            ++mismatches;
            largest = std::fmax(largest, std::fabs(got - want));
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at value " << firstMismatch << ", largest difference " << largest;
}

// Started while the server is down, the driver finds no device; once the server runs, a Startup
// looks for it again and plays. The server then ends mid-play: the driver stops mixing at the
// first write error, closes the stream off the audio thread with one log line and nothing on
// standard error, the channel waits where it stopped, a Startup while the server is still gone
// fails, and one once it is back plays the tone on: heard for a second of the recording, far past
// the three buffers a new stream is prefilled with.
TEST_F(RtAudioDriverDeviceTest, ServerDownAtStartOrEndingMidPlayIsFoundAgainByTheNextStartup) {
    PrivatePulseServer server;
    std::vector<int16_t> pcm = MakeTone(60 * 22050);
    ISonvexSound* sound = Sonvex_CreateSound(2, 16, 22050, static_cast<int32_t>(pcm.size() * sizeof(int16_t)),
                                             reinterpret_cast<uint8_t*>(pcm.data()), 0);
    sound->AddRef();
    std::unique_ptr<RtAudioDriver> driver;
    CaptureLog([&] { driver.reset(static_cast<RtAudioDriver*>(Sonvex_CreateRtAudioDriver())); });
    testing::internal::CaptureStderr();
    CaptureLog([&] { EXPECT_EQ(driver->Startup(), 0) << "an output device plays without the server"; });
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(server.Start());
    ASSERT_EQ(CaptureLog([&] { driver->Startup(); }), "Sonvex2: RtAudioDriver::Startup\n");
    ISonvexChannel* channel = sound->PlayMusicOnChannel(nullptr);
    channel->SetPaused(0);
    ASSERT_TRUE(WaitFor([&] { return channel->GetPosition(1) > 11025; }, std::chrono::seconds(10)));

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t beforeEnd = channel->GetPosition(1);
    server.Stop();
    const bool closed = WaitFor([&] { return driver->Failed() == 1 && !driver->audio->isStreamOpen(); },
                                std::chrono::seconds(10));
    const int32_t stopped = channel->GetPosition(1);
    const std::string log = EngineLines(testing::internal::GetCapturedStdout());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.size(), 0u) << err.substr(0, 200);
    ASSERT_TRUE(closed);
    EXPECT_NE(driver->LastError().find("write error"), std::string::npos) << driver->LastError();
    EXPECT_EQ(log, "Sonvex2: RtAudioDriver: output failed, stream closed: " + driver->LastError() + "\n");
    // Two output blocks are 1024 frames of the half-rate tone.
    EXPECT_LE(stopped - beforeEnd, 1024);
    testing::internal::CaptureStderr();
    CaptureLog([&] { EXPECT_EQ(driver->Startup(), 0); });
    testing::internal::GetCapturedStderr();

    ASSERT_TRUE(server.Start());
    MonitorRecorder recorder;
    ASSERT_TRUE(recorder.Start());
    ASSERT_TRUE(WaitFor([&] { return recorder.FramesRecorded() > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(channel->GetPosition(1), stopped);
    EXPECT_EQ(CaptureLog([&] { EXPECT_EQ(driver->Startup(), 1); }), "Sonvex2: RtAudioDriver::Startup\n");
    EXPECT_EQ(driver->Failed(), 0);
    EXPECT_TRUE(WaitFor([&] { return SoundingFrames(recorder.Samples()) >= kOutputRate; }, std::chrono::seconds(10)))
        << "the tone was not heard for a second";
    EXPECT_GE(channel->GetPosition(1), stopped + static_cast<int32_t>(kOutputRate / 2));

    CaptureLog([&] { driver.reset(); });
    Sonvex_ReleaseChannel(channel);
    std::vector<float> block(2 * kBlockFrames);
    MixOutput(block.data(), kBlockFrames);
    sound->Release();
}

}  // namespace

// The RtAudio driver where no sound server runs: construction, the start/shutdown sequence and
// its log lines, and Startup failing cleanly. The real output path is in RtAudioDriverDeviceTest.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"
#include "engine/Mixer.h"
#include "engine/output/RtAudioDriver.h"

namespace {

struct Captured {
    std::string out;
    std::string err;
};

template <typename Fn>
Captured Capture(Fn run) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run();
    Captured captured;
    captured.out = testing::internal::GetCapturedStdout();
    captured.err = testing::internal::GetCapturedStderr();
    return captured;
}

// Deletes without adding the destructor's log lines to the test's output.
struct QuietDelete {
    void operator()(RtAudioDriver* driver) const {
        Capture([driver] { Sonvex_DeleteAudioDriver(driver); });
    }
};
using DriverPtr = std::unique_ptr<RtAudioDriver, QuietDelete>;

DriverPtr MakeDriver() {
    return DriverPtr(static_cast<RtAudioDriver*>(Sonvex_CreateRtAudioDriver()));
}

// Points PulseAudio clients at a socket that does not exist, so RtAudio finds no device and
// libpulse does not spawn a server of its own; an ALSA card or a JACK server could still show
// up, and the tests that need no device skip then.
class RtAudioDriverTest : public testing::Test {
protected:
    void SetUp() override {
        const char* server = std::getenv("PULSE_SERVER");
        hadServer_ = server != nullptr;
        if (hadServer_) {
            savedServer_ = server;
        }
        setenv("PULSE_SERVER", "unix:/nonexistent/sonvex-no-server", 1);
        Sonvex_SetDebugLog(1);
    }

    void TearDown() override {
        Sonvex_SetDebugLog(0);
        if (hadServer_) {
            setenv("PULSE_SERVER", savedServer_.c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
    }

    // A driver that found no device, or null when one is present.
    DriverPtr MakeDeviceLessDriver() {
        DriverPtr driver;
        Capture([&] { driver = MakeDriver(); });
        if (driver->outputParams.nChannels != 0) {
            driver.reset();
        }
        return driver;
    }

private:
    bool hadServer_ = false;
    std::string savedServer_;
};

#define SKIP_IF_DEVICE(driver)                                                   \
    if (!(driver)) {                                                             \
        GTEST_SKIP() << "an output device is present; this test needs none";     \
    }

TEST_F(RtAudioDriverTest, ConstructionWithoutDeviceLogsAndLeavesParametersZero) {
    RtAudioDriver* driver = nullptr;
    const Captured log = Capture([&] { driver = static_cast<RtAudioDriver*>(Sonvex_CreateRtAudioDriver()); });
    DriverPtr owner(driver);
    if (driver->outputParams.nChannels != 0) {
        GTEST_SKIP() << "an output device is present; this test needs none";
    }

    EXPECT_EQ(log.out, "Sonvex2: RtAudioDriver::RtAudioDriver\n"
                       "Sonvex2: No audio output device found!\n");
    EXPECT_EQ(driver->sampleRate, 44100);
    EXPECT_EQ(driver->channels, 2);
    EXPECT_EQ(driver->bits, 16);
    EXPECT_EQ(driver->outputParams.deviceId, 0u);
    EXPECT_EQ(driver->outputParams.firstChannel, 0u);
    EXPECT_EQ(driver->bufferFrames, 0u);
    EXPECT_EQ(driver->options.flags, 0u);
    EXPECT_EQ(driver->options.numberOfBuffers, 0u);
    EXPECT_EQ(driver->options.priority, 0);
    EXPECT_TRUE(driver->options.streamName.empty());
    EXPECT_EQ(driver->started, 0);
    EXPECT_EQ(driver->shutDown, 0);
}

TEST_F(RtAudioDriverTest, StartupWithoutDeviceAnswersZeroAndSaysWhyEachTime) {
    DriverPtr driver = MakeDeviceLessDriver();
    SKIP_IF_DEVICE(driver);

    for (int attempt = 0; attempt < 2; ++attempt) {
        int32_t result = -1;
        const Captured log = Capture([&] { result = driver->Startup(); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(log.out, "Sonvex2: RtAudioDriver::Startup\n"
                           "Sonvex2: RtAudioDriver::Startup failed: No audio output device found!\n");
        EXPECT_NE(log.err.find("RtAudioDriver::Startup failed: No audio output device found!\n"),
                  std::string::npos)
            << log.err;
        EXPECT_EQ(driver->LastError(), "No audio output device found!");
        EXPECT_EQ(driver->started, 0);
        EXPECT_FALSE(driver->audio->isStreamOpen());
    }
}

TEST_F(RtAudioDriverTest, StartupCatchesRtAudioErrorAndPassesItsMessageOn) {
    DriverPtr driver = MakeDeviceLessDriver();
    SKIP_IF_DEVICE(driver);
    // Parameters as though a device had been seen: RtAudio has none to open and throws.
    driver->outputParams.deviceId = 0;
    driver->outputParams.nChannels = 2;
    driver->bufferFrames = 1024;

    // What RtAudio itself says to the same request, so the test does not hard-code its wording.
    std::string rtAudioMessage;
    Capture([&] {
        RtAudio probe(driver->audio->getCurrentApi());
        RtAudio::StreamParameters params = driver->outputParams;
        uint32_t frames = 1024;
        try {
            probe.openStream(&params, nullptr, RTAUDIO_FLOAT32, 44100, &frames, &AudioCallback, nullptr);
        } catch (const RtAudioError& error) {
            rtAudioMessage = error.getMessage();
        }
    });
    ASSERT_FALSE(rtAudioMessage.empty()) << "RtAudio opened a stream without a device";

    int32_t result = -1;
    Captured log;
    EXPECT_NO_THROW(log = Capture([&] { result = driver->Startup(); }));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(log.out, "Sonvex2: RtAudioDriver::Startup\n"
                       "Sonvex2: RtAudioDriver::Startup failed: " + rtAudioMessage + "\n");
    EXPECT_NE(log.err.find("RtAudioDriver::Startup failed: " + rtAudioMessage + "\n"), std::string::npos)
        << log.err;
    EXPECT_EQ(driver->LastError(), rtAudioMessage);
    EXPECT_EQ(driver->started, 0);
    EXPECT_FALSE(driver->audio->isStreamOpen());
    // The options were filled for the attempt.
    EXPECT_EQ(driver->options.flags, RTAUDIO_SCHEDULE_REALTIME);
    EXPECT_EQ(driver->options.numberOfBuffers, 3u);
    EXPECT_EQ(driver->options.priority, 1);
}

TEST_F(RtAudioDriverTest, StartupFailureIsReportedOnStandardErrorWithTheLogOff) {
    DriverPtr driver = MakeDeviceLessDriver();
    SKIP_IF_DEVICE(driver);
    Sonvex_SetDebugLog(0);

    int32_t result = -1;
    const Captured log = Capture([&] { result = driver->Startup(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(log.out, "");
    EXPECT_NE(log.err.find("No audio output device found!"), std::string::npos) << log.err;
}

TEST_F(RtAudioDriverTest, ShutdownWithoutStreamLogsAndAnswersOneQuietly) {
    DriverPtr driver = MakeDeviceLessDriver();
    SKIP_IF_DEVICE(driver);

    for (int call = 0; call < 2; ++call) {
        int32_t result = -1;
        const Captured log = Capture([&] { result = driver->Shutdown(); });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(driver->shutDown, 1);
        EXPECT_EQ(log.out, "Sonvex2: RtAudioDriver::Shutdown\n");
        // No "no open stream to close" warning from RtAudio at every exit on a silent machine.
        EXPECT_EQ(log.err, "");
    }
}

TEST_F(RtAudioDriverTest, DeletingShutsDownOnlyWhenNotShutDownYet) {
    DriverPtr fresh = MakeDeviceLessDriver();
    SKIP_IF_DEVICE(fresh);
    Captured log = Capture([&] { Sonvex_DeleteAudioDriver(fresh.release()); });
    EXPECT_EQ(log.out, "Sonvex2: ~RtAudioStream\n"
                       "Sonvex2: RtAudioDriver::Shutdown\n");
    EXPECT_EQ(log.err, "");

    DriverPtr shutDown = MakeDeviceLessDriver();
    Capture([&] { shutDown->Shutdown(); });
    log = Capture([&] { Sonvex_DeleteAudioDriver(shutDown.release()); });
    EXPECT_EQ(log.out, "Sonvex2: ~RtAudioStream\n");

    log = Capture([] { Sonvex_DeleteAudioDriver(nullptr); });
    EXPECT_EQ(log.out, "");
}

TEST_F(RtAudioDriverTest, AllocChannelGivesANewIdleChannelOnTheMixersList) {
    DriverPtr driver;
    Capture([&] { driver = MakeDriver(); });
    ISonvexAudioDriver* asInterface = driver.get();

    const int32_t before = CountChannels();
    ISonvexChannel* channel = nullptr;
    const Captured log = Capture([&] { channel = asInterface->AllocChannel(); });
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(CountChannels(), before + 1);
    EXPECT_EQ(log.out, "Sonvex2: AllocChannel #=" + std::to_string(before + 1) + "\n");
    EXPECT_EQ(channel->Music, nullptr);
    EXPECT_EQ(channel->Playing(), 0);

    // Released and idle, the next mix pass reaps it.
    Sonvex_ReleaseChannel(channel);
    std::vector<float> block(2 * 1024);
    MixOutput(block.data(), 1024);
    EXPECT_EQ(CountChannels(), before);
}

TEST(RtAudioDriverCallback, MixesExactlyTheBufferAndKeepsTheStreamRunning) {
    // With no channel playing the mix is silence; the guard values past the buffer stay.
    constexpr uint32_t kFrames = 1024;
    std::vector<float> buffer(2 * kFrames + 4, 0.75f);
    const int result = AudioCallback(buffer.data(), nullptr, kFrames, 0.0, RTAUDIO_OUTPUT_UNDERFLOW, nullptr);
    EXPECT_EQ(result, 0);
    for (uint32_t i = 0; i < 2 * kFrames; ++i) {
        ASSERT_EQ(buffer[i], 0.0f) << "value " << i;
    }
    for (uint32_t i = 2 * kFrames; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], 0.75f);
    }
}

}  // namespace

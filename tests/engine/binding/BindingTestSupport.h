#pragma once
// Shared by the binding suites: the modules started in the player's order, test files of each
// format, Notify captured, and an engine driver whose "device" is a thread running the mixer.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/Mixer.h"
#include "engine/binding/Sonvex2.h"
#include "platform/runtime/App.h"
#include "tests/media/FlacWriter.h"
#include "tests/media/ModuleWriter.h"
#include "tests/media/OggWriter.h"
#include "tests/media/WavWriter.h"

namespace bindingtest {

inline void StartModules() {
    sonvex2::InitSonvexRtAudio();
    sonvex2::InitSonvexFlac();
    sonvex2::InitSonvexWav();
    sonvex2::InitSonvexOgg();
    sonvex2::InitSonvexDumb();
}

// Short files, one per format.
inline std::vector<uint8_t> WavFile(int32_t frames = 4410) {
    return WavWriter::Simple(WavFormat{}, WavSamples(frames, 2, 16));
}
inline std::vector<uint8_t> FlacFile() {
    FlacWriterOptions options;
    options.frames = 4410;
    return WriteFlac(options);
}
inline std::vector<uint8_t> OggFile() {
    OggWriterOptions options;
    options.frames = 4410;
    return WriteOggVorbis(options);
}
inline std::vector<uint8_t> ModFile() {
    return WriteMod(EndingSong());
}

// A bank over a copy of the file, as a url.
inline fw::Ref<fw::Object> BankOf(const std::vector<uint8_t>& file) {
    return fw::Ref<fw::Object>(fw::New<fw::TBank>(file.data(), file.size()));
}

// The whole rest of a music, read fill by fill as a channel would (a channel's fills are its
// converter's window less the frame it keeps: 1,020 bytes of 16-bit stereo).
inline std::vector<uint8_t> StraightDecode(const fw::Ref<sonvex2::TMusic>& music, int32_t fill = 44100) {
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> step(static_cast<size_t>(fill));
    music->SetStatus(1);   // as a channel does before it fills (a tracker module starts stopped)
    for (int32_t n = fill; n == fill && music->GetStatus() != 0;) {
        n = music->FillBuffer(step.data(), fill);
        bytes.insert(bytes.end(), step.begin(), step.begin() + n);
    }
    return bytes;
}

// Texts shown through Notify while `run` runs.
template <typename Run>
std::vector<std::string> Notified(Run run) {
    std::vector<std::string> shown;
    fw::SetNotifyPresenter([&shown](const std::string& text, bool) { shown.push_back(text); });
    run();
    fw::SetNotifyPresenter(nullptr);
    return shown;
}

// An engine output whose device thread mixes 1024-frame blocks as fast as it can, from Startup
// until Shutdown.
class ThreadOutput final : public ISonvexAudioDriver {
public:
    std::atomic<int32_t> blocks{0};

    ~ThreadOutput() override { Shutdown(); }
    int32_t Startup() override {
        if (!thread_.joinable()) {
            running_ = true;
            thread_ = std::thread([this] {
                std::vector<float> block(2048);
                while (running_) {
                    MixOutput(block.data(), 1024);
                    ++blocks;
                    std::this_thread::yield();
                }
            });
        }
        return 1;
    }
    int32_t Shutdown() override {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
        return 1;
    }
    void CreateSound() override {}

private:
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// A framework driver over a ThreadOutput, registered under `name` like the RtAudio one.
inline fw::Ref<sonvex2::TSonvexDriver> MakeThreadDriver(const std::string& name, ThreadOutput** output) {
    fw::Ref<sonvex2::TSonvexDriver> driver = fw::New<sonvex2::TSonvexDriver>();
    *output = new ThreadOutput;
    driver->_driver = *output;
    driver->_name = name;
    sonvex2::TSonvexStreamDriver::AddDriver(driver, name);
    return driver;
}

// The modules started and a ThreadOutput selected as the framework's driver, for one test. The
// driver goes back to "Null" at its end, not through the exit handlers: the tests after it need
// the engine.
struct ThreadedDriver {
    ThreadOutput* output = nullptr;
    fw::Ref<sonvex2::TSonvexDriver> driver;
    bool selected = false;

    ThreadedDriver() {
        StartModules();
        driver = MakeThreadDriver("Threaded", &output);
        selected = fw::SetAudioDriver("Threaded") == 1;
    }
    ~ThreadedDriver() { fw::SetAudioDriver("Null"); }
};

}  // namespace bindingtest

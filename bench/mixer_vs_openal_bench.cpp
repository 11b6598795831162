// The engine's mixer against OpenAL Soft on the same work, in one run: 256 looping sources of
// 16-bit stereo sound at 48,000 Hz, each resampled to 44,100 Hz stereo float in 1024-frame blocks.
// Every iteration renders one block with each contender in turn, so a change in machine load
// falls on all of them alike:
//   engine          MixOutput over 256 channels (volume 0.5, pans spread over -1..+1)
//   openal          an OpenAL Soft loopback device (ALC_SOFT_loopback, float output) with 256
//                   sources at gain 0.5 and its default resampler
//   openal_linear   a second such device whose sources name the "Linear" resampler
//                   (AL_SOFT_source_resampler)
// Each block is timed on the thread's CPU clock, so time the thread spends descheduled by
// other work on the machine is not counted.
//
// Counters, medians over the iterations (per channel and output frame, and the ratio of the
// engine's time to OpenAL's within each iteration):
//   engine_ns, openal_ns, openal_linear_ns, engine_over_openal, engine_over_linear

#define AL_ALEXT_PROTOTYPES

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/MixerBenchSound.h"
#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/ISonvexSound.h"
#include "engine/Mixer.h"

namespace {

constexpr uint32_t kBlock = 1024;
constexpr int32_t kChannels = 256;
using mixerbench::kSoundFrames;
using mixerbench::kSoundRate;
using mixerbench::SoundData;

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "mixer_vs_openal_bench: %s\n", what);
    std::exit(1);
}

// One OpenAL Soft loopback device playing kChannels looping sources of the sound.
class OpenAlMix {
public:
    // resampler: a name from AL_RESAMPLER_NAME_SOFT, or empty for the device's default.
    explicit OpenAlMix(const std::string& resampler) {
        device_ = alcLoopbackOpenDeviceSOFT(nullptr);
        if (device_ == nullptr) {
            Fail("no loopback device");
        }
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                     ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                     ALC_FREQUENCY, 44100,
                                     ALC_MONO_SOURCES, 0,
                                     ALC_STEREO_SOURCES, kChannels,
                                     0};
        if (alcIsRenderFormatSupportedSOFT(device_, 44100, ALC_STEREO_SOFT, ALC_FLOAT_SOFT) == ALC_FALSE) {
            Fail("loopback device without stereo float output");
        }
        context_ = alcCreateContext(device_, attributes);
        if (context_ == nullptr || alcMakeContextCurrent(context_) == ALC_FALSE) {
            Fail("no context");
        }
        if (alIsExtensionPresent("AL_SOFT_source_resampler") == AL_FALSE) {
            Fail("no AL_SOFT_source_resampler");
        }
        ALint chosen = alGetInteger(AL_DEFAULT_RESAMPLER_SOFT);
        resamplerName_ = alGetStringiSOFT(AL_RESAMPLER_NAME_SOFT, chosen);
        if (!resampler.empty()) {
            const ALint count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
            chosen = -1;
            for (ALint i = 0; i < count; ++i) {
                if (resampler == alGetStringiSOFT(AL_RESAMPLER_NAME_SOFT, i)) {
                    chosen = i;
                }
            }
            if (chosen < 0) {
                Fail("no resampler of that name");
            }
            resamplerName_ = resampler;
        }

        const std::vector<uint8_t>& data = SoundData();
        alGenBuffers(1, &buffer_);
        alBufferData(buffer_, AL_FORMAT_STEREO16, data.data(), static_cast<ALsizei>(data.size()),
                     kSoundRate);
        sources_.resize(kChannels);
        alGenSources(kChannels, sources_.data());
        for (int32_t i = 0; i < kChannels; ++i) {
            const ALuint s = sources_[i];
            alSourcei(s, AL_BUFFER, static_cast<ALint>(buffer_));
            alSourcei(s, AL_LOOPING, AL_TRUE);
            alSourcef(s, AL_GAIN, 0.5f);
            alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, chosen);
            alSourcei(s, AL_SAMPLE_OFFSET, (i * 997) % kSoundFrames);
        }
        alSourcePlayv(kChannels, sources_.data());
        if (alGetError() != AL_NO_ERROR) {
            Fail("source set-up failed");
        }
        alcMakeContextCurrent(nullptr);
    }

    ~OpenAlMix() {
        alcMakeContextCurrent(context_);
        alSourceStopv(kChannels, sources_.data());
        alDeleteSources(kChannels, sources_.data());
        alDeleteBuffers(1, &buffer_);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context_);
        alcCloseDevice(device_);
    }

    OpenAlMix(const OpenAlMix&) = delete;
    OpenAlMix& operator=(const OpenAlMix&) = delete;

    void Render(float* out) { alcRenderSamplesSOFT(device_, out, kBlock); }
    const std::string& ResamplerName() const { return resamplerName_; }

private:
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    ALuint buffer_ = 0;
    std::vector<ALuint> sources_;
    std::string resamplerName_;
};

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0.0;
    }
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void BM_MixerAgainstOpenAl(benchmark::State& state) {
    mixerbench::StartChannels(kChannels);
    OpenAlMix byDefault("");
    OpenAlMix linear("Linear");
    std::vector<float> out(2 * kBlock);
    // Per iteration: the three times, and the engine's time over each OpenAL time. The medians
    // leave out the blocks that an interruption or a burst of load fell on.
    std::vector<double> times[3];
    std::vector<double> ratios[2];
    for (auto _ : state) {
        double t0 = ThreadSeconds();
        MixOutput(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        double t1 = ThreadSeconds();
        const double engine = t1 - t0;
        byDefault.Render(out.data());
        benchmark::DoNotOptimize(out.data());
        t0 = ThreadSeconds();
        const double openal = t0 - t1;
        linear.Render(out.data());
        benchmark::DoNotOptimize(out.data());
        const double openalLinear = ThreadSeconds() - t0;
        benchmark::ClobberMemory();
        times[0].push_back(engine);
        times[1].push_back(openal);
        times[2].push_back(openalLinear);
        ratios[0].push_back(engine / openal);
        ratios[1].push_back(engine / openalLinear);
    }
    const double perChannelFrame = 1e9 / (static_cast<double>(kChannels) * kBlock);
    state.counters["engine_ns"] = Median(times[0]) * perChannelFrame;
    state.counters["openal_ns"] = Median(times[1]) * perChannelFrame;
    state.counters["openal_linear_ns"] = Median(times[2]) * perChannelFrame;
    state.counters["engine_over_openal"] = Median(ratios[0]);
    state.counters["engine_over_linear"] = Median(ratios[1]);
    state.SetLabel("openal default resampler: " + byDefault.ResamplerName());
    mixerbench::StopAllChannels();
}

BENCHMARK(BM_MixerAgainstOpenAl)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();

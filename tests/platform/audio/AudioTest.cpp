// The audio framework: the driver list, driver selection with its silent fallback, the channel
// functions and audio samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/audio/TAudioDriver.h"

namespace {

struct FakeDriver final : fw::TAudioDriver {
    FakeDriver(std::string name, int32_t starts, std::vector<std::string>* log)
        : name_(std::move(name)), starts_(starts), log_(log) {}
    std::string Name() override { return name_; }
    int32_t Startup() override {
        log_->push_back("start " + name_);
        return starts_;
    }
    int32_t Shutdown() override {
        log_->push_back("stop " + name_);
        return 1;
    }
    std::string name_;
    int32_t starts_;
    std::vector<std::string>* log_;
};

TEST(AudioDrivers, NewestFirstMatchedWithoutCaseAndTheSilentDriverAsFallback) {
    std::vector<std::string> log;
    fw::Ref<FakeDriver> older = fw::New<FakeDriver>("Out", 1, &log);
    fw::Ref<FakeDriver> newer = fw::New<FakeDriver>("OUT", 1, &log);
    fw::Ref<FakeDriver> broken = fw::New<FakeDriver>("Broken", 0, &log);
    EXPECT_EQ(fw::AudioDriver()->Name(), "Null");

    EXPECT_EQ(fw::SetAudioDriver("out"), 1);
    EXPECT_EQ(fw::AudioDriver().Get(), newer.Get());
    EXPECT_EQ(fw::SetAudioDriver("broken"), 0);
    EXPECT_EQ(fw::AudioDriver()->Name(), "Null");
    EXPECT_EQ(fw::SetAudioDriver("missing"), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"start OUT", "stop OUT", "start Broken"}));

    // A driver taken out of the list goes, and its Delete step leaves the list safely.
    EXPECT_TRUE(fw::AudioDrivers().Remove(newer));
    const size_t count = fw::AudioDrivers().Count();
    newer = nullptr;
    EXPECT_EQ(fw::AudioDrivers().Count(), count);
    EXPECT_EQ(fw::SetAudioDriver("OUT"), 1);
    EXPECT_EQ(fw::AudioDriver().Get(), older.Get());
}

TEST(AudioDrivers, ChannelFunctionsReachTheChannelAndIgnoreNone) {
    struct Recording final : fw::TChannel {
        int32_t SetPaused(int32_t paused) override { return calls.push_back("paused " + std::to_string(paused)), 0; }
        int32_t SetVolume(float v) override { return calls.push_back("volume " + std::to_string(v)), 0; }
        int32_t SetPan(float v) override { return calls.push_back("pan " + std::to_string(v)), 0; }
        int32_t SetRate(float v) override { return calls.push_back("rate " + std::to_string(v)), 0; }
        int32_t Stop() override { return calls.push_back("stop"), 0; }
        int32_t Playing() override { return 1; }
        std::vector<std::string> calls;
    };
    fw::Ref<Recording> channel = fw::New<Recording>();
    fw::Ref<fw::TChannel> none;
    for (const fw::Ref<fw::TChannel>& target : {fw::Ref<fw::TChannel>(channel), none}) {
        fw::PauseChannel(target);
        fw::ResumeChannel(target);
        fw::SetChannelVolume(target, 0.5f);
        fw::SetChannelPan(target, -1.0f);
        fw::SetChannelRate(target, 1.25f);
        fw::StopChannel(target);
    }
    EXPECT_EQ(channel->calls, (std::vector<std::string>{"paused 1", "paused 0", "volume 0.500000", "pan -1.000000",
                                                        "rate 1.250000", "stop"}));
    EXPECT_EQ(fw::ChannelPlaying(channel), 1);
    EXPECT_EQ(fw::ChannelPlaying(none), 0);
}

TEST(AudioSamples, FormatTablesAndOwnMemory) {
    const std::vector<std::tuple<int32_t, int32_t, int32_t>> tables = {
        {0, 0, 0}, {1, 1, 1}, {2, 1, 2}, {3, 1, 2}, {4, 2, 2}, {5, 2, 4}, {6, 2, 4}, {7, 0, 0}};
    for (const auto& [format, channels, bytes] : tables) {
        EXPECT_EQ(fw::ChannelsPerSample(format), channels) << format;
        EXPECT_EQ(fw::BytesPerSample(format), bytes) << format;
    }
    fw::Ref<fw::TAudioSample> sample = fw::CreateAudioSample(1000, 22050, fw::SF_STEREO16LE);
    ASSERT_TRUE(sample);
    EXPECT_EQ(std::make_tuple(sample->length, sample->hertz, sample->format, sample->capacity),
              std::make_tuple(1000, 22050, 5, 4000));
    EXPECT_NE(sample->samples, nullptr);
    EXPECT_FALSE(fw::CreateAudioSample(10, 44100, 0));
    EXPECT_FALSE(fw::CreateAudioSample(-1, 44100, 1));
    EXPECT_FALSE(fw::CreateAudioSample(0x40000000, 44100, 5));   // past 32 bits of memory
}

template <typename T, typename = void>
struct Resizable : std::false_type {};
template <typename T>
struct Resizable<T, std::void_t<decltype(std::declval<T&>().Resize(0))>> : std::true_type {};
// A sound reads its sample's memory in place for as long as it lives: once made, a sample's
// memory never moves. Memory grows only before a sample takes it over.
static_assert(!Resizable<fw::TAudioSample>::value);

TEST(AudioSamples, MemoryGrowsAndShrinksBeforeASampleTakesItOver) {
    fw::SampleMemory memory;
    ASSERT_TRUE(memory.Resize(6));
    std::memcpy(memory.Data(), "abcdef", 6);
    ASSERT_TRUE(memory.Resize(800000));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(memory.Data()), 6), "abcdef");
    EXPECT_EQ(std::count(memory.Data() + 6, memory.Data() + memory.Size(), 0), 800000 - 6);
    ASSERT_TRUE(memory.Resize(4));
    EXPECT_FALSE(memory.Resize(int64_t{1} << 31));
    EXPECT_FALSE(memory.Resize(-1));
    EXPECT_EQ(memory.Size(), 4);

    EXPECT_FALSE(fw::TAudioSample::Create(memory, 22050, 0));
    fw::Ref<fw::TAudioSample> sample = fw::TAudioSample::Create(memory, 22050, fw::SF_MONO16LE);
    ASSERT_TRUE(sample);
    EXPECT_EQ(std::make_tuple(sample->length, sample->capacity, memory.Size(), memory.Data()),
              std::make_tuple(2, 4, int64_t{0}, static_cast<uint8_t*>(nullptr)));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sample->samples), sample->capacity), "abcd");
}

}  // namespace

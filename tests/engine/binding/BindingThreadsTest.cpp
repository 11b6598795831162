// The binding with a device thread mixing: the process ends through End while channels play, and
// what the mixer lets go on its thread is destroyed on the main thread.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "platform/runtime/Collect.h"
#include "platform/runtime/System.h"
#include "tests/engine/binding/BindingTestSupport.h"
#include "tests/media/MonitorRecorder.h"

namespace {

// Records the thread its Delete step runs on.
struct WatchedBank final : fw::TBank {
    WatchedBank(const std::vector<uint8_t>& bytes, std::thread::id* deletedOn)
        : fw::TBank(bytes.data(), bytes.size()), deletedOn_(deletedOn) {}
    void Delete() override { *deletedOn_ = std::this_thread::get_id(); }
    std::thread::id* deletedOn_;
};

fw::Ref<fw::Object> WavBank(std::thread::id* deletedOn) {
    return fw::Ref<fw::Object>(fw::New<WatchedBank>(bindingtest::WavFile(), deletedOn));
}

TEST(EndWhilePlaying, DriversStopBeforeTheEngineFreesItsChannels) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bindingtest::StartModules();
            bindingtest::ThreadOutput* output = nullptr;
            fw::Ref<sonvex2::TSonvexDriver> driver = bindingtest::MakeThreadDriver("Threaded", &output);
            if (fw::SetAudioDriver("threaded") != 1) {
                std::exit(3);
            }
            std::thread::id unused;
            static fw::Ref<sonvex2::TSonvexChannel> channels[4];
            for (auto& channel : channels) {
                channel = sonvex2::PlayMusic(WavBank(&unused), 1);
            }
            sonvex2::TSonvexStreamDriver::SetDriver("threaded");
            sonvex_test::WaitFor([&] { return output->blocks > 20; }, std::chrono::seconds(10));
            fw::End();
        },
        testing::ExitedWithCode(0), "");
}

// Nothing is loaded: what the mixer let go still goes at the next system poll, or at the next call
// that makes, cues or releases a sound or a channel, on whatever thread makes it (a program may
// call the engine from a thread of its own only).
TEST(AudioThreadReleases, KeptMemoryGoesAtTheNextPollOrChannelCallWithoutALoad) {
    bindingtest::ThreadedDriver threaded;
    ASSERT_TRUE(threaded.selected);
    fw::Ref<fw::TSound> sound = threaded.driver->CreateSound(fw::CreateAudioSample(100, 44100, 5), 0);
    const std::vector<uint8_t> wav = bindingtest::WavFile();
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(fw::Ref<fw::Object>(fw::New<fw::TBank>(wav.data(), wav.size())));
    fw::Ref<fw::TChannel> held;
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"PollSystem", [] { fw::PollSystem(); }},
        {"CreateSound", [&] { threaded.driver->CreateSound(fw::CreateAudioSample(100, 44100, 5), 0); }},
        {"AllocChannel", [&] { held = threaded.driver->AllocChannel(); }},
        {"Cue", [&] { held = sound->Cue(held); }},
        {"CueMusic", [&] { held = sonvex2::CueMusic(music, 0); }},
        {"channel released", [&] { held = nullptr; }},
    };
    std::deque<std::thread::id> deletions;   // outlive a bank that a failing round never lets go
    for (const bool onWorker : {false, true}) {
        for (const auto& [name, call] : calls) {
            if (onWorker && std::string(name) == "PollSystem") {
                continue;   // the main thread's own
            }
            std::thread::id& deletedOn = deletions.emplace_back();
            fw::Ref<sonvex2::TSonvexChannel> playing = sonvex2::PlayMusic(WavBank(&deletedOn), 0);
            ASSERT_TRUE(sonvex_test::WaitFor([&] { return fw::ChannelPlaying(playing) == 0; }, std::chrono::seconds(10)));
            playing = nullptr;   // released and stopped: the mixer's next pass reaps it on its thread
            const int32_t released = threaded.output->blocks;
            ASSERT_TRUE(sonvex_test::WaitFor([&] { return threaded.output->blocks > released + 1; }, std::chrono::seconds(10)));
            EXPECT_EQ(deletedOn, std::thread::id()) << name;
            std::thread::id caller = std::this_thread::get_id();
            if (onWorker) {
                std::thread([&, &call = call] { caller = std::this_thread::get_id(); call(); }).join();
            } else {
                call();
            }
            EXPECT_EQ(deletedOn, caller) << name << (onWorker ? " on a worker" : "");
        }
    }
    sound = nullptr;
    music = nullptr;
    ASSERT_TRUE(sonvex_test::WaitFor([&] { return CountChannels() == 0; }, std::chrono::seconds(10)));
    fw::GCCollect();
}

// Two channels over one music: seeking through one while the mixer fills the other.
TEST(SharedMusic, ASeekThroughOneChannelWaitsForTheOthersFill) {
    bindingtest::ThreadedDriver threaded;
    ASSERT_TRUE(threaded.selected);
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(bindingtest::BankOf(bindingtest::WavFile(441000)));
    fw::Ref<sonvex2::TSonvexChannel> playing = sonvex2::PlayMusic(music, 1);
    fw::Ref<sonvex2::TSonvexChannel> seeking = sonvex2::CueMusic(music, 1);
    for (int32_t i = 0; i < 200; ++i) {
        sonvex2::SeekChannel(seeking, (i * 7919) % 441000, 1);
        std::this_thread::yield();
    }
    EXPECT_EQ(fw::ChannelPlaying(playing), 1);
}

TEST(AudioThreadReleases, KeptMemoryGoesOnTheMainThread) {
    bindingtest::ThreadedDriver threaded;
    ASSERT_TRUE(threaded.selected);

    std::thread::id deletedOn;
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::PlayMusic(WavBank(&deletedOn), 0);
    ASSERT_TRUE(channel);
    channel = nullptr;   // the engine channel plays on, then the mixer reaps it on its thread
    ASSERT_TRUE(sonvex_test::WaitFor([&] { return CountChannels() == 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(deletedOn, std::thread::id());
    EXPECT_EQ(fw::GCCollect(), 1);
    EXPECT_EQ(deletedOn, std::this_thread::get_id());
}

}  // namespace

// The binding with a device thread mixing: the process ends through End while channels play, and
// what the mixer lets go on its thread is destroyed on the main thread.

#include <gtest/gtest.h>

#include <thread>

#include "platform/runtime/Collect.h"
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

TEST(AudioThreadReleases, KeptMemoryGoesOnTheMainThread) {
    bindingtest::StartModules();
    bindingtest::ThreadOutput* output = nullptr;
    fw::Ref<sonvex2::TSonvexDriver> driver = bindingtest::MakeThreadDriver("Threaded", &output);
    ASSERT_EQ(fw::SetAudioDriver("Threaded"), 1);

    std::thread::id deletedOn;
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::PlayMusic(WavBank(&deletedOn), 0);
    ASSERT_TRUE(channel);
    channel = nullptr;   // the engine channel plays on, then the mixer reaps it on its thread
    ASSERT_TRUE(sonvex_test::WaitFor([&] { return CountChannels() == 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(deletedOn, std::thread::id());
    EXPECT_EQ(fw::GCCollect(), 1);
    EXPECT_EQ(deletedOn, std::this_thread::get_id());
    fw::RunExitHandlers();
}

}  // namespace

// What the user is told when the output driver does not start.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AudioStart.h"
#include "engine/binding/TSonvexDriver.h"
#include "platform/runtime/App.h"

namespace {

// An engine output that refuses to start, with a reason, or starts.
class Output final : public ISonvexAudioDriver {
public:
    explicit Output(std::string reason) : reason_(std::move(reason)) {}
    int32_t Startup() override { return reason_.empty() ? 1 : 0; }
    int32_t Shutdown() override { return 1; }
    void CreateSound() override {}
    std::string LastError() const override { return reason_; }

private:
    std::string reason_;
};

fw::Ref<sonvex2::TSonvexDriver> Driver(const std::string& name, const std::string& reason) {
    fw::Ref<sonvex2::TSonvexDriver> driver = fw::New<sonvex2::TSonvexDriver>();
    driver->_driver = new Output(reason);
    driver->_name = name;
    sonvex2::TSonvexStreamDriver::AddDriver(driver, name);
    return driver;
}

TEST(AudioStartTest, UserIsToldOnceWithTheReasonOnlyWhenTheDriverFails) {
    std::vector<std::string> told;
    fw::SetNotifyPresenter([&](const std::string& text, bool serious) {
        EXPECT_TRUE(serious);
        told.push_back(text);
    });
    fw::Ref<sonvex2::TSonvexDriver> refusing = Driver("Refusing", "error connecting output to PulseAudio server.");
    fw::Ref<sonvex2::TSonvexDriver> willing = Driver("Willing", "");

    EXPECT_EQ(app::StartAudioDriver("refusing"), 0);
    EXPECT_EQ(app::StartAudioDriver("Willing"), 1);
    EXPECT_EQ(app::StartAudioDriver("Missing"), 0);
    EXPECT_EQ(told, (std::vector<std::string>{
                        "Unable to start the audio output \"refusing\": error connecting output to PulseAudio "
                        "server.\nThe player goes on without sound; PLAY or LOAD tries again.",
                        "Unable to start the audio output \"Missing\": there is no such driver\nThe player goes "
                        "on without sound; PLAY or LOAD tries again."}));
    fw::SetNotifyPresenter(nullptr);
}

}  // namespace

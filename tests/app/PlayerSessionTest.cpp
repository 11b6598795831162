// A user's session with the player, gadget action by gadget action: the texts, enable states,
// channel calls and status lines each one leaves, the ticks that run inside the handlers' polls,
// the clip lamp and closing the window. The output driver is kept from starting (no sound
// server) and a stand-in that mixes nothing takes its name, so the tests drive the mixer
// themselves where they need sound, and bring the output down and up where they need that.

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "app/Scope.h"
#include "engine/ISonvexChannel.h"
#include "engine/binding/TSonvexDriver.h"
#include "engine/Mixer.h"
#include "platform/audio/TAudioDriver.h"
#include "tests/app/PlayerFixture.h"

namespace {

using player_test::Act;
using player_test::Click;
using player_test::Drain;
using player_test::PressKey;
using player_test::RequesterAnswer;
using player_test::StartPlayer;

constexpr int32_t kFrames = 88641;  // a little over two seconds

// Every poll also raises one tick of the player's timer, so each poll inside a handler runs the
// tick handling re-entrantly, as a slow handler meets real ticks. A poll inside that tick raises
// none, as no period has passed.
class TickingPolls final : public fw::SystemDriver {
public:
    fw::Ref<fw::TTimer> timer;
    int32_t polls = 0;
    bool inside = false;
    void Poll() override {
        if (inside) {
            return;
        }
        ++polls;
        inside = true;
        fw::EmitEvent(fw::CreateEvent(fw::TimerTick, timer));
        inside = false;
    }
    void Wait() override { Poll(); }
    void Wake() override {}
};

// The gadgets whose actions were raised, in order, as the player is about to handle them.
struct Actions : fw::Object {
    std::vector<fw::Object*> sources;
};

fw::Ref<fw::Object> NoteAction(int32_t, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    const fw::Ref<fw::TEvent> event = fw::Cast<fw::TEvent>(data);
    if (event && event->id == fw::GadgetAction) {
        fw::Cast<Actions>(context)->sources.push_back(event->source.Get());
    }
    return data;
}

// An engine output that mixes nothing, under the player's driver name (newer, so found first),
// up or down as the test says.
struct StandInOutput final : ISonvexAudioDriver {
    int32_t up = 1, failed = 0;
    int32_t Startup() override { return up != 0 ? (failed = 0, 1) : 0; }
    int32_t Shutdown() override { return 1; }
    void CreateSound() override {}
    std::string LastError() const override { return "the server is down"; }
    int32_t Failed() const override { return failed; }
};

StandInOutput& StandIn() {
    static StandInOutput* output = [] {
        auto* made = new StandInOutput();
        fw::Ref<sonvex2::TSonvexDriver> driver = fw::New<sonvex2::TSonvexDriver>();
        driver->_driver = made;
        driver->_name = "Sonvex RtAudio";
        sonvex2::TSonvexStreamDriver::AddDriver(driver, driver->_name);
        return made;
    }();
    return *output;
}

class PlayerSessionTest : public testing::Test {
protected:
    void SetUp() override {
        // No sound server: the driver cannot start and the mixer is the test's to run.
        setenv("PULSE_SERVER", "unix:/nonexistent/sonvex-app-test", 1);
        player = StartPlayer();
        ASSERT_TRUE(player);
        StandIn().up = 1;
        StandIn().failed = 0;
        ASSERT_EQ(fw::SetAudioDriver("Sonvex RtAudio"), 1);
        song = player_test::WriteWav("song", kFrames, 7);
        fw::AddHook(fw::EmitEventHook, &NoteAction, actions, 1);
    }

    void TearDown() override { fw::RemoveHook(fw::EmitEventHook, &NoteAction, actions); }

    // The gadgets that act on a key.
    std::vector<fw::Object*> ActedOn(KeySym key) {
        actions->sources.clear();
        PressKey(key);
        return actions->sources;
    }

    ISonvexChannel* Engine() const { return app::CurrentChannel ? app::CurrentChannel->_channel : nullptr; }

    std::string Status() const { return fw::StatusText(app::MainWindow); }

    void Open(const std::string& path) {
        RequesterAnswer() = path;
        Act(player->myload);
    }

    // One output block through the mixer, as the audio thread would run it.
    std::vector<float> Mix() {
        std::vector<float> block(2048);
        MixOutput(block.data(), 1024);
        return block;
    }

    fw::Ref<app::TApp> player;
    std::string song;
    fw::Ref<Actions> actions = fw::New<Actions>();
};

TEST_F(PlayerSessionTest, AudioFailureIsToldOnceUnderThePlayersTitleAndTheWindowStillOpens) {
    ASSERT_EQ(player_test::Told().size(), 1u);
    EXPECT_EQ(player_test::Told()[0].rfind("Unable to start the audio output \"Sonvex RtAudio\": ", 0), 0u)
        << player_test::Told()[0];
    EXPECT_NE(player_test::Told()[0].find("without sound"), std::string::npos);
    EXPECT_EQ(player_test::ToldTitles()[0], "Telvo Audio Player V2.2 - (Wav/Flac/Ogg)");
    EXPECT_NE(fw::QueryGadget(app::MainWindow, fw::QUERY_HWND), 0u);
}

TEST_F(PlayerSessionTest, BeforeAnyFileOnlyLoadAndAboutDoAnything) {
    fw::StopTimer(player->Timer);
    Drain();
    fw::SetStatusText(app::MainWindow, "untouched");
    const fw::Ref<fw::TGadget> inert[] = {player->myplay, player->mylop, player->mydivdue, player->myperdue,
                                          player->myslider, app::VolumeSlider, player->mypan};
    for (const fw::Ref<fw::TGadget>& gadget : inert) {
        Act(gadget, 5);
    }
    EXPECT_EQ(Status(), "untouched");
    EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");
    EXPECT_EQ(fw::GadgetText(player->mylop), "LOOP");
    EXPECT_EQ(player->LoopMode, 0);
    EXPECT_EQ(app::SlowToggle, 1);
    EXPECT_EQ(app::FastToggle, 1);
    EXPECT_EQ(fw::GadgetDisabled(player->myperdue), 0);
    EXPECT_EQ(app::ClipResetCounter, 0);

    // A cancelled requester and a directory open nothing.
    for (const std::string path : {"", "/tmp"}) {
        fw::SetGadgetText(player->myplay, "x");
        Open(path);
        EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");
        EXPECT_FALSE(app::CurrentChannel);
    }

    const int32_t before = fw::MilliSecs();
    Act(player->myabout);
    EXPECT_GE(fw::MilliSecs() - before, 4000);
    EXPECT_EQ(Status(), " About : Telvo Audio Flac/Wav Ostrival V2.2 - https://sonvex.invalid/player");
    EXPECT_EQ(fw::GadgetText(player->myabout), "ABOUT");
    EXPECT_TRUE(player_test::Screenshot("player-after-about"));

    // With no file open, every 51st tick writes only the fixed parts of the time line.
    for (int32_t tick = 0; tick < 51; ++tick) {
        fw::EmitEvent(fw::CreateEvent(fw::TimerTick, player->Timer));
    }
    Drain();
    EXPECT_EQ(Status(), " Time :  - Elapsed Time : ");
}

TEST_F(PlayerSessionTest, LoadPlayPauseAndLoop) {
    fw::StopTimer(player->Timer);
    Open(song);
    ASSERT_TRUE(app::CurrentChannel);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");
    EXPECT_EQ(player->Status, 1);
    EXPECT_EQ(Engine()->PlayingFlag.load(), 1);
    EXPECT_EQ(fw::SliderHigh(player->myslider), kFrames / 512);
    EXPECT_EQ(fw::GadgetDisabled(player->myslider), 0);
    EXPECT_EQ(app::ScopeX, 0.0);

    const struct {
        int32_t status;
        const char* text;
        int32_t playing;
        int32_t loadDisabled;
    } presses[] = {{0, "PLAY", 0, 1}, {1, "PAUSE", 1, 0}, {0, "PLAY", 0, 1}, {1, "PAUSE", 1, 0}};
    for (const auto& p : presses) {
        Act(player->myplay);
        EXPECT_EQ(player->Status, p.status);
        EXPECT_EQ(fw::GadgetText(player->myplay), p.text);
        EXPECT_EQ(Engine()->PlayingFlag.load(), p.playing);
        EXPECT_EQ(fw::GadgetDisabled(player->myload), p.loadDisabled);
    }

    const struct {
        int32_t mode;
        const char* text;
    } loops[] = {{1, ">LOOP<"}, {0, "LOOP"}, {1, ">LOOP<"}};
    for (const auto& l : loops) {
        Act(player->mylop);
        EXPECT_EQ(player->LoopMode, l.mode);
        EXPECT_EQ(fw::GadgetText(player->mylop), l.text);
        EXPECT_EQ(Engine()->LoopMode.load(), l.mode);
    }

    // A second file replaces the first, keeps the loop setting and starts at once.
    ISonvexChannel* first = Engine();
    Open(player_test::WriteWav("second", 500, 9));  // under 512 frames
    EXPECT_NE(Engine(), first);
    EXPECT_EQ(first->PlayingFlag.load(), 0);
    EXPECT_EQ(Engine()->LoopMode.load(), 1);
    EXPECT_EQ(Engine()->PlayingFlag.load(), 1);
    EXPECT_EQ(fw::SliderHigh(player->myslider), 0);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");

    // A file no loader takes: the old channel stays current, stopped.
    const std::string junk = "/tmp/sonvex-app-" + std::to_string(getpid()) + "-junk.bin";
    FILE* file = std::fopen(junk.c_str(), "wb");
    std::fputs("not a sound", file);
    std::fclose(file);
    ISonvexChannel* second = Engine();
    Open(junk);
    std::remove(junk.c_str());
    EXPECT_EQ(Engine(), second);
    EXPECT_EQ(second->PlayingFlag.load(), 0);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");
}

// The output down as at a start without a server, then failing mid-play: the window says it plays
// only while the output runs; each PLAY or LOAD that finds it down tries it again and says so
// while it stays down; once it is back one PLAY plays.
TEST_F(PlayerSessionTest, WindowPlaysOnlyWhileTheOutputRunsAndPlayOrLoadTryItAgain) {
    fw::StopTimer(player->Timer);
    StandIn().up = 0;
    ASSERT_EQ(fw::SetAudioDriver("Sonvex RtAudio"), 0);
    const std::function<void()> play = [&] { Act(player->myplay); }, load = [&] { Open(song); }, tick = [&] {
        fw::EmitEvent(fw::CreateEvent(fw::TimerTick, player->Timer));
        Drain();
    };
    const struct {
        std::function<void()> act;
        int32_t up, failed, playing;  // the output during the step; the channel after it
        std::string told;             // the start of the box it brings, if any
    } steps[] = {
        {load, 0, 0, 0, "Unable to start the audio output \"Sonvex RtAudio\" again: the server is down\n"},
        {play, 0, 0, 0, "Unable to start the audio output \"Sonvex RtAudio\" again: "},
        {play, 1, 0, 1, ""},
        {tick, 0, 1, 0, "The audio output \"Sonvex RtAudio\" stopped: the server is down\n"},
        {play, 0, 1, 0, "Unable to start the audio output \"Sonvex RtAudio\" again: "},
        {load, 0, 1, 0, "Unable to start the audio output \"Sonvex RtAudio\" again: "},
        {play, 1, 1, 1, ""},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        StandIn().up = steps[i].up;
        StandIn().failed = steps[i].failed;
        const std::vector<std::string> before = player_test::Told();
        steps[i].act();
        EXPECT_EQ(fw::GadgetText(player->myplay), steps[i].playing != 0 ? "PAUSE" : "PLAY");
        EXPECT_EQ(player->Status, steps[i].playing);
        EXPECT_EQ(Engine()->PlayingFlag.load(), steps[i].playing);
        const std::vector<std::string>& told = player_test::Told();
        EXPECT_EQ(told.size(), before.size() + (steps[i].told.empty() ? 0 : 1));
        EXPECT_EQ(told.size() > before.size() ? told.back().rfind(steps[i].told, 0) : 0u, 0u);
    }
}

TEST_F(PlayerSessionTest, SlowAndFastExcludeEachOther) {
    fw::StopTimer(player->Timer);
    Open(song);
    const struct {
        bool slow;
        float rate;
        int32_t slowDisabled;
        int32_t fastDisabled;
    } presses[] = {
        {true, 0.9f, 0, 1},   // SLOW in force: FAST cannot be pressed
        {true, 1.0f, 0, 0},   // SLOW again: back to normal
        {false, 1.1f, 1, 0},  // FAST in force: SLOW cannot be pressed
        {false, 1.0f, 0, 0},
    };
    for (const auto& p : presses) {
        Act(p.slow ? player->mydivdue : player->myperdue);
        EXPECT_FLOAT_EQ(Engine()->Rate.load(), p.rate);
        EXPECT_EQ(fw::GadgetDisabled(player->mydivdue), p.slowDisabled);
        EXPECT_EQ(fw::GadgetDisabled(player->myperdue), p.fastDisabled);
        EXPECT_EQ(fw::GadgetText(player->mydivdue), "SLOW");
        EXPECT_EQ(fw::GadgetText(player->myperdue), "FAST");
    }
}

// Switched off, SLOW or FAST is disabled and enabled again; the focus stays on it, whether pressed
// by keyboard or mouse, so the next Space presses it again and not LOOP or SLOW beside it.
TEST_F(PlayerSessionTest, SlowAndFastKeepTheFocusWhenSwitchedOff) {
    fw::StopTimer(player->Timer);
    Open(song);
    const struct {
        fw::Ref<fw::TGadget> button;
        fw::Ref<fw::TGadget> left;
        bool mouse;
    } presses[] = {{player->mydivdue, player->mylop, false}, {player->myperdue, player->mydivdue, false},
                   {player->mydivdue, player->mylop, true}, {player->myperdue, player->mydivdue, true}};
    for (const auto& p : presses) {
        SCOPED_TRACE(fw::GadgetText(p.button) + (p.mouse ? " by mouse" : " by keyboard"));
        fw::ActivateGadget(p.left);
        actions->sources.clear();
        if (p.mouse) {
            Click(p.button);
            Click(p.button);
        } else {
            PressKey(XK_Tab);
            PressKey(XK_space);
            PressKey(XK_space);
        }
        PressKey(XK_space);
        PressKey(XK_space);
        EXPECT_EQ(actions->sources, std::vector<fw::Object*>(4, p.button.Get()));
    }
}

// Tab and Shift+Tab leave the CONTROLS row for each slider, in the order the screen shows them,
// and come back into it: the slider reached moves on an arrow key, the button come back to is
// pressed by Space.
TEST_F(PlayerSessionTest, TabAndShiftTabReachEachSliderAndComeBack) {
    fw::StopTimer(player->Timer);
    Open(song);
    const struct {
        fw::Ref<fw::TGadget> from;
        unsigned int shift;  // of the Tabs going there; the way back is the other
        int32_t tabs;
        fw::Ref<fw::TGadget> slider;
        int32_t tabsBack;
        fw::Ref<fw::TGadget> button;
    } trips[] = {
        {player->myabout, 0, 1, player->myslider, 2, player->myperdue},
        {player->myabout, 0, 2, app::VolumeSlider, 3, player->myperdue},
        {player->myabout, 0, 3, player->mypan, 4, player->myperdue},
        {player->myload, ShiftMask, 1, player->mypan, 1, player->myload},
    };
    for (const auto& t : trips) {
        SCOPED_TRACE(fw::GadgetText(t.from) + " " + std::to_string(t.tabs));
        fw::ActivateGadget(t.from);
        for (int32_t tab = 0; tab < t.tabs; ++tab) {
            PressKey(XK_Tab, t.shift);
        }
        fw::SetSliderValue(t.slider, 1);
        EXPECT_EQ(ActedOn(XK_Right), std::vector<fw::Object*>{t.slider.Get()});
        EXPECT_EQ(fw::SliderValue(t.slider), 2);
        for (int32_t tab = 0; tab < t.tabsBack; ++tab) {
            PressKey(XK_Tab, t.shift ^ ShiftMask);
        }
        EXPECT_EQ(ActedOn(XK_space), std::vector<fw::Object*>{t.button.Get()});
    }
}

TEST_F(PlayerSessionTest, SlidersSetTheChannelAndSayWhatTheySet) {
    fw::StopTimer(player->Timer);
    Open(song);
    const struct {
        int32_t value;
        const char* status;
        float volume;
    } volumes[] = {{19, "MAIN VOLUME : 100", 1.0f}, {10, "MAIN VOLUME : 52", 10.0f / 19.0f}, {0, "MAIN VOLUME : 0", 0.0f}};
    for (const auto& v : volumes) {
        Act(app::VolumeSlider, v.value);
        EXPECT_EQ(Status(), v.status);
        EXPECT_FLOAT_EQ(Engine()->Volume.load(), v.volume);
    }
    Act(app::VolumeSlider, 19);

    // Pan: full left silences the right side of the mix, full right the left.
    const struct {
        int32_t value;
        const char* status;
        bool leftSounds;
        bool rightSounds;
    } pans[] = {{-9, "PAN : -100", true, false}, {-1, "PAN : -11", true, true}, {1, "PAN : 11", true, true},
                {9, "PAN : 100", false, true}};
    for (const auto& p : pans) {
        Act(player->mypan, p.value);
        EXPECT_EQ(Status(), p.status);
        Mix();
        const std::vector<float> block = Mix();
        float left = 0.0f, right = 0.0f;
        for (size_t i = 0; i < block.size(); i += 2) {
            left = std::fmax(left, std::fabs(block[i]));
            right = std::fmax(right, std::fabs(block[i + 1]));
        }
        EXPECT_EQ(left > 0.0f, p.leftSounds) << p.value;
        EXPECT_EQ(right > 0.0f, p.rightSounds) << p.value;
    }

    const struct {
        int32_t value;
        const char* status;
        int32_t frame;
    } positions[] = {{1, "PROGRESS : 512", 512}, {0, "PROGRESS : 0", 0}, {100, "PROGRESS : 51200", 51200}};
    for (const auto& p : positions) {
        Act(player->myslider, p.value);
        EXPECT_EQ(Status(), p.status);
        EXPECT_EQ(sonvex2::GetChannelPosition(app::CurrentChannel, 1), p.frame);
    }
}

TEST_F(PlayerSessionTest, TicksInsideTheHandlersPollsLeaveTheOpenPlaying) {
    TickingPolls polls;
    polls.timer = player->Timer;
    fw::StopTimer(player->Timer);
    fw::SetSystemDriver(&polls);

    Open(song);
    EXPECT_GT(polls.polls, 4);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PAUSE");
    EXPECT_EQ(player->Status, 1);
    EXPECT_EQ(Engine()->PlayingFlag.load(), 1);

    // Paused: the next tick finds the channel not playing.
    Act(player->myplay);
    fw::SetGadgetText(player->myplay, "x");
    fw::EmitEvent(fw::CreateEvent(fw::TimerTick, player->Timer));
    Drain();
    EXPECT_EQ(player->Status, 0);
    EXPECT_EQ(fw::GadgetText(player->myplay), "PLAY");

    // Playing, the mixer's levels reach the meters and a scope column is drawn per tick; every
    // 51st tick writes the time line.
    Act(player->myplay);
    Act(player->myslider, 0);
    Mix();
    Mix();
    app::TimeLineCounter = 0;
    const double scopeX = app::ScopeX;
    for (int32_t tick = 0; tick < 51; ++tick) {
        fw::EmitEvent(fw::CreateEvent(fw::TimerTick, player->Timer));
    }
    Drain();
    EXPECT_GT(fw::ProgBarValue(app::VuBarLeft), 0.0f);
    EXPECT_GT(app::ScopeX, scopeX);
    EXPECT_EQ(Status(), " Time : 00:00:02 - Elapsed Time : 00:00:00");
    EXPECT_EQ(fw::SliderValue(player->myslider), 2048 / 512);
    fw::SetSystemDriver(nullptr);
}

TEST_F(PlayerSessionTest, ClipLampTurnsRedOnFullScaleAndGreyEvery129Events) {
    fw::StopTimer(player->Timer);
    auto event = [](double level) {
        app::LevelLeft = level;
        fw::EmitEvent(fw::CreateEvent(fw::MouseMove, app::ControlsGroup));
        app::MainLoopStep();
    };
    // No channel yet: nothing counted, the lamp stays grey.
    event(1.0);
    EXPECT_EQ(app::ClipResetCounter, 0);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xECECEC);

    app::LevelLeft = 0.0;
    Open(song);
    EXPECT_EQ(app::ClipResetCounter, 1);
    app::ClipResetCounter = 0;
    event(0.99999);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xECECEC);
    event(1.0);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xFF0000);
    event(NAN);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xFF0000);
    while (app::ClipResetCounter < 128) {
        event(0.0);
        ASSERT_EQ(fw::GadgetColor(app::ClipIndicator), 0xFF0000);
    }
    // The 129th event resets after its test: grey even at full scale; red again on the next.
    event(1.0);
    EXPECT_EQ(app::ClipResetCounter, 0);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xECECEC);
    event(1.0);
    EXPECT_EQ(fw::GadgetColor(app::ClipIndicator), 0xFF0000);
}

TEST_F(PlayerSessionTest, ScopeColumnsScrollAndShowBothPolarities) {
    fw::StopTimer(player->Timer);
    Open(song);
    app::RequestScopeCopy();  // pending for good: no driver serves it, so the buffer is ours
    app::ScopeBuffer.fill(0.0f);
    app::ScopeBuffer[0] = -1.0f;   // left band, downward sample
    app::ScopeBuffer[3] = 0.25f;   // right band
    for (int32_t call = 1; call <= 468; ++call) {
        app::DrawScope();
        const int32_t scrolled = fw::ScrollPanelX(app::ScopeScrollPanel);
        if (call <= 465) {
            ASSERT_EQ(scrolled, 0) << call;
        } else if (call == 466 || call == 467) {
            ASSERT_EQ(scrolled, 1) << call;
        } else {
            ASSERT_EQ(scrolled, 3) << call;
        }
    }
    const int32_t green = 0x008000, red = 0x800000, back = 0xD2D7D2;
    const int32_t x = 200;  // an early column
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 29 - 24), green);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 29 + 24), green);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 29 - 27), back);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 85 - 11), red);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 85 + 11), red);
    EXPECT_EQ(fw::CanvasPixel(app::ScopeCanvas, x, 85 - 14), back);
}

// Ten seconds of ticks, each with its block of sound and the repaint the main loop's wait does:
// the strip on the display, scrolled, is the canvas, not a comb of the newest columns.
TEST_F(PlayerSessionTest, ScrolledScopeOnTheDisplayIsTheCanvas) {
    fw::StopTimer(player->Timer);
    Open(player_test::WriteWav("ten-seconds", 15 * 44100, 11));
    for (int32_t tick = 0; tick < 625; ++tick) {
        Mix();
        fw::EmitEvent(fw::CreateEvent(fw::TimerTick, player->Timer));
        Drain();
        fw::PollSystem();
    }
    ASSERT_GT(fw::ScrollPanelX(app::ScopeScrollPanel), 100);

    int32_t viewX = 0, viewY = 0, w = 0, h = 0, canvasX = 0, canvasY = 0;
    fw::GadgetScreenRect(app::ScopeScrollPanel, viewX, viewY, w, h);
    fw::GadgetScreenRect(app::ScopeCanvas, canvasX, canvasY, w, h);
    const int32_t border = 2, viewW = 492 - 2 * border, rows = 115;
    const std::vector<int32_t> shown = fw::WindowPixels(app::MainWindow, viewX + border, canvasY, viewW, rows);
    ASSERT_EQ(shown.size(), size_t(viewW) * rows);
    int32_t wrongColumns = 0;
    for (int32_t x = 0; x < viewW; ++x) {
        for (int32_t y = 0; y < rows; ++y) {
            if (shown[size_t(y) * viewW + x] != fw::CanvasPixel(app::ScopeCanvas, viewX + border + x - canvasX, y)) {
                ++wrongColumns;
                break;
            }
        }
    }
    EXPECT_EQ(wrongColumns, 0);
    EXPECT_TRUE(player_test::Screenshot("player-scope-scrolled"));
}

TEST_F(PlayerSessionTest, ClosingTheWindowEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A close from another gadget is ignored.
    fw::EmitEvent(fw::CreateEvent(fw::WindowClose, app::ControlsGroup));
    Drain();
    EXPECT_EXIT(
        {
            fw::EmitEvent(fw::CreateEvent(fw::WindowClose, app::MainWindow));
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace

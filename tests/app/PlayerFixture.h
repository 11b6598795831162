#pragma once
// The player started in the test process, under Xvfb: its start-up, test files, gadget actions
// raised as the toolkit raises them, keys and clicks sent through the X server, and screenshots.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/MainProgram.h"
#include "app/TApp.h"
#include "platform/gui/Gui.h"
#include "platform/runtime/App.h"
#include "tests/media/TempFile.h"
#include "tests/media/WavWriter.h"

#include <FL/x.H>
// Xlib's macros, under names the tests use for their own.
#undef None
#undef Status

namespace player_test {

// What the user was told through Notify.
inline std::vector<std::string>& Told() {
    static std::vector<std::string> told;
    return told;
}

// The title each of those message boxes was given.
inline std::vector<std::string>& ToldTitles() {
    static std::vector<std::string> titles;
    return titles;
}

// The path the file requester answers with next.
inline std::string& RequesterAnswer() {
    static std::string answer;
    return answer;
}

inline std::string AnswerRequester(const std::string&, const std::string&, int32_t, const std::string&) {
    return RequesterAnswer();
}

// Starts the player once per process with the given command line; message boxes and the file
// requester are answered by the test.
inline fw::Ref<app::TApp> StartPlayer(const std::vector<std::string>& args = {"player"}) {
    // Never destroyed: the player lives for the process, as the hook keeps it in the program.
    static fw::Ref<app::TApp>& player = *new fw::Ref<app::TApp>();
    if (!player) {
        fw::AppArgs() = args;
        fw::InitGui();
        fw::SetNotifyPresenter([](const std::string& text, bool) {
            Told().push_back(text);
            ToldTitles().push_back(fw::AppTitle());
        });
        fw::SetRequestFileAnswer(&AnswerRequester);
        player = app::StartUp();
    }
    return player;
}

// A WAV of random 16-bit stereo at 44100 Hz; removed when the test ends.
inline std::string WriteWav(const std::string& name, int32_t frames, uint32_t seed) {
    WavFormat format;
    return sonvex_test::WriteTempFile(name + ".wav", WavWriter::Simple(format, WavSamples(frames, 2, 16, seed)));
}

// Handles every event queued so far the way the main loop does.
inline void Drain() {
    while (fw::QueuedEvents() > 0) {
        app::MainLoopStep();
    }
}

// A gadget used by the user: the toolkit raises the action, the main loop takes it.
inline void Act(const fw::Ref<fw::TGadget>& gadget, int32_t data = 0) {
    fw::EmitEvent(fw::CreateEvent(fw::GadgetAction, gadget, data));
    Drain();
}

// Input as the user gives it: sent to the player's window through the X server on the toolkit's
// own connection, so it is queued there once XSync returns, then handled as the main loop does.
inline void SendToPlayer(XEvent event, std::initializer_list<int> types) {
    event.xany.display = fl_display;
    event.xany.window = static_cast<Window>(fw::QueryGadget(app::MainWindow, fw::QUERY_HWND));
    for (const int type : types) {
        event.type = type;
        XSendEvent(fl_display, event.xany.window, 0, NoEventMask, &event);
        XSync(fl_display, 0);
        fw::PollSystem();
        Drain();
    }
}

// A key pressed and let go (state: ShiftMask and the like).
inline void PressKey(KeySym key, unsigned int state = 0) {
    XEvent event{};
    event.xkey.state = state;
    event.xkey.keycode = XKeysymToKeycode(fl_display, key);
    SendToPlayer(event, {KeyPress, KeyRelease});
}

// A left click in the middle of the gadget.
inline void Click(const fw::Ref<fw::TGadget>& gadget) {
    int32_t x = 0, y = 0, w = 0, h = 0;
    fw::GadgetScreenRect(gadget, x, y, w, h);
    XEvent event{};
    event.xbutton.x = x + w / 2;
    event.xbutton.y = y + h / 2;
    event.xbutton.button = Button1;
    SendToPlayer(event, {ButtonPress, ButtonRelease});
}

// Runs the main loop for a while (timer ticks and all).
inline void RunFor(int32_t millis) {
    const int32_t until = fw::MilliSecs() + millis;
    while (fw::MilliSecs() - until < 0) {
        app::MainLoopStep();
    }
}

// Runs the main loop until `done`, for at most ten seconds; whether it came.
inline bool LoopUntil(const std::function<bool()>& done) {
    const int32_t deadline = fw::MilliSecs() + 10000;
    while (!done() && fw::MilliSecs() - deadline < 0) {
        app::MainLoopStep();
    }
    return done();
}

// The whole X screen, saved as build/screenshots/<name>.png; true when the file was written.
inline bool Screenshot(const std::string& name) {
    const std::string dir = SONVEX_SCREENSHOT_DIR;
    const std::string path = dir + "/" + name + ".png";
    const std::string command = "mkdir -p '" + dir + "' && import -window root '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 && fw::FileType(path) == fw::FILETYPE_FILE;
}

}  // namespace player_test

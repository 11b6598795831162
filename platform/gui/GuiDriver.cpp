// Sets FLTK up as the system poll: window messages and timer ticks are handled inside Fl::wait,
// so they go on inside modal loops (file requester, message box) too.
#include <FL/Fl.H>
#include <FL/fl_ask.H>

#include "platform/gui/GadgetImpl.h"
#include "platform/runtime/App.h"

namespace fw {

namespace {

void OnAwake(void*) {
    DeliverTimerTicks();
}

class FltkDriver : public SystemDriver {
public:
    void Poll() override { Fl::check(); }
    void Wait() override { Fl::wait(); }
    // Timer threads call this; FLTK runs the callback on the main thread inside its next wait.
    void Wake() override { Fl::awake(&OnAwake, nullptr); }
};

void Present(const std::string& text, bool serious) {
    fl_message_title(AppTitle().c_str());
    if (serious) {
        fl_alert("%s", text.c_str());
    } else {
        fl_message("%s", text.c_str());
    }
}

}  // namespace

// Fontconfig (under FLTK's Xft fonts) keeps its caches until exit on purpose; LeakSanitizer reads
// this from any program that links the GUI. Lives here because InitGui always links this file in;
// weak, so a program with its own list keeps it (and adds this line to it).
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

void InitGui() {
    static bool started = false;
    if (started) {
        return;
    }
    started = true;
    // The GTK dialog runs its own loop, in which FLTK's timers and awake callbacks stop.
    Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
    // Enables Fl::awake from the timer threads; the main thread holds the lock except while waiting.
    Fl::lock();
    Fl::visual(FL_RGB);
    FL_NORMAL_SIZE = 12;
    static auto* driver = new FltkDriver();
    SetSystemDriver(driver);
    SetNotifyPresenter(&Present);
}

}  // namespace fw

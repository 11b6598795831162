#include "app/TApp.h"

#include <cmath>

#include "app/AudioStart.h"
#include "app/Globals.h"
#include "app/Scope.h"
#include "platform/audio/TChannel.h"
#include "platform/runtime/App.h"

namespace app {

const char* const kMakerAddress = "https://sonvex.invalid/player";

namespace {

constexpr int32_t kFramesPerSliderStep = 512;
constexpr int32_t kUnitFrames = 1;
constexpr int32_t kUnitMillisecs = 2;
constexpr int32_t kTimeLineTicks = 50;

bool Is(const fw::Ref<fw::Object>& source, const fw::Ref<fw::TGadget>& gadget) {
    return gadget && source.Get() == gadget.Get();
}

std::string TwoDigits(int32_t value) {
    return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

}  // namespace

fw::Ref<TApp> TApp::New() {
    fw::Ref<TApp> self = fw::New<TApp>();
    self->myload = fw::CreateButton("LOAD", 4, 3, 70, 19, ControlsGroup, fw::BUTTON_PUSH);
    self->myplay = fw::CreateButton("PLAY", 80, 3, 70, 19, ControlsGroup, fw::BUTTON_PUSH);
    const int32_t toggle = fw::BUTTON_PUSH | fw::BUTTON_CHECKBOX;
    self->mylop = fw::CreateButton("LOOP", 156, 3, 70, 19, ControlsGroup, toggle);
    self->mydivdue = fw::CreateButton("SLOW", 232, 3, 50, 19, ControlsGroup, toggle);
    self->myperdue = fw::CreateButton("FAST", 288, 3, 50, 19, ControlsGroup, toggle);
    self->myabout = fw::CreateButton("ABOUT", 403, 3, 70, 19, ControlsGroup, fw::BUTTON_PUSH);

    const int32_t trackbar = fw::SLIDER_HORIZONTAL | fw::SLIDER_TRACKBAR;
    self->PosGroup = fw::CreatePanel(18, 64, 190, 56, MainWindow, fw::PANEL_GROUP, "PROGRESS");
    self->myslider = fw::CreateSlider(2, 3, fw::ClientWidth(self->PosGroup) - 5,
                                      fw::ClientHeight(self->PosGroup), self->PosGroup, trackbar);
    self->PanGroup = fw::CreatePanel(380, 64, 123, 56, MainWindow, fw::PANEL_GROUP, "PAN");
    self->mypan = fw::CreateSlider(2, 3, fw::ClientWidth(self->PanGroup) - 5, fw::ClientHeight(self->PanGroup),
                                   self->PanGroup, trackbar);

    self->Timer = fw::CreateTimer(60.0f);
    self->LoopMode = 0;
    self->Status = 0;

    fw::SetSliderRange(VolumeSlider, 0, 19);
    fw::SetSliderValue(VolumeSlider, 19);
    fw::SetSliderRange(self->mypan, -9, 9);
    fw::SetSliderValue(self->mypan, 0);

    fw::AddHook(fw::EmitEventHook, &TApp::eventhook, self, 0);

    const std::vector<std::string>& args = fw::AppArgs();
    if (args.size() >= 2) {
        self->OpenAudio(args[1], 0);
    }
    return self;
}

void TApp::Delete() {
    myload = nullptr;
    myplay = nullptr;
    mylop = nullptr;
    mydivdue = nullptr;
    myperdue = nullptr;
    myabout = nullptr;
    PosGroup = nullptr;
    myslider = nullptr;
    PanGroup = nullptr;
    mypan = nullptr;
    Timer = nullptr;
}

fw::Ref<fw::Object> TApp::eventhook(int32_t /*id*/, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    fw::Ref<TApp> self = fw::Cast<TApp>(context);
    if (self) {
        self->OnEvent(fw::Cast<fw::TEvent>(data));
    }
    return data;
}

int32_t TApp::OnEvent(const fw::Ref<fw::TEvent>& event) {
    if (!event) {
        return 0;
    }
    switch (event->id) {
        case fw::WindowClose:
            if (Is(event->source, MainWindow)) {
                fw::End();
            }
            break;
        case fw::GadgetAction:
            OnGadgetAction(event);
            break;
        case fw::TimerTick:
            OnTimerTick(event);
            break;
        default:
            break;
    }
    return 0;
}

void TApp::OnGadgetAction(const fw::Ref<fw::TEvent>& event) {
    const fw::Ref<fw::Object>& source = event->source;
    const int32_t data = event->data;

    if (Is(source, myload)) {
        fw::SetGadgetText(myload, "LOAD");
        fw::PollSystem();
        const std::string path = fw::RequestFile("", sonvex2::GetMusicFilter(1, 1), 0, "");
        // A cancelled requester opens nothing, so it asks for no sound.
        if (!path.empty()) {
            RestartOutput();
        }
        OpenAudio(path, 0);
        return;
    }
    if (Is(source, myabout)) {
        fw::SetGadgetText(myabout, "ABOUT");
        fw::PollSystem();
        fw::SetStatusText(MainWindow, std::string(" About : Telvo Audio Flac/Wav Ostrival V2.2 - ") + kMakerAddress);
        fw::Delay(4000);
        return;
    }
    if (!CurrentChannel) {
        return;
    }

    if (Is(source, mydivdue)) {
        SlowToggle = SlowToggle == 0 ? 1 : 0;
        fw::PollSystem();
        if (SlowToggle == 0) {
            fw::SetChannelRate(CurrentChannel, 0.9f);
            fw::DisableGadget(myperdue);
            fw::SetGadgetText(mydivdue, "SLOW");
        } else {
            fw::SetChannelRate(CurrentChannel, 1.0f);
            fw::EnableGadget(myperdue);
            fw::DisableGadget(mydivdue);
            fw::EnableGadget(mydivdue);
        }
        fw::PollSystem();
        fw::Delay(10);
    } else if (Is(source, myperdue)) {
        FastToggle = FastToggle == 0 ? 1 : 0;
        fw::PollSystem();
        if (FastToggle == 0) {
            fw::SetChannelRate(CurrentChannel, 1.1f);
            fw::DisableGadget(mydivdue);
            fw::SetGadgetText(myperdue, "FAST");
        } else {
            fw::SetChannelRate(CurrentChannel, 1.0f);
            fw::EnableGadget(mydivdue);
            fw::DisableGadget(myperdue);
            fw::EnableGadget(myperdue);
        }
        fw::PollSystem();
        fw::Delay(10);
    } else if (Is(source, myplay)) {
        fw::SetGadgetText(myplay, "PLAY");
        fw::PollSystem();
        if (Status == 0) {
            // Into an output that stays down nothing would be heard: the channel waits, and the
            // window goes on saying so.
            if (RestartOutput() != 0) {
                Status = 1;
                fw::ResumeChannel(CurrentChannel);
                fw::SetGadgetText(myplay, "PAUSE");
                fw::EnableGadget(myload);
            }
        } else {
            Status = 0;
            fw::PauseChannel(CurrentChannel);
            fw::SetGadgetText(myplay, "PLAY");
            fw::DisableGadget(myload);
        }
        fw::PollSystem();
        fw::PollSystem();
        fw::Delay(10);
    } else if (Is(source, mylop)) {
        fw::PollSystem();
        if (LoopMode == 0) {
            fw::SetGadgetText(mylop, ">LOOP<");
            LoopMode = 1;
        } else {
            LoopMode = 0;
            fw::SetGadgetText(mylop, "LOOP");
        }
        sonvex2::SetChannelLoopMode(CurrentChannel, LoopMode);
        fw::PollSystem();
        fw::Delay(32);
    } else if (Is(source, myslider)) {
        fw::PollSystem();
        const int32_t position = data * kFramesPerSliderStep;
        fw::SetStatusText(MainWindow, "PROGRESS : " + std::to_string(position));
        sonvex2::SeekChannel(CurrentChannel, position, kUnitFrames);
        fw::PollSystem();
        fw::Delay(32);
    } else if (Is(source, VolumeSlider)) {
        const double volume = data / 19.0;
        fw::SetStatusText(MainWindow, "MAIN VOLUME : " + std::to_string(static_cast<int32_t>(volume * 100.0)));
        fw::Delay(100);
        fw::SetChannelVolume(CurrentChannel, static_cast<float>(volume));
        fw::PollSystem();
    } else if (Is(source, mypan)) {
        const double pan = data / 9.0;
        fw::SetStatusText(MainWindow, "PAN : " + std::to_string(static_cast<int32_t>(pan * 100.0)));
        fw::Delay(100);
        fw::SetChannelPan(CurrentChannel, static_cast<float>(pan));
        fw::PollSystem();
    }
}

void TApp::OnTimerTick(const fw::Ref<fw::TEvent>& event) {
    if (Timer && event->source.Get() == Timer.Get() && OutputFailureToTell() != 0) {
        // Nothing plays until the output is back: the channel waits where it stopped, and the
        // rest of the tick shows it as not playing, so PLAY goes on from there.
        if (CurrentChannel) {
            fw::PauseChannel(CurrentChannel);
        }
        TellOutputFailure();
    }
    if (Timer && event->source.Get() == Timer.Get() && CurrentChannel) {
        sonvex2::GetChannelLevels(CurrentChannel, &LevelLeft, &LevelRight);
        const double sum = LevelLeft + LevelRight;
        if (sum != 0.0 && !std::isnan(sum)) {
            fw::UpdateProgBar(VuBarLeft, static_cast<float>(LevelLeft));
            fw::UpdateProgBar(VuBarRight, static_cast<float>(LevelRight));
            DrawScope();
        }
        if (fw::ChannelPlaying(CurrentChannel) == 0) {
            if (Status == 1) {
                Status = 0;
            }
            fw::SetGadgetText(myplay, "PLAY");
            return;
        }
        fw::SetSliderValue(myslider, sonvex2::GetChannelPosition(CurrentChannel, kUnitFrames) /
                                         kFramesPerSliderStep);
    }
    ++TimeLineCounter;
    if (TimeLineCounter > kTimeLineTicks) {
        const std::string length = Millisecs2Time(sonvex2::GetChannelLength(CurrentChannel, kUnitMillisecs));
        const std::string elapsed = Millisecs2Time(sonvex2::GetChannelPosition(CurrentChannel, kUnitMillisecs));
        fw::SetStatusText(MainWindow, " Time : " + length + " - " + "Elapsed Time : " + elapsed);
        fw::PollSystem();
        TimeLineCounter = 0;
    }
}

int32_t TApp::OpenAudio(const std::string& path, int32_t force) {
    fw::SetGadgetText(myplay, "PLAY");
    fw::PollSystem();
    if (fw::FileType(path) != fw::FILETYPE_FILE && force == 0) {
        return 0;
    }
    if (CurrentChannel) {
        fw::StopChannel(CurrentChannel);
    }
    fw::PollSystem();
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::CueMusic(fw::Str(path), LoopMode);
    if (!channel) {
        return 0;
    }
    CurrentChannel = channel;
    fw::PollSystem();
    // With the output down nothing would be heard: the file waits at its start for PLAY, which
    // tries the output again, and the window does not say it plays.
    const bool heard = OutputRuns() != 0;
    if (heard) {
        fw::SetGadgetText(myplay, "PAUSE");
    }
    Status = heard ? 1 : 0;
    fw::SetSliderRange(myslider, 0, sonvex2::GetChannelLength(CurrentChannel, kUnitFrames) / kFramesPerSliderStep);
    fw::PollSystem();
    if (sonvex2::ChannelSeekable(CurrentChannel) == 0) {
        fw::DisableGadget(myslider);
    } else {
        fw::EnableGadget(myslider);
    }
    if (heard) {
        fw::ResumeChannel(CurrentChannel);
        // A tick in the polls above saw the cued channel not yet playing and took "PAUSE" back.
        Status = 1;
        fw::SetGadgetText(myplay, "PAUSE");
    }
    fw::SetGraphics(fw::CanvasGraphics(ScopeCanvas));
    fw::PollSystem();

    fw::Cls();
    ScopeX = 0.0;
    ScopeScrollOffset = 0.0f;
    ScopeScrollCounter = 0;
    fw::SetColor(210, 215, 210);
    fw::DrawRect(0.0f, 0.0f, static_cast<float>(ScopeCanvasWidth), 115.0f);
    fw::ScrollScrollPanel(ScopeScrollPanel, 0, 0);
    return 0;
}

std::string TApp::Millisecs2Time(int32_t ms) {
    if (!CurrentChannel) {
        return std::string();
    }
    const int32_t hours = ms / 3600000;
    const int32_t minutes = (ms / 60000) % 60;
    const int32_t seconds = (ms / 1000) % 60;
    return TwoDigits(hours) + ":" + TwoDigits(minutes) + ":" + TwoDigits(seconds);
}

}  // namespace app

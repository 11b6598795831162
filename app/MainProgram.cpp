#include "app/MainProgram.h"

#include <cstdlib>

#include "app/AudioStart.h"
#include "app/Globals.h"
#include "app/Vu8Png.h"
#include "engine/binding/Sonvex2.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Incbin.h"

namespace app {

namespace {

constexpr const char* kDriverName = "Sonvex RtAudio";
constexpr const char* kTitle = "Telvo Audio Player V2.2 - (Wav/Flac/Ogg)";
constexpr int32_t kScopeHeight = 115;
constexpr int32_t kClipResetEvents = 128;
// The float nearest 99.999: a level must exceed it, so 0.99999 itself is no clip.
constexpr double kClipThreshold = static_cast<double>(99.999f);

void SliderFillingGroup(fw::Ref<fw::TGadget>& slider, const fw::Ref<fw::TGadget>& group) {
    slider = fw::CreateSlider(2, 3, fw::ClientWidth(group) - 5, fw::ClientHeight(group), group,
                              fw::SLIDER_HORIZONTAL | fw::SLIDER_TRACKBAR);
}

}  // namespace

fw::Ref<TApp> StartUp() {
    static bool started = false;
    if (started) {
        return fw::Ref<TApp>();
    }
    started = true;

    fw::IncbinAdd("vu8.png", kVu8Png, kVu8PngSize);

    fw::InitGui();
    // The output driver first: its start-up starts the engine; then the loaders in the order a
    // stream is offered to them.
    sonvex2::InitSonvexRtAudio();
    sonvex2::InitSonvexFlac();
    sonvex2::InitSonvexWav();
    sonvex2::InitSonvexOgg();
    sonvex2::InitSonvexDumb();

    // The title first: a message box about the output carries it.
    fw::AppTitle() = kTitle;
    StartAudioDriver(kDriverName);
    fw::PollSystem();

    VuPixmap = fw::LoadPixmapPNG("incbin::vu8.png");

    MainWindow = fw::CreateWindow(fw::AppTitle(), 32, 32, 528, 458, nullptr,
                                  fw::WINDOW_TITLEBAR | fw::WINDOW_STATUS);

    ScopeScrollPanel = fw::CreateScrollPanel(14, 254, 492, 140, MainWindow, fw::SCROLLPANEL_SUNKEN);
    ScopeScrollClient = fw::ScrollPanelClient(ScopeScrollPanel);
    ScopeCanvas = fw::CreateCanvas(0, 0, ScopeCanvasWidth, kScopeHeight, ScopeScrollClient, 0);
    fw::SetGraphics(fw::CanvasGraphics(ScopeCanvas));
    fw::FitScrollPanelClient(ScopeScrollPanel, 0);
    fw::Cls();
    fw::SetColor(210, 215, 210);
    fw::DrawRect(0.0f, 0.0f, static_cast<float>(ScopeCanvasWidth), static_cast<float>(kScopeHeight));
    fw::Flip(0);
    fw::ActivateGadget(ScopeScrollPanel);
    fw::PollSystem();

    ScopeBuffer.fill(0.0f);

    VuPanel = fw::CreatePanel(14, 120, 492, 122, MainWindow, fw::PANEL_GROUP, "");
    fw::RedrawGadget(VuPanel);
    fw::SetPanelPixmap(VuPanel, VuPixmap, fw::PANELPIXMAP_CENTER);
    VuBarLeft = fw::CreateProgBar(1, 18, 482, 28, VuPanel, 0);
    VuBarRight = fw::CreateProgBar(1, 46, 482, 28, VuPanel, 0);
    fw::RedrawGadget(VuPanel);
    fw::RedrawGadget(MainWindow);

    VolumeGroup = fw::CreatePanel(212, 64, 164, 56, MainWindow, fw::PANEL_GROUP, "MAIN VOLUME");
    SliderFillingGroup(VolumeSlider, VolumeGroup);

    ControlsGroup = fw::CreatePanel(18, 8, 484, 47, MainWindow, fw::PANEL_GROUP | fw::PANEL_ACTIVE, "CONTROLS");
    ClipIndicator = fw::CreateButton("D.CLIP", 345, 3, 50, 19, ControlsGroup, fw::BUTTON_PUSH);
    fw::DisableGadget(ClipIndicator);
    fw::SetGadgetColor(ClipIndicator, 255, 0, 0, 1);
    fw::SetGadgetColor(ClipIndicator, 236, 236, 236, 1);

    fw::UpdateWindow(fw::QueryGadget(MainWindow, fw::QUERY_HWND));
    fw::PollSystem();

    return TApp::New();
}

void KeepClipIndicator() {
    if (!CurrentChannel) {
        return;
    }
    if (LevelLeft * 100.0 > kClipThreshold) {
        fw::PollSystem();
        fw::SetGadgetColor(ClipIndicator, 255, 0, 0, 1);
    }
    ++ClipResetCounter;
    if (ClipResetCounter > kClipResetEvents) {
        ClipResetCounter = 0;
        fw::SetGadgetColor(ClipIndicator, 236, 236, 236, 1);
    }
}

void MainLoopStep() {
    fw::WaitEvent();
    KeepClipIndicator();
}

void MainProgram() {
    StartUp();
    for (;;) {
        MainLoopStep();
    }
}

void ProgramEntry(int argc, char** argv) {
    fw::StartApp(argc, argv);
    MainProgram();
}

}  // namespace app

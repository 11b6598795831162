#pragma once
// The player's global state. Main thread only, except the scope's landing buffer (see Scope.h).

#include <array>
#include <cstdint>

#include "engine/binding/Sonvex2.h"
#include "platform/gui/Gui.h"

namespace app {

constexpr double ScopeSampleCount = 2083.0;
constexpr int32_t kScopeValues = static_cast<int32_t>(ScopeSampleCount * 2.0);

extern fw::Ref<fw::TGadget> MainWindow;
extern fw::Ref<fw::TPixmap> VuPixmap;
extern fw::Ref<fw::TGadget> ScopeScrollPanel;
extern fw::Ref<fw::TGadget> ScopeScrollClient;
extern fw::Ref<fw::TGadget> ScopeCanvas;
extern int32_t ScopeCanvasWidth;
// What the scope draws from: interleaved stereo, left at even indexes.
extern std::array<float, kScopeValues> ScopeBuffer;
extern double ScopeX;
extern float ScopeScrollOffset;
extern int32_t ScopeScrollCounter;
extern fw::Ref<fw::TGadget> VuPanel;
extern fw::Ref<fw::TGadget> VuBarLeft;
extern fw::Ref<fw::TGadget> VuBarRight;
extern double LevelLeft;
extern double LevelRight;
extern fw::Ref<fw::TGadget> VolumeGroup;
extern fw::Ref<fw::TGadget> VolumeSlider;
extern fw::Ref<fw::TGadget> ControlsGroup;
extern fw::Ref<fw::TGadget> ClipIndicator;
extern int32_t ClipResetCounter;
extern fw::Ref<sonvex2::TSonvexChannel> CurrentChannel;
extern int32_t TimeLineCounter;
// 0 while that button's rate is in force.
extern int32_t SlowToggle;
extern int32_t FastToggle;

}  // namespace app

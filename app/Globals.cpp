#include "app/Globals.h"

namespace app {

fw::Ref<fw::TGadget> MainWindow;
fw::Ref<fw::TPixmap> VuPixmap;
fw::Ref<fw::TGadget> ScopeScrollPanel;
fw::Ref<fw::TGadget> ScopeScrollClient;
fw::Ref<fw::TGadget> ScopeCanvas;
int32_t ScopeCanvasWidth = 6144;
std::array<float, kScopeValues> ScopeBuffer{};
double ScopeX = 0.0;
float ScopeScrollOffset = 0.0f;
int32_t ScopeScrollCounter = 0;
fw::Ref<fw::TGadget> VuPanel;
fw::Ref<fw::TGadget> VuBarLeft;
fw::Ref<fw::TGadget> VuBarRight;
double LevelLeft = 0.0;
double LevelRight = 0.0;
fw::Ref<fw::TGadget> VolumeGroup;
fw::Ref<fw::TGadget> VolumeSlider;
fw::Ref<fw::TGadget> ControlsGroup;
fw::Ref<fw::TGadget> ClipIndicator;
int32_t ClipResetCounter = 0;
fw::Ref<sonvex2::TSonvexChannel> CurrentChannel;
int32_t TimeLineCounter = 0;
int32_t SlowToggle = 1;
int32_t FastToggle = 1;

}  // namespace app

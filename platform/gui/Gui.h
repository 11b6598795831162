#pragma once
// The GUI layer: windows and gadgets, pixmaps, 2D drawing on a canvas, the file requester and the
// message box, over FLTK (which no header here exposes). Includes the runtime's events, hooks,
// timers and system poll, so a GUI program needs only this header.
//
// Coordinates are in pixels relative to the parent's client area (to the desktop for a window).
// Gadgets live until FreeGadget: a parent holds its children, the layer holds its windows. Gadget
// events are raised through EmitEventHook from inside PollSystem / WaitSystem / WaitEvent, on the
// main thread, with the gadget as source. All calls are main-thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/runtime/Event.h"
#include "platform/runtime/Hook.h"
#include "platform/runtime/Object.h"
#include "platform/runtime/System.h"
#include "platform/runtime/Time.h"

class Fl_Widget;

namespace fw {

// Gadget kinds (GadgetClass).
enum : int32_t {
    GADGET_DESKTOP = 0,
    GADGET_WINDOW = 1,
    GADGET_BUTTON = 2,
    GADGET_PANEL = 3,
    GADGET_SLIDER = 9,
    GADGET_PROGBAR = 10,
    GADGET_CANVAS = 13,
    GADGET_SCROLLPANEL = 20,
};

// Window styles.
enum : int32_t {
    WINDOW_TITLEBAR = 1,
    WINDOW_RESIZABLE = 2,
    WINDOW_MENU = 4,
    WINDOW_STATUS = 8,
    WINDOW_CLIENTCOORDS = 32,
    WINDOW_HIDDEN = 64,
    WINDOW_DEFAULT = WINDOW_TITLEBAR | WINDOW_RESIZABLE | WINDOW_MENU | WINDOW_STATUS,
};
// Button styles: 8 push, 8 | 2 toggle drawn as a push button.
enum : int32_t { BUTTON_CHECKBOX = 2, BUTTON_PUSH = 8 };
// Panel styles: 3 group box with its title in the frame; | 4 also reports mouse and key events.
enum : int32_t { PANEL_SUNKEN = 1, PANEL_RAISED = 2, PANEL_GROUP = 3, PANEL_ACTIVE = 4 };
// Slider styles: 5 = horizontal track bar.
enum : int32_t { SLIDER_HORIZONTAL = 1, SLIDER_VERTICAL = 2, SLIDER_TRACKBAR = 4 };
enum : int32_t { SCROLLPANEL_SUNKEN = 1 };
// SetPanelPixmap: the pixmap is drawn unscaled, centred in the client area.
enum : int32_t { PANELPIXMAP_CENTER = 1 };
// QueryGadget: the native handle of the gadget's window.
enum : int32_t { QUERY_HWND = 1 };

class TPixmap;

class TGadget : public Object {
public:
    int32_t Kind() const { return kind_; }

    // Layer internals, not for programs.
    struct Impl;
    Impl* impl_ = nullptr;

protected:
    explicit TGadget(int32_t kind) : kind_(kind) {}
    ~TGadget() override;

private:
    int32_t kind_;
};

// Sets the layer up (FLTK options, the system driver, the message box); the first gadget call
// does it when not done before. Main thread.
void InitGui();

// The desktop: parent none stands for it.
int32_t DesktopWidth();
int32_t DesktopHeight();

// Style 9 (title bar + status bar): fixed size, no menu. Without WINDOW_CLIENTCOORDS, w and h are
// the outer size of the window frame. Closing it raises WindowClose; the window stays open.
Ref<TGadget> CreateWindow(const std::string& title, int32_t x, int32_t y, int32_t w, int32_t h,
                          Ref<TGadget> group = nullptr, int32_t style = WINDOW_DEFAULT);
Ref<TGadget> CreatePanel(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style = 0,
                         const std::string& title = "");
// A push button raises GadgetAction with data 0 when clicked; a toggle flips its state and raises
// GadgetAction with the new state as data.
Ref<TGadget> CreateButton(const std::string& text, int32_t x, int32_t y, int32_t w, int32_t h,
                          Ref<TGadget> group, int32_t style = BUTTON_PUSH);
// Moving it raises GadgetAction with the new value as data. Range 0..10 at first.
Ref<TGadget> CreateSlider(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group,
                          int32_t style = SLIDER_HORIZONTAL | SLIDER_TRACKBAR);
Ref<TGadget> CreateProgBar(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style = 0);
Ref<TGadget> CreateScrollPanel(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group,
                               int32_t flags = 0);
Ref<TGadget> CreateCanvas(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style = 0);
// Hides and frees the gadget and its children; their handles become inert.
void FreeGadget(const Ref<TGadget>& gadget);

// Scroll panels: the client panel takes the content gadgets; mode 0 fits it to its children.
Ref<TGadget> ScrollPanelClient(const Ref<TGadget>& scrollpanel);
void FitScrollPanelClient(const Ref<TGadget>& scrollpanel, int32_t mode = 0);
// Scrolls the view to x, y, kept within the client area.
void ScrollScrollPanel(const Ref<TGadget>& scrollpanel, int32_t x, int32_t y);
int32_t ScrollPanelX(const Ref<TGadget>& scrollpanel);
int32_t ScrollPanelY(const Ref<TGadget>& scrollpanel);

// Caption of a button, title of a window or group panel.
void SetGadgetText(const Ref<TGadget>& gadget, const std::string& text);
std::string GadgetText(const Ref<TGadget>& gadget);
// background 1: the background colour; 0: the text colour.
void SetGadgetColor(const Ref<TGadget>& gadget, int32_t r, int32_t g, int32_t b, int32_t background = 1);
// 0xRRGGBB of the background (1) or text (0) colour.
int32_t GadgetColor(const Ref<TGadget>& gadget, int32_t background = 1);
void EnableGadget(const Ref<TGadget>& gadget);
void DisableGadget(const Ref<TGadget>& gadget);
int32_t GadgetDisabled(const Ref<TGadget>& gadget);
// Gives the gadget the keyboard focus.
void ActivateGadget(const Ref<TGadget>& gadget);
// Repaints the gadget and its children at once.
void RedrawGadget(const Ref<TGadget>& gadget);

// Geometry as created (relative to the parent's client area), and the client area's size.
int32_t GadgetX(const Ref<TGadget>& gadget);
int32_t GadgetY(const Ref<TGadget>& gadget);
int32_t GadgetWidth(const Ref<TGadget>& gadget);
int32_t GadgetHeight(const Ref<TGadget>& gadget);
int32_t ClientWidth(const Ref<TGadget>& gadget);
int32_t ClientHeight(const Ref<TGadget>& gadget);
int32_t GadgetClass(const Ref<TGadget>& gadget);
Ref<TGadget> GadgetGroup(const Ref<TGadget>& gadget);
std::vector<Ref<TGadget>> GadgetKids(const Ref<TGadget>& gadget);
// Where the toolkit actually placed the gadget, in its window's coordinates (for layout checks).
void GadgetScreenRect(const Ref<TGadget>& gadget, int32_t& x, int32_t& y, int32_t& w, int32_t& h);
// What the display shows of the gadget's window in that rectangle (window coordinates), read back
// from the X server once it has done everything sent to it: 0xRRGGBB row by row; empty when the
// window is not shown or the rectangle leaves it (for checks of what the user sees).
std::vector<int32_t> WindowPixels(const Ref<TGadget>& gadget, int32_t x, int32_t y, int32_t w, int32_t h);

// Windows.
void SetStatusText(const Ref<TGadget>& window, const std::string& text);
std::string StatusText(const Ref<TGadget>& window);

// Toggle buttons: the state their clicks flip, 1 or 0; it never shows (the look is a push button's).
int32_t ButtonState(const Ref<TGadget>& button);
void SetButtonState(const Ref<TGadget>& button, int32_t state);

// Sliders: a whole-number range and value.
void SetSliderRange(const Ref<TGadget>& slider, int32_t low, int32_t high);
void SetSliderValue(const Ref<TGadget>& slider, int32_t value);
int32_t SliderValue(const Ref<TGadget>& slider);
int32_t SliderLow(const Ref<TGadget>& slider);
int32_t SliderHigh(const Ref<TGadget>& slider);

// Progress bars: 0.0 empty to 1.0 full.
void UpdateProgBar(const Ref<TGadget>& progbar, float value);
float ProgBarValue(const Ref<TGadget>& progbar);

// The native handle (QUERY_HWND: the X window id of the gadget's window), 0 before it is shown.
uintptr_t QueryGadget(const Ref<TGadget>& gadget, int32_t what);
// Repaints at once whatever needs it in the window with that native handle.
void UpdateWindow(uintptr_t handle);

// Pixmaps: 32-bit RGBA in memory.
class TPixmap : public Object {
public:
    TPixmap(int32_t width, int32_t height) : width_(width), height_(height), pixels_(size_t(width) * height * 4) {}
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    // Rows of width * 4 bytes, R, G, B, A.
    uint8_t* Pixels() { return pixels_.data(); }
    const uint8_t* Pixels() const { return pixels_.data(); }

private:
    int32_t width_;
    int32_t height_;
    std::vector<uint8_t> pixels_;
};

// Decodes a PNG file, or an embedded one named "incbin::" + name. None when it cannot.
Ref<TPixmap> LoadPixmapPNG(const std::string& path);
int32_t PixmapWidth(const Ref<TPixmap>& pixmap);
int32_t PixmapHeight(const Ref<TPixmap>& pixmap);
// 0xAARRGGBB; 0 outside the pixmap.
uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y);
// Shows the pixmap as the panel's background (none removes it).
void SetPanelPixmap(const Ref<TGadget>& panel, const Ref<TPixmap>& pixmap, int32_t flags = PANELPIXMAP_CENTER);

// 2D drawing on a canvas: the drawing calls work on the current graphics' back buffer; Flip shows it.
// What was drawn stays until drawn over (Flip does not clear).
class TGraphics : public Object {
public:
    Ref<TGadget> canvas;
};
Ref<TGraphics> CanvasGraphics(const Ref<TGadget>& canvas);
void SetGraphics(const Ref<TGraphics>& graphics);
int32_t GraphicsWidth();
int32_t GraphicsHeight();
void SetClsColor(int32_t r, int32_t g, int32_t b);
void Cls();
void SetColor(int32_t r, int32_t g, int32_t b);
// Fills a rectangle; a negative width or height extends left or upward from x, y.
void DrawRect(float x, float y, float w, float h);
// Shows what was drawn; sync is ignored (the toolkit paints on its next poll).
void Flip(int32_t sync = -1);
// 0xRRGGBB of a canvas pixel: the back buffer (shown 0) or what Flip last showed (shown 1).
int32_t CanvasPixel(const Ref<TGadget>& canvas, int32_t x, int32_t y, int32_t shown = 1);

// The file requester (FLTK's own chooser, so timers go on ticking while it is open). The filter is
// groups "name:ext,ext" joined by ";" ("*" for all files); a bare "ext,ext" list is one group.
// Answers the chosen path, or "" when cancelled.
std::string RequestFile(const std::string& text, const std::string& filter = "", int32_t save = 0,
                        const std::string& path = "");
// The filter above in the chooser's form: "name\tpattern" lines (exposed for tests).
std::string FileChooserFilter(const std::string& filter);
// Lets tests answer the requester instead of the user: while set, RequestFile calls it.
using RequestFileAnswer = std::string (*)(const std::string& text, const std::string& filter, int32_t save,
                                          const std::string& path);
void SetRequestFileAnswer(RequestFileAnswer answer);

}  // namespace fw

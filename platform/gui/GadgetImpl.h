#pragma once
// What the layer keeps for each gadget, and the FLTK widgets behind them. Internal to platform_gui.

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Slider.H>

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Gui.h"

namespace fw {

struct CanvasBuffers;

struct TGadget::Impl {
    Fl_Widget* widget = nullptr;
    TGadget* parent = nullptr;
    std::vector<Ref<TGadget>> kids;
    int32_t style = 0;
    std::string text;
    // Client area insets from the widget's edges.
    int32_t insetLeft = 0;
    int32_t insetTop = 0;
    int32_t insetRight = 0;
    int32_t insetBottom = 0;
    // Windows: the outer frame around the widget, and the status bar.
    int32_t frameLeft = 0;
    int32_t frameTop = 0;
    int32_t frameRight = 0;
    int32_t frameBottom = 0;
    Fl_Box* status = nullptr;
    std::string statusText;
    // Panels.
    Ref<TPixmap> pixmap;
    std::unique_ptr<Fl_RGB_Image> image;
    // Toggle buttons: the state, kept here since the widget is a push button.
    int32_t toggled = 0;
    // Scroll panels.
    Ref<TGadget> client;
    // Canvases.
    std::unique_ptr<CanvasBuffers> canvas;
    Ref<TGraphics> graphics;
};

// Window frame as this layer draws it on the desktop's terms: a 4-pixel border and a 26-pixel title bar.
constexpr int32_t kFrameSide = 4;
constexpr int32_t kFrameTitle = 26;
constexpr int32_t kStatusHeight = 20;
// Group boxes: the frame line and, when titled, the title above the client area.
constexpr int32_t kGroupInset = 3;
constexpr int32_t kGroupTitleInset = 16;

// Panels, group boxes, scroll clients: a group that draws its own frame, title and pixmap, and
// reports mouse and key events when active.
class GadgetPanel : public Fl_Group {
public:
    GadgetPanel(TGadget* gadget, int32_t x, int32_t y, int32_t w, int32_t h)
        : Fl_Group(x, y, w, h), gadget_(gadget) {}
    void draw() override;
    int handle(int event) override;

private:
    void Report(int32_t id, int32_t data);
    TGadget* gadget_;
};

class GadgetButton : public Fl_Button {
public:
    // Captions are shown as given, with no '&' shortcuts.
    GadgetButton(int32_t x, int32_t y, int32_t w, int32_t h) : Fl_Button(x, y, w, h) { clear_flag(SHORTCUT_LABEL); }
    void draw() override;
};

// A scroll panel that holds the focus itself has nothing for the arrow keys to move: they stay
// with it rather than moving the focus to a neighbour whose value the next arrow would change.
class GadgetScroll : public Fl_Scroll {
public:
    GadgetScroll(int32_t x, int32_t y, int32_t w, int32_t h) : Fl_Scroll(x, y, w, h) {}
    int handle(int event) override;
};

class GadgetCanvas : public Fl_Widget {
public:
    GadgetCanvas(TGadget* gadget, int32_t x, int32_t y, int32_t w, int32_t h)
        : Fl_Widget(x, y, w, h), gadget_(gadget) {}
    void draw() override;

private:
    TGadget* gadget_;
};

// RGB back and front buffers of a canvas; Flip copies what changed since the last one.
struct CanvasBuffers {
    CanvasBuffers(int32_t w, int32_t h) : width(w), height(h), back(size_t(w) * h * 3), front(size_t(w) * h * 3) {}
    int32_t width;
    int32_t height;
    std::vector<uint8_t> back;
    std::vector<uint8_t> front;
    // Changed area of the back buffer, empty when dirtyX0 >= dirtyX1.
    int32_t dirtyX0 = 0;
    int32_t dirtyY0 = 0;
    int32_t dirtyX1 = 0;
    int32_t dirtyY1 = 0;
};

// The gadget a handle stands for, when it is a live one (of the given kind, unless -1).
TGadget::Impl* Live(const Ref<TGadget>& gadget, int32_t kind = -1);
// Raises an event with the gadget as source.
void RaiseGadgetEvent(TGadget* gadget, int32_t id, int32_t data = 0, int32_t mods = 0, int32_t x = 0, int32_t y = 0);
// Top-left of the gadget's client area in its window's coordinates.
void ClientOrigin(const TGadget::Impl& impl, int32_t& x, int32_t& y);
// Draws the panel's pixmap centred in its client area.
void DrawPanelPixmap(TGadget::Impl& impl);
// Size of a scroll panel's view, without the scroll bars its client needs.
void ScrollView(const TGadget::Impl& impl, int32_t& w, int32_t& h);

}  // namespace fw

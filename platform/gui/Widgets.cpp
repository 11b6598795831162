// The FLTK widgets that draw panels, buttons and canvases the way the gadgets look.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cctype>

#include "platform/gui/GadgetImpl.h"

namespace fw {

namespace {

int32_t Modifiers() {
    const int state = Fl::event_state();
    return ((state & FL_SHIFT) != 0 ? ModifierShift : 0) | ((state & FL_CTRL) != 0 ? ModifierControl : 0) |
           ((state & FL_ALT) != 0 ? ModifierOption : 0);
}

int32_t MouseButton() {
    switch (Fl::event_button()) {
        case FL_RIGHT_MOUSE:
            return MouseRightButton;
        case FL_MIDDLE_MOUSE:
            return MouseMiddleButton;
        default:
            return MouseLeftButton;
    }
}

// The keys FLTK's navigation moves the focus with: what a group cannot use goes on to its parent.
bool MovesFocus() {
    if (Fl::event_state(FL_CTRL | FL_ALT | FL_META) != 0) {
        return false;
    }
    switch (Fl::event_key()) {
        case FL_Tab:
        case FL_Left:
        case FL_Right:
        case FL_Up:
        case FL_Down:
            return true;
        default:
            return false;
    }
}

// Letters as their capitals, the way key codes name them.
int32_t KeyCode() {
    const int key = Fl::event_key();
    return (key >= 'a' && key <= 'z') ? key - 'a' + 'A' : key;
}

}  // namespace

void GadgetPanel::draw() {
    TGadget::Impl* impl = gadget_->impl_;
    if ((damage() & ~FL_DAMAGE_CHILD) != 0) {
        draw_box();
        DrawPanelPixmap(*impl);
        if ((impl->style & PANEL_GROUP) == PANEL_GROUP) {
            fl_font(labelfont(), labelsize());
            const int32_t middle = fl_height() / 2;
            fl_draw_box(FL_ENGRAVED_FRAME, x(), y() + middle, w(), h() - middle, color());
            if (!impl->text.empty()) {
                const int32_t width = static_cast<int32_t>(fl_width(impl->text.c_str()));
                fl_color(color());
                fl_rectf(x() + 6, y(), width + 4, fl_height());
                fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
                fl_draw(impl->text.c_str(), x() + 8, y() + fl_height() - fl_descent());
            }
        }
    }
    draw_children();
}

void GadgetPanel::Report(int32_t id, int32_t data) {
    int32_t x = 0;
    int32_t y = 0;
    ClientOrigin(*gadget_->impl_, x, y);
    RaiseGadgetEvent(gadget_, id, data, Modifiers(), Fl::event_x() - x, Fl::event_y() - y);
}

int GadgetPanel::handle(int event) {
    if ((gadget_->impl_->style & PANEL_ACTIVE) == 0) {
        return Fl_Group::handle(event);
    }
    // Children first: what lands on a button is the button's.
    const int taken = Fl_Group::handle(event);
    switch (event) {
        case FL_PUSH:
            if (taken != 0) {
                return taken;
            }
            take_focus();
            Report(MouseDown, MouseButton());
            return 1;
        case FL_RELEASE:
            Report(MouseUp, MouseButton());
            return 1;
        case FL_DRAG:
            Report(MouseMove, 0);
            return 1;
        case FL_MOVE:
            if (taken == 0) {
                Report(MouseMove, 0);
            }
            return 1;
        case FL_ENTER:
            Report(MouseEnter, 0);
            return 1;
        case FL_LEAVE:
            Report(MouseLeave, 0);
            return 1;
        case FL_MOUSEWHEEL:
            if (taken != 0) {
                return taken;
            }
            Report(MouseWheel, -Fl::event_dy());
            return 1;
        case FL_FOCUS:
        case FL_UNFOCUS:
            return 1;
        case FL_KEYDOWN:
            if (taken != 0) {
                return taken;
            }
            Report(KeyDown, KeyCode());
            if (Fl::event_length() > 0) {
                Report(KeyChar, static_cast<unsigned char>(Fl::event_text()[0]));
            }
            // At the group's edge the window moves the focus on, past the group.
            return MovesFocus() ? 0 : 1;
        case FL_KEYUP:
            Report(KeyUp, KeyCode());
            return 1;
        default:
            return taken;
    }
}

int GadgetScroll::handle(int event) {
    if (event == FL_KEYBOARD && Fl::focus() == this && MovesFocus() && Fl::event_key() != FL_Tab) {
        return 1;
    }
    return Fl_Scroll::handle(event);
}

void GadgetButton::draw() {
    if (active_r()) {
        Fl_Button::draw();
        return;
    }
    // A disabled button keeps its background colour (a lamp stays red); only the caption greys.
    fl_draw_box(value() != 0 ? down_box() != FL_NO_BOX ? down_box() : fl_down(box()) : box(), x(), y(), w(), h(),
                color());
    draw_label();
}

void GadgetCanvas::draw() {
    const CanvasBuffers* buffers = gadget_->impl_->canvas.get();
    int x0 = 0;
    int y0 = 0;
    int w0 = 0;
    int h0 = 0;
    // Only the part inside the clip: a canvas in a scroll panel is mostly out of view.
    fl_clip_box(x(), y(), w(), h(), x0, y0, w0, h0);
    x0 = std::max(x0, x());
    y0 = std::max(y0, y());
    w0 = std::min(x0 + w0, x() + buffers->width) - x0;
    h0 = std::min(y0 + h0, y() + buffers->height) - y0;
    if (w0 <= 0 || h0 <= 0) {
        return;
    }
    const uint8_t* start = buffers->front.data() + (size_t(y0 - y()) * buffers->width + size_t(x0 - x())) * 3;
    fl_draw_image(start, x0, y0, w0, h0, 3, buffers->width * 3);
}

}  // namespace fw

// Creating gadgets, placing them and the calls every kind shares.
#include <FL/Fl.H>

#include <algorithm>
#include <cmath>

#include "platform/gui/GadgetImpl.h"

namespace fw {

namespace {

class Gadget final : public TGadget {
public:
    explicit Gadget(int32_t kind) : TGadget(kind) { impl_ = new Impl(); }
};

// Never destroyed: windows last as long as the process, and FLTK's own statics go before ours.
std::vector<Ref<TGadget>>& Windows() {
    static auto* windows = new std::vector<Ref<TGadget>>();
    return *windows;
}

// The group a new gadget goes into: a window or panel; a scroll panel stands for its client.
TGadget::Impl* Container(const Ref<TGadget>& group) {
    TGadget::Impl* impl = Live(group);
    if (impl == nullptr) {
        return nullptr;
    }
    if (group->Kind() == GADGET_SCROLLPANEL) {
        return Live(impl->client);
    }
    return (group->Kind() == GADGET_WINDOW || group->Kind() == GADGET_PANEL) ? impl : nullptr;
}

TGadget* Owner(TGadget::Impl* impl) {
    return static_cast<TGadget*>(impl->widget->user_data());
}

bool ReadsBefore(const Fl_Widget& a, const Fl_Widget& b) {
    return a.y() < b.y() || (a.y() == b.y() && a.x() < b.x());
}

// Widgets are made outside any open group and added where they belong, at the parent's client origin.
Ref<TGadget> Attach(const Ref<TGadget>& gadget, Fl_Widget* widget, TGadget::Impl* parent, int32_t x, int32_t y,
                    int32_t w, int32_t h) {
    TGadget::Impl* impl = gadget->impl_;
    impl->widget = widget;
    impl->parent = Owner(parent);
    widget->user_data(gadget.Get());
    int32_t ox = 0;
    int32_t oy = 0;
    ClientOrigin(*parent, ox, oy);
    widget->resize(ox + x, oy + y, std::max(w, 0), std::max(h, 0));
    // Tab moves the focus through a group's children in their order, so they are kept in the order
    // the screen shows them (top to bottom, then left to right), whatever order they were made in.
    Fl_Group* group = parent->widget->as_group();
    int index = 0;
    while (index < group->children() && !ReadsBefore(*widget, *group->child(index))) {
        ++index;
    }
    group->insert(*widget, index);
    parent->kids.push_back(gadget);
    parent->widget->redraw();
    return gadget;
}

void OnWindowCallback(Fl_Widget*, void* data) {
    // FLTK closes windows on Escape; only the window manager's close means close here.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
        return;
    }
    RaiseGadgetEvent(static_cast<TGadget*>(data), WindowClose);
}

void OnButtonCallback(Fl_Widget*, void* data) {
    TGadget* gadget = static_cast<TGadget*>(data);
    TGadget::Impl* impl = gadget->impl_;
    if ((impl->style & BUTTON_CHECKBOX) == 0) {
        RaiseGadgetEvent(gadget, GadgetAction, 0);
        return;
    }
    impl->toggled = impl->toggled == 0 ? 1 : 0;
    RaiseGadgetEvent(gadget, GadgetAction, impl->toggled);
}

void OnSliderCallback(Fl_Widget* widget, void* data) {
    RaiseGadgetEvent(static_cast<TGadget*>(data), GadgetAction,
                     static_cast<int32_t>(std::lround(static_cast<Fl_Slider*>(widget)->value())));
}

Ref<TGadget> MakePanel(TGadget::Impl* parent, int32_t x, int32_t y, int32_t w, int32_t h, int32_t style,
                       const std::string& title) {
    Ref<TGadget> gadget = New<Gadget>(GADGET_PANEL);
    GadgetPanel* panel = new GadgetPanel(gadget.Get(), 0, 0, w, h);
    panel->end();
    panel->resizable(nullptr);
    TGadget::Impl* impl = gadget->impl_;
    impl->style = style;
    impl->text = title;
    if ((style & PANEL_GROUP) == PANEL_GROUP) {
        panel->box(FL_FLAT_BOX);
        impl->insetLeft = kGroupInset;
        impl->insetRight = kGroupInset;
        impl->insetBottom = kGroupInset;
        impl->insetTop = kGroupTitleInset;
    } else {
        panel->box((style & PANEL_SUNKEN) != 0 ? FL_THIN_DOWN_BOX : (style & PANEL_RAISED) != 0 ? FL_THIN_UP_BOX : FL_FLAT_BOX);
        impl->insetLeft = Fl::box_dx(panel->box());
        impl->insetTop = Fl::box_dy(panel->box());
        impl->insetRight = Fl::box_dw(panel->box()) - impl->insetLeft;
        impl->insetBottom = Fl::box_dh(panel->box()) - impl->insetTop;
    }
    return Attach(gadget, panel, parent, x, y, w, h);
}

void Unlink(TGadget* gadget) {
    TGadget::Impl* impl = gadget->impl_;
    for (const Ref<TGadget>& kid : impl->kids) {
        Unlink(kid.Get());
    }
    impl->kids.clear();
    impl->client = nullptr;
    impl->graphics = nullptr;
    impl->widget = nullptr;
    impl->status = nullptr;
    impl->parent = nullptr;
}

}  // namespace

TGadget::~TGadget() {
    delete impl_;
}

TGadget::Impl* Live(const Ref<TGadget>& gadget, int32_t kind) {
    if (!gadget || gadget->impl_ == nullptr || gadget->impl_->widget == nullptr) {
        return nullptr;
    }
    return (kind < 0 || gadget->Kind() == kind) ? gadget->impl_ : nullptr;
}

void RaiseGadgetEvent(TGadget* gadget, int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y) {
    EmitEvent(CreateEvent(id, Ref<Object>(gadget), data, mods, x, y));
}

void ClientOrigin(const TGadget::Impl& impl, int32_t& x, int32_t& y) {
    // Widgets inside a window are placed in the window's coordinates, the window itself is the origin.
    const bool window = impl.widget->as_window() != nullptr;
    x = (window ? 0 : impl.widget->x()) + impl.insetLeft;
    y = (window ? 0 : impl.widget->y()) + impl.insetTop;
}

int32_t DesktopWidth() {
    InitGui();
    return Fl::w();
}

int32_t DesktopHeight() {
    InitGui();
    return Fl::h();
}

Ref<TGadget> CreateWindow(const std::string& title, int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget>,
                          int32_t style) {
    InitGui();
    Ref<TGadget> gadget = New<Gadget>(GADGET_WINDOW);
    TGadget::Impl* impl = gadget->impl_;
    impl->style = style;
    impl->text = title;
    const int32_t status = (style & WINDOW_STATUS) != 0 ? kStatusHeight : 0;
    if ((style & WINDOW_CLIENTCOORDS) != 0) {
        // h is the client height; the status bar comes on top of it.
        impl->frameBottom = -status;
    } else {
        impl->frameLeft = kFrameSide;
        impl->frameRight = kFrameSide;
        impl->frameTop = kFrameTitle;
        impl->frameBottom = kFrameSide;
    }
    const int32_t cw = std::max(w - impl->frameLeft - impl->frameRight, 1);
    const int32_t ch = std::max(h - impl->frameTop - impl->frameBottom, status + 1);
    Fl_Group::current(nullptr);
    Fl_Double_Window* window = new Fl_Double_Window(x + impl->frameLeft, y + impl->frameTop, cw, ch);
    window->end();
    window->copy_label(title.c_str());
    window->resizable(nullptr);
    if ((style & WINDOW_RESIZABLE) == 0) {
        window->size_range(cw, ch, cw, ch);
    }
    window->user_data(gadget.Get());
    window->callback(&OnWindowCallback, gadget.Get());
    impl->widget = window;
    if (status > 0) {
        impl->status = new Fl_Box(0, ch - status, cw, status);
        impl->status->box(FL_THIN_DOWN_BOX);
        impl->status->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
        window->add(impl->status);
        impl->insetBottom = status;
    }
    Windows().push_back(gadget);
    if ((style & WINDOW_HIDDEN) == 0) {
        window->show();
    }
    return gadget;
}

namespace {

// A new gadget of the kind, to go into `group` once its widget is made (made outside any FLTK
// group; Attach puts it in place); none when the group cannot hold gadgets.
Ref<TGadget> NewChild(int32_t kind, const Ref<TGadget>& group, int32_t style, TGadget::Impl*& parent) {
    parent = Container(group);
    if (parent == nullptr) {
        return nullptr;
    }
    Ref<TGadget> gadget = New<Gadget>(kind);
    gadget->impl_->style = style;
    Fl_Group::current(nullptr);
    return gadget;
}

}  // namespace

Ref<TGadget> CreatePanel(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style,
                         const std::string& title) {
    TGadget::Impl* parent = Container(group);
    return parent == nullptr ? nullptr : MakePanel(parent, x, y, w, h, style, title);
}

Ref<TGadget> CreateButton(const std::string& text, int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group,
                          int32_t style) {
    TGadget::Impl* parent = nullptr;
    Ref<TGadget> gadget = NewChild(GADGET_BUTTON, group, style, parent);
    if (!gadget) {
        return gadget;
    }
    gadget->impl_->text = text;
    GadgetButton* button = new GadgetButton(0, 0, w, h);
    // A toggle too is a push button to FLTK: the only look it has is the caption the program gives
    // it, never a pressed state left over from the last click.
    button->type(FL_NORMAL_BUTTON);
    button->copy_label(text.c_str());
    button->callback(&OnButtonCallback, gadget.Get());
    return Attach(gadget, button, parent, x, y, w, h);
}

Ref<TGadget> CreateSlider(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style) {
    TGadget::Impl* parent = nullptr;
    Ref<TGadget> gadget = NewChild(GADGET_SLIDER, group, style, parent);
    if (!gadget) {
        return gadget;
    }
    Fl_Slider* slider = new Fl_Slider(0, 0, w, h);
    slider->type((style & SLIDER_VERTICAL) != 0 ? FL_VERT_NICE_SLIDER : FL_HOR_NICE_SLIDER);
    slider->bounds(0, 10);
    slider->step(1);
    slider->value(0);
    slider->when(FL_WHEN_CHANGED);
    slider->callback(&OnSliderCallback, gadget.Get());
    return Attach(gadget, slider, parent, x, y, w, h);
}

Ref<TGadget> CreateProgBar(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style) {
    TGadget::Impl* parent = nullptr;
    Ref<TGadget> gadget = NewChild(GADGET_PROGBAR, group, style, parent);
    if (!gadget) {
        return gadget;
    }
    Fl_Progress* bar = new Fl_Progress(0, 0, w, h);
    bar->minimum(0.0f);
    bar->maximum(1.0f);
    bar->value(0.0f);
    bar->selection_color(fl_rgb_color(0, 170, 60));
    return Attach(gadget, bar, parent, x, y, w, h);
}

Ref<TGadget> CreateScrollPanel(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t flags) {
    TGadget::Impl* parent = nullptr;
    Ref<TGadget> gadget = NewChild(GADGET_SCROLLPANEL, group, flags, parent);
    if (!gadget) {
        return gadget;
    }
    TGadget::Impl* impl = gadget->impl_;
    Fl_Scroll* scroll = new GadgetScroll(0, 0, w, h);
    scroll->end();
    scroll->resizable(nullptr);
    scroll->box((flags & SCROLLPANEL_SUNKEN) != 0 ? FL_DOWN_BOX : FL_NO_BOX);
    impl->insetLeft = Fl::box_dx(scroll->box());
    impl->insetTop = Fl::box_dy(scroll->box());
    impl->insetRight = Fl::box_dw(scroll->box()) - impl->insetLeft;
    impl->insetBottom = Fl::box_dh(scroll->box()) - impl->insetTop;
    Attach(gadget, scroll, parent, x, y, w, h);
    impl->client = MakePanel(impl, 0, 0, ClientWidth(gadget), ClientHeight(gadget), 0, "");
    return gadget;
}

Ref<TGadget> CreateCanvas(int32_t x, int32_t y, int32_t w, int32_t h, Ref<TGadget> group, int32_t style) {
    TGadget::Impl* parent = nullptr;
    Ref<TGadget> gadget = NewChild(GADGET_CANVAS, group, style, parent);
    if (!gadget) {
        return gadget;
    }
    gadget->impl_->canvas = std::make_unique<CanvasBuffers>(std::max(w, 1), std::max(h, 1));
    return Attach(gadget, new GadgetCanvas(gadget.Get(), 0, 0, w, h), parent, x, y, w, h);
}

void FreeGadget(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    Ref<TGadget> hold = gadget;
    Fl_Widget* widget = impl->widget;
    std::vector<Ref<TGadget>>& owners = impl->parent != nullptr ? impl->parent->impl_->kids : Windows();
    owners.erase(std::remove(owners.begin(), owners.end(), gadget), owners.end());
    if (impl->parent != nullptr && Live(Ref<TGadget>(impl->parent)) != nullptr) {
        impl->parent->impl_->widget->redraw();
    }
    // Hidden and taken out first: hiding sends the widgets events, which their handlers read
    // through the gadgets that Unlink lets go.
    widget->hide();
    if (widget->parent() != nullptr) {
        widget->parent()->remove(widget);
    }
    Unlink(gadget.Get());
    // Safe from inside the widget's own callback.
    Fl::delete_widget(widget);
}

Ref<TGadget> ScrollPanelClient(const Ref<TGadget>& scrollpanel) {
    TGadget::Impl* impl = Live(scrollpanel, GADGET_SCROLLPANEL);
    return impl == nullptr ? nullptr : impl->client;
}

void ScrollView(const TGadget::Impl& impl, int32_t& w, int32_t& h) {
    w = impl.widget->w() - impl.insetLeft - impl.insetRight;
    h = impl.widget->h() - impl.insetTop - impl.insetBottom;
    const Fl_Widget* client = impl.client ? impl.client->impl_->widget : nullptr;
    if (client == nullptr) {
        return;
    }
    const int32_t bar = Fl::scrollbar_size();
    bool across = client->w() > w;
    const bool down = client->h() > h - (across ? bar : 0);
    if (down) {
        w -= bar;
        across = client->w() > w;
    }
    if (across) {
        h -= bar;
    }
}

void FitScrollPanelClient(const Ref<TGadget>& scrollpanel, int32_t) {
    TGadget::Impl* impl = Live(scrollpanel, GADGET_SCROLLPANEL);
    TGadget::Impl* client = impl != nullptr ? Live(impl->client) : nullptr;
    if (client == nullptr) {
        return;
    }
    int32_t w = 0;
    int32_t h = 0;
    for (const Ref<TGadget>& kid : client->kids) {
        w = std::max(w, GadgetX(kid) + GadgetWidth(kid));
        h = std::max(h, GadgetY(kid) + GadgetHeight(kid));
    }
    client->widget->size(w, h);
    ScrollScrollPanel(scrollpanel, ScrollPanelX(scrollpanel), ScrollPanelY(scrollpanel));
    impl->widget->redraw();
}

void ScrollScrollPanel(const Ref<TGadget>& scrollpanel, int32_t x, int32_t y) {
    TGadget::Impl* impl = Live(scrollpanel, GADGET_SCROLLPANEL);
    TGadget::Impl* client = impl != nullptr ? Live(impl->client) : nullptr;
    if (client == nullptr) {
        return;
    }
    int32_t w = 0;
    int32_t h = 0;
    ScrollView(*impl, w, h);
    x = std::max(0, std::min(x, client->widget->w() - w));
    y = std::max(0, std::min(y, client->widget->h() - h));
    Fl_Scroll* scroll = static_cast<Fl_Scroll*>(impl->widget);
    if (x == scroll->xposition() && y == scroll->yposition()) {
        return;
    }
    scroll->scroll_to(x, y);
    // Painted whole: FLTK scrolls by copying the old view, and when a child is damaged in the same
    // flush (a new canvas column) the display keeps the unscrolled view.
    scroll->redraw();
}

int32_t ScrollPanelX(const Ref<TGadget>& scrollpanel) {
    TGadget::Impl* impl = Live(scrollpanel, GADGET_SCROLLPANEL);
    return impl == nullptr ? 0 : static_cast<Fl_Scroll*>(impl->widget)->xposition();
}

int32_t ScrollPanelY(const Ref<TGadget>& scrollpanel) {
    TGadget::Impl* impl = Live(scrollpanel, GADGET_SCROLLPANEL);
    return impl == nullptr ? 0 : static_cast<Fl_Scroll*>(impl->widget)->yposition();
}

void SetGadgetText(const Ref<TGadget>& gadget, const std::string& text) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    impl->text = text;
    if (gadget->Kind() == GADGET_WINDOW || gadget->Kind() == GADGET_BUTTON) {
        impl->widget->copy_label(text.c_str());
    }
    impl->widget->redraw();
}

std::string GadgetText(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? std::string() : impl->text;
}

void SetGadgetColor(const Ref<TGadget>& gadget, int32_t r, int32_t g, int32_t b, int32_t background) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    const Fl_Color color = fl_rgb_color(static_cast<uchar>(r), static_cast<uchar>(g), static_cast<uchar>(b));
    if (background != 0) {
        impl->widget->color(color);
    } else {
        impl->widget->labelcolor(color);
    }
    impl->widget->redraw();
}

int32_t GadgetColor(const Ref<TGadget>& gadget, int32_t background) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return 0;
    }
    uchar r = 0;
    uchar g = 0;
    uchar b = 0;
    Fl::get_color(background != 0 ? impl->widget->color() : impl->widget->labelcolor(), r, g, b);
    return (int32_t(r) << 16) | (int32_t(g) << 8) | int32_t(b);
}

namespace {

// The focus a gadget had when it was disabled, and where it waits for the gadget's return.
struct ParkedFocus {
    Fl_Widget* widget = nullptr;
    Fl_Widget* focus = nullptr;
    Fl_Widget* holder = nullptr;
};

ParkedFocus& Parked() {
    // Watched by FLTK, which clears a pointer whose widget goes.
    static ParkedFocus& parked = *[] {
        auto* made = new ParkedFocus();
        Fl::watch_widget_pointer(made->widget);
        Fl::watch_widget_pointer(made->focus);
        Fl::watch_widget_pointer(made->holder);
        return made;
    }();
    return parked;
}

}  // namespace

void EnableGadget(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    impl->widget->activate();
    ParkedFocus& parked = Parked();
    if (parked.widget != impl->widget) {
        return;
    }
    // Back, unless the user has moved the focus on meanwhile.
    if (parked.focus != nullptr && parked.holder != nullptr && Fl::focus() == parked.holder) {
        parked.focus->take_focus();
    }
    parked = ParkedFocus();
}

void DisableGadget(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    Fl_Widget* widget = impl->widget;
    Fl_Widget* focus = Fl::focus();
    if (focus == nullptr || !widget->contains(focus)) {
        widget->deactivate();
        return;
    }
    // FLTK would hand the focus to a neighbour, where the next Space presses a button the user
    // never chose; it waits on the group instead. Not on a window: no key moves the focus on
    // from a window itself, so there FLTK's choice stands.
    Fl_Group* group = widget->parent();
    if (group != nullptr && group->as_window() == nullptr) {
        Fl::focus(group);
    }
    widget->deactivate();
    Parked() = ParkedFocus{widget, focus, Fl::focus()};
}

int32_t GadgetDisabled(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return (impl != nullptr && !impl->widget->active()) ? 1 : 0;
}

void ActivateGadget(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr) {
        return;
    }
    // A gadget with nothing in it that takes the focus (a scroll panel over a canvas) holds it itself.
    Fl_Widget* widget = impl->widget;
    if (widget->take_focus() == 0 && widget->takesevents() != 0) {
        Fl::focus(widget);
    }
}

void RedrawGadget(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    if (impl != nullptr) {
        impl->widget->redraw();
        Fl::flush();
    }
}

namespace {

// Where the gadget's frame stands: relative to its parent's client area, or to the desktop.
void FramePosition(const TGadget::Impl& impl, int32_t& x, int32_t& y) {
    int32_t originX = impl.frameLeft;
    int32_t originY = impl.frameTop;
    if (impl.parent != nullptr) {
        ClientOrigin(*impl.parent->impl_, originX, originY);
    }
    x = impl.widget->x() - originX;
    y = impl.widget->y() - originY;
}

}  // namespace

int32_t GadgetX(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    int32_t x = 0;
    int32_t y = 0;
    if (impl != nullptr) {
        FramePosition(*impl, x, y);
    }
    return x;
}

int32_t GadgetY(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    int32_t x = 0;
    int32_t y = 0;
    if (impl != nullptr) {
        FramePosition(*impl, x, y);
    }
    return y;
}

int32_t GadgetWidth(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? 0 : impl->widget->w() + impl->frameLeft + impl->frameRight;
}

int32_t GadgetHeight(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? 0 : impl->widget->h() + impl->frameTop + impl->frameBottom;
}

int32_t ClientWidth(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? 0 : impl->widget->w() - impl->insetLeft - impl->insetRight;
}

int32_t ClientHeight(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? 0 : impl->widget->h() - impl->insetTop - impl->insetBottom;
}

int32_t GadgetClass(const Ref<TGadget>& gadget) {
    return Live(gadget) == nullptr ? 0 : gadget->Kind();
}

Ref<TGadget> GadgetGroup(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return (impl == nullptr || impl->parent == nullptr) ? nullptr : Ref<TGadget>(impl->parent);
}

std::vector<Ref<TGadget>> GadgetKids(const Ref<TGadget>& gadget) {
    TGadget::Impl* impl = Live(gadget);
    return impl == nullptr ? std::vector<Ref<TGadget>>() : impl->kids;
}

void GadgetScreenRect(const Ref<TGadget>& gadget, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
    TGadget::Impl* impl = Live(gadget);
    x = impl == nullptr ? 0 : impl->widget->x();
    y = impl == nullptr ? 0 : impl->widget->y();
    w = impl == nullptr ? 0 : impl->widget->w();
    h = impl == nullptr ? 0 : impl->widget->h();
}

void SetStatusText(const Ref<TGadget>& window, const std::string& text) {
    TGadget::Impl* impl = Live(window, GADGET_WINDOW);
    if (impl == nullptr) {
        return;
    }
    impl->statusText = text;
    if (impl->status != nullptr) {
        impl->status->copy_label(text.c_str());
        impl->status->redraw();
    }
}

std::string StatusText(const Ref<TGadget>& window) {
    TGadget::Impl* impl = Live(window, GADGET_WINDOW);
    return impl == nullptr ? std::string() : impl->statusText;
}

int32_t ButtonState(const Ref<TGadget>& button) {
    TGadget::Impl* impl = Live(button, GADGET_BUTTON);
    if (impl == nullptr) {
        return 0;
    }
    return (impl->style & BUTTON_CHECKBOX) != 0 ? impl->toggled : static_cast<Fl_Button*>(impl->widget)->value();
}

void SetButtonState(const Ref<TGadget>& button, int32_t state) {
    TGadget::Impl* impl = Live(button, GADGET_BUTTON);
    if (impl == nullptr) {
        return;
    }
    if ((impl->style & BUTTON_CHECKBOX) != 0) {
        impl->toggled = state != 0 ? 1 : 0;
    } else {
        static_cast<Fl_Button*>(impl->widget)->value(state != 0 ? 1 : 0);
    }
}

void SetSliderRange(const Ref<TGadget>& slider, int32_t low, int32_t high) {
    TGadget::Impl* impl = Live(slider, GADGET_SLIDER);
    if (impl == nullptr) {
        return;
    }
    Fl_Slider* widget = static_cast<Fl_Slider*>(impl->widget);
    widget->bounds(low, high);
    widget->value(widget->clamp(widget->value()));
    widget->redraw();
}

void SetSliderValue(const Ref<TGadget>& slider, int32_t value) {
    TGadget::Impl* impl = Live(slider, GADGET_SLIDER);
    if (impl != nullptr) {
        Fl_Slider* widget = static_cast<Fl_Slider*>(impl->widget);
        widget->value(widget->clamp(value));
    }
}

int32_t SliderValue(const Ref<TGadget>& slider) {
    TGadget::Impl* impl = Live(slider, GADGET_SLIDER);
    return impl == nullptr ? 0 : static_cast<int32_t>(std::lround(static_cast<Fl_Slider*>(impl->widget)->value()));
}

int32_t SliderLow(const Ref<TGadget>& slider) {
    TGadget::Impl* impl = Live(slider, GADGET_SLIDER);
    return impl == nullptr ? 0 : static_cast<int32_t>(static_cast<Fl_Slider*>(impl->widget)->minimum());
}

int32_t SliderHigh(const Ref<TGadget>& slider) {
    TGadget::Impl* impl = Live(slider, GADGET_SLIDER);
    return impl == nullptr ? 0 : static_cast<int32_t>(static_cast<Fl_Slider*>(impl->widget)->maximum());
}

void UpdateProgBar(const Ref<TGadget>& progbar, float value) {
    TGadget::Impl* impl = Live(progbar, GADGET_PROGBAR);
    if (impl != nullptr) {
        // A level that is not a number shows as empty.
        static_cast<Fl_Progress*>(impl->widget)->value(std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f));
    }
}

float ProgBarValue(const Ref<TGadget>& progbar) {
    TGadget::Impl* impl = Live(progbar, GADGET_PROGBAR);
    return impl == nullptr ? 0.0f : static_cast<Fl_Progress*>(impl->widget)->value();
}

}  // namespace fw

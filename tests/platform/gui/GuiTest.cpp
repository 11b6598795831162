#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/gui/GadgetImpl.h"
#include "platform/gui/Gui.h"
#include "platform/runtime/Incbin.h"
#include "tests/media/TempFile.h"

namespace {

struct Seen : fw::Object {
    std::vector<fw::Ref<fw::TEvent>> events;
};

fw::Ref<fw::Object> Collect(int32_t, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    fw::Cast<Seen>(context)->events.push_back(fw::Cast<fw::TEvent>(data));
    return data;
}

Fl_Widget* WidgetOf(const fw::Ref<fw::TGadget>& gadget) {
    return gadget->impl_->widget;
}

// Where the player's own gadgets land is checked through the player (PlayerLayoutTest); here
// what the layout layer adds: toolkit coordinates and scrolling.
TEST(GuiLayout, ChildrenSitInTheirParentsClientAreaAndScrollingMovesOnlyTheView) {
    fw::Ref<fw::TGadget> window = fw::CreateWindow("layout", 32, 32, 528, 458, nullptr, 9);
    fw::Ref<fw::TGadget> controls = fw::CreatePanel(18, 8, 484, 47, window, 7, "CONTROLS");
    fw::Ref<fw::TGadget> lamp = fw::CreateButton("D.CLIP", 345, 3, 50, 19, controls, 8);
    fw::Ref<fw::TGadget> scroll = fw::CreateScrollPanel(14, 254, 492, 140, window, 1);
    fw::Ref<fw::TGadget> canvas = fw::CreateCanvas(0, 0, 6144, 115, fw::ScrollPanelClient(scroll), 0);
    fw::FitScrollPanelClient(scroll, 0);

    int32_t x = 0, y = 0, w = 0, h = 0;
    fw::GadgetScreenRect(lamp, x, y, w, h);
    EXPECT_EQ(x, 18 + 3 + 345);
    EXPECT_EQ(y, 8 + 16 + 3);
    const int32_t view = 492 - 4;
    const struct {
        int32_t ask, got;
    } scrolls[] = {{1, 1}, {450, 450}, {-5, 0}, {100000, 6144 - view}};
    for (const auto& s : scrolls) {
        fw::ScrollScrollPanel(scroll, s.ask, 0);
        EXPECT_EQ(fw::ScrollPanelX(scroll), s.got) << s.ask;
        EXPECT_EQ(fw::GadgetX(canvas), 0);
        fw::GadgetScreenRect(canvas, x, y, w, h);
        EXPECT_EQ(x, 14 + 2 - s.got);
    }
    EXPECT_EQ(fw::QueryGadget(lamp, fw::QUERY_HWND), fw::QueryGadget(window, fw::QUERY_HWND));
    fw::FreeGadget(window);
    EXPECT_EQ(fw::GadgetWidth(lamp), 0);
}

TEST(GuiLayout, ClientAreasFollowStyle) {
    fw::Ref<fw::TGadget> inner = fw::CreateWindow("client", 10, 10, 300, 200, nullptr, 1 | 8 | fw::WINDOW_CLIENTCOORDS);
    fw::Ref<fw::TGadget> bare = fw::CreateWindow("bare", 10, 10, 300, 200, nullptr, 1);
    fw::Ref<fw::TGadget> sunken = fw::CreatePanel(5, 5, 100, 50, inner, 1);
    fw::Ref<fw::TGadget> plain = fw::CreatePanel(5, 60, 100, 50, inner, 0);
    fw::Ref<fw::TGadget> scroll = fw::CreateScrollPanel(110, 5, 100, 100, inner, 0);
    fw::CreateCanvas(0, 0, 50, 300, scroll, 0);  // placed in the client
    fw::CreateCanvas(0, 310, 400, 10, fw::ScrollPanelClient(scroll), 0);
    fw::FitScrollPanelClient(scroll, 0);
    const struct {
        fw::Ref<fw::TGadget> gadget;
        int32_t w, h, cw, ch;
    } areas[] = {
        {inner, 300, 200, 300, 200}, {bare, 300, 200, 292, 170}, {sunken, 100, 50, 98, 48},
        {plain, 100, 50, 100, 50},   {scroll, 100, 100, 100, 100},
        {fw::ScrollPanelClient(scroll), 400, 320, 400, 320},
    };
    for (const auto& a : areas) {
        SCOPED_TRACE(fw::GadgetText(a.gadget) + std::to_string(fw::GadgetClass(a.gadget)));
        EXPECT_EQ(fw::GadgetWidth(a.gadget), a.w);
        EXPECT_EQ(fw::GadgetHeight(a.gadget), a.h);
        EXPECT_EQ(fw::ClientWidth(a.gadget), a.cw);
        EXPECT_EQ(fw::ClientHeight(a.gadget), a.ch);
    }
    EXPECT_EQ(fw::GadgetKids(fw::ScrollPanelClient(scroll)).size(), 2u);
    // Both scroll bars are needed: the view is 100 - 16 each way.
    fw::ScrollScrollPanel(scroll, 1000, 1000);
    EXPECT_EQ(fw::ScrollPanelX(scroll), 400 - 84);
    EXPECT_EQ(fw::ScrollPanelY(scroll), 320 - 84);
    EXPECT_FALSE(fw::CreateButton("orphan", 0, 0, 10, 10, nullptr, 8));
    EXPECT_FALSE(fw::CreatePanel(0, 0, 10, 10, fw::CreateProgBar(0, 0, 5, 5, inner, 0), 0));
    fw::FreeGadget(inner);
    fw::FreeGadget(bare);
}

TEST(GuiGadgets, SliderAndProgressValuesStayInTheirRanges) {
    fw::Ref<fw::TGadget> window = fw::CreateWindow("states", 0, 0, 300, 200, nullptr, 9);
    fw::Ref<fw::TGadget> slider = fw::CreateSlider(4, 30, 150, 20, window, 5);
    fw::Ref<fw::TGadget> bar = fw::CreateProgBar(4, 60, 150, 20, window, 0);
    fw::SetSliderRange(slider, -9, 9);
    const struct {
        int32_t set, got;
    } values[] = {{0, 0}, {-9, -9}, {9, 9}, {12, 9}, {-20, -9}};
    for (const auto& v : values) {
        fw::SetSliderValue(slider, v.set);
        EXPECT_EQ(fw::SliderValue(slider), v.got) << v.set;
    }
    fw::SetSliderRange(slider, 0, 0);
    EXPECT_EQ(fw::SliderValue(slider), 0);
    const struct {
        float set, got;
    } fills[] = {{0.5f, 0.5f}, {1.5f, 1.0f}, {-1.0f, 0.0f}, {std::nanf(""), 0.0f}};
    for (const auto& f : fills) {
        fw::UpdateProgBar(bar, f.set);
        EXPECT_EQ(fw::ProgBarValue(bar), f.got);
    }
    fw::FreeGadget(window);
}

TEST(GuiEvents, ToolkitInputRaisesEventsWithTheGadgetAsSource) {
    fw::FlushEvents();
    fw::Ref<Seen> seen = fw::New<Seen>();
    fw::AddHook(fw::EmitEventHook, &Collect, seen, 0);
    fw::Ref<fw::TGadget> window = fw::CreateWindow("events", 0, 0, 400, 200, nullptr, 9);
    fw::Ref<fw::TGadget> active = fw::CreatePanel(10, 10, 300, 60, window, 7, "CONTROLS");
    fw::Ref<fw::TGadget> push = fw::CreateButton("LOAD", 4, 3, 70, 19, active, 8);
    fw::Ref<fw::TGadget> toggle = fw::CreateButton("SLOW", 80, 3, 50, 19, active, 10);
    fw::Ref<fw::TGadget> slider = fw::CreateSlider(4, 100, 150, 20, window, 5);
    fw::SetSliderRange(slider, 0, 19);

    WidgetOf(push)->do_callback();
    WidgetOf(toggle)->do_callback();
    static_cast<Fl_Slider*>(WidgetOf(slider))->value(7);
    WidgetOf(slider)->do_callback();
    Fl::e_number = FL_CLOSE;
    WidgetOf(window)->do_callback();
    Fl::e_number = FL_SHORTCUT;  // Escape is not a close
    Fl::e_keysym = FL_Escape;
    WidgetOf(window)->do_callback();
    // Mouse and key input on the active panel, outside its buttons, at client 200, 20.
    Fl::e_x = 10 + 3 + 200;
    Fl::e_y = 10 + 16 + 20;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    WidgetOf(active)->handle(FL_PUSH);
    WidgetOf(active)->handle(FL_RELEASE);
    Fl::e_keysym = 'x';
    Fl::e_text = const_cast<char*>("x");
    Fl::e_length = 1;
    WidgetOf(active)->handle(FL_KEYDOWN);
    // Tab past the panel's last button is reported too, and left to the window to move the focus.
    Fl::focus(WidgetOf(toggle));
    Fl::e_keysym = FL_Tab;
    Fl::e_text = const_cast<char*>("\t");
    EXPECT_EQ(WidgetOf(active)->handle(FL_KEYDOWN), 0);

    // A click on a button inside the panel is the button's alone.
    Fl::e_x = 10 + 3 + 10;
    Fl::e_y = 10 + 16 + 8;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    EXPECT_EQ(WidgetOf(active)->handle(FL_PUSH), 1);
    EXPECT_EQ(WidgetOf(active)->handle(FL_MOVE), 1);

    const struct {
        int32_t id;
        fw::Ref<fw::TGadget> source;
        int32_t data;
    } expected[] = {
        {fw::GadgetAction, push, 0}, {fw::GadgetAction, toggle, 1}, {fw::GadgetAction, slider, 7},
        {fw::WindowClose, window, 0}, {fw::MouseDown, active, fw::MouseLeftButton},
        {fw::MouseUp, active, fw::MouseLeftButton}, {fw::KeyDown, active, 'X'}, {fw::KeyChar, active, 'x'},
        {fw::KeyDown, active, FL_Tab}, {fw::KeyChar, active, '\t'},
    };
    ASSERT_EQ(seen->events.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen->events[i]->id, expected[i].id);
        EXPECT_EQ(seen->events[i]->source, fw::Ref<fw::Object>(expected[i].source));
        EXPECT_EQ(seen->events[i]->data, expected[i].data);
    }
    EXPECT_EQ(seen->events[4]->x, 200);
    EXPECT_EQ(seen->events[4]->y, 20);
    EXPECT_EQ(fw::QueuedEvents(), static_cast<int32_t>(std::size(expected)));
    fw::RemoveHook(fw::EmitEventHook, &Collect, seen);
    fw::FlushEvents();
    fw::FreeGadget(window);
}

// A toggle drawn as a push button flips its state on each click but, once released, looks like the
// push button beside it on the display, whatever its state.
TEST(GuiEvents, ToggleButtonKeepsItsStateButNotAPressedLook) {
    fw::FlushEvents();
    fw::Ref<Seen> seen = fw::New<Seen>();
    fw::AddHook(fw::EmitEventHook, &Collect, seen, 0);
    fw::Ref<fw::TGadget> window = fw::CreateWindow("toggle", 0, 0, 300, 100, nullptr, 9);
    fw::Ref<fw::TGadget> push = fw::CreateButton("LOOP", 10, 10, 70, 19, window, 8);
    fw::Ref<fw::TGadget> toggle = fw::CreateButton("LOOP", 100, 10, 70, 19, window, 10);
    auto shown = [&](const fw::Ref<fw::TGadget>& button) {
        int32_t x = 0, y = 0, w = 0, h = 0;
        fw::GadgetScreenRect(button, x, y, w, h);
        return fw::WindowPixels(window, x, y, w, h);
    };
    for (int32_t state : {1, 0, 1}) {
        Fl::e_x = 100 + 35;
        Fl::e_y = 10 + 9;
        Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
        WidgetOf(toggle)->handle(FL_PUSH);
        WidgetOf(toggle)->handle(FL_RELEASE);
        Fl::focus(nullptr);
        fw::PollSystem();
        ASSERT_EQ(seen->events.size(), 1u);
        EXPECT_EQ(seen->events[0]->source, fw::Ref<fw::Object>(toggle));
        EXPECT_EQ(seen->events[0]->data, state);
        seen->events.clear();
        EXPECT_EQ(fw::ButtonState(toggle), state);
        const std::vector<int32_t> look = shown(toggle);
        ASSERT_FALSE(look.empty());
        EXPECT_TRUE(look == shown(push)) << "state " << state;
    }
    fw::RemoveHook(fw::EmitEventHook, &Collect, seen);
    fw::FlushEvents();
    fw::FreeGadget(window);
}

// Tab goes through the gadgets in the order the screen shows them, whatever order they were made
// in; a scroll panel with nothing in it that takes the focus holds the focus it is given, keeps it
// on the arrow keys and is passed over by Tab.
TEST(GuiEvents, TabFollowsTheScreenAndAScrollPanelKeepsTheFocusItIsGiven) {
    fw::Ref<fw::TGadget> window = fw::CreateWindow("focus", 0, 0, 400, 300, nullptr, 9);
    fw::Ref<fw::TGadget> scroll = fw::CreateScrollPanel(10, 200, 300, 60, window, 1);
    fw::CreateCanvas(0, 0, 1000, 40, fw::ScrollPanelClient(scroll), 0);
    fw::Ref<fw::TGadget> middle = fw::CreateSlider(150, 100, 100, 20, window, 5);
    fw::Ref<fw::TGadget> right = fw::CreateSlider(260, 100, 100, 20, window, 5);
    fw::Ref<fw::TGadget> left = fw::CreateSlider(10, 100, 100, 20, window, 5);
    fw::Ref<fw::TGadget> top = fw::CreateButton("TOP", 10, 10, 70, 19, window, 8);
    fw::ActivateGadget(scroll);
    const struct {
        int key, shift;
        fw::Ref<fw::TGadget> focus;
    } keys[] = {{FL_Left, 0, scroll}, {FL_Down, 0, scroll}, {FL_Tab, 0, top},   {FL_Tab, 0, left},
                {FL_Tab, 0, middle},  {FL_Tab, 0, right},   {FL_Tab, 0, top},   {FL_Tab, FL_SHIFT, right}};
    for (const auto& k : keys) {
        Fl::e_keysym = k.key;
        Fl::e_state = k.shift;
        Fl::handle(FL_KEYBOARD, WidgetOf(window)->as_window());
        EXPECT_EQ(Fl::focus(), WidgetOf(k.focus)) << k.key << " " << k.shift;
    }
    Fl::e_state = 0;
    fw::FreeGadget(window);
}

TEST(GuiCanvas, RectsFillPixelCentresAndShowOnlyAfterFlip) {
    fw::Ref<fw::TGadget> window = fw::CreateWindow("canvas", 0, 0, 200, 200, nullptr, 9);
    fw::Ref<fw::TGadget> canvas = fw::CreateCanvas(0, 0, 64, 115, window, 0);
    fw::SetGraphics(fw::CanvasGraphics(canvas));
    EXPECT_EQ(fw::GraphicsWidth(), 64);
    fw::SetClsColor(0, 0, 0);
    fw::Cls();
    fw::SetColor(210, 215, 210);
    fw::DrawRect(0, 0, 64, 115);
    fw::SetColor(0, 128, 0);
    const float h = std::sqrt(1.0f) * float(M_PI) * 8.0f;  // a full-scale scope bar: rows 3.9 .. 54.1
    fw::DrawRect(0.97f, 29.0f, 1.0f, -h);
    fw::DrawRect(0.97f, 29.0f, 1.0f, h);
    const struct {
        int32_t x, y, back;
    } pixels[] = {{1, 4, 0x008000}, {1, 28, 0x008000}, {1, 29, 0x008000}, {1, 53, 0x008000}, {1, 3, 0xD2D7D2},
                  {1, 54, 0xD2D7D2}, {0, 29, 0xD2D7D2}, {2, 29, 0xD2D7D2}, {63, 114, 0xD2D7D2}};
    for (const auto& p : pixels) {
        EXPECT_EQ(fw::CanvasPixel(canvas, p.x, p.y, 0), p.back) << p.x << "," << p.y;
        EXPECT_EQ(fw::CanvasPixel(canvas, p.x, p.y, 1), 0) << "shown before Flip";
    }
    fw::Flip(0);
    for (const auto& p : pixels) {
        EXPECT_EQ(fw::CanvasPixel(canvas, p.x, p.y, 1), p.back) << p.x << "," << p.y;
    }

    // Edges clip, a negative width extends left, what is not a number draws nothing.
    fw::SetColor(1, 2, 3);
    fw::DrawRect(-10.0f, 110.0f, 12.0f, 100.0f);
    fw::DrawRect(64.0f, 0.0f, -2.0f, 1.0f);
    fw::DrawRect(std::nanf(""), 0.0f, 5.0f, 5.0f);
    const struct {
        int32_t x, y, back;
    } edges[] = {{0, 110, 0x010203}, {1, 114, 0x010203}, {2, 114, 0xD2D7D2}, {62, 0, 0x010203},
                 {63, 0, 0x010203},  {61, 0, 0xD2D7D2},  {4, 4, 0xD2D7D2},    {64, 0, 0}};
    for (const auto& p : edges) {
        EXPECT_EQ(fw::CanvasPixel(canvas, p.x, p.y, 0), p.back) << p.x << "," << p.y;
    }
    fw::SetClsColor(9, 8, 7);
    fw::Cls();
    EXPECT_EQ(fw::CanvasPixel(canvas, 40, 40, 0), 0x090807);
    fw::PollSystem();
    fw::FreeGadget(window);
    fw::DrawRect(0, 0, 10, 10);  // a freed target draws nothing, and does not crash
    EXPECT_EQ(fw::GraphicsWidth(), 0);
}

std::vector<uint8_t> PngBytes(int32_t w, int32_t h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = 200;
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    std::vector<uint8_t> bytes(size);
    png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr);
    return bytes;
}

TEST(GuiPixmap, PngLoadsFromFileAndIncbinAndRefusesWhatIsNotOne) {
    static const std::vector<uint8_t> png = PngBytes(492, 107);
    fw::IncbinAdd("meter.png", png.data(), int32_t(png.size()));
    static std::vector<uint8_t> cut(png.begin(), png.begin() + png.size() / 2);
    fw::IncbinAdd("cut.png", cut.data(), int32_t(cut.size()));
    const sonvex_test::TempFile file("meter.png", png);
    const std::string& path = file.path();

    for (const std::string& name : {path, std::string("incbin::meter.png")}) {
        fw::Ref<fw::TPixmap> pixmap = fw::LoadPixmapPNG(name);
        ASSERT_TRUE(pixmap) << name;
        EXPECT_EQ(fw::PixmapWidth(pixmap), 492);
        EXPECT_EQ(fw::PixmapHeight(pixmap), 107);
        EXPECT_EQ(fw::ReadPixel(pixmap, 10, 20), 0xFF0A14C8u);
    }
    std::remove(path.c_str());
    for (const std::string& bad : {path, std::string("incbin::cut.png"), std::string("incbin::none.png"),
                                   std::string("")}) {
        EXPECT_FALSE(fw::LoadPixmapPNG(bad)) << bad;
    }

    fw::Ref<fw::TGadget> window = fw::CreateWindow("pixmap", 0, 0, 528, 300, nullptr, 9);
    fw::Ref<fw::TGadget> panel = fw::CreatePanel(14, 120, 492, 122, window, 3, "");
    fw::SetPanelPixmap(panel, fw::LoadPixmapPNG("incbin::meter.png"), 1);
    fw::RedrawGadget(panel);
    fw::FreeGadget(window);
}

TEST(GuiRequester, EngineFilterBecomesChooserPatterns) {
    const struct {
        const char* engine;
        const char* chooser;
    } filters[] = {
        {"All supported:,flac,wav;Waveform audio \".wav\":wav;All Files:*",
         "All supported\t*.{flac,FLAC,wav,WAV}\nWaveform audio \".wav\"\t*.{wav,WAV}\nAll Files\t*"},
        {"Tracker (mod/xm):mod,xm", "Tracker [mod\\/xm]\t*.{mod,MOD,xm,XM}"},
        {"png,jpg", "png,jpg\t*.{png,PNG,jpg,JPG}"},
        {"Empty:;Numbered:001", "Numbered\t*.001"},
        {"", ""},
    };
    for (const auto& f : filters) {
        EXPECT_EQ(fw::FileChooserFilter(f.engine), f.chooser) << f.engine;
    }
}

struct TickCount : fw::Object {
    int32_t ticks = 0;
    bool closed = false;
};

void CloseChooser(TickCount* count) {
    std::vector<Fl_Window*> shown;
    for (Fl_Window* window = Fl::first_window(); window != nullptr; window = Fl::next_window(window)) {
        shown.push_back(window);
    }
    // As the window manager's close button does.
    for (Fl_Window* window : shown) {
        window->do_callback();
    }
    count->closed = true;
}

fw::Ref<fw::Object> CountTicks(int32_t, fw::Ref<fw::Object> data, fw::Ref<fw::Object> context) {
    fw::Ref<TickCount> count = fw::Cast<TickCount>(context);
    if (fw::Cast<fw::TEvent>(data)->id == fw::TimerTick && ++count->ticks == 10) {
        CloseChooser(count.Get());
    }
    return data;
}

TEST(GuiRequester, TimerTicksGoOnWhileTheChooserIsOpen) {
    fw::InitGui();
    fw::Ref<TickCount> count = fw::New<TickCount>();
    fw::AddHook(fw::EmitEventHook, &CountTicks, count, 0);
    // Should ticks stop inside the chooser, this closes it anyway so the test ends.
    Fl::add_timeout(10.0, [](void* data) { CloseChooser(static_cast<TickCount*>(data)); }, count.Get());
    fw::Ref<fw::TTimer> timer = fw::CreateTimer(60.0f);
    const std::string chosen = fw::RequestFile("", "All supported:,flac,wav;All Files:*", 0, "/tmp");
    fw::StopTimer(timer);
    Fl::remove_timeout(nullptr, count.Get());
    EXPECT_EQ(chosen, "");
    EXPECT_TRUE(count->closed);
    EXPECT_EQ(count->ticks, 10);
    fw::RemoveHook(fw::EmitEventHook, &CountTicks, count);
    fw::FlushEvents();
}

}  // namespace

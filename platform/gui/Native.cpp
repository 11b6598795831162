// Native window handles, and reading back what the display shows. Kept apart: the X11 headers define
// macros that clash with ordinary names.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "platform/gui/GadgetImpl.h"

#include <FL/x.H>

namespace fw {

namespace {

// Shift that brings a colour mask's top bit to bit 7.
int32_t ShiftOf(unsigned long mask) {
    int32_t shift = 0;
    while (mask > 0xFF) {
        mask >>= 1;
        ++shift;
    }
    while (mask != 0 && (mask & 0x80) == 0) {
        mask <<= 1;
        --shift;
    }
    return shift;
}

int32_t Component(unsigned long pixel, unsigned long mask) {
    const int32_t shift = ShiftOf(mask);
    pixel &= mask;
    return static_cast<int32_t>((shift >= 0 ? pixel >> shift : pixel << -shift) & 0xFF);
}

}  // namespace

uintptr_t QueryGadget(const Ref<TGadget>& gadget, int32_t what) {
    TGadget::Impl* impl = Live(gadget);
    if (impl == nullptr || what != QUERY_HWND) {
        return 0;
    }
    Fl_Window* window = impl->widget->as_window() != nullptr ? impl->widget->as_window() : impl->widget->window();
    if (window == nullptr || !window->shown()) {
        return 0;
    }
    return static_cast<uintptr_t>(fl_xid(window));
}

void UpdateWindow(uintptr_t handle) {
    if (handle != 0 && fl_find(static_cast<Window>(handle)) != nullptr) {
        Fl::flush();
    }
}

std::vector<int32_t> WindowPixels(const Ref<TGadget>& gadget, int32_t x, int32_t y, int32_t w, int32_t h) {
    std::vector<int32_t> pixels;
    TGadget::Impl* impl = Live(gadget);
    Fl_Window* window = impl == nullptr ? nullptr
                        : impl->widget->as_window() != nullptr ? impl->widget->as_window()
                                                                : impl->widget->window();
    if (window == nullptr || !window->shown() || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > window->w() ||
        y + h > window->h()) {
        return pixels;
    }
    XSync(fl_display, False);
    XImage* image = XGetImage(fl_display, fl_xid(window), x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return pixels;
    }
    pixels.reserve(size_t(w) * h);
    for (int32_t row = 0; row < h; ++row) {
        for (int32_t column = 0; column < w; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            pixels.push_back((Component(pixel, image->red_mask) << 16) | (Component(pixel, image->green_mask) << 8) |
                             Component(pixel, image->blue_mask));
        }
    }
    XDestroyImage(image);
    return pixels;
}

}  // namespace fw

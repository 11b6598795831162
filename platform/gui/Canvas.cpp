// 2D drawing into a canvas's back buffer, shown by Flip.
#include <FL/Fl.H>

#include <algorithm>
#include <cmath>

#include "platform/gui/GadgetImpl.h"

namespace fw {

namespace {

struct Pen {
    Ref<TGraphics> target;
    uint8_t color[3] = {255, 255, 255};
    uint8_t clear[3] = {0, 0, 0};
};

Pen& Current() {
    static auto* pen = new Pen();  // never destroyed: it holds the target canvas
    return *pen;
}

CanvasBuffers* Target() {
    TGadget::Impl* impl = Current().target ? Live(Current().target->canvas, GADGET_CANVAS) : nullptr;
    return impl == nullptr ? nullptr : impl->canvas.get();
}

uint8_t Channel(int32_t value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

void MarkDirty(CanvasBuffers& buffers, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (buffers.dirtyX0 >= buffers.dirtyX1) {
        buffers.dirtyX0 = x0;
        buffers.dirtyY0 = y0;
        buffers.dirtyX1 = x1;
        buffers.dirtyY1 = y1;
        return;
    }
    buffers.dirtyX0 = std::min(buffers.dirtyX0, x0);
    buffers.dirtyY0 = std::min(buffers.dirtyY0, y0);
    buffers.dirtyX1 = std::max(buffers.dirtyX1, x1);
    buffers.dirtyY1 = std::max(buffers.dirtyY1, y1);
}

void Fill(CanvasBuffers& buffers, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const uint8_t* rgb) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, buffers.width);
    y1 = std::min(y1, buffers.height);
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t* pixel = buffers.back.data() + (size_t(y) * buffers.width + x0) * 3;
        for (int32_t x = x0; x < x1; ++x, pixel += 3) {
            pixel[0] = rgb[0];
            pixel[1] = rgb[1];
            pixel[2] = rgb[2];
        }
    }
    MarkDirty(buffers, x0, y0, x1, y1);
}

// The pixels whose centres lie in [from, to).
int32_t FirstPixel(double edge) {
    const double pixel = std::ceil(edge - 0.5);
    return static_cast<int32_t>(std::clamp(pixel, -1.0e9, 1.0e9));
}

}  // namespace

Ref<TGraphics> CanvasGraphics(const Ref<TGadget>& canvas) {
    TGadget::Impl* impl = Live(canvas, GADGET_CANVAS);
    if (impl == nullptr) {
        return nullptr;
    }
    if (!impl->graphics) {
        impl->graphics = New<TGraphics>();
        impl->graphics->canvas = canvas;
    }
    return impl->graphics;
}

void SetGraphics(const Ref<TGraphics>& graphics) {
    Current().target = graphics;
}

int32_t GraphicsWidth() {
    CanvasBuffers* buffers = Target();
    return buffers == nullptr ? 0 : buffers->width;
}

int32_t GraphicsHeight() {
    CanvasBuffers* buffers = Target();
    return buffers == nullptr ? 0 : buffers->height;
}

void SetClsColor(int32_t r, int32_t g, int32_t b) {
    Current().clear[0] = Channel(r);
    Current().clear[1] = Channel(g);
    Current().clear[2] = Channel(b);
}

void Cls() {
    CanvasBuffers* buffers = Target();
    if (buffers != nullptr) {
        Fill(*buffers, 0, 0, buffers->width, buffers->height, Current().clear);
    }
}

void SetColor(int32_t r, int32_t g, int32_t b) {
    Current().color[0] = Channel(r);
    Current().color[1] = Channel(g);
    Current().color[2] = Channel(b);
}

void DrawRect(float x, float y, float w, float h) {
    CanvasBuffers* buffers = Target();
    if (buffers == nullptr || std::isnan(x) || std::isnan(y) || std::isnan(w) || std::isnan(h)) {
        return;
    }
    const double left = std::min<double>(x, double(x) + w);
    const double right = std::max<double>(x, double(x) + w);
    const double top = std::min<double>(y, double(y) + h);
    const double bottom = std::max<double>(y, double(y) + h);
    Fill(*buffers, FirstPixel(left), FirstPixel(top), FirstPixel(right), FirstPixel(bottom), Current().color);
}

void Flip(int32_t) {
    TGadget::Impl* impl = Current().target ? Live(Current().target->canvas, GADGET_CANVAS) : nullptr;
    if (impl == nullptr) {
        return;
    }
    CanvasBuffers& buffers = *impl->canvas;
    if (buffers.dirtyX0 >= buffers.dirtyX1) {
        return;
    }
    const size_t row = size_t(buffers.dirtyX1 - buffers.dirtyX0) * 3;
    for (int32_t y = buffers.dirtyY0; y < buffers.dirtyY1; ++y) {
        const size_t at = (size_t(y) * buffers.width + buffers.dirtyX0) * 3;
        std::copy_n(buffers.back.data() + at, row, buffers.front.data() + at);
    }
    Fl_Widget* widget = impl->widget;
    widget->damage(FL_DAMAGE_ALL, widget->x() + buffers.dirtyX0, widget->y() + buffers.dirtyY0,
                   buffers.dirtyX1 - buffers.dirtyX0, buffers.dirtyY1 - buffers.dirtyY0);
    buffers.dirtyX1 = buffers.dirtyX0;
}

int32_t CanvasPixel(const Ref<TGadget>& canvas, int32_t x, int32_t y, int32_t shown) {
    TGadget::Impl* impl = Live(canvas, GADGET_CANVAS);
    if (impl == nullptr || x < 0 || y < 0 || x >= impl->canvas->width || y >= impl->canvas->height) {
        return 0;
    }
    const std::vector<uint8_t>& pixels = shown != 0 ? impl->canvas->front : impl->canvas->back;
    const uint8_t* pixel = pixels.data() + (size_t(y) * impl->canvas->width + x) * 3;
    return (int32_t(pixel[0]) << 16) | (int32_t(pixel[1]) << 8) | int32_t(pixel[2]);
}

}  // namespace fw

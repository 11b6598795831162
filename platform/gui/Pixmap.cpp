// PNG pixmaps through libpng, and panel backgrounds.
#include <png.h>

#include <FL/fl_draw.H>

#include <cstring>

#include "platform/gui/GadgetImpl.h"
#include "platform/runtime/Incbin.h"

namespace fw {

namespace {

// Larger images are refused rather than allocated: a corrupt header can claim anything.
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

const char kIncbinPrefix[] = "incbin::";

}  // namespace

Ref<TPixmap> LoadPixmapPNG(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    const size_t prefix = sizeof(kIncbinPrefix) - 1;
    int begun = 0;
    if (path.compare(0, prefix, kIncbinPrefix) == 0) {
        const std::string name = path.substr(prefix);
        const void* data = IncbinPtr(name);
        const int32_t length = IncbinLen(name);
        if (data == nullptr || length <= 0) {
            return nullptr;
        }
        begun = png_image_begin_read_from_memory(&image, data, size_t(length));
    } else {
        begun = png_image_begin_read_from_file(&image, path.c_str());
    }
    if (begun == 0) {
        png_image_free(&image);
        return nullptr;
    }
    if (image.width == 0 || image.height == 0 || uint64_t(image.width) * image.height > kMaxPixels) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    Ref<TPixmap> pixmap = New<TPixmap>(int32_t(image.width), int32_t(image.height));
    if (png_image_finish_read(&image, nullptr, pixmap->Pixels(), 0, nullptr) == 0) {
        png_image_free(&image);
        return nullptr;
    }
    return pixmap;
}

int32_t PixmapWidth(const Ref<TPixmap>& pixmap) {
    return pixmap ? pixmap->Width() : 0;
}

int32_t PixmapHeight(const Ref<TPixmap>& pixmap) {
    return pixmap ? pixmap->Height() : 0;
}

uint32_t ReadPixel(const Ref<TPixmap>& pixmap, int32_t x, int32_t y) {
    if (!pixmap || x < 0 || y < 0 || x >= pixmap->Width() || y >= pixmap->Height()) {
        return 0;
    }
    const uint8_t* pixel = pixmap->Pixels() + (size_t(y) * pixmap->Width() + x) * 4;
    return (uint32_t(pixel[3]) << 24) | (uint32_t(pixel[0]) << 16) | (uint32_t(pixel[1]) << 8) | uint32_t(pixel[2]);
}

void SetPanelPixmap(const Ref<TGadget>& panel, const Ref<TPixmap>& pixmap, int32_t) {
    TGadget::Impl* impl = Live(panel, GADGET_PANEL);
    if (impl == nullptr) {
        return;
    }
    impl->image.reset();
    impl->pixmap = pixmap;
    if (pixmap) {
        // The image reads the pixmap's memory in place; the panel holds the pixmap as long.
        impl->image = std::make_unique<Fl_RGB_Image>(pixmap->Pixels(), pixmap->Width(), pixmap->Height(), 4);
    }
    impl->widget->redraw();
}

void DrawPanelPixmap(TGadget::Impl& impl) {
    if (!impl.image) {
        return;
    }
    const Fl_Widget* widget = impl.widget;
    const int32_t x = widget->x() + impl.insetLeft;
    const int32_t y = widget->y() + impl.insetTop;
    const int32_t w = widget->w() - impl.insetLeft - impl.insetRight;
    const int32_t h = widget->h() - impl.insetTop - impl.insetBottom;
    fl_push_clip(x, y, w, h);
    impl.image->draw(x + (w - impl.image->w()) / 2, y + (h - impl.image->h()) / 2);
    fl_pop_clip();
}

}  // namespace fw

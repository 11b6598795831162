// Native window handles. Kept apart: the X11 headers define macros that clash with ordinary names.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "platform/gui/GadgetImpl.h"

#include <FL/x.H>

namespace fw {

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

}  // namespace fw

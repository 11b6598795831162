#include "platform/runtime/Object.h"

namespace fw {

void Object::Drop() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        refs_.store(kDying, std::memory_order_relaxed);
        Delete();
        delete this;
    }
}

}  // namespace fw

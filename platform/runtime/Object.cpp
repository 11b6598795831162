#include "platform/runtime/Object.h"

namespace fw {

void Object::Drop() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Delete();
        delete this;
    }
}

}  // namespace fw

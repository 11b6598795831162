#pragma once
// A counted block of memory: the engine opens banks as memory streams.

#include <cstdint>
#include <vector>

#include "platform/runtime/Object.h"

namespace fw {

class TBank : public Object {
public:
    explicit TBank(size_t size = 0) : bytes_(size, 0) {}
    TBank(const void* data, size_t size)
        : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

    uint8_t* Buf() { return bytes_.data(); }
    const uint8_t* Buf() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace fw

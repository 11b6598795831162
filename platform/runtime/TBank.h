#pragma once
// A counted block of memory: the engine opens banks as memory streams.

#include <sys/mman.h>

#include <cstdint>
#include <vector>

#include "platform/runtime/Object.h"

namespace fw {

class TBank : public Object {
public:
    // Tag of the constructor whose memory is taken from the system only where it is written.
    struct Untouched {};

    explicit TBank(size_t size = 0) : bytes_(size, 0) {}
    TBank(const void* data, size_t size)
        : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}
    // Zeroed memory of any size that costs nothing until its pages are written (an anonymous
    // mapping reserved neither in RAM nor in swap); size 0 when the mapping cannot be had.
    TBank(Untouched, size_t size) {
        void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (size > 0 && pages != MAP_FAILED) {
            mapped_ = static_cast<uint8_t*>(pages);
            mappedSize_ = size;
        }
    }
    ~TBank() override {
        if (mapped_ != nullptr) {
            munmap(mapped_, mappedSize_);
        }
    }

    uint8_t* Buf() { return mapped_ != nullptr ? mapped_ : bytes_.data(); }
    const uint8_t* Buf() const { return mapped_ != nullptr ? mapped_ : bytes_.data(); }
    size_t Size() const { return mapped_ != nullptr ? mappedSize_ : bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
    uint8_t* mapped_ = nullptr;
    size_t mappedSize_ = 0;
};

}  // namespace fw

#pragma once
// Shared by the fuzz targets: the check that stops a run, and the op tape.

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

inline void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// The op tape: the input read backwards from its end, so the header a loader needs and the
// steps the fuzzer varies come from the same bytes.
class Tape {
public:
    Tape(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    uint8_t Byte() { return left_ > 0 ? data_[--left_] : 0; }
    int32_t Int() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | Byte();
        }
        return static_cast<int32_t>(value);
    }

private:
    const uint8_t* data_;
    size_t left_;
};

}  // namespace fuzzsupport

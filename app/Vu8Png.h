#pragma once
// The meter scale image, compiled in from app/assets/vu8.png (drawn by app/assets/draw_vu8.py).

#include <cstdint>

namespace app {

extern const uint8_t kVu8Png[];
extern const int32_t kVu8PngSize;

}  // namespace app

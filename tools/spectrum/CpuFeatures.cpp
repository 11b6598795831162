#include "tools/spectrum/CpuFeatures.h"

#include <cpuid.h>

#include <cstring>

namespace spectrum {

void cpuid_vendor(char* buffer) {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
    __cpuid(0, eax, ebx, ecx, edx);
    std::memcpy(buffer, &ebx, 4);
    std::memcpy(buffer + 4, &edx, 4);
    std::memcpy(buffer + 8, &ecx, 4);
}

uint32_t cpu_has_mmx() {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
    __cpuid(1, eax, ebx, ecx, edx);
    return edx & 0x00800000u;
}

void mmx_blend_rows(const void* source_a, const void* source_b, void* dest, const void* weights,
                    int32_t width, int32_t pitch, int32_t first_row, int32_t row_count) {
    const int32_t pairs = width / 2;
    if (row_count <= 0 || pairs <= 0) {
        return;
    }
    uint8_t a[4];
    std::memcpy(a, weights, 4);
    // Four 16-bit lanes each: the weight of source A and of source B per channel. 255 becomes
    // 256 so that full weight copies the source exactly.
    alignas(8) uint16_t wa[4];
    alignas(8) uint16_t wb[4];
    for (int c = 0; c < 4; ++c) {
        wa[c] = static_cast<uint16_t>(a[c] + (a[c] >> 7));
        wb[c] = static_cast<uint16_t>(256 - wa[c]);
    }
    const auto* pa = static_cast<const uint8_t*>(source_a);
    const auto* pb = static_cast<const uint8_t*>(source_b);
    auto* pd = static_cast<uint8_t*>(dest);
    for (int32_t r = first_row + row_count - 1; r >= first_row; --r) {
        // Signed, so that a negative pitch walks a bottom-up image as it does in 32 bits.
        const int64_t row = static_cast<int64_t>(r) * pitch;
        for (int32_t p = pairs - 1; p >= 0; --p) {
            const int64_t offset = row + 8 * static_cast<int64_t>(p);
            // Both pixels of the pair are read before either is written, so `dest` may alias.
            __asm__ volatile(
                "pxor      %%mm7, %%mm7\n\t"
                "movq      (%[a]), %%mm0\n\t"
                "movq      %%mm0, %%mm1\n\t"
                "punpcklbw %%mm7, %%mm0\n\t"
                "punpckhbw %%mm7, %%mm1\n\t"
                "movq      (%[b]), %%mm2\n\t"
                "movq      %%mm2, %%mm3\n\t"
                "punpcklbw %%mm7, %%mm2\n\t"
                "punpckhbw %%mm7, %%mm3\n\t"
                "movq      (%[wa]), %%mm4\n\t"
                "movq      (%[wb]), %%mm5\n\t"
                "pmullw    %%mm4, %%mm0\n\t"
                "pmullw    %%mm4, %%mm1\n\t"
                "pmullw    %%mm5, %%mm2\n\t"
                "pmullw    %%mm5, %%mm3\n\t"
                "paddw     %%mm2, %%mm0\n\t"
                "paddw     %%mm3, %%mm1\n\t"
                "psrlw     $8, %%mm0\n\t"
                "psrlw     $8, %%mm1\n\t"
                "packuswb  %%mm1, %%mm0\n\t"
                "movq      %%mm0, (%[d])\n\t"
                :
                : [a] "r"(pa + offset), [b] "r"(pb + offset), [d] "r"(pd + offset), [wa] "r"(wa),
                  [wb] "r"(wb)
                : "memory", "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm7");
        }
    }
    __asm__ volatile("emms" ::: "memory");
}

}  // namespace spectrum

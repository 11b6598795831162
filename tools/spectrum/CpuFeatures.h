#pragma once
// Processor-feature queries and an MMX pixel blend, for x86-64 builds only.

#include <cstdint>

namespace spectrum {

// Writes the 12-byte vendor text of CPUID leaf 0 (EBX, EDX, ECX, little-endian) to `buffer`,
// without a terminating zero.
void cpuid_vendor(char* buffer);

// 0x00800000 when the processor has MMX (CPUID leaf 1, EDX bit 23), else 0.
uint32_t cpu_has_mmx();

// Blends rows first_row .. first_row + row_count - 1 of two images of 32-bit pixels into `dest`:
// per channel c, (a[c] w[c] + b[c] (256 - w[c])) >> 8 with w[c] = weight byte c, 255 mapped to
// 256. Pixels go in pairs, so an odd width leaves the last pixel of each row alone. `dest` may
// be one of the sources. Leaves the MMX state clear.
void mmx_blend_rows(const void* source_a, const void* source_b, void* dest, const void* weights,
                    int32_t width, int32_t pitch, int32_t first_row, int32_t row_count);

}  // namespace spectrum

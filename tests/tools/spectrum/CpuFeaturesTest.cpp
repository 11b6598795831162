// The processor queries and the MMX blend, on the x86-64 builds that have them.

#include <gtest/gtest.h>

#ifdef SONVEX_SPECTRUM_X86_64

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tools/spectrum/CpuFeatures.h"

namespace {

uint32_t Pixel(uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3) {
    return c0 | (c1 << 8) | (c2 << 16) | (static_cast<uint32_t>(c3) << 24);
}

// The blend as it reads, one channel at a time.
uint32_t Blend(uint32_t a, uint32_t b, const uint8_t weights[4]) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const uint32_t w = weights[c] + (weights[c] >> 7);
        const uint32_t ac = (a >> (8 * c)) & 0xFF;
        const uint32_t bc = (b >> (8 * c)) & 0xFF;
        out |= ((ac * w + bc * (256 - w)) >> 8) << (8 * c);
    }
    return out;
}

}  // namespace

TEST(CpuFeatures, MmxBitIsReportedAsItStands) {
    EXPECT_EQ(spectrum::cpu_has_mmx(), 0x00800000u);
}

TEST(CpuFeatures, VendorTextIsTheTwelveBytesOfLeafZero) {
    char vendor[16];
    std::memset(vendor, '#', sizeof vendor);
    spectrum::cpuid_vendor(vendor);
    EXPECT_EQ(std::string(vendor + 12, 4), "####");  // no terminating zero
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("vendor_id", 0) == 0) {
            EXPECT_EQ(line.substr(line.find(": ") + 2), std::string(vendor, 12));
            return;
        }
    }
    GTEST_SKIP() << "no vendor_id in /proc/cpuinfo";
}

TEST(BlendRows, WeightsMapFullScaleToCopies) {
    const uint8_t weights[4] = {255, 0, 128, 64};
    uint32_t a[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    uint32_t b[2] = {0, 0};
    uint32_t d[2] = {0, 0};
    spectrum::mmx_blend_rows(a, b, d, weights, 2, 8, 0, 1);
    EXPECT_EQ(d[0], Pixel(0xFF, 0x00, 0x80, 0x3F));
    EXPECT_EQ(d[1], Pixel(0xFF, 0x00, 0x80, 0x3F));
    spectrum::mmx_blend_rows(b, a, d, weights, 2, 8, 0, 1);
    EXPECT_EQ(d[0], Pixel(0x00, 0xFF, 0x7E, 0xBF));
    EXPECT_EQ(d[1], Pixel(0x00, 0xFF, 0x7E, 0xBF));
    // The floating-point unit is usable afterwards (EMMS ran).
    volatile double x = 1.5;
    EXPECT_EQ(x * 2.0, 3.0);
}

TEST(BlendRows, OnlyTheChosenRowsAndWholePairsChange) {
    // 5 pixels of 7-pixel rows (a pitch of 28 bytes), rows 1 to 3 of 5, weights at random.
    const int width = 5;
    const int stride = 7;
    const int rows = 5;
    std::mt19937 gen(1);
    std::vector<uint32_t> a(stride * rows);
    std::vector<uint32_t> b(stride * rows);
    std::vector<uint32_t> d(stride * rows);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = gen();
        b[i] = gen();
        d[i] = gen();
    }
    const std::vector<uint32_t> before = d;
    const uint8_t weights[4] = {17, 200, 127, 128};
    spectrum::mmx_blend_rows(a.data(), b.data(), d.data(), weights, width, stride * 4, 1, 3);
    for (int r = 0; r < rows; ++r) {
        for (int x = 0; x < stride; ++x) {
            const size_t i = r * stride + x;
            const bool blended = r >= 1 && r <= 3 && x < 4;  // pixel 4, the odd one, stays
            EXPECT_EQ(d[i], blended ? Blend(a[i], b[i], weights) : before[i]) << r << "," << x;
        }
    }
    // The destination may be a source.
    std::vector<uint32_t> in_place = a;
    spectrum::mmx_blend_rows(in_place.data(), b.data(), in_place.data(), weights, width, stride * 4, 0, rows);
    EXPECT_EQ(in_place[0], Blend(a[0], b[0], weights));
    EXPECT_EQ(in_place[stride * 4 + 3], Blend(a[stride * 4 + 3], b[stride * 4 + 3], weights));
}

TEST(BlendRows, NothingToDoTouchesNothing) {
    const uint8_t weights[4] = {1, 2, 3, 4};
    uint32_t a[4] = {1, 2, 3, 4};
    uint32_t b[4] = {5, 6, 7, 8};
    uint32_t d[4] = {9, 9, 9, 9};
    spectrum::mmx_blend_rows(a, b, d, weights, 4, 16, 0, 0);
    spectrum::mmx_blend_rows(a, b, d, weights, 4, 16, 0, -3);
    spectrum::mmx_blend_rows(a, b, d, weights, 1, 16, 0, 1);
    spectrum::mmx_blend_rows(a, b, d, weights, -4, 16, 0, 1);
    for (uint32_t v : d) {
        EXPECT_EQ(v, 9u);
    }
}

#endif

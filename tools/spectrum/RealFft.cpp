#include "tools/spectrum/RealFft.h"

#include <cmath>
#include <utility>

namespace spectrum {

// The loops below keep the classic 1-based indices of this algorithm; every access subtracts
// one, so d(k) is element k counting from 1.

void complex_fft(float* data, int32_t nn, int32_t isign) {
    const int64_t n = 2 * static_cast<int64_t>(nn);
    if (n < 2) {
        return;
    }
    auto d = [data](int64_t k) -> float& { return data[k - 1]; };

    int64_t j = 1;
    for (int64_t i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(d(j), d(i));
            std::swap(d(j + 1), d(i + 1));
        }
        int64_t m = n / 2;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    if (n < 3) {
        return;
    }

    // Within a stage the butterflies touch disjoint elements, so their order is free. Taking
    // eight neighbouring m at a time for every i keeps each cache line in use for all of its
    // butterflies, where one m at a time would stride through the whole array once per m. The
    // twiddles are still those of the recurrence, in its order.
    constexpr int kBlock = 8;
    int64_t mmax = 2;
    while (n > mmax) {
        const int64_t istep = 2 * mmax;
        const double theta = 6.283185307179586 / static_cast<double>(isign * mmax);
        const double half = std::sin(0.5 * theta);
        const double wpr = -2.0 * half * half;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int64_t m0 = 1; m0 < mmax; m0 += 2 * kBlock) {
            double wrs[kBlock];
            double wis[kBlock];
            int count = 0;
            for (int64_t m = m0; m < mmax && count < kBlock; m += 2) {
                wrs[count] = wr;
                wis[count] = wi;
                ++count;
                const double wtemp = wr;
                wr = wr * wpr - wi * wpi + wr;
                wi = wi * wpr + wtemp * wpi + wi;
            }
            for (int64_t base = 0; base < n; base += istep) {
                for (int t = 0; t < count; ++t) {
                    const int64_t i = base + m0 + 2 * t;
                    const int64_t k = i + mmax;
                    const double xr = d(k);
                    const double xi = d(k + 1);
                    const double tempr = wrs[t] * xr - wis[t] * xi;
                    const double tempi = wrs[t] * xi + wis[t] * xr;
                    const double yr = d(i);
                    const double yi = d(i + 1);
                    d(k) = static_cast<float>(yr - tempr);
                    d(k + 1) = static_cast<float>(yi - tempi);
                    d(i) = static_cast<float>(yr + tempr);
                    d(i + 1) = static_cast<float>(yi + tempi);
                }
            }
        }
        mmax = istep;
    }
}

void real_fft(float* data, int32_t n, int32_t isign) {
    auto d = [data](int64_t k) -> float& { return data[k - 1]; };
    double theta = 3.141592653589793 / static_cast<double>(n);
    if (isign != 1) {
        theta = -theta;
    }
    const double c1 = 0.5;
    const double c2 = isign == 1 ? -0.5 : 0.5;
    if (isign == 1) {
        complex_fft(data, n, 1);
    }
    const double half = std::sin(0.5 * theta);
    const double wpr = -2.0 * half * half;
    const double wpi = std::sin(theta);
    double wr = 1.0 + wpr;
    double wi = wpi;
    const int64_t n2p3 = 2 * static_cast<int64_t>(n) + 3;
    for (int64_t i = 2; i <= n / 2; ++i) {
        const int64_t i1 = 2 * i - 1;
        const int64_t i2 = 2 * i;
        const int64_t i3 = n2p3 - i2;
        const int64_t i4 = i3 + 1;
        const double a1 = d(i1);
        const double a2 = d(i2);
        const double a3 = d(i3);
        const double a4 = d(i4);
        const double h1r = c1 * (a1 + a3);
        const double h1i = c1 * (a2 - a4);
        const double h2r = -c2 * (a2 + a4);
        const double h2i = c2 * (a1 - a3);
        d(i1) = static_cast<float>(h1r + wr * h2r - wi * h2i);
        d(i2) = static_cast<float>(h1i + wr * h2i + wi * h2r);
        d(i3) = static_cast<float>(h1r - wr * h2r + wi * h2i);
        d(i4) = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        const double wtemp = wr;
        wr = wr * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
    }
    const double h = d(1);
    const double second = d(2);
    if (isign == 1) {
        d(1) = static_cast<float>(h + second);
        d(2) = static_cast<float>(h - second);
    } else {
        d(1) = static_cast<float>(0.5 * (h + second));
        d(2) = static_cast<float>(0.5 * (h - second));
        complex_fft(data, n, -1);
    }
}

}  // namespace spectrum

#include "tools/spectrum/Windows.h"

#include <cmath>
#include <cstring>

#include "tools/spectrum/SpectrumState.h"

namespace spectrum {

double window_sum = 0.0;

namespace {

constexpr long double kTwoPi = 6.283185307179586L;

// A one-point window has no span (M = 0); its only weight is 1, as for a window of ones.
double handed_out(long double w) {
    const double weight = static_cast<double>(w);
    window_sum += weight;
    return weight;
}

}  // namespace

double window_bartlett(int32_t j, int32_t n) {
    const int32_t m = n - 1;
    if (m <= 0) {
        return handed_out(1.0L);
    }
    const long double x = (2.0L / m) * j;
    return handed_out(x <= 1.0L ? x : 2.0L - x);
}

double window_parzen(int32_t j, int32_t n) {
    const long double m = 0.5L * (n - 1);
    const long double x = (j - m) / (m + 1.0L);
    return handed_out(x > 0.0L ? 1.0L - x : 1.0L + x);
}

double window_square(int32_t, int32_t) {
    return handed_out(1.0L);
}

double window_welch(int32_t j, int32_t n) {
    const long double m = 0.5L * (n - 1);
    const long double x = (j - m) / (m + 1.0L);
    return handed_out(1.0L - x * x);
}

double window_hann(int32_t j, int32_t n) {
    const int32_t m = n - 1;
    if (m <= 0) {
        return handed_out(1.0L);
    }
    return handed_out(0.5L * (1.0L - std::cos((kTwoPi / m) * j)));
}

double window_hamming(int32_t j, int32_t n) {
    const int32_t m = n - 1;
    if (m <= 0) {
        return handed_out(1.0L);
    }
    return handed_out(0.54L - 0.46L * std::cos((kTwoPi / m) * j));
}

double window_blackman_harris(int32_t j, int32_t n) {
    const int32_t m = n - 1;
    if (m <= 0) {
        return handed_out(1.0L);
    }
    const long double a = (kTwoPi / m) * j;
    return handed_out(0.35875L - 0.48829L * std::cos(a) + 0.14128L * std::cos(2.0L * a) -
                      0.01168L * std::cos(3.0L * a));
}

double window_blackman(int32_t j, int32_t n) {
    const int32_t m = n - 1;
    if (m <= 0) {
        return handed_out(1.0L);
    }
    const long double a = (kTwoPi / m) * j;
    return handed_out(0.42L - 0.5L * std::cos(a) + 0.08L * std::cos(2.0L * a));
}

const WindowName window_names[] = {
    {"Bartlett", window_bartlett},
    {"Blackman", window_blackman},
    {"Blackman-Harris", window_blackman_harris},
    {"Hamming", window_hamming},
    {"Hann", window_hann},
    {"Hanning", window_hann},
    {"Parzen", window_parzen},
    {"Square", window_square},
    {"Rectangular", window_square},
    {"Dirichlet", window_square},
    {"Welch", window_welch},
};

const int32_t window_name_count = static_cast<int32_t>(sizeof window_names / sizeof window_names[0]);

WindowFn find_window(const char* name) {
    for (int32_t i = 0; i < window_name_count; ++i) {
        if (std::strcmp(window_names[i].name, name) == 0) {
            return window_names[i].fn;
        }
    }
    return nullptr;
}

void detrend(float* samples, int32_t n) {
    if (n <= 0) {
        return;
    }
    long double s = 0.0L;
    for (int32_t j = 0; j < n; ++j) {
        s += samples[j];
    }
    // The abscissa is centred at (n - 1) / 2 for odd n too; only then is the slope that of the
    // least-squares line that the intercept below assumes.
    const long double centre = 0.5L * (n - 1);
    long double a = 0.0L;
    long double b = 0.0L;
    for (int32_t j = 0; j < n; ++j) {
        const long double t = j - centre;
        a += t * t;
        b += t * samples[j];
    }
    // A single point has no slope to fit.
    const long double slope = a > 0.0L ? b / a : 0.0L;
    const long double intercept = s / n - slope * (n - 1) * 0.5L;
    for (int32_t j = 0; j < n; ++j) {
        samples[j] = static_cast<float>(samples[j] - slope * j - intercept);
    }
    if (slope < -0.04L || slope > 0.04L) {
        std::fprintf(run.std_err, "%s: (warning) possibly significant trend in input series\n",
                     run.prog_name);
    }
}

}  // namespace spectrum

#pragma once
// Window functions, the table that names them, and the removal of a fitted straight line.

#include <cstdint>

namespace spectrum {

// A window weight for point j of an n-point window. Every call adds its weight to window_sum.
using WindowFn = double (*)(int32_t j, int32_t n);

// Sum of the weights handed out since it was last cleared: the normalisation needs the sum over
// exactly one window of the transform length.
extern double window_sum;

double window_bartlett(int32_t j, int32_t n);
double window_blackman(int32_t j, int32_t n);
double window_blackman_harris(int32_t j, int32_t n);
double window_hamming(int32_t j, int32_t n);
double window_hann(int32_t j, int32_t n);
double window_parzen(int32_t j, int32_t n);
double window_square(int32_t j, int32_t n);
double window_welch(int32_t j, int32_t n);

struct WindowName {
    const char* name;
    WindowFn fn;
};

extern const WindowName window_names[];
extern const int32_t window_name_count;

// The window whose name is exactly `name` (case counts), or nullptr.
WindowFn find_window(const char* name);

// Removes the least-squares straight line from the first n values; warns on standard error, after
// `prog_name`, when the slope exceeds 0.04 input units per sample either way.
void detrend(float* samples, int32_t n);

}  // namespace spectrum

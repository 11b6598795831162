#pragma once
// The steps between a series in `run.samples` and its printed spectrum, and back.

#include <cstdint>

namespace spectrum {

// The transform length for `count` values: the smallest power of two reachable from `max_len` by
// halving that is not below `count`.
int32_t transform_length(int32_t count);

// Removes mean and trend as asked, sets `fft_len` from `max_len` and `count` (which must be at
// least 2), applies the window, computes `norm` and `bin_step`, and leaves the packed spectrum.
void forward_transform();

// Prints the spectrum in `samples` for `fft_len`, one line per bin or smoothing group; stops at
// the first failed write.
void output_spectrum();

// True once a write to `std_out` has failed; the first failure's errno is in `out_errno`.
bool output_failed();

// Turns `count` values of `-c` (or, for `inverse` = -1, `-p`) output back into samples and prints
// them; `count` must be 2 more than a power of two of at least 2.
void inverse_fft_output();

}  // namespace spectrum

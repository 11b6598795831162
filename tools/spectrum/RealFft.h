#pragma once
// In-place radix-2 transforms over 32-bit float storage with double arithmetic.

#include <cstdint>

namespace spectrum {

// nn complex values (real, imaginary pairs) in data[0 .. 2 nn - 1]; nn a power of two.
// isign +1: X[k] = sum of z[j] exp(+2 pi i j k / nn); isign -1: nn times the inverse.
void complex_fft(float* data, int32_t nn, int32_t isign);

// 2n real values in data[0 .. 2n - 1]; n a power of two. Forward (+1) leaves the packed spectrum:
// place 0 the real X[0], place 1 the real X[n], places 2k and 2k + 1 the parts of X[k]. Backward
// (-1) takes a packed spectrum and returns n times the series it came from.
void real_fft(float* data, int32_t n, int32_t isign);

}  // namespace spectrum

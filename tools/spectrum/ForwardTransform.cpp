#include <cmath>

#include "tools/spectrum/RealFft.h"
#include "tools/spectrum/Spectrum.h"
#include "tools/spectrum/SpectrumState.h"
#include "tools/spectrum/Windows.h"

namespace spectrum {

void forward_transform() {
    float* const s = run.samples;
    const int32_t count = run.count;

    if (run.zero_mean == 1 || run.zero_mean == 2) {
        const double mean = run.sum / count;
        for (int32_t j = 0; j < count; ++j) {
            s[j] = static_cast<float>(s[j] - mean);
        }
        if (run.zero_mean == 2) {
            detrend(s, count);
        }
    }

    // The smallest power of two reachable from max_len by halving that is not below count.
    int32_t n = run.max_len;
    while (n > 0 && n >= count) {
        n /= 2;
    }
    n *= 2;
    run.fft_len = n;

    if (run.window_on) {
        window_sum = 0.0;
        for (int32_t j = 0; j < n; ++j) {
            s[j] = static_cast<float>(run.window_fn(j, n) * s[j]);
        }
    } else {
        window_sum = n;
    }
    // count, not n: the zero padding adds no energy.
    run.norm = std::sqrt(2.0 / (window_sum * count));
    if (run.freq_given) {
        run.bin_step = run.sample_freq / (2.0 * n);
    }
    real_fft(s, n / 2, 1);
}

}  // namespace spectrum

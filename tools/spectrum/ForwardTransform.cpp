#include <cmath>
#include <cstdlib>

#include "tools/spectrum/RealFft.h"
#include "tools/spectrum/Spectrum.h"
#include "tools/spectrum/SpectrumState.h"
#include "tools/spectrum/Windows.h"

namespace spectrum {

namespace {

// Without the memory for the weights, each transform computes them as it goes.
void keep_window(int32_t n) {
    std::free(run.window_weights);
    run.window_weights = static_cast<double*>(std::malloc(static_cast<size_t>(n) * sizeof(double)));
    run.window_len = n;
    if (run.window_weights == nullptr) {
        return;
    }
    window_sum = 0.0;
    for (int32_t j = 0; j < n; ++j) {
        run.window_weights[j] = run.window_fn(j, n);
    }
    run.window_weights_sum = window_sum;
}

}  // namespace

int32_t transform_length(int32_t count) {
    int32_t n = run.max_len;
    while (n > 0 && n >= count) {
        n /= 2;
    }
    return n * 2;
}

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

    const int32_t n = transform_length(count);
    run.fft_len = n;

    // Chunks all have one length, and so one window: it is computed once.
    if (run.window_on && run.avg_chunk != 0 && run.window_len != n) {
        keep_window(n);
    }
    if (run.window_on && run.window_weights != nullptr && run.window_len == n) {
        // The same weights and the same sum, added in the same order, as computing them again.
        const double* const w = run.window_weights;
        window_sum = run.window_weights_sum;
        for (int32_t j = 0; j < n; ++j) {
            s[j] = static_cast<float>(w[j] * s[j]);
        }
    } else if (run.window_on) {
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

#include "tools/spectrum/SpectrumState.h"

#include <cstdlib>

namespace spectrum {

SpectrumRun run;

void reset_run(FILE* std_in, FILE* std_out, FILE* std_err) {
    std::free(run.window_weights);
    run = SpectrumRun{};
    run.prog_name = "fft";
    run.max_len = 16384;
    run.smooth_len = 1;
    run.smooth_hop = 1;
    run.std_in = std_in;
    run.std_out = std_out;
    run.std_err = std_err;
    window_sum = 0.0;
}

}  // namespace spectrum

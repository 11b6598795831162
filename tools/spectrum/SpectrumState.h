#pragma once
// Settings and working values of one run of the spectrum tool. A run is a single pass, so they are
// process-wide; fft_main resets them at its start so that it can run again in the same process.

#include <cstdint>
#include <cstdio>

#include "tools/spectrum/Windows.h"

namespace spectrum {

class NumberReader;

struct SpectrumRun {
    // Settings, fixed by the command line before any input is read.
    const char* prog_name;
    FILE* input;
    const char* input_name;  // as messages name it: the argument, or "standard input" for "-"
    NumberReader* reader;  // converts the numbers of `input`
    bool complex_out;
    bool freq_given;
    double sample_freq;
    int32_t max_len;
    int32_t avg_chunk;
    int32_t each_chunk;
    bool show_phase;
    bool power_out;
    int32_t smooth_len;
    int32_t smooth_hop;
    bool window_on;
    WindowFn window_fn;
    int32_t zero_mean;  // 0 nothing, 1 remove the mean, 2 remove the mean and the trend
    int32_t inverse;    // 0 forward, 1 from `-c` output, -1 from `-p` output

    // Working values.
    float* samples;
    int64_t samples_room;  // values `samples` holds: it grows with the input, zero past what was read
    int32_t count;
    int32_t fft_len;
    double sum;
    double norm;
    double bin_step;
    int32_t chunks;
    float* acc;
    float* carry;
    // Chunked mode: the window of `window_len` points and its sum, computed once for all chunks
    // (no weights when there was no memory for them).
    double* window_weights;
    int32_t window_len;
    double window_weights_sum;
    int out_errno;  // why the first write to std_out failed, 0 while none has

    // Where the run reads its standard input and writes its results and messages.
    FILE* std_in;
    FILE* std_out;
    FILE* std_err;
};

extern SpectrumRun run;

// Puts every setting back to its default, frees the window kept for chunks and forgets the other
// working values (without freeing them).
void reset_run(FILE* std_in, FILE* std_out, FILE* std_err);

}  // namespace spectrum

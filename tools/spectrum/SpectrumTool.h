#pragma once
// The spectrum tool `fft`: command line, checks and the three kinds of run.

#include <cstdint>
#include <cstdio>

namespace spectrum {

// Runs the tool on the process's standard streams; returns the exit code (0 success or help,
// 1 a usage error, 2 an input, output or memory failure).
int fft_main(int argc, char* argv[]);

// The same on the given streams: `std_in` serves both the input "-" and the help pager. Every
// setting starts from its default and everything the run allocates is freed, so a process may
// run the tool any number of times.
int fft_main(int argc, char* argv[], FILE* std_in, FILE* std_out, FILE* std_err);

// The part of `path` after its last '/' (only '/' separates), or all of it.
const char* base_name(const char* path);

// Writes the usage and the help table to standard error, pausing once for a keypress.
void print_help();

// Reads the series of a single transform into `samples`: at most `max_len` values, stopping
// quietly at the first text that is not a number and at a failed read (which `reader` keeps);
// keeps `sum` when the mean is to go. False when memory runs out.
bool read_input();

}  // namespace spectrum

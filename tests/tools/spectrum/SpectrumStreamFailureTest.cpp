// Inputs whose reads fail and outputs whose writes fail: the run stops there, says why and exits
// with 2; what was read before a failed read never passes for the whole series.

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "tests/tools/spectrum/FftRunner.h"

using spectrum_test::FftResult;
using spectrum_test::RunFftOn;

TEST(SpectrumStreams, ReadFailuresEndTheRunWithTheirCause) {
    // Reads of 7 bytes cut through the numbers.
    const std::string text = spectrum_test::Series(std::vector<double>(1000, -12.375));
    const std::tuple<std::vector<std::string>, int, int> scripted[] = {
        {{"-"}, 3, 3},      {{"-"}, 3, INT_MAX},           {{"-"}, 1, 1},
        {{"-n", "16", "-"}, 3, 3}, {{"-N", "16", "-"}, 300, 300}, {{"-i", "-"}, 3, 3}};
    for (const auto& [args, from, to] : scripted) {
        spectrum_test::ScriptedInput input{text, text.size(), 7, from, to};
        FILE* in = input.Open();
        const FftResult r = RunFftOn(args, in);
        std::fclose(in);
        EXPECT_EQ(r.code, 2) << args[0] << " " << from;
        EXPECT_EQ(r.err, "fft: can't read standard input: Input/output error\n") << args[0] << " " << from;
        EXPECT_EQ(r.out.empty(), args[0] != "-N") << args[0] << " " << from;  // chunks before it stand
    }
    FILE* dir = std::fopen("/", "r");
    const std::tuple<std::string, FILE*, std::string> real[] = {
        {"/", stdin, "/: Is a directory"},
        {"-", dir, "standard input: Is a directory"},
        {"/proc/self/mem", stdin, "/proc/self/mem: Input/output error"}};
    for (const auto& [arg, in, why] : real) {
        const FftResult r = RunFftOn({arg}, in);
        EXPECT_EQ(r.code, 2) << arg;
        EXPECT_EQ(r.err, "fft: can't read " + why + "\n");
    }
    std::fclose(dir);
}

TEST(SpectrumStreams, AFailedWriteStopsTheRun) {
    // Each prints several blocks; the first stands for `yes 1.5`.
    const std::tuple<std::vector<std::string>, std::string, size_t> runs[] = {
        {{"-N", "64", "-"}, "1.5\n", 8 << 20},
        {{"-c", "-l", "65536", "-"}, "0.5\n", 4 << 16},
        {{"-i", "-"}, "1\n", 2 * 16386}};
    for (const auto& [args, text, total] : runs) {
        spectrum_test::ScriptedInput input{text, total, 4096};
        int writes = 0;
        FILE* in = input.Open();
        FILE* out = spectrum_test::OpenFullOutput(writes);
        const FftResult r = RunFftOn(args, in, out);
        std::fclose(in);
        std::fclose(out);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_EQ(r.err, "fft: can't write the output: No space left on device\n") << args[0];
        EXPECT_LE(writes, 2) << args[0];
        EXPECT_LT(input.handed, size_t{1} << 20) << args[0];
    }
}

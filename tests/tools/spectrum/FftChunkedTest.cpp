// Chunked runs: which input values each chunk holds, and how the chunk spectra combine.

#include <gtest/gtest.h>

#include <cmath>

#include "tests/tools/spectrum/FftRunner.h"

using spectrum_test::LineCount;
using spectrum_test::Numbers;
using spectrum_test::RunFft;
using spectrum_test::Series;

namespace {

std::vector<double> Ramp(int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i + 1;
    }
    return x;
}

// The complex DC term of a chunk is the sum of its values, which tells which values it held.
std::vector<double> ChunkSums(const std::string& per_chunk_complex, int lines_per_chunk) {
    const std::vector<double> v = Numbers(per_chunk_complex);
    std::vector<double> sums;
    for (size_t at = 0; at < v.size(); at += 2 * lines_per_chunk) {
        sums.push_back(v[at]);
    }
    return sums;
}

double SumOf(const std::vector<double>& x, int first, int count) {
    double s = 0.0;
    for (int i = first; i < first + count; ++i) {
        s += x[i];
    }
    return s;
}

}  // namespace

TEST(FftChunked, EvenChunksOverlapByHalf) {
    const std::vector<double> x = Ramp(1000);
    const spectrum_test::FftResult r = RunFft({"-N", "256", "-c", "-"}, Series(x));
    EXPECT_EQ(r.code, 0);
    const std::vector<double> sums = ChunkSums(r.out, 129);
    ASSERT_EQ(sums.size(), 6u);  // values 0-255, 128-383, ..., 640-895; the last 104 unused
    for (int k = 0; k < 6; ++k) {
        EXPECT_DOUBLE_EQ(sums[k], SumOf(x, 128 * k, 256)) << k;
    }
    EXPECT_EQ(LineCount(RunFft({"-n", "256", "-"}, Series(x)).out), 129);

    const spectrum_test::FftResult short_run = RunFft({"-n", "256", "-"}, Series(Ramp(200)));
    EXPECT_EQ(short_run.code, 2);
    EXPECT_EQ(short_run.err, "fft: input series is too short\n");
    EXPECT_EQ(short_run.out, "");
}

TEST(FftChunked, OddChunksSkipNoValue) {
    // Chunks of 5 carry their last 2 values: 0-4, 3-7, 6-10, ...
    const std::vector<double> x = Ramp(20);
    const std::string out = RunFft({"-N", "5", "-c", "-"}, Series(x)).out;
    const std::vector<double> sums = ChunkSums(out, 5);  // an 8-point transform: 5 lines
    ASSERT_EQ(sums.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        EXPECT_DOUBLE_EQ(sums[k], SumOf(x, 3 * k, 5)) << k;
    }
}

TEST(FftChunked, AverageIsTheMeanOfTheChunkSpectra) {
    std::vector<double> x(700);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = std::sin(0.3 * i) + 0.01 * static_cast<double>(i % 17);
    }
    const std::vector<std::string> modes[] = {{"-P"}, {}};
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> each = mode;
        each.insert(each.end(), {"-N", "64", "-w", "Hann", "-z", "-"});
        std::vector<std::string> avg = mode;
        avg.insert(avg.end(), {"-n", "64", "-w", "Hann", "-z", "-"});
        const std::vector<double> chunks = Numbers(RunFft(each, Series(x)).out);
        const std::vector<double> mean = Numbers(RunFft(avg, Series(x)).out);
        ASSERT_EQ(mean.size(), 33u);
        ASSERT_EQ(chunks.size(), 33u * 20);
        if (mode.empty()) {
            // Without -P the components are averaged, which cancels phase: never above the mean
            // magnitude.
            for (size_t k = 0; k < mean.size(); ++k) {
                double m = 0.0;
                for (size_t c = 0; c < 20; ++c) {
                    m += chunks[c * 33 + k] / 20.0;
                }
                EXPECT_LE(mean[k], m * 1.0001 + 1e-6) << k;
            }
            continue;
        }
        for (size_t k = 0; k < mean.size(); ++k) {
            double m = 0.0;
            for (size_t c = 0; c < 20; ++c) {
                m += chunks[c * 33 + k] / 20.0;
            }
            EXPECT_NEAR(mean[k], m, 1e-4 * (m + 1e-3)) << k;
        }
    }
}

TEST(FftChunked, EachChunkHasItsOwnMeanAndTrend) {
    // Two chunks of 4 with different slopes: each is detrended on its own, each warns.
    const spectrum_test::FftResult r = RunFft({"-N", "4", "-Z", "-P", "-"}, "0 1 2 3 4 5\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "fft: (warning) possibly significant trend in input series\n"
              "fft: (warning) possibly significant trend in input series\n");
    for (double v : Numbers(r.out)) {
        EXPECT_NEAR(v, 0.0, 1e-10);
    }
}

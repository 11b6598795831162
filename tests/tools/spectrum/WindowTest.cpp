// Window weights against their formulas, the name table, and the removal of mean and trend.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "tests/tools/spectrum/FftRunner.h"
#include "tools/spectrum/RealFft.h"
#include "tools/spectrum/Spectrum.h"
#include "tools/spectrum/SpectrumState.h"
#include "tools/spectrum/Windows.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

struct Formula {
    const char* name;
    spectrum::WindowFn fn;
    std::function<double(int, int)> w;  // weight at j of n, as the formula reads
};

std::vector<Formula> Formulas() {
    auto cosine = [](int j, int n) { return (kTwoPi / (n - 1)) * j; };
    auto centred = [](int j, int n) { const double m = 0.5 * (n - 1); return (j - m) / (m + 1); };
    return {
        {"Bartlett", spectrum::window_bartlett,
         [](int j, int n) { const double x = (2.0 / (n - 1)) * j; return x <= 1 ? x : 2 - x; }},
        {"Blackman", spectrum::window_blackman,
         [=](int j, int n) { const double a = cosine(j, n); return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2 * a); }},
        {"Blackman-Harris", spectrum::window_blackman_harris,
         [=](int j, int n) {
             const double a = cosine(j, n);
             return 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
         }},
        {"Hamming", spectrum::window_hamming, [=](int j, int n) { return 0.54 - 0.46 * std::cos(cosine(j, n)); }},
        {"Hann", spectrum::window_hann, [=](int j, int n) { return 0.5 * (1 - std::cos(cosine(j, n))); }},
        {"Parzen", spectrum::window_parzen, [=](int j, int n) { return 1 - std::fabs(centred(j, n)); }},
        {"Square", spectrum::window_square, [](int, int) { return 1.0; }},
        {"Welch", spectrum::window_welch, [=](int j, int n) { const double x = centred(j, n); return 1 - x * x; }},
    };
}

// Runs detrend with its warnings captured.
std::string Detrend(std::vector<float>& x) {
    FILE* err = std::tmpfile();
    spectrum::reset_run(stdin, stdout, err);
    spectrum::detrend(x.data(), static_cast<int32_t>(x.size()));
    std::rewind(err);
    std::string text = spectrum_test::ReadAll(err);
    std::fclose(err);
    spectrum::reset_run(stdin, stdout, stderr);
    return text;
}

int window_calls = 0;

double CountedBlackmanHarris(int32_t j, int32_t n) {
    ++window_calls;
    return spectrum::window_blackman_harris(j, n);
}

}  // namespace

TEST(WindowFunctions, WeightsFollowTheirFormulasAndAddUpInWindowSum) {
    for (const Formula& f : Formulas()) {
        for (int n : {2, 3, 4, 5, 16, 17, 1024}) {
            spectrum::window_sum = 0.0;
            double sum = 0.0;
            for (int j = 0; j < n; ++j) {
                const double want = f.w(j, n);
                EXPECT_NEAR(f.fn(j, n), want, 1e-12) << f.name << " n=" << n << " j=" << j;
                sum += want;
            }
            EXPECT_NEAR(spectrum::window_sum, sum, 1e-9) << f.name << " n=" << n;
        }
        // A one-point window is a window of ones rather than a division by zero.
        spectrum::window_sum = 0.0;
        EXPECT_EQ(f.fn(0, 1), f.fn == spectrum::window_welch || f.fn == spectrum::window_parzen ? f.w(0, 1) : 1.0);
    }
}

TEST(WindowFunctions, KnownWeights) {
    const double third = 1.0 / 3.0;
    const double bartlett[] = {0, 2 * third, 2 * third, 0};
    const double parzen[] = {third, 2 * third, 1, 2 * third, third};
    for (int j = 0; j < 4; ++j) {
        EXPECT_NEAR(spectrum::window_bartlett(j, 4), bartlett[j], 1e-15);
    }
    for (int j = 0; j < 5; ++j) {
        EXPECT_NEAR(spectrum::window_parzen(j, 5), parzen[j], 1e-15);
    }
    EXPECT_NEAR(spectrum::window_hann(0, 9), 0.0, 1e-15);
    EXPECT_NEAR(spectrum::window_hann(8, 9), 0.0, 1e-15);
    EXPECT_NEAR(spectrum::window_hann(4, 9), 1.0, 1e-15);
    spectrum::window_sum = 0.0;
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(spectrum::window_square(j, 4), 1.0);
    }
    EXPECT_EQ(spectrum::window_sum, 4.0);
}

TEST(WindowFunctions, NamesAreExactAndInTableOrder) {
    const char* const names[] = {"Bartlett", "Blackman", "Blackman-Harris", "Hamming", "Hann", "Hanning",
                                 "Parzen", "Square", "Rectangular", "Dirichlet", "Welch"};
    ASSERT_EQ(spectrum::window_name_count, 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_STREQ(spectrum::window_names[i].name, names[i]);
    }
    for (const Formula& f : Formulas()) {
        EXPECT_EQ(spectrum::find_window(f.name), f.fn) << f.name;
    }
    EXPECT_EQ(spectrum::find_window("Hanning"), spectrum::window_hann);
    EXPECT_EQ(spectrum::find_window("Dirichlet"), spectrum::window_square);
    EXPECT_EQ(spectrum::find_window("hann"), nullptr);
    EXPECT_EQ(spectrum::find_window("Hann "), nullptr);
    EXPECT_EQ(spectrum::find_window("Blackman-"), nullptr);
}

TEST(WindowFunctions, WindowSpansThePaddingAndSetsTheNormalisation) {
    // Three values padded to 4: the window is over 4 points, norm = sqrt(2 / (window_sum * 3)).
    const std::string out = spectrum_test::RunFft({"-w", "Bartlett", "-c", "-"}, "3 3 3\n").out;
    EXPECT_EQ(out, "4\t0\n-2\t2\n0\t0\n");
    EXPECT_EQ(spectrum_test::RunFft({"-w", "Bartlett", "-"}, "3 3 3\n").out, "2.82843\n2\n0\n");
    EXPECT_EQ(spectrum_test::RunFft({"-w", "Square", "-"}, "1 0 0 0\n").out, "0.353553\n0.353553\n0.353553\n");
    EXPECT_EQ(spectrum_test::RunFft({"-w", "Hann", "-P", "-"}, "0 0 1 0 0\n").out,
              spectrum_test::RunFft({"-w", "Hanning", "-P", "-"}, "0 0 1 0 0\n").out);
}

TEST(WindowFunctions, ChunksOfOneLengthComputeTheirWindowOnce) {
    // Chunks of 6 in 8-point transforms (the window spans the padding), as computed afresh.
    spectrum::reset_run(stdin, stdout, stderr);
    spectrum::SpectrumRun& run = spectrum::run;
    run.max_len = 8;
    run.avg_chunk = 6;
    run.window_on = true;
    run.window_fn = CountedBlackmanHarris;
    std::vector<float> samples(12);
    run.samples = samples.data();
    window_calls = 0;
    for (int chunk = 0; chunk < 3; ++chunk) {
        std::vector<float> want(8);
        spectrum::window_sum = 0.0;
        for (int j = 0; j < 8; ++j) {
            samples[j] = j < 6 ? static_cast<float>(std::sin(0.7 * j + chunk)) : 0.0f;
            want[j] = static_cast<float>(spectrum::window_blackman_harris(j, 8) * samples[j]);
        }
        const double want_sum = spectrum::window_sum;
        spectrum::real_fft(want.data(), 4, 1);
        run.count = 6;
        spectrum::forward_transform();
        EXPECT_EQ(std::memcmp(samples.data(), want.data(), 8 * sizeof(float)), 0) << chunk;
        EXPECT_EQ(spectrum::window_sum, want_sum) << chunk;
    }
    EXPECT_EQ(window_calls, 8);
    spectrum::reset_run(stdin, stdout, stderr);
}

TEST(WindowDetrend, RemovesTheLeastSquaresLine) {
    std::vector<float> x = {0, 1, 2, 3};
    EXPECT_EQ(Detrend(x), "fft: (warning) possibly significant trend in input series\n");
    for (float v : x) {
        EXPECT_NEAR(v, 0.0f, 1e-6f);
    }
    x = {0, 0.03f, 0.06f, 0.09f};
    EXPECT_EQ(Detrend(x), "");
    for (float v : x) {
        EXPECT_NEAR(v, 0.0f, 1e-7f);
    }
    // Odd lengths too: what remains is orthogonal to a constant and to the abscissa.
    for (int n : {3, 5, 7, 101}) {
        std::vector<float> y(n);
        for (int j = 0; j < n; ++j) {
            y[j] = static_cast<float>(0.5 * j + std::sin(1.7 * j) + (j % 3));
        }
        Detrend(y);
        double s = 0.0;
        double sj = 0.0;
        for (int j = 0; j < n; ++j) {
            s += y[j];
            sj += y[j] * j;
        }
        EXPECT_NEAR(s, 0.0, 1e-4 * n) << n;
        EXPECT_NEAR(sj, 0.0, 1e-4 * n * n) << n;
    }
    std::vector<float> one = {5.0f};
    EXPECT_EQ(Detrend(one), "");
    EXPECT_EQ(one[0], 0.0f);
}

TEST(WindowDetrend, ToolRemovesMeanAndTrendBeforeTheTransform) {
    const spectrum_test::FftResult r = spectrum_test::RunFft({"-Z", "-"}, "0 1 2 3\n");
    EXPECT_EQ(r.err, "fft: (warning) possibly significant trend in input series\n");
    for (double v : spectrum_test::Numbers(r.out)) {
        EXPECT_NEAR(v, 0.0, 1e-6);
    }
    EXPECT_EQ(spectrum_test::RunFft({"-Z", "-"}, "0 0.03 0.06 0.09\n").err, "");
}

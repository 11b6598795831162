// The transforms against their definition, and round trips through the printed forms.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <tuple>

#include "tests/tools/spectrum/FftRunner.h"
#include "tools/spectrum/RealFft.h"

using spectrum_test::Numbers;
using spectrum_test::RunFft;
using spectrum_test::Series;

namespace {

constexpr double kPi = 3.141592653589793;

std::vector<float> RandomSeries(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> dist(0.5f, 2.0f);
    std::vector<float> x(n);
    for (float& v : x) {
        v = dist(gen);
    }
    return x;
}

// X[k] = sum of x[j] exp(+2 pi i j k / n), the sign convention of the tool.
std::complex<double> Dft(const std::vector<float>& x, int k) {
    std::complex<double> sum = 0.0;
    const int n = static_cast<int>(x.size());
    for (int j = 0; j < n; ++j) {
        sum += static_cast<double>(x[j]) * std::polar(1.0, 2.0 * kPi * j * k / n);
    }
    return sum;
}

}  // namespace

TEST(FftTransform, PackedSpectrumMatchesTheDefinition) {
    for (int n : {2, 4, 8, 64, 1024}) {
        const std::vector<float> x = RandomSeries(n, 7u + n);
        std::vector<float> d = x;
        spectrum::real_fft(d.data(), n / 2, 1);
        const double tol = 1e-5 * n;
        EXPECT_NEAR(d[0], Dft(x, 0).real(), tol) << n;
        EXPECT_NEAR(d[1], Dft(x, n / 2).real(), tol) << n;
        for (int k = 1; k < n / 2; ++k) {
            const std::complex<double> want = Dft(x, k);
            EXPECT_NEAR(d[2 * k], want.real(), tol) << n << " bin " << k;
            EXPECT_NEAR(d[2 * k + 1], want.imag(), tol) << n << " bin " << k;
        }
    }
}

TEST(FftTransform, UnitSinePeaksAtItsBinWithPositiveImaginaryPart) {
    const int n = 1024;
    for (int k0 : {1, 5, 100, 511}) {
        std::vector<float> x(n);
        for (int j = 0; j < n; ++j) {
            x[j] = static_cast<float>(std::sin(2.0 * kPi * k0 * j / n));
        }
        std::vector<float> d = x;
        spectrum::real_fft(d.data(), n / 2, 1);
        EXPECT_NEAR(d[2 * k0], 0.0, 1e-2) << k0;
        EXPECT_NEAR(d[2 * k0 + 1], n / 2.0, 1e-2) << k0;

        // The same through the tool's complex output: one line per bin, largest at k0.
        const std::vector<double> out = Numbers(RunFft({"-c", "-"}, Series({x.begin(), x.end()})).out);
        ASSERT_EQ(out.size(), static_cast<size_t>(n + 2));
        int peak = 0;
        for (int k = 0; k <= n / 2; ++k) {
            if (std::hypot(out[2 * k], out[2 * k + 1]) > std::hypot(out[2 * peak], out[2 * peak + 1])) {
                peak = k;
            }
        }
        EXPECT_EQ(peak, k0);
        EXPECT_NEAR(out[2 * k0 + 1], n / 2.0, 1e-2);
    }
}

TEST(FftTransform, ParsevalHoldsForRandomSeries) {
    for (int n : {16, 256, 4096}) {
        const std::vector<float> x = RandomSeries(n, 99u + n);
        double energy = 0.0;
        for (float v : x) {
            energy += static_cast<double>(v) * v;
        }
        std::vector<float> d = x;
        spectrum::real_fft(d.data(), n / 2, 1);
        double spectral = static_cast<double>(d[0]) * d[0] + static_cast<double>(d[1]) * d[1];
        for (int k = 1; k < n / 2; ++k) {
            spectral += 2.0 * (static_cast<double>(d[2 * k]) * d[2 * k] + static_cast<double>(d[2 * k + 1]) * d[2 * k + 1]);
        }
        EXPECT_NEAR(spectral / n, energy, 1e-4 * energy) << n;

        // With -P every line carries |X|^2 * 2 / n^2: the lines sum to the mean square, with the
        // inner bins counted twice.
        const std::vector<double> power = Numbers(RunFft({"-P", "-"}, Series({x.begin(), x.end()})).out);
        ASSERT_EQ(power.size(), static_cast<size_t>(n / 2 + 1));
        double sum = power.front() + power.back();
        for (int k = 1; k < n / 2; ++k) {
            sum += 2.0 * power[k];
        }
        EXPECT_NEAR(sum / 2.0, energy / n, 1e-4 * energy / n) << n;
    }
}

TEST(FftTransform, BackwardTransformsReturnTheSeriesScaled) {
    const int n = 512;
    const std::vector<float> x = RandomSeries(n, 3u);
    std::vector<float> d = x;
    spectrum::real_fft(d.data(), n / 2, 1);
    spectrum::real_fft(d.data(), n / 2, -1);
    for (int j = 0; j < n; ++j) {
        EXPECT_NEAR(d[j], x[j] * (n / 2.0), 1e-3) << j;
    }
    d = x;
    spectrum::complex_fft(d.data(), n / 2, 1);
    spectrum::complex_fft(d.data(), n / 2, -1);
    for (int j = 0; j < n; ++j) {
        EXPECT_NEAR(d[j], x[j] * (n / 2.0), 1e-3) << j;
    }
}

TEST(FftInverse, ComplexOutputComesBackAsTheSeries) {
    EXPECT_EQ(RunFft({"-i", "-"}, "4 0\n0 0\n0 0\n").out, "1\n1\n1\n1\n");
    for (int n : {2, 8, 1024}) {
        const std::vector<float> x = RandomSeries(n, 11u + n);
        const std::string spectrum = RunFft({"-c", "-"}, Series({x.begin(), x.end()})).out;
        const spectrum_test::FftResult back = RunFft({"-i", "-"}, spectrum);
        EXPECT_EQ(back.code, 0);
        const std::vector<double> y = Numbers(back.out);
        ASSERT_EQ(y.size(), x.size());
        for (int j = 0; j < n; ++j) {
            EXPECT_NEAR(y[j], x[j], 1e-4 * (1.0 + std::fabs(x[j]))) << n << " at " << j;
        }
    }
}

TEST(FftInverse, TheLongestSpectrumComesBackAsTheSeries) {
    // 10,000 values pad to 16,384; -p output comes back only from a power-of-two count.
    for (const auto& [forward, inverse, n] : {std::tuple{"-c", "-i", 10000}, std::tuple{"-p", "-I", 16384}}) {
        std::vector<float> x = RandomSeries(n, 7u);
        const std::string printed = RunFft({forward, "-"}, Series({x.begin(), x.end()})).out;
        const std::vector<double> y = Numbers(RunFft({inverse, "-"}, printed).out);
        x.resize(16384);
        ASSERT_EQ(y.size(), x.size()) << forward;
        for (size_t j = 0; j < y.size(); ++j) {
            ASSERT_NEAR(y[j], x[j], 1e-3) << forward << " at " << j;
        }
    }
}

TEST(FftInverse, PhaseOutputComesBackWithTheSignOfTheRealBins) {
    // Bins 0 and n/2 of this series are negative: their phase pi is what keeps the sign.
    const std::vector<double> x = {-1, -3, 0.5, -2, 0, -1, 2, -4};
    const std::string printed = RunFft({"-p", "-"}, Series(x)).out;
    const std::vector<double> y = Numbers(RunFft({"-I", "-"}, printed).out);
    ASSERT_EQ(y.size(), x.size());
    for (size_t j = 0; j < x.size(); ++j) {
        EXPECT_NEAR(y[j], x[j], 1e-4) << j;
    }
}

TEST(FftInverse, CountsThatMakeNoTransformAreRefused) {
    for (const char* input : {"5\n", "1 2 3\n", "1 2 3 4 5\n", "1 2 3 4 5 6 7\n", "1 2 3 4 5 6 7 8 9 10 11 12\n"}) {
        const spectrum_test::FftResult r = RunFft({"-i", "-"}, input);
        EXPECT_EQ(r.code, 2) << input;
        EXPECT_EQ(r.err.rfind("fft: inverse input holds ", 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(RunFft({"-I", "-"}, "").err, "fft: standard input is empty\n");
    const spectrum_test::FftResult longer = RunFft({"-i", "-"}, Series(std::vector<double>(16387, 1.0)));
    EXPECT_EQ(longer.code, 2);
    EXPECT_EQ(longer.err, "fft: inverse input holds more than 16386 values\n");
    EXPECT_EQ(RunFft({"-i", "-"}, "2 0 0 0\n").out, "1\n1\n");
}

// Printed spectra of the small series whose values are known exactly, in every output form.

#include <gtest/gtest.h>

#include "tests/tools/spectrum/FftRunner.h"

using spectrum_test::RunFft;

namespace {

std::string Out(const std::vector<std::string>& options, const std::string& input) {
    std::vector<std::string> args = options;
    args.push_back("-");
    const spectrum_test::FftResult r = RunFft(args, input);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

}  // namespace

TEST(FftOutput, ImpulseInEveryForm) {
    const std::string impulse = "1 0 0 0\n";
    EXPECT_EQ(Out({}, impulse), "0.353553\n0.353553\n0.353553\n");
    EXPECT_EQ(Out({"-c"}, impulse), "1\t0\n1\t0\n1\t0\n");
    EXPECT_EQ(Out({"-P"}, impulse), "0.125\n0.125\n0.125\n");
    EXPECT_EQ(Out({"-p"}, impulse), "0.353553\t0\n0.353553\t0\n0.353553\t0\n");
    EXPECT_EQ(Out({"-f", "8"}, impulse), "0\t0.353553\n2\t0.353553\n4\t0.353553\n");
    EXPECT_EQ(Out({"-f", "8", "-P", "-p"}, impulse), "0\t0.125\t0\n2\t0.125\t0\n4\t0.125\t0\n");
}

TEST(FftOutput, ConstantInEveryForm) {
    const std::string ones = "1 1 1 1\n";
    EXPECT_EQ(Out({}, ones), "1.41421\n0\n0\n");
    EXPECT_EQ(Out({"-c"}, ones), "4\t0\n0\t0\n0\t0\n");
    EXPECT_EQ(Out({"-P"}, ones), "2\n0\n0\n");
    EXPECT_EQ(Out({"-p"}, ones), "1.41421\t0\n0\t0\n0\t0\n");
    EXPECT_EQ(Out({"-f", "1000"}, ones), "0\t1.41421\n250\t0\n500\t0\n");
    EXPECT_EQ(Out({"-z"}, ones), "0\n0\n0\n");
}

TEST(FftOutput, NegativeImpulseHasPhasePi) {
    EXPECT_EQ(Out({"-p"}, "-1 0 0 0\n"), "0.353553\t3.14159\n0.353553\t3.14159\n0.353553\t3.14159\n");
}

TEST(FftOutput, SmoothingAveragesOrSumsBins) {
    const std::string impulse = "1 0 0 0\n";
    // The last group of -s reads one bin past the highest, as zero.
    EXPECT_EQ(Out({"-s", "2"}, impulse), "0.353553\n0.353553\n0.25\n");
    EXPECT_EQ(Out({"-S", "2"}, impulse), "0.5\n0.353553\n");
    EXPECT_EQ(Out({"-S", "2", "-P", "-f", "8"}, impulse), "0\t0.25\n4\t0.125\n");
    // The widest smoothing reads 1024 bins past a 2-point spectrum without leaving the buffer.
    EXPECT_EQ(Out({"-s", "1024", "-P"}, "1 1\n"), "0.00195313\n0\n");
}

TEST(FftOutput, LengthFollowsTheValuesReadUpToTheLimit) {
    std::string thousand;
    for (int i = 0; i < 1100; ++i) {
        thousand += i < 1000 ? "1\n" : "1000\n";
    }
    // -l 1000 rounds to 1024: 1024 values in (513 lines), and the DC term shows no more came in.
    std::string out = Out({"-c", "-l", "1000"}, thousand);
    EXPECT_EQ(spectrum_test::LineCount(out), 513);
    EXPECT_EQ(out.substr(0, 8), "25000\t0\n");
    out = Out({"-c"}, thousand);
    EXPECT_EQ(spectrum_test::LineCount(out), 1025);
    EXPECT_EQ(out.substr(0, 8), "101000\t0");

    std::string many;
    for (int i = 0; i < 16385; ++i) {
        many += i < 16384 ? "0 " : "5 ";
    }
    out = Out({"-c"}, many);
    EXPECT_EQ(spectrum_test::LineCount(out), 8193);
    EXPECT_EQ(out.substr(0, 4), "0\t0\n");
    EXPECT_EQ(spectrum_test::LineCount(Out({"-c", "-l", "20000"}, many)), 16385);
    EXPECT_EQ(spectrum_test::LineCount(Out({"-c"}, "1 2 3\n")), 3);
}

TEST(FftOutput, ReadingStopsAtTheFirstTextThatIsNotANumber) {
    EXPECT_EQ(Out({"-c"}, "1 1 1 1 x 7 7 7 7\n"), "4\t0\n0\t0\n0\t0\n");
    EXPECT_EQ(Out({"-c"}, "1 1,1 1\n"), "2\t0\n0\t0\n");
    EXPECT_EQ(Out({"-c"}, "0x1p1 +2 2e0 .2e1\n"), "8\t0\n0\t0\n0\t0\n");

    const spectrum_test::FftResult r = RunFft({"-"}, "one 1 1\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "fft: standard input is empty\n");
    EXPECT_EQ(RunFft({"-"}, "").err, "fft: standard input is empty\n");
}

TEST(FftOutput, SingleValueIsTooShortToTransform) {
    const spectrum_test::FftResult r = RunFft({"-w", "Hann", "-"}, "5\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "fft: a single value has no spectrum\n");
    EXPECT_EQ(r.out, "");
}

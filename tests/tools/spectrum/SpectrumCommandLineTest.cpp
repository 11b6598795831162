// The command line: where the input comes from, how options are read, and every check in the
// order that decides which message a user sees.

#include <gtest/gtest.h>

#include "tests/tools/spectrum/FftRunner.h"

using spectrum_test::FftResult;
using spectrum_test::RunFft;

namespace {

const char* const kFour = "1 0 0 0\n";

void ExpectRefused(const std::vector<std::string>& args, const std::string& message, int code = 1) {
    const FftResult r = RunFft(args, kFour);
    EXPECT_EQ(r.code, code) << args.size();
    EXPECT_EQ(r.err, "fft: " + message + "\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace

TEST(SpectrumCommandLine, InputIsTheLastArgumentAndIsOpenedFirst) {
    FftResult r = RunFft({});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("usage: fft [ OPTIONS ...] INPUT-FILE\n", 0), 0u);

    r = RunFft({"-h", "-"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err.rfind("usage: fft ", 0), 0u);

    ExpectRefused({"-h"}, "can't open -h\nfft: -h: No such file or directory", 2);
    ExpectRefused({"-c", "/dev/null/x"}, "can't open /dev/null/x\nfft: /dev/null/x: Not a directory", 2);

    const spectrum_test::TextFile file("1 1 1 1\n");
    r = RunFft({file.path()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1.41421\n0\n0\n");
}

TEST(SpectrumCommandLine, ProgramNameIsThePartAfterTheLastSlash) {
    EXPECT_STREQ(spectrum::base_name("/usr/local/bin/fft"), "fft");
    EXPECT_STREQ(spectrum::base_name("fft"), "fft");
    EXPECT_STREQ(spectrum::base_name("C:\\tools\\fft"), "C:\\tools\\fft");
    EXPECT_STREQ(spectrum::base_name("dir/"), "");
}

TEST(SpectrumCommandLine, OnlyTheSecondCharacterOfAnOptionCounts) {
    FftResult r = RunFft({"-complex", "-"}, kFour);
    EXPECT_EQ(r.out, "1\t0\n1\t0\n1\t0\n");

    r = RunFft({"stray", "-q", "-", "-P", "-"}, kFour);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "fft: unrecognized option -q ignored\nfft: unrecognized option - ignored\n");
    EXPECT_EQ(r.out, "0.125\n0.125\n0.125\n");

    // A later occurrence overwrites: all four values are read, and -z after -Z removes the mean
    // but not the trend (which would warn and leave zeros).
    r = RunFft({"-l", "2", "-l", "1024", "-Z", "-z", "-c", "-"}, "0 1 2 3\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "0\t0\n-2\t-2\n-2\t0\n");
}

TEST(SpectrumCommandLine, ValuesMustComeBeforeTheInput) {
    ExpectRefused({"-f", "-"}, "sampling frequency must follow -f");
    ExpectRefused({"-l", "-"}, "transform size must follow -l");
    ExpectRefused({"-n", "-"}, "chunk size must follow -n");
    ExpectRefused({"-N", "-"}, "chunk size must follow -N");
    ExpectRefused({"-s", "-"}, "smoothing parameter must follow -s");
    ExpectRefused({"-S", "-"}, "smoothing parameter must follow -s");
    ExpectRefused({"-w", "-"}, "window type must follow -w");
    for (const char* bad : {"1", "1025", "0", "x"}) {
        ExpectRefused({"-s", bad, "-"}, "smoothing parameter must follow -s");
        ExpectRefused({"-S", bad, "-"}, "smoothing parameter must follow -s");
    }
    ExpectRefused({"-w", "hann", "-"}, "unrecognized window type hann");
    EXPECT_EQ(RunFft({"-s", "1024", "-"}, kFour).code, 0);
}

TEST(SpectrumCommandLine, InverseTakesNoOtherArgument) {
    ExpectRefused({"-c", "-i", "-"}, "no other option may be used with -i");
    ExpectRefused({"-i", "a", "-"}, "no other option may be used with -i");
    ExpectRefused({"-I", "-c", "-"}, "no other option may be used with -I");
    // The scan reaches -i only after what precedes it.
    ExpectRefused({"-s", "1", "-i", "-"}, "smoothing parameter must follow -s");
}

TEST(SpectrumCommandLine, IncompatibleOptionsAreCheckedInOrder) {
    ExpectRefused({"-c", "-f", "100", "-p", "-P", "-"}, "-c and -f are incompatible");
    ExpectRefused({"-c", "-p", "-P", "-"}, "-c and -p are incompatible");
    ExpectRefused({"-c", "-P", "-s", "2", "-"}, "-c and -P are incompatible");
    ExpectRefused({"-n", "8", "-p", "-P", "-N", "8", "-"}, "-n, -p, and -P are incompatible");
    ExpectRefused({"-n", "8", "-N", "8", "-s", "2", "-p", "-"}, "-n and -N are incompatible");
    ExpectRefused({"-c", "-s", "2", "-"}, "-c and -s or -S are incompatible");
    ExpectRefused({"-p", "-S", "2", "-"}, "-p and -s or -S are incompatible");

    const std::string eight = "1 2 3 4 5 6 7 8\n";
    EXPECT_EQ(RunFft({"-n", "8", "-p", "-"}, eight).code, 0);
    EXPECT_EQ(RunFft({"-n", "8", "-P", "-"}, eight).code, 0);
    EXPECT_EQ(RunFft({"-N", "8", "-p", "-P", "-"}, eight).code, 0);
}

TEST(SpectrumCommandLine, SizesTheBuffersCannotServeAreRefused) {
    ExpectRefused({"-S", "4", "-s", "2", "-"},
                  "the -s smoothing parameter must not be below a preceding -S one");
    EXPECT_EQ(RunFft({"-S", "2", "-s", "4", "-"}, kFour).code, 0);

    ExpectRefused({"-l", "1073741825", "-"}, "transform size must not exceed 1073741824");
    ExpectRefused({"-l", "99999999999", "-"}, "transform size must not exceed 1073741824");
    ExpectRefused({"-l", "1", "-n", "2", "-"}, "chunked transforms need a transform size of at least 2");
    ExpectRefused({"-l", "-5", "-N", "4", "-"}, "chunked transforms need a transform size of at least 2");
    ExpectRefused({"-n", "1", "-"}, "chunk size must be from 2 to 16384");
    ExpectRefused({"-N", "-8", "-"}, "chunk size must be from 2 to 16384");
    ExpectRefused({"-l", "1000", "-n", "1025", "-"}, "chunk size must be from 2 to 1024");
    EXPECT_EQ(RunFft({"-l", "1000", "-n", "1024", "-"}, std::string(2048, ' ') + "1 2 3").code, 2);

    // A size that rounds to 0 reads nothing at all.
    ExpectRefused({"-l", "0", "-"}, "standard input is empty", 2);
}

TEST(SpectrumCommandLine, EachRunStartsFromTheDefaults) {
    EXPECT_EQ(RunFft({"-c", "-w", "Hann", "-"}, kFour).code, 0);
    EXPECT_EQ(RunFft({"-n", "4", "-"}, kFour).code, 0);
    const FftResult r = RunFft({"-"}, kFour);
    EXPECT_EQ(r.out, "0.353553\n0.353553\n0.353553\n");
}

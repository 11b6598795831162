// The built `fft` as a separate process: standard streams, exit codes, a file argument.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <utility>

#include "tests/tools/spectrum/FftRunner.h"

namespace {

struct Child {
    int code;
    std::string out;
    std::string err;
};

// `prefix` runs in the same shell before the tool.
Child RunChild(const std::string& args, const std::string& input, const std::string& prefix = "") {
    const spectrum_test::TextFile in(input);
    const spectrum_test::TextFile out("");
    const spectrum_test::TextFile err("");
    // The group gives the whole of `args`, a pipeline too, the redirections.
    const std::string command = "( " + prefix + std::string(FFT_EXE) + " " + args + " ) <" + in.path() + " >" +
                                out.path() + " 2>" + err.path();
    const int status = std::system(command.c_str());
    Child c{WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", ""};
    FILE* f = std::fopen(out.path().c_str(), "r");
    c.out = spectrum_test::ReadAll(f);
    std::fclose(f);
    f = std::fopen(err.path().c_str(), "r");
    c.err = spectrum_test::ReadAll(f);
    std::fclose(f);
    return c;
}

}  // namespace

TEST(SpectrumExecutable, RunsOnFilesAndStandardInput) {
    const spectrum_test::TextFile series("1 0 0 0\n");
    Child c = RunChild("-c " + series.path(), "");
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(c.out, "1\t0\n1\t0\n1\t0\n");

    c = RunChild("-c - | " FFT_EXE " -i -", "1 1 1 1\n");
    EXPECT_EQ(c.code, 0);
    EXPECT_EQ(c.out, "1\n1\n1\n1\n");
}

TEST(SpectrumExecutable, FailedWritesExitWithCode2) {
    // A short output fails only at the last flush, a long one on the way.
    const std::string six = "1 2 3 4 5 6\n";
    const std::pair<std::string, std::string> runs[] = {
        {"-", six}, {"-n 4 -", six}, {"-N 4 -", six}, {"-i -", six},
        {"-c -", spectrum_test::Series(std::vector<double>(10000, 1.0))}};
    for (const auto& [args, input] : runs) {
        const Child c = RunChild(args + " >/dev/full", input);
        EXPECT_EQ(c.code, 2) << args;
        EXPECT_EQ(c.err, "fft: can't write the output: No space left on device\n") << args;
    }
}

TEST(SpectrumExecutable, ExitCodesAndMessagesGoWhereTheyShould) {
    Child c = RunChild("", "");
    EXPECT_EQ(c.code, 1);
    EXPECT_EQ(c.err.rfind("usage: fft [ OPTIONS ...] INPUT-FILE\n", 0), 0u);
    EXPECT_NE(c.err.find("--More--\x1b[A\x1b[2K"), std::string::npos);
    EXPECT_EQ(c.out, "");

    c = RunChild("-h", "");
    EXPECT_EQ(c.code, 2);
    EXPECT_EQ(c.err, "fft: can't open -h\nfft: -h: No such file or directory\n");

    c = RunChild("- <&-", "1 2 3 4\n");
    EXPECT_EQ(c.code, 2);
    EXPECT_EQ(c.err, "fft: can't read standard input: Bad file descriptor\n");

    c = RunChild("-n 8 -p -P -", "");
    EXPECT_EQ(c.code, 1);
    EXPECT_EQ(c.err, "fft: -n, -p, and -P are incompatible\n");
}

TEST(SpectrumExecutable, SizesBeyondTheInputTakeNoMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer reserves more address space than the limit leaves";
#endif
    // Under a 1 GB address space a buffer of the 2^30-point size alone would not fit.
    const std::pair<std::string, Child> runs[] = {
        {"-l 1073741824 -n 1073741824 -", {2, "", "fft: input series is too short\n"}},
        {"-l 1073741824 -c -", {0, "1\t0\n1\t0\n1\t0\n", ""}},
    };
    for (const auto& [args, want] : runs) {
        const Child c = RunChild(args, "1 0 0 0\n", "ulimit -v 1000000; ");
        EXPECT_EQ(c.code, want.code) << args;
        EXPECT_EQ(c.out, want.out) << args;
        EXPECT_EQ(c.err, want.err) << args;
    }
}

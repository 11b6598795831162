#pragma once
// Runs the spectrum tool in this process on temporary streams and hands back what it wrote.

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/media/TempFile.h"
#include "tools/spectrum/SpectrumTool.h"

namespace spectrum_test {

struct FftResult {
    int code = -1;
    std::string out;
    std::string err;
    std::string stdin_left;  // what the run left unread on its standard input
};

inline std::string ReadAll(FILE* f) {
    std::string text;
    char buf[4096];
    size_t got = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, got);
    }
    return text;
}

// `args` come after the program name "/usr/local/bin/fft"; `in` is the standard input, and
// `out` the standard output when given (else a temporary file, read back into `out` of the
// result). Neither is closed.
inline FftResult RunFftOn(const std::vector<std::string>& args, FILE* in, FILE* out = nullptr) {
    FILE* const result_out = out != nullptr ? out : std::tmpfile();
    FILE* err = std::tmpfile();
    std::vector<std::string> owned{"/usr/local/bin/fft"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : owned) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    FftResult r;
    r.code = spectrum::fft_main(static_cast<int>(owned.size()), argv.data(), in, result_out, err);
    if (out == nullptr) {
        std::rewind(result_out);
        r.out = ReadAll(result_out);
        std::fclose(result_out);
    }
    std::rewind(err);
    r.err = ReadAll(err);
    std::fclose(err);
    return r;
}

// `input` is the standard input.
inline FftResult RunFft(const std::vector<std::string>& args, const std::string& input = "") {
    FILE* in = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    FftResult r = RunFftOn(args, in);
    r.stdin_left = ReadAll(in);
    std::fclose(in);
    return r;
}

// A stream over `text`, repeated up to `total` bytes, `piece` bytes a read; the reads numbered
// `fail_from` to `fail_to` (from 1) fail with EIO instead, and those after go on from there.
struct ScriptedInput {
    std::string text;
    size_t total;
    size_t piece;
    int fail_from = 0;
    int fail_to = 0;
    int reads = 0;
    size_t handed = 0;

    FILE* Open() {
        cookie_io_functions_t io{};
        io.read = [](void* cookie, char* buf, size_t size) -> ssize_t {
            auto* in = static_cast<ScriptedInput*>(cookie);
            if (++in->reads >= in->fail_from && in->reads <= in->fail_to) {
                errno = EIO;
                return -1;
            }
            size_t n = 0;
            for (; n < size && n < in->piece && in->handed < in->total; ++n) {
                buf[n] = in->text[in->handed++ % in->text.size()];
            }
            return static_cast<ssize_t>(n);
        };
        return fopencookie(this, "r", io);
    }
};

// A stream whose every write fails as on a full disk, counting them in `writes`.
inline FILE* OpenFullOutput(int& writes) {
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char*, size_t) -> ssize_t {
        ++*static_cast<int*>(cookie);
        errno = ENOSPC;
        return -1;
    };
    return fopencookie(&writes, "w", io);
}

// A temporary text file that is removed with the object.
class TextFile : public sonvex_test::TempFile {
public:
    explicit TextFile(const std::string& text)
        : sonvex_test::TempFile("spectrum.txt", std::vector<uint8_t>(text.begin(), text.end())) {}
};

inline std::vector<double> Numbers(const std::string& text) {
    std::vector<double> values;
    const char* p = text.c_str();
    char* end = nullptr;
    for (double v = std::strtod(p, &end); end != p; v = std::strtod(p, &end)) {
        values.push_back(v);
        p = end;
    }
    return values;
}

inline std::string Series(const std::vector<double>& values) {
    std::string text;
    char buf[64];
    for (double v : values) {
        std::snprintf(buf, sizeof buf, "%.9g\n", v);
        text += buf;
    }
    return text;
}

inline int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

}  // namespace spectrum_test

#pragma once
// Runs the spectrum tool in this process on temporary streams and hands back what it wrote.

#include <stdlib.h>

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

// `args` come after the program name "/usr/local/bin/fft"; `input` is the standard input.
inline FftResult RunFft(const std::vector<std::string>& args, const std::string& input = "") {
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    std::vector<std::string> owned{"/usr/local/bin/fft"};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : owned) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    FftResult r;
    r.code = spectrum::fft_main(static_cast<int>(owned.size()), argv.data(), in, out, err);
    std::rewind(out);
    std::rewind(err);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    r.stdin_left = ReadAll(in);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
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

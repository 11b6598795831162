// Number text: the fast reader must convert as scanf's "%f" and the writer print as "%g".

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tools/spectrum/NumberText.h"

namespace {

std::vector<float> ReadAllNumbers(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    spectrum::NumberReader reader(f);
    std::vector<float> values;
    float v = 0.0f;
    while (reader.read(v)) {
        values.push_back(v);
    }
    std::fclose(f);
    return values;
}

// What a loop of sscanf(" %f") reads from `text` before its first failure.
std::vector<float> ScanfAllNumbers(const std::string& text) {
    std::vector<float> values;
    const char* p = text.c_str();
    float v = 0.0f;
    int used = 0;
    while (std::sscanf(p, " %f%n", &v, &used) == 1) {
        values.push_back(v);
        p += used;
    }
    return values;
}

// Words that are numbers, every prefix of them, and malformed spellings, each with every sign.
std::vector<std::string> MalformedWords() {
    const char* const whole[] = {"12.5e+10", "1E-3",       ".5e2",        "0x1A.8p-3", "0X.cP+1", "0e0",
                                 "infinity", "-INFINITY",  "nan(abc_1)",  "NaN()",     "7."};
    const char* const odd[] = {"1e5e5", "1.2.3", "0x1g",  "1e+-2", "0x1e5", "0x1p1p1", "inf1",  "nanx",
                               "infinityy", "0xp1", "1p5", "00x1", "0x.p1", "0x.", ".e1",  "e5",   "x1",
                               "(1)",  "1)",   "_1",    "1_",    "ii",    "infx",    "infin", "nn",
                               "na5",  "n-1",  "infi.5", "infinit0", "nan(abc)"};
    std::vector<std::string> bodies;
    for (const char* w : whole) {
        for (size_t len = 1; w[len - 1] != '\0'; ++len) {
            bodies.emplace_back(w, len);
        }
    }
    bodies.insert(bodies.end(), std::begin(odd), std::end(odd));
    std::vector<std::string> words;
    for (const char* sign : {"", "+", "-"}) {
        for (const std::string& body : bodies) {
            words.push_back(sign + body);
        }
    }
    return words;
}

const char* const kTails[] = {"", " 2", "\n2 3", ",2", "\t-2", "(2) 3", "2"};

std::string G(double value) {
    char buf[spectrum::kMaxG + 1];
    const size_t len = spectrum::format_g(value, buf);
    return std::string(buf, len);
}

std::string PrintfG(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

}  // namespace

TEST(SpectrumNumberText, ReaderConvertsAsScanfDoes) {
    const char* const words[] = {"0",     "-0",     "1",        "+1.5",    "-2.25e-3", ".5",      "5.",
                                 "1e38",  "1e39",   "-1e39",    "1e-50",   "0x1.8p1",  "-0X10",   "inf",
                                 "-Infinity", "3.4028235e38", "1.17549435e-38", "123456789012345678901234567890",
                                 "0.1000000000000000055511151231257827", "7e-46"};
    for (const char* word : words) {
        float want = 0.0f;
        ASSERT_EQ(std::sscanf(word, "%f", &want), 1) << word;
        const std::vector<float> got = ReadAllNumbers(std::string("  ") + word + "\n");
        ASSERT_EQ(got.size(), 1u) << word;
        EXPECT_EQ(std::memcmp(&got[0], &want, sizeof want), 0) << word << " " << got[0] << " " << want;
    }
    EXPECT_TRUE(std::isnan(ReadAllNumbers("nan")[0]));

}

TEST(SpectrumNumberText, LongInputsReadAsFscanfReadsThem) {
    // Words of every kind, many of them crossing the stream's buffer boundaries.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-40, 38);
    const char* const separators[] = {" ", "\n", "\t", "  \r\n", "\n\n"};
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        char word[64];
        switch (i % 4) {
        case 0:
            std::snprintf(word, sizeof word, "%.*fe%d", i % 9, mantissa(gen), exponent(gen));
            break;
        case 1:
            std::snprintf(word, sizeof word, "%.*f", i % 11, mantissa(gen) * std::pow(10.0, i % 9 - 4));
            break;
        case 2:
            std::snprintf(word, sizeof word, "%.7g", mantissa(gen) / 7.0);
            break;
        default:
            std::snprintf(word, sizeof word, "%d", static_cast<int>(mantissa(gen) * 1e6));
            break;
        }
        text += word;
        text += separators[i % 5];
    }
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    std::vector<float> want;
    float v = 0.0f;
    while (std::fscanf(f, "%f", &v) == 1) {
        want.push_back(v);
    }
    ASSERT_EQ(want.size(), 200000u);
    std::rewind(f);
    spectrum::NumberReader reader(f);
    size_t at = 0;
    while (reader.read(v)) {
        ASSERT_LT(at, want.size());
        ASSERT_EQ(std::memcmp(&v, &want[at], sizeof v), 0) << at << ": " << v << " " << want[at];
        ++at;
    }
    EXPECT_EQ(at, want.size());
    std::fclose(f);
}

TEST(SpectrumNumberText, ReaderStopsWhereAConversionFails) {
    EXPECT_EQ(ReadAllNumbers("1\t2\n\n3 \r\n"), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(ReadAllNumbers("1,2"), (std::vector<float>{1}));
    EXPECT_EQ(ReadAllNumbers("1.5.25 x 4"), (std::vector<float>{1.5f, 0.25f}));
    EXPECT_EQ(ReadAllNumbers("4-5"), (std::vector<float>{4, -5}));
    EXPECT_EQ(ReadAllNumbers("2e+ 3"), (std::vector<float>{2, 3}));
    EXPECT_EQ(ReadAllNumbers("--1"), (std::vector<float>{}));
    EXPECT_EQ(ReadAllNumbers("+-1"), (std::vector<float>{}));
    EXPECT_EQ(ReadAllNumbers(". 1"), (std::vector<float>{}));
    EXPECT_EQ(ReadAllNumbers(""), (std::vector<float>{}));
    EXPECT_EQ(ReadAllNumbers("9 " + std::string(5000, '7')), (std::vector<float>{9}));
}

TEST(SpectrumNumberText, MalformedWordsReadAsScanfLoopReadsThem) {
    for (const std::string& word : MalformedWords()) {
        for (const char* tail : kTails) {
            const std::string text = word + tail;
            const std::vector<float> want = ScanfAllNumbers(text);
            const std::vector<float> got = ReadAllNumbers(text);
            ASSERT_EQ(got.size(), want.size()) << "\"" << text << "\"";
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(float)), 0) << "\"" << text << "\" value " << i;
            }
        }
    }
}

TEST(SpectrumNumberText, ConversionAfterAFailureGoesOnWhereFscanfDoes) {
    // "%f" keeps what a failed conversion read ("0x", "-", "infin"), so the next one starts after it.
    constexpr int kCalls = 5;
    for (const std::string& word : MalformedWords()) {
        for (const char* tail : kTails) {
            std::string text = word + tail;
            FILE* c = fmemopen(text.data(), text.size(), "r");
            FILE* f = fmemopen(text.data(), text.size(), "r");
            spectrum::NumberReader reader(f);
            for (int call = 0; call < kCalls; ++call) {
                float want = 0.0f;
                float got = 0.0f;
                const bool want_ok = std::fscanf(c, " %f", &want) == 1;
                ASSERT_EQ(reader.read(got), want_ok) << "\"" << text << "\" call " << call;
                if (want_ok) {
                    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "\"" << text << "\" call " << call;
                }
            }
            std::fclose(f);
            std::fclose(c);
        }
    }
}

TEST(SpectrumNumberText, WriterPrintsAsPrintfG) {
    // Exact decimal ties (0.001953125, 1234565) must round as printf rounds them.
    const double special[] = {0.0,      -0.0,      1.0,          0.353553390593, 1.41421356237,
                              3.14159265359, 1e-5, 1e-4,         123456,         1234567,
                              999999.5, 9.999995e-5, 0.001953125, 1234565.0,     1e300,
                              -2e-300,  5e-324,    std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
    for (double v : special) {
        EXPECT_EQ(G(v), PrintfG(v)) << v;
    }
    EXPECT_EQ(G(std::nan("")), PrintfG(std::nan("")));
    std::mt19937_64 gen(9);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-60, 60);
    for (int i = 0; i < 100000; ++i) {
        const double v = std::ldexp(mantissa(gen), exponent(gen));
        ASSERT_EQ(G(v), PrintfG(v)) << v;
        const double f = static_cast<float>(v);
        ASSERT_EQ(G(f), PrintfG(f)) << f;
    }
}

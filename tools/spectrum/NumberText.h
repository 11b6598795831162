#pragma once
// Number text in both directions, at the speed a million-value series needs: reading numbers as
// scanf's "%f" does and writing them as printf's "%g" does.

#include <cstddef>
#include <cstdio>

namespace spectrum {

// Reads whitespace-separated numbers from a stream, one conversion at a time. Each conversion,
// failed or not, takes the characters "%f" takes, so the next one starts where the C library's
// would ("1e 2" reads 1 and 2, "0x 2" fails once and then reads 2); what follows in the same word
// is kept for the next conversion ("1,2" reads 1, then fails at ",2", and again at each retry).
class NumberReader {
public:
    explicit NumberReader(FILE* stream);

    // Converts the next number into `value`; false at the end of the input, at text that does
    // not begin with a number, and from a failed read on.
    bool read(float& value);

    // The errno of the read that failed, or 0: the end of a broken input is not the end of the
    // series, and a number cut by the failure is not a number.
    int error() const { return error_; }

    // Longer words than this cannot be a number anyone wrote; refusing them bounds the memory
    // a run of letters can take.
    static constexpr size_t kMaxWord = 4096;

private:
    int next_char();
    bool next_word();
    bool read_in_buffer(float& value);

    FILE* stream_;
    size_t word_len_ = 0;     // characters of the current word, NUL-terminated in word_
    size_t word_pos_ = 0;     // first unconverted character of word_
    bool stuck_ = false;      // a word too long to be a number: every later conversion fails too
    int error_ = 0;
    char word_[kMaxWord + 1];
};

// Writes `value` as printf's "%g" would, into `out` (at least kMaxG bytes); returns the length.
constexpr size_t kMaxG = 32;
size_t format_g(double value, char* out);

}  // namespace spectrum

#include "tools/spectrum/NumberText.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace spectrum {

namespace {

enum CharClass : unsigned char { kOther, kSpace, kNumber };

// Every character that can occur in a number that strtof accepts (decimal and hexadecimal
// digits, signs, point, exponents, "inf", "infinity", "nan" and "nan(chars)") is kNumber.
struct CharClasses {
    unsigned char of[256];
    constexpr CharClasses() : of() {
        for (int c = 0; c < 256; ++c) {
            const bool number = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                c == '+' || c == '-' || c == '.' || c == '(' || c == ')' || c == '_';
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
            of[c] = number ? kNumber : space ? kSpace : kOther;
        }
    }
};

constexpr CharClasses kClasses;

unsigned char class_of(int c) {
    return c == EOF ? static_cast<unsigned char>(kOther) : kClasses.of[static_cast<unsigned char>(c)];
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The characters that "%f" takes from the front of a NUL-terminated word. It reads on while the
// text can still become a number and keeps what it read, converted or not ("1e" gives 1, "0x"
// nothing); a broken "inf" or "nan" spelling fails and also takes the character that broke it,
// which at the end of the word is the one after it.
struct Extent {
    size_t length;
    bool failed;
    bool takes_next;
};

Extent scan_extent(const char* first) {
    const char* p = first;
    const size_t sign = (*p == '+' || *p == '-') ? 1 : 0;
    p += sign;
    if (lower(*p) == 'n' || lower(*p) == 'i') {
        const char* const name = lower(*p) == 'n' ? "nan" : "infinity";
        size_t k = 0;
        while (name[k] != '\0' && lower(p[k]) == name[k]) {
            ++k;
        }
        if (k == 3 || name[k] == '\0') {
            return {sign + k, false, false};
        }
        if (p[k] == '\0') {
            return {sign + k, true, true};
        }
        return {sign + k + 1, true, false};
    }
    bool hex = false;
    bool digit = false;
    if (*p == '0') {
        ++p;
        if (lower(*p) == 'x') {
            ++p;
            hex = true;
        } else {
            digit = true;
        }
    }
    const char exp_char = hex ? 'p' : 'e';
    bool point = false;
    bool exp = false;
    for (;; ++p) {
        const char c = *p;
        if ((c >= '0' && c <= '9') || (hex && !exp && lower(c) >= 'a' && lower(c) <= 'f')) {
            digit = true;
        } else if (exp && lower(p[-1]) == exp_char && (c == '+' || c == '-')) {
            continue;
        } else if (digit && !exp && lower(c) == exp_char) {
            exp = true;
            point = true;
        } else if (!point && c == '.') {
            point = true;
        } else {
            break;
        }
    }
    const size_t length = static_cast<size_t>(p - first);
    return {length, length == sign || (hex && length == sign + 2), false};
}

// Powers of ten that float holds exactly (5^10 is below 2^24).
constexpr float kFloatPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

}  // namespace

NumberReader::NumberReader(FILE* stream) : stream_(stream) {}

int NumberReader::next_char() {
    const int c = getc_unlocked(stream_);
    if (c == EOF && error_ == 0 && std::ferror(stream_)) {
        error_ = errno != 0 ? errno : EIO;
    }
    return c;
}

bool NumberReader::next_word() {
    int c = next_char();
    while (class_of(c) == kSpace) {
        c = next_char();
    }
    size_t len = 0;
    while (class_of(c) == kNumber && len < kMaxWord) {
        word_[len++] = static_cast<char>(c);
        c = next_char();
    }
    if (error_ != 0) {
        return false;
    }
    if (c != EOF) {
        // The character that ended the word (a blank, a comma ...) starts what comes next; one
        // character can always go back.
        ungetc(c, stream_);
    }
    word_[len] = '\0';
    word_len_ = len;
    word_pos_ = 0;
    if (len >= kMaxWord) {
        stuck_ = true;
    }
    return len > 0 && !stuck_;
}

#ifdef __GLIBC__
// glibc's FILE shows its read buffer (as gnulib's freadptr relies on). A plain decimal word that
// lies wholly inside the buffer is converted where it lies, and the buffer is advanced past it
// only when the whole word was the number; anything else is left to the character-by-character
// road, which then sees the very same text.
bool NumberReader::read_in_buffer(float& value) {
    const char* p = stream_->_IO_read_ptr;
    const char* const end = stream_->_IO_read_end;
    if (p == nullptr || p >= end) {
        return false;
    }
    while (p < end && kClasses.of[static_cast<unsigned char>(*p)] == kSpace) {
        ++p;
    }
    const char* const first = p;
    if (p < end && *p == '-') {
        ++p;
    }
    // Digits and one point, gathered as they are passed.
    uint32_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    bool point = false;
    for (; p < end; ++p) {
        const unsigned digit = static_cast<unsigned char>(*p) - static_cast<unsigned>('0');
        if (digit < 10u) {
            if (++digits <= 8) {
                mantissa = mantissa * 10u + digit;
            }
            fraction += point ? 1 : 0;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (p == end) {
        return false;  // the word may go on in the next buffer
    }
    float parsed = 0.0f;
    if (kClasses.of[static_cast<unsigned char>(*p)] != kNumber) {
        if (digits == 0) {
            return false;
        }
        if (digits <= 8 && mantissa <= (1u << 24)) {
            // Both operands are exact in float, so one IEEE division rounds as strtof does.
            parsed = static_cast<float>(mantissa) / kFloatPow10[fraction];
            if (*first == '-') {
                parsed = -parsed;
            }
        } else {
            const std::from_chars_result r = std::from_chars(first, p, parsed);
            if (r.ec != std::errc() || r.ptr != p) {
                return false;
            }
        }
    } else {
        // An exponent, a hexadecimal prefix, a name: find the end of the word and convert it
        // whole, or leave it to the slow road.
        while (p < end && kClasses.of[static_cast<unsigned char>(*p)] == kNumber) {
            ++p;
        }
        if (p == end || digits == 0) {
            return false;
        }
        const char c = *first == '-' ? first[1] : *first;
        if (c == '0' && first + 2 < p && ((first[1] | 0x20) == 'x' || (first[2] | 0x20) == 'x')) {
            return false;
        }
        const std::from_chars_result r = std::from_chars(first, p, parsed);
        if (r.ec != std::errc() || r.ptr != p) {
            return false;
        }
    }
    value = parsed;
    stream_->_IO_read_ptr = const_cast<char*>(p);
    return true;
}
#endif

bool NumberReader::read(float& value) {
    if (stuck_ || error_ != 0) {
        return false;
    }
#ifdef __GLIBC__
    if (word_pos_ >= word_len_ && read_in_buffer(value)) {
        return true;
    }
#endif
    if (word_pos_ >= word_len_ && !next_word()) {
        return false;
    }
    char* const first = word_ + word_pos_;
    const Extent extent = scan_extent(first);
    word_pos_ += extent.length;
    if (extent.takes_next) {
        next_char();
    }
    if (extent.failed) {
        return false;
    }
    char* const last = first + extent.length;
    const char* digits = first;
    if (*digits == '+' || *digits == '-') {
        ++digits;
    }
    const bool plain_decimal =
        digits < last && ((*digits >= '0' && *digits <= '9') || *digits == '.') &&
        !(digits + 1 < last && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'));
    if (plain_decimal && *first != '+') {
        float parsed = 0.0f;
        const std::from_chars_result r = std::from_chars(first, last, parsed);
        if (r.ec == std::errc()) {
            value = parsed;
            return true;
        }
        if (r.ec == std::errc::invalid_argument) {
            return false;
        }
        // Out of range: strtof gives the infinity or the zero that "%f" stores.
    }
    // Hexadecimal numbers, a leading '+', infinities, NaNs and overflow take the slow road, which
    // converts the taken text as "%f" does.
    const char after = *last;
    *last = '\0';
    char* end = nullptr;
    const float parsed = std::strtof(first, &end);
    *last = after;
    if (end == first) {
        return false;
    }
    value = parsed;
    return true;
}

namespace {

// Powers of ten that double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double times_pow10(double a, int k) {
    return k >= 0 ? a * kPow10[k] : a / kPow10[-k];
}

size_t format_g_exactly(double value, char* out) {
    const std::to_chars_result r = std::to_chars(out, out + kMaxG, value, std::chars_format::general, 6);
    return static_cast<size_t>(r.ptr - out);
}

}  // namespace

// "%g" rounds the exact binary value to 6 significant digits. Scaled by an exact power of ten
// with one rounding, the value is off by at most half a unit in 2^-33 of its integer part, so
// the rounding to an integer is certain unless the fraction is within 1e-9 of one half; those
// few, zero, and magnitudes beyond the exact powers go to the exact conversion.
size_t format_g(double value, char* out) {
    const double a = std::fabs(value);
    if (!(a >= 1e-16 && a < 1e26)) {
        return format_g_exactly(value, out);
    }
    // The binary exponent puts the decimal one within a step below, which the checks after it
    // correct.
    int e = static_cast<int>(std::floor(std::ilogb(a) * 0.30102999566398120));
    double scaled = times_pow10(a, 5 - e);
    if (scaled < 100000.0) {
        --e;
        scaled = times_pow10(a, 5 - e);
    } else if (scaled >= 1000000.0) {
        ++e;
        scaled = times_pow10(a, 5 - e);
    }
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < 1e-9 || whole < 100000.0 || whole > 999999.0) {
        return format_g_exactly(value, out);
    }
    uint32_t m = static_cast<uint32_t>(whole) + (fraction > 0.5 ? 1u : 0u);
    if (m == 1000000u) {
        m = 100000u;
        ++e;
    }
    char digits[6];
    for (int i = 5; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + m % 10u);
        m /= 10u;
    }
    int significant = 6;
    while (significant > 1 && digits[significant - 1] == '0') {
        --significant;
    }
    char* p = out;
    if (value < 0) {
        *p++ = '-';
    }
    if (e >= -4 && e < 6) {
        if (e >= 0) {
            for (int i = 0; i <= e; ++i) {
                *p++ = digits[i];
            }
            if (significant > e + 1) {
                *p++ = '.';
                for (int i = e + 1; i < significant; ++i) {
                    *p++ = digits[i];
                }
            }
        } else {
            *p++ = '0';
            *p++ = '.';
            for (int i = -1; i > e; --i) {
                *p++ = '0';
            }
            for (int i = 0; i < significant; ++i) {
                *p++ = digits[i];
            }
        }
    } else {
        *p++ = digits[0];
        if (significant > 1) {
            *p++ = '.';
            for (int i = 1; i < significant; ++i) {
                *p++ = digits[i];
            }
        }
        *p++ = 'e';
        *p++ = e < 0 ? '-' : '+';
        const int x = e < 0 ? -e : e;
        if (x >= 10) {
            *p++ = static_cast<char>('0' + x / 10);
        } else {
            *p++ = '0';
        }
        *p++ = static_cast<char>('0' + x % 10);
    }
    return static_cast<size_t>(p - out);
}

}  // namespace spectrum

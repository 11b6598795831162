#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/spectrum/NumberText.h"
#include "tools/spectrum/RealFft.h"
#include "tools/spectrum/Spectrum.h"
#include "tools/spectrum/SpectrumState.h"

namespace spectrum {

namespace {

// Collects output lines and hands them to the stream in large blocks: half a million lines of
// a long transform would otherwise spend most of their time in stdio's per-call locking.
class LineWriter {
public:
    explicit LineWriter(FILE* out) : out_(out) {}
    ~LineWriter() { flush(); }

    void number(double value) {
        room();
        len_ += format_g(value, buf_ + len_);
    }
    void put(char c) {
        room();
        buf_[len_++] = c;
    }
    bool failed() const { return failed_; }

private:
    void room() {
        if (len_ + kMaxG + 1 > sizeof buf_) {
            flush();
        }
    }
    void flush() {
        if (len_ > 0 && !failed_) {
            std::fwrite(buf_, 1, len_, out_);
            failed_ = output_failed();
        }
        len_ = 0;
    }

    FILE* out_;
    bool failed_ = false;
    size_t len_ = 0;
    char buf_[1 << 16];
};

}  // namespace

bool output_failed() {
    if (run.out_errno == 0 && std::ferror(run.std_out) != 0) {
        run.out_errno = errno != 0 ? errno : EIO;
    }
    return run.out_errno != 0;
}

void output_spectrum() {
    float* const s = run.samples;
    const int32_t n = run.fft_len;
    s[n] = s[1];
    s[n + 1] = 0.0f;
    s[1] = 0.0f;

    const int64_t group = run.smooth_len;
    const int64_t hop = run.smooth_hop;
    const double divisor = static_cast<double>(group / hop);
    const double norm2 = run.norm * run.norm;
    LineWriter out(run.std_out);
    for (int64_t p = 0; p <= n && !out.failed(); p += 2 * hop) {
        if (run.freq_given) {
            out.number(static_cast<double>(p) * run.bin_step);
            out.put('\t');
        }
        if (run.complex_out) {
            out.number(s[p]);
            out.put('\t');
            out.number(s[p + 1]);
            out.put('\n');
            continue;
        }
        double v = 0.0;
        for (int64_t k = 0; k < group; ++k) {
            const double re = s[p + 2 * k];
            const double im = s[p + 2 * k + 1];
            v += (re * re + im * im) * norm2;
        }
        v /= divisor;
        if (!run.power_out) {
            v = std::sqrt(v);
        }
        out.number(v);
        if (run.show_phase) {
            out.put('\t');
            out.number(std::atan2(static_cast<double>(s[p + 1]), static_cast<double>(s[p])));
        }
        out.put('\n');
    }
}

void inverse_fft_output() {
    float* const s = run.samples;
    const int32_t n = run.count - 2;
    run.count = n;
    run.fft_len = n;

    if (run.inverse == -1) {
        // Bins 0 and n/2 are real, so their phase is 0 or pi: it carries their sign, which the
        // magnitude alone has lost.
        const double dc = s[0] * std::cos(static_cast<double>(s[1]));
        const double nyquist = s[n] * std::cos(static_cast<double>(s[n + 1]));
        s[0] = static_cast<float>(dc);
        s[1] = static_cast<float>(nyquist);
        for (int32_t k = 2; k < n; k += 2) {
            const double m = s[k];
            const double f = s[k + 1];
            s[k] = static_cast<float>(m * std::cos(f));
            s[k + 1] = static_cast<float>(m * std::sin(f));
        }
    } else {
        // The real part of X[n/2] goes to its packed place; the imaginary part of X[0] is dropped.
        s[1] = s[n];
    }
    real_fft(s, n / 2, -1);

    LineWriter out(run.std_out);
    const double half = 0.5 * n;
    for (int32_t j = 0; j < n && !out.failed(); ++j) {
        const double value = run.inverse == -1 ? s[j] * 1.4142135623730951 : s[j] / half;
        out.number(value);
        out.put('\n');
    }
}

}  // namespace spectrum

#include "engine/ChannelConverter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "engine/MasterVolume.h"

namespace {

int16_t ReadS16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

float ReadF32(const uint8_t* p) {
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

double Blend(double y1, double y2, double m) {
    return (1.0 - m) * y1 + m * y2;
}

// One output frame's (left, right) pair, worked on as one.
using Pair = double __attribute__((vector_size(16)));
using PairBits = int64_t __attribute__((vector_size(16)));

Pair Magnitude(Pair v) {
    constexpr int64_t kNoSign = 0x7fffffffffffffff;
    return reinterpret_cast<Pair>(reinterpret_cast<PairBits>(v) & PairBits{kNoSign, kNoSign});
}

// Input layouts the float mixer knows. Frames gives frames i and i + 1 of the window as (left,
// right) pairs, before scaling (mono on both sides); kChannels 0 is a format that mixes nothing
// but still consumes input.
struct U8Mono {
    static constexpr int kChannels = 1;
    static constexpr double kScale = 1.0 / 127.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        const double x = w[i] - 128.0;
        const double y = w[i + 1] - 128.0;
        a = Pair{x, x};
        b = Pair{y, y};
    }
};
struct U8Stereo {
    static constexpr int kChannels = 2;
    static constexpr double kScale = 1.0 / 127.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        const uint8_t* p = w + 2 * i;
        a = Pair{p[0] - 128.0, p[1] - 128.0};
        b = Pair{p[2] - 128.0, p[3] - 128.0};
    }
};
struct S16Mono {
    static constexpr int kChannels = 1;
    static constexpr double kScale = 1.0 / 32767.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        int16_t s[2];
        std::memcpy(s, w + 2 * i, sizeof s);
        a = Pair{static_cast<double>(s[0]), static_cast<double>(s[0])};
        b = Pair{static_cast<double>(s[1]), static_cast<double>(s[1])};
    }
};
struct S16Stereo {
    static constexpr int kChannels = 2;
    static constexpr double kScale = 1.0 / 32767.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        using Four = int16_t __attribute__((vector_size(8)));
        using FourWide = int32_t __attribute__((vector_size(16)));
        Four s;
        std::memcpy(&s, w + 4 * i, sizeof s);
        const FourWide x = __builtin_convertvector(s, FourWide);
        a = __builtin_convertvector(__builtin_shufflevector(x, x, 0, 1), Pair);
        b = __builtin_convertvector(__builtin_shufflevector(x, x, 2, 3), Pair);
    }
};
struct F32Mono {
    static constexpr int kChannels = 1;
    static constexpr double kScale = 1.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        float s[2];
        std::memcpy(s, w + 4 * i, sizeof s);
        a = Pair{static_cast<double>(s[0]), static_cast<double>(s[0])};
        b = Pair{static_cast<double>(s[1]), static_cast<double>(s[1])};
    }
};
struct F32Stereo {
    static constexpr int kChannels = 2;
    static constexpr double kScale = 1.0;
    static void Frames(const uint8_t* w, int32_t i, Pair& a, Pair& b) {
        float s[4];
        std::memcpy(s, w + 8 * i, sizeof s);
        a = Pair{static_cast<double>(s[0]), static_cast<double>(s[1])};
        b = Pair{static_cast<double>(s[2]), static_cast<double>(s[3])};
    }
};
struct Unsupported {
    static constexpr int kChannels = 0;
    static constexpr double kScale = 0.0;
};

}  // namespace

ChannelConverter::ChannelConverter(int32_t outChannelCount, int32_t outBitCount, int32_t outSampleRate)
    : outChannels(outChannelCount), outBits(outBitCount), outRate(outSampleRate) {
    const int32_t bytes = (outBits / 8) * outChannels * 128;
    if (bytes > 0) {
        window = new (std::nothrow) uint8_t[bytes]();
    }
    // Without a window the converter stays silent rather than failing later.
    windowBytes = window != nullptr ? bytes : 0;
}

ChannelConverter::~ChannelConverter() {
    delete[] window;
}

void ChannelConverter::SetInputFormat(int32_t channels, int32_t bits, int32_t sampleRate) {
    const bool sameFormat = channels == inChannels && bits == inBits;
    inChannels = channels;
    inBits = bits;
    inRate = sampleRate;
    if (!sameFormat && window != nullptr) {
        SilenceInput(window, windowBytes);
        keptBytes = 0;
        inFrames = 0;
        readPos = 0.0;
    }
}

void ChannelConverter::SilenceInput(uint8_t* from, int32_t bytes) const {
    if (bytes > 0) {
        // Unsigned 8-bit is centred on 128; zero bytes are silence in the other formats.
        std::memset(from, inBits == 8 ? 0x80 : 0, static_cast<size_t>(bytes));
    }
}

void ChannelConverter::BeginOutput(float* block, int32_t bytes) {
    outBuffer = block;
    const int32_t frameBytes = (outBits / 8) * outChannels;
    outFrames = frameBytes > 0 && bytes > 0 ? bytes / frameBytes : 0;
    outputFull = 0;
    outPos = 0;
    peakLeft = 0.0;
    peakRight = 0.0;
}

void ChannelConverter::FeedInput(int32_t bytesDelivered) {
    const int32_t frameBytes = InputFrameBytes();
    if (frameBytes <= 0) {
        inFrames = 0;
        return;
    }
    // A source that claims more than the free part, or less than nothing, is held to the window.
    const int32_t room = windowBytes - keptBytes;
    if (bytesDelivered < 0) {
        bytesDelivered = 0;
    } else if (bytesDelivered > room) {
        bytesDelivered = room;
    }
    inFrames = (bytesDelivered + keptBytes) / frameBytes;
    if (step < 0.0) {
        readPos = inFrames - 2;
    } else if (readPos > inFrames) {
        // Only after backward play against an exhausted source: the window behind the read
        // position is gone, so forward play starts again at its beginning instead of asking
        // for input forever.
        readPos = 0.0;
    }
}

bool ChannelConverter::UsableFormat() const {
    const int32_t frameBytes = InputFrameBytes();
    return windowBytes > 0 && frameBytes > 0 && frameBytes * 2 <= windowBytes;
}

int32_t ChannelConverter::Process() {
    if (!UsableFormat()) {
        // Nothing can be read in this format: the block ends silent instead of asking for input.
        return outputFull != 0 ? 0 : FinishBlock();
    }
    if (readPos > inFrames) {
        return 1;
    }
    if (outputFull != 0) {
        return 0;
    }
    return MixToFloat();
}

double ChannelConverter::StepNow() const {
    const double base = inRate / outRate;
    const double s = playing == 1 ? base * (rateFactor.load() + rateAdjuster.load())
                                  : base * rateAdjuster.load();
    // A rate that is not a number or infinite would make the read position meaningless.
    return std::isfinite(s) ? s : 0.0;
}

int32_t ChannelConverter::MixToFloat() {
    step = StepNow();
    if (step > 0.0 && readPos < 0.0) {
        // Left below the window by backward play; forward play resumes at the window start.
        readPos = 0.0;
    }
    if (outPos >= outFrames || readPos < 0.0 || !UsableFormat()) {
        return FinishBlock();
    }
    if (inChannels == 1) {
        switch (inBits) {
        case 8: return MixFloatFrames<U8Mono>();
        case 16: return MixFloatFrames<S16Mono>();
        case 32: return MixFloatFrames<F32Mono>();
        default: break;
        }
    } else if (inChannels == 2) {
        switch (inBits) {
        case 8: return MixFloatFrames<U8Stereo>();
        case 16: return MixFloatFrames<S16Stereo>();
        case 32: return MixFloatFrames<F32Stereo>();
        default: break;
        }
    }
    return MixFloatFrames<Unsupported>();
}

int32_t ChannelConverter::KeepLastFrame(double pos) {
    const int32_t frameBytes = InputFrameBytes();
    std::memmove(window, window + windowBytes - frameBytes, static_cast<size_t>(frameBytes));
    keptBytes = frameBytes;
    readPos = pos - std::trunc(pos);
    return 1;
}

template <typename Format>
int32_t ChannelConverter::MixFloatFrames() {
    // Frames go in chunks of three passes: walk the read position (the only chain from frame
    // to frame), then the interpolation weights, then the samples. Each pass's frames are
    // independent of one another, so the processor overlaps them; done frame by frame, the
    // weight's latency would set the cost of every frame.
    constexpr int32_t kChunk = 64;
    int32_t index[kChunk];
    double weight[kChunk];

    // One load per pass of the fields the control thread may change. Each side's scale is
    // volume x pan gain x the format's full-scale factor.
    const double vol = volume;
    const Pair gain = Pair{static_cast<double>(gainLeft) * vol, vol * gainRight} * Format::kScale;
    const int32_t windowFrames = windowBytes / InputFrameBytes();
    const int32_t period = decayPeriod;
    const double frames = inFrames;
    const uint8_t* const w = window;

    double pos = readPos;
    double st = step;
    int32_t counter = decayCounter;
    int32_t written = outPos;
    float* out = outBuffer + 2 * static_cast<std::ptrdiff_t>(outPos);
    Pair peak = Pair{peakLeft, peakRight};

    enum class End { None, Block, WindowForward, WindowBackward };
    End end = End::None;
    while (end == End::None) {
        // Walk the read position over up to one chunk. The adjuster decays before the frame
        // that finds the counter at the period; between decays the step is fixed, so each run
        // tests only the window end its direction can reach. (A forward or still position never
        // goes below 0, and a backward one ends its window at 1.0 before it could.)
        const int32_t limit = std::min(kChunk, outFrames - written);
        int32_t count = 0;
        while (count < limit && end == End::None) {
            if (counter == period) {
                // The frame that decays does not count: -1 here is 0 once it has been walked.
                counter = -1;
                rateAdjuster = rateAdjuster.load() * 0.9;
                step = StepNow();
                st = step;
            }
            const int32_t run = std::min(limit - count, period - counter);
            int32_t k = count;
            if (st > 0.0) {
                while (k < count + run) {
                    const int32_t i = static_cast<int32_t>(pos);
                    index[k] = i;
                    weight[k] = pos - i;
                    ++k;
                    pos += st;
                    if (pos + 1.0 >= frames) {
                        end = End::WindowForward;
                        break;
                    }
                }
            } else if (st < 0.0) {
                while (k < count + run) {
                    const int32_t i = static_cast<int32_t>(pos);
                    index[k] = i;
                    weight[k] = pos - i;
                    ++k;
                    pos += st;
                    if (pos < 1.0) {
                        end = End::WindowBackward;
                        break;
                    }
                }
            } else {
                const int32_t i = static_cast<int32_t>(pos);
                for (; k < count + run; ++k) {
                    index[k] = i;
                    weight[k] = pos - i;
                }
            }
            counter += k - count;
            count = k;
        }
        if (end == End::None && written + count >= outFrames) {
            end = End::Block;
        }
        for (int32_t k = 0; k < count; ++k) {
            weight[k] = CosineWeight(weight[k]);
        }
        // Frames i and i + 1 lie inside the window by construction; the test keeps a broken
        // invariant from ever reading outside it.
        if constexpr (Format::kChannels != 0) {
            for (int32_t k = 0; k < count; ++k) {
                const int32_t i = index[k];
                if (i + 1 < windowFrames) {
                    Pair a;
                    Pair b;
                    Format::Frames(w, i, a, b);
                    // a + m (b - a): the input sample itself at weight 0.
                    const Pair v = (a + weight[k] * (b - a)) * gain;
                    float* o = out + 2 * k;
                    const Pair sum = Pair{o[0], o[1]} + v;
                    o[0] = static_cast<float>(sum[0]);
                    o[1] = static_cast<float>(sum[1]);
                    const Pair magnitude = Magnitude(v);
                    peak = peak < magnitude ? magnitude : peak;
                }
            }
        }
        out += 2 * count;
        written += count;
    }

    decayCounter = counter;
    outPos = written;
    peakLeft = peak[0];
    peakRight = peak[1];
    switch (end) {
    case End::WindowForward:
        // Only now: the chunk above still read the window's last frames.
        return KeepLastFrame(pos);
    case End::WindowBackward:
        readPos = pos;
        return 1;
    default:
        readPos = pos;
        return FinishBlock();
    }
}

int32_t ChannelConverter::FinishBlock() {
    const double master = MasterVolume.load(std::memory_order_relaxed);
    auto settle = [master](double& peak, Relaxed<double>& level) {
        peak *= master;
        if (peak > 1.0) {
            peak = 1.0;
        }
        const double current = level;
        level = peak > current ? peak : current + (peak - current) * 0.25;
    };
    settle(peakLeft, levelLeft);
    settle(peakRight, levelRight);
    outputFull = 1;
    return 0;
}

int32_t ChannelConverter::MixToInt16() {
    double st = (inRate / outRate) * rateFactor.load();
    // Forwards only: a negative (or meaningless) rate holds the position.
    if (!(st >= 0.0) || !std::isfinite(st)) {
        st = 0.0;
    }
    step = st;
    if (!UsableFormat() || outPos >= outFrames) {
        outputFull = 1;
        return 0;
    }
    if (readPos < 0.0) {
        readPos = 0.0;
    }
    const double vol = volume;
    const double gl = gainLeft;
    const double gr = gainRight;
    const int32_t frameBytes = InputFrameBytes();
    const int32_t windowFrames = windowBytes / frameBytes;
    auto* out = reinterpret_cast<int16_t*>(outBuffer) + 2 * static_cast<std::ptrdiff_t>(outPos);
    auto add = [](int16_t* sample, double value) {
        double sum = std::trunc(*sample + value);
        if (sum > 32767.0) {
            sum = 32767.0;
        } else if (sum < -32768.0) {
            sum = -32768.0;
        }
        *sample = static_cast<int16_t>(sum);
    };
    // One side of frames i and i + 1, scaled to the 16-bit range.
    auto sample = [this](int32_t i, double mu, int32_t side) -> double {
        const int32_t bytes = inBits / 8;
        const uint8_t* a = window + (static_cast<std::ptrdiff_t>(i) * inChannels + side) * bytes;
        const uint8_t* b = a + static_cast<std::ptrdiff_t>(inChannels) * bytes;
        switch (inBits) {
        case 8:
            return CosineInterpolate(static_cast<int8_t>(*a), static_cast<int8_t>(*b), mu) * 255.0;
        case 16: return CosineInterpolate(ReadS16(a), ReadS16(b), mu);
        case 32: return CosineInterpolate(ReadF32(a), ReadF32(b), mu) * 32767.0;
        default: return 0.0;
        }
    };
    const bool known = (inChannels == 1 || inChannels == 2) &&
                       (inBits == 8 || inBits == 16 || inBits == 32);
    for (;;) {
        const int32_t i = static_cast<int32_t>(readPos);
        const double f = readPos - i;
        if (known && i + 1 < windowFrames) {
            const double l = sample(i, f, 0);
            const double r = inChannels == 2 ? sample(i, f, 1) : l;
            add(out, l * vol * gl);
            add(out + 1, r * vol * gr);
        }
        out += 2;
        ++outPos;
        readPos += st;
        if (st > 0.0 && readPos + 1.0 >= inFrames) {
            return KeepLastFrame(readPos);
        }
        if (outPos >= outFrames) {
            outputFull = 1;
            return 0;
        }
    }
}

void ChannelConverter::SetPan(double pan) {
    if (pan < 0.0) {
        gainLeft = 1.0;
        gainRight = 1.0 - std::fabs(pan);
    } else if (pan > 0.0) {
        gainLeft = 1.0 - pan;
        gainRight = 1.0;
    } else {
        // Zero, or not a number.
        gainLeft = 1.0;
        gainRight = 1.0;
    }
}

double ChannelConverter::CosineWeight(double f) {
    // sin(y), y = pi f / 2 in [0, pi / 2), to the y^17 term: the first dropped term is below
    // 5e-14 there. The series in z = y^2 is summed in pairs (Estrin's scheme) rather than by
    // Horner's rule: the mixer's cost per frame is this chain's latency, and pairs halve it.
    constexpr double kHalfPi = 1.57079632679489661923;
    const double y = f * kHalfPi;
    const double z = y * y;
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double p01 = 1.0 + (-1.0 / 6.0) * z;
    const double p23 = 1.0 / 120.0 + (-1.0 / 5040.0) * z;
    const double p45 = 1.0 / 362880.0 + (-1.0 / 39916800.0) * z;
    const double p67 = 1.0 / 6227020800.0 + (-1.0 / 1307674368000.0) * z;
    const double q03 = p01 + p23 * z2;
    const double q48 = p45 + p67 * z2 + (1.0 / 355687428096000.0) * z4;
    const double s = y * (q03 + q48 * z4);
    return s * s;
}

double ChannelConverter::CosineInterpolate(double y1, double y2, double mu) {
    return Blend(y1, y2, CosineWeight(mu - std::trunc(mu)));
}

double ChannelConverter::CosineInterpolateU8(double y1, double y2, double mu) {
    return Blend(y1 - 128.0, y2 - 128.0, CosineWeight(mu));
}

#include "engine/ChannelConverter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
// GCC 12 reads its own AVX-512 helpers' deliberately undefined values as used uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <new>
#include <type_traits>

#include "engine/MasterVolume.h"

#if defined(__clang__)
// No fused multiply-add anywhere in the mix, whichever compiler: it would change the roundings.
#pragma clang fp contract(off)
#endif

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

// The blend weight (1 - cos(pi f)) / 2 = sin^2(pi f / 2) for f in [0, 1), with sin(y) as y times
// a degree-4 polynomial in y^2 fitted at Chebyshev nodes: within 1.4e-8 of the exact weight
// (a mixed sample within 3e-8 of full scale), exactly 0 at f = 0. The library-accurate form
// stays in CosineWeight; the mixer only needs float output accuracy.
inline double MixWeight(double f) {
    constexpr double kHalfPi = 1.57079632679489661923;
    const double y = f * kHalfPi;
    const double z = y * y;
    const double p =
        0.9999999956988092 +
        z * (-0.1666665794784606 +
             z * (0.008333050170672795 + z * (-0.00019809017408744034 + z * 2.605107635464378e-06)));
    const double s = y * p;
    return s * s;
}

// Forward read positions four frames at a time, equal to adding the step frame by frame. While
// a position p stays inside one binade [2^e, top) of doubles, which are all multiples of
// u = 2^(e-52), p + step rounds to p + round(step / u) u: so the next positions are p plus
// exact multiples of that rounded step, each free of the one before. Valid while the exact sum
// cannot reach top (position <= limit) and the rounding is no tie.
struct ForwardStride {
    double step = 0.0;    // the step these were made for
    double top = -1.0;    // remake once the position reaches it
    double limit = 0.0;
    double one = 0.0;
    double two = 0.0;
    double three = 0.0;
    double four = 0.0;
    bool usable = false;

    ForwardStride() = default;
    ForwardStride(double pos, double st) : step(st) {
        // Low binades hold a few frames each: not worth making a stride for.
        constexpr double kLowest = 16.0;
        if (!(pos >= kLowest) || !(pos < 0x1p52)) {
            top = pos < kLowest ? kLowest : HUGE_VAL;
            return;
        }
        uint64_t bits;
        std::memcpy(&bits, &pos, sizeof bits);
        const uint64_t exponent = (bits >> 52) + 1;   // no sign bit, a normal number
        const uint64_t topBits = exponent << 52;
        const uint64_t ulpBits = (exponent - 53) << 52;
        const uint64_t inverseBits = (2046 - (exponent - 53)) << 52;
        double ulp;
        double inverse;
        std::memcpy(&top, &topBits, sizeof top);
        std::memcpy(&ulp, &ulpBits, sizeof ulp);
        std::memcpy(&inverse, &inverseBits, sizeof inverse);
        const double q = st * inverse;   // exact: st / ulp, a power of two apart
        if (!(q < 0x1p51)) {
            return;
        }
        // Rounded to the nearest integer by the addition; the difference is exact.
        const double nearest = (q + 0x1p52) - 0x1p52;
        if (std::fabs(q - nearest) == 0.5) {
            return;   // a tie rounds by the parity of each position
        }
        one = nearest * ulp;
        two = one + one;
        three = two + one;
        four = two + two;
        limit = top - ulp;
        usable = one > 0.0 && three - two == one;   // three steps exact too
    }
};

// A chunk's read positions, already walked, as window frames and blend weights.
inline __attribute__((always_inline)) void WeighFrames(const double* position, int32_t* index,
                                                      double* weight, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = static_cast<int32_t>(position[k]);
        index[k] = i;
        weight[k] = MixWeight(position[k] - i);
    }
}

// Blends frames i and i + 1 of one output frame, scales the pair and adds it into the block.
template <typename Format>
inline __attribute__((always_inline)) Pair AddFrame(const uint8_t* w, int32_t i, double m, Pair gain,
                                                    float* o, Pair peak) {
    Pair a;
    Pair b;
    Format::Frames(w, i, a, b);
    // a + m (b - a): the input sample itself at weight 0.
    const Pair v = (a + m * (b - a)) * gain;
    const Pair sum = Pair{o[0], o[1]} + v;
    o[0] = static_cast<float>(sum[0]);
    o[1] = static_cast<float>(sum[1]);
    const Pair magnitude = Magnitude(v);
    return peak < magnitude ? magnitude : peak;
}

// One chunk of walked positions mixed into the block. Every index + 1 lies inside the window.
// Answers the running peak.
template <typename Format>
Pair MixChunk(const uint8_t* w, const double* position, int32_t* index, double* weight, int32_t count,
              Pair gain, float* out, Pair peak) {
    WeighFrames(position, index, weight, count);
    for (int32_t k = 0; k < count; ++k) {
        peak = AddFrame<Format>(w, index[k], weight[k], gain, out + 2 * k, peak);
    }
    return peak;
}

// The same for processors with AVX2, two output frames to an instruction: the same operations
// in the same order on every value (no fused multiply-add), so the output is identical to the
// plain form's. Nothing here may call a function built without AVX: the upper halves of the
// vector registers are only cleared on return, and plain SSE code run before that is slowed
// many times over, in this process and in whatever runs next on the thread.
template <typename Format>
__attribute__((target("avx2"))) Pair MixChunkAvx2(const uint8_t* w, const double* position,
                                                  int32_t* index, double* weight, int32_t count,
                                                  Pair gain, float* out, Pair peak) {
    using Quad = double __attribute__((vector_size(32)));
    using QuadBits = int64_t __attribute__((vector_size(32)));
    using FourFloats = float __attribute__((vector_size(16)));
    constexpr int64_t kNoSign = 0x7fffffffffffffff;
    WeighFrames(position, index, weight, count);
    const Quad gain2 = __builtin_shufflevector(gain, gain, 0, 1, 0, 1);
    Quad peak2 = __builtin_shufflevector(peak, peak, 0, 1, 0, 1);
    int32_t k = 0;
    for (; k + 1 < count; k += 2) {
        Pair a0;
        Pair b0;
        Pair a1;
        Pair b1;
        Format::Frames(w, index[k], a0, b0);
        Format::Frames(w, index[k + 1], a1, b1);
        const Quad a = __builtin_shufflevector(a0, a1, 0, 1, 2, 3);
        const Quad b = __builtin_shufflevector(b0, b1, 0, 1, 2, 3);
        const Quad m = Quad{weight[k], weight[k], weight[k + 1], weight[k + 1]};
        const Quad v = (a + m * (b - a)) * gain2;
        float* o = out + 2 * k;
        FourFloats before;
        std::memcpy(&before, o, sizeof before);
        const Quad sum = __builtin_convertvector(before, Quad) + v;
        const FourFloats after = __builtin_convertvector(sum, FourFloats);
        std::memcpy(o, &after, sizeof after);
        const Quad magnitude = reinterpret_cast<Quad>(reinterpret_cast<QuadBits>(v) &
                                                      QuadBits{kNoSign, kNoSign, kNoSign, kNoSign});
        peak2 = peak2 < magnitude ? magnitude : peak2;
    }
    const Pair low = __builtin_shufflevector(peak2, peak2, 0, 1);
    const Pair high = __builtin_shufflevector(peak2, peak2, 2, 3);
    peak = low < high ? high : low;
    if (k < count) {
        peak = AddFrame<Format>(w, index[k], weight[k], gain, out + 2 * k, peak);
    }
    return peak;
}

// 16-bit stereo, the common case, written out: each frame pair's four samples widen in one
// instruction and a pair of output frames is one vector. Blends weighed frames; inlined into an
// AVX2 and an AVX-512 build below.
__attribute__((target("avx2"), always_inline)) inline Pair MixS16StereoFrames(
    const uint8_t* w, const int32_t* index, const double* weight, int32_t count, Pair gain, float* out,
    Pair peak) {
    const __m256d gain2 = _mm256_setr_pd(gain[0], gain[1], gain[0], gain[1]);
    const __m256d noSign = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
    __m256d peak2 = _mm256_setr_pd(peak[0], peak[1], peak[0], peak[1]);
    int32_t k = 0;
#pragma GCC unroll 2
    for (; k + 1 < count; k += 2) {
        // Frames i, i + 1 of this output frame as (a left, a right, b left, b right), then the
        // same of the next output frame; regrouped as the two a frames and the two b frames.
        const uint8_t* const at = w + 4 * static_cast<std::ptrdiff_t>(index[k]);
        const uint8_t* const next = w + 4 * static_cast<std::ptrdiff_t>(index[k + 1]);
        const __m256d first =
            _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))));
        const __m256d second =
            _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(next))));
        const __m256d a = _mm256_permute2f128_pd(first, second, 0x20);
        const __m256d b = _mm256_permute2f128_pd(first, second, 0x31);
        const __m256d m = _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(weight + k)), 0x50);
        const __m256d v = _mm256_mul_pd(_mm256_add_pd(a, _mm256_mul_pd(m, _mm256_sub_pd(b, a))), gain2);
        float* o = out + 2 * k;
        const __m256d sum = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(o)), v);
        _mm_storeu_ps(o, _mm256_cvtpd_ps(sum));
        // The larger of the two; a value that is not a number leaves the peak as it was.
        peak2 = _mm256_max_pd(_mm256_and_pd(v, noSign), peak2);
    }
    alignas(32) double peaks[4];
    _mm256_store_pd(peaks, peak2);
    const Pair low = Pair{peaks[0], peaks[1]};
    const Pair high = Pair{peaks[2], peaks[3]};
    peak = low < high ? high : low;
    if (k < count) {
        peak = AddFrame<S16Stereo>(w, index[k], weight[k], gain, out + 2 * k, peak);
    }
    return peak;
}

template <>
__attribute__((target("avx2"))) Pair MixChunkAvx2<S16Stereo>(const uint8_t* w, const double* position,
                                                             int32_t* index, double* weight,
                                                             int32_t count, Pair gain, float* out,
                                                             Pair peak) {
    WeighFrames(position, index, weight, count);
    return MixS16StereoFrames(w, index, weight, count, gain, out, peak);
}

// The same built for AVX-512: the weight pass runs eight frames to an instruction and the blend
// four output frames. The compiler takes AVX-512 to include fused multiply-add and would fuse
// the weight series and the blend, which changes their roundings; contraction is turned off so
// that the output stays the other builds'. (Clang, which builds the fuzz targets, knows neither
// spelling; contraction is off for the whole file there, above.)
#if defined(__clang__)
#define SONVEX_TARGET_AVX512 __attribute__((target("avx2,avx512f")))
#else
#define SONVEX_TARGET_AVX512 \
    __attribute__((target("avx2,avx512f,prefer-vector-width=512"), optimize("fp-contract=off")))
#endif
SONVEX_TARGET_AVX512 Pair
MixChunkAvx512S16(const uint8_t* w, const double* position, int32_t* index, double* weight,
                  int32_t count, Pair gain, float* out, Pair peak) {
    WeighFrames(position, index, weight, count);
    const __m512d gain4 =
        _mm512_setr_pd(gain[0], gain[1], gain[0], gain[1], gain[0], gain[1], gain[0], gain[1]);
    const __m512i noSign = _mm512_set1_epi64(0x7fffffffffffffff);
    // The samples of four output frames, (a left, a right, b left, b right) each, regrouped as
    // the four a frames, then the four b frames; each weight twice, once per side.
    const __m512i regroup = _mm512_setr_epi32(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    const __m512i twice = _mm512_setr_epi64(0, 0, 1, 1, 2, 2, 3, 3);
    __m512d peak4 = _mm512_setzero_pd();
    int32_t k = 0;
    for (; k + 3 < count; k += 4) {
        auto load = [w, index](int32_t j) {
            const uint8_t* const at = w + 4 * static_cast<std::ptrdiff_t>(index[j]);
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
        };
        const __m256i samples = _mm256_set_m128i(_mm_unpacklo_epi64(load(k + 2), load(k + 3)),
                                                 _mm_unpacklo_epi64(load(k), load(k + 1)));
        const __m512i grouped = _mm512_permutexvar_epi32(regroup, _mm512_cvtepi16_epi32(samples));
        const __m512d a = _mm512_cvtepi32_pd(_mm512_castsi512_si256(grouped));
        const __m512d b = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(grouped, 1));
        const __m512d m =
            _mm512_permutexvar_pd(twice, _mm512_castpd256_pd512(_mm256_loadu_pd(weight + k)));
        const __m512d v = _mm512_mul_pd(_mm512_add_pd(a, _mm512_mul_pd(m, _mm512_sub_pd(b, a))), gain4);
        float* o = out + 2 * k;
        const __m512d sum = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(o)), v);
        _mm256_storeu_ps(o, _mm512_cvtpd_ps(sum));
        const __m512d magnitude =
            _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(v), noSign));
        peak4 = _mm512_max_pd(magnitude, peak4);
    }
    // Magnitudes are never below 0, so the order in which they meet does not matter.
    alignas(64) double peaks[8];
    _mm512_store_pd(peaks, peak4);
    for (int32_t j = 0; j < 8; j += 2) {
        const Pair p = Pair{peaks[j], peaks[j + 1]};
        peak = peak < p ? p : peak;
    }
    return MixS16StereoFrames(w, index + k, weight + k, count - k, gain, out + 2 * k, peak);
}

bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return has;
}

// One chunk with the widest build the processor runs.
template <typename Format>
Pair MixChunkBest(bool avx512, bool avx2, const uint8_t* w, const double* position, int32_t* index,
                  double* weight, int32_t count, Pair gain, float* out, Pair peak) {
    if constexpr (std::is_same_v<Format, S16Stereo>) {
        if (avx512) {
            return MixChunkAvx512S16(w, position, index, weight, count, gain, out, peak);
        }
    }
    return avx2 ? MixChunkAvx2<Format>(w, position, index, weight, count, gain, out, peak)
                : MixChunk<Format>(w, position, index, weight, count, gain, out, peak);
}

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
    inputEnd = kInputOpen;
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

void ChannelConverter::EndInput() {
    inputEnd = kInputEnded;
}

bool ChannelConverter::UsableFormat() const {
    const int32_t frameBytes = InputFrameBytes();
    return windowBytes > 0 && frameBytes > 0 && frameBytes <= windowBytes / 2;
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
    if (readPos < 0.0 && inputEnd == kInputEnded) {
        // Backward play whose last fill brought fewer than two frames is already below them:
        // nothing of the source is left to play, and no window will ever end to say so.
        inputEnd = kInputDrained;
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
    if (inputEnd == kInputEnded && pos < inFrames) {
        // The source's last frame, at the read position, has not been played at its own place
        // yet (after a short fill the window's last slot is silence, not that frame): it goes
        // on as frame 0 with silence after it.
        const int32_t last = static_cast<int32_t>(pos);
        std::memmove(window, window + static_cast<std::ptrdiff_t>(last) * frameBytes,
                     static_cast<size_t>(frameBytes));
        keptBytes = frameBytes;
        readPos = pos - last;
        return 1;
    }
    std::memmove(window, window + windowBytes - frameBytes, static_cast<size_t>(frameBytes));
    keptBytes = frameBytes;
    readPos = pos - std::trunc(pos);
    if (inputEnd == kInputEnded) {
        // Past the last frame: a full window's last slot was already played, and must not be
        // played again in the silence that follows.
        inputEnd = kInputDrained;
        SilenceInput(window, frameBytes);
    }
    return 1;
}

template <typename Format>
int32_t ChannelConverter::MixFloatFrames() {
    // Frames go in chunks. Walking the read position is the only chain from frame to frame, so
    // it runs alone, one add and one compare per frame; the positions then become weights and
    // the samples are blended, frames independent of one another. The next chunk is walked
    // before the current one is blended: the two do not depend on each other, so the processor
    // blends one while the other's chain of adds is still running. A chunk holds a whole window
    // of 16-bit stereo at the common rates, so a window's walk is seldom cut in pieces.
    constexpr int32_t kChunk = 256;
    double positions[2][kChunk];
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
    const bool avx2 = HasAvx2();
    const bool avx512 = HasAvx512();

    double pos = readPos;
    double st = step;
    int32_t counter = decayCounter;
    int32_t toWalk = outFrames - outPos;
    float* out = outBuffer + 2 * static_cast<std::ptrdiff_t>(outPos);
    Pair peak = Pair{peakLeft, peakRight};

    ForwardStride stride;

    enum class End { None, Block, WindowForward, WindowBackward };
    End end = End::None;
    // Walks up to one chunk from pos into `position` and answers the frames walked. The
    // adjuster decays before the frame that finds the counter at the period; between decays the
    // step is fixed, so each run tests only the window end its direction can reach. (A forward
    // or still position never goes below 0, and a backward one ends its window at 1.0 before it
    // could.)
    auto walk = [&](double* position) {
        // Worked on in locals: the stores into `position` could otherwise be taken for changes
        // to them, and every position would wait for a reload.
        double p = pos;
        double dp = st;
        int32_t counted = counter;
        End ends = end;
        ForwardStride strided = stride;
        const double last = frames;
        const int32_t limit = std::min(kChunk, toWalk);
        int32_t count = 0;
        while (count < limit && ends == End::None) {
            if (counted == period) {
                // The frame that decays does not count: -1 here is 0 once it has been walked.
                counted = -1;
                rateAdjuster = rateAdjuster.load() * 0.9;
                step = StepNow();
                dp = step;
            }
            const int32_t stop = count + std::min(limit - count, period - counted);
            int32_t k = count;
            if (dp > 0.0) {
                while (k < stop) {
                    if (p >= strided.top || dp != strided.step) {
                        strided = ForwardStride(p, dp);
                    }
                    if (strided.usable) {
                        // Whole groups that stay in the binade and short of the window end
                        // (the positions rise, so the group's last one decides).
                        while (k + 4 <= stop) {
                            const double next = p + strided.four;
                            if (next > strided.limit || next + 1.0 >= last) {
                                break;
                            }
                            position[k] = p;
                            position[k + 1] = p + strided.one;
                            position[k + 2] = p + strided.two;
                            position[k + 3] = p + strided.three;
                            k += 4;
                            p = next;
                        }
                    }
                    if (k == stop) {
                        break;
                    }
                    // One frame at a time across a binade, at a window end or a run end.
                    position[k] = p;
                    ++k;
                    p += dp;
                    if (p + 1.0 >= last) {
                        ends = End::WindowForward;
                        break;
                    }
                }
            } else if (dp < 0.0) {
#pragma GCC unroll 4
                while (k < stop) {
                    position[k] = p;
                    ++k;
                    p += dp;
                    if (p < 1.0) {
                        ends = End::WindowBackward;
                        break;
                    }
                }
            } else {
                for (; k < stop; ++k) {
                    position[k] = p;
                }
            }
            counted += k - count;
            count = k;
        }
        toWalk -= count;
        if (ends == End::None && toWalk == 0) {
            ends = End::Block;
        }
        pos = p;
        st = dp;
        counter = counted;
        end = ends;
        stride = strided;
        return count;
    };

    int32_t current = 0;
    int32_t count = walk(positions[current]);
    while (count > 0) {
        const int32_t next = end == End::None ? walk(positions[current ^ 1]) : 0;
        if constexpr (Format::kChannels != 0) {
            const double* position = positions[current];
            // Frames i and i + 1 lie inside the window by construction, and a chunk's positions
            // run one way, so its ends bound it; the test keeps a broken invariant from ever
            // reading outside the window.
            const double first = position[0];
            const double last = position[count - 1];
            if (std::min(first, last) >= 0.0 && std::max(first, last) + 1.0 < windowFrames) {
                peak = MixChunkBest<Format>(avx512, avx2, w, position, index, weight, count, gain, out,
                                            peak);
            } else {
                WeighFrames(position, index, weight, count);
                for (int32_t k = 0; k < count; ++k) {
                    if (index[k] >= 0 && index[k] + 1 < windowFrames) {
                        peak = AddFrame<Format>(w, index[k], weight[k], gain, out + 2 * k, peak);
                    }
                }
            }
        }
        out += 2 * count;
        current ^= 1;
        count = next;
    }

    decayCounter = counter;
    outPos = outFrames - toWalk;
    peakLeft = peak[0];
    peakRight = peak[1];
    switch (end) {
    case End::WindowForward:
        // Only now: the chunks above still read the window's last frames.
        return KeepLastFrame(pos);
    case End::WindowBackward:
        readPos = pos;
        if (inputEnd == kInputEnded) {
            inputEnd = kInputDrained;
        }
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

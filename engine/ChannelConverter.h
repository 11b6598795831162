#pragma once
// Turns one source's PCM (its own rate; 8-bit unsigned, 16-bit signed or 32-bit float; mono or
// stereo) into the mix format and adds it into the output block: interleaved stereo 32-bit float
// at 44100 Hz. It resamples with raised-cosine interpolation and applies the channel's volume,
// pan gains, playback rate and a decaying rate adjuster; it can read backwards and it keeps
// smoothed per-block peak levels for the meters.
//
// The converter never calls the source. It owns a small input window and tells its channel when
// the window is used up; the channel refills the free part and reports what arrived. One block:
//   BeginOutput; while (Process() == 1) { silence free part; fill it; FeedInput(n); }
//
// Threads: BeginOutput, Process, MixToFloat and FeedInput run on the audio thread under the
// channel's lock. volume, rateFactor and the gains are written by the control thread without
// the lock and the levels are read by it; those fields are relaxed atomics, and a block may use
// either the old or the new value.

#include <cstdint>

#include "engine/Relaxed.h"

class ChannelConverter {
public:
    int32_t playing = 0;          // the channel's playing flag; 1 selects the playing step
    int32_t windowBytes = 0;      // (outBits / 8) x outChannels x 128: 1024 for stereo float
    uint8_t* window = nullptr;    // owned, allocated once, never moves or grows
    int32_t keptBytes = 0;        // 0, or one input frame carried over from the last window
    int32_t inFrames = 0;         // valid input frames in the window, kept frame included
    int32_t inChannels = 0;
    int32_t inBits = 0;
    double inRate = 0.0;
    double readPos = 0.0;         // in input frames from the window start; fraction = weight
    float* outBuffer = nullptr;   // the block being filled; not owned
    int32_t outFrames = 0;
    int32_t outputFull = 0;
    int32_t outChannels = 0;
    int32_t outBits = 0;
    double outRate = 0.0;
    Relaxed<double> rateFactor{1.0};
    Relaxed<double> volume{1.0};
    Relaxed<double> gainLeft{1.0};
    Relaxed<double> gainRight{1.0};
    int32_t outPos = 0;           // frames already written into the current block
    double peakLeft = 0.0;
    double peakRight = 0.0;
    Relaxed<double> levelLeft{0.0};
    Relaxed<double> levelRight{0.0};
    // Written under the channel's lock, but read by the channel before it takes the lock.
    Relaxed<double> rateAdjuster{0.0};
    int32_t decayCounter = 0;     // output frames since the adjuster last decayed
    int32_t decayPeriod = 512;
    double step = 0.0;            // input frames per output frame; the source sees it as its rate
    int32_t inputEnd = 0;         // kInputOpen, kInputEnded or kInputDrained

    static constexpr int32_t kInputOpen = 0;
    // The source has ended: the window holds the last of its sound, still to be played.
    static constexpr int32_t kInputEnded = 1;
    // The read position has gone past the source's last frame; only silence is left.
    static constexpr int32_t kInputDrained = 2;

    ChannelConverter(int32_t outChannels, int32_t outBits, int32_t outRate);
    ~ChannelConverter();
    ChannelConverter(const ChannelConverter&) = delete;
    ChannelConverter& operator=(const ChannelConverter&) = delete;

    // A source was bound. When the sample format (channels or bits) changes the window is
    // emptied: its bytes and read position mean nothing in the new format, and reading on would
    // index past the window. A new rate alone keeps it.
    void SetInputFormat(int32_t channels, int32_t bits, int32_t sampleRate);
    // Fills part of the window with the input format's silence.
    void SilenceInput(uint8_t* from, int32_t bytes) const;
    void BeginOutput(float* block, int32_t bytes);
    void FeedInput(int32_t bytesDelivered);
    // After the FeedInput of the fill in which the source ended: its frames in the window are
    // its last, and the window is no longer refilled with more of it.
    void EndInput();
    // 1: the window is used up, feed it; 0: the block is full.
    int32_t Process();
    int32_t MixToFloat();
    // The same into an interleaved 16-bit stereo block (a converter made with 16 output bits):
    // forwards only, no adjuster, no levels; sums saturate at the 16-bit range.
    int32_t MixToInt16();
    void SetPan(double pan);

    // (1 - cos(pi x frac(mu))) / 2 blend of y1 and y2.
    static double CosineInterpolate(double y1, double y2, double mu);
    // The same for unsigned 8-bit samples, centred on 128.
    static double CosineInterpolateU8(double y1, double y2, double mu);
    // The blend weight (1 - cos(pi f)) / 2 for f in [0, 1), as sin^2(pi f / 2) by its series:
    // within 1e-12 of the library cosine and exactly 0 at f = 0. The float mixer uses a shorter
    // series of its own, as accurate as its float output needs.
    static double CosineWeight(double f);

    // 0 for a format whose frame size does not fit 32 bits: it is not usable.
    int32_t InputFrameBytes() const {
        const int64_t bytes = static_cast<int64_t>(inBits / 8) * inChannels;
        return bytes <= INT32_MAX && bytes >= INT32_MIN ? static_cast<int32_t>(bytes) : 0;
    }

private:
    template <typename Format>
    int32_t MixFloatFrames();
    double StepNow() const;
    bool UsableFormat() const;
    int32_t FinishBlock();
    int32_t KeepLastFrame(double pos);
};

#pragma once
// FLAC test files, encoded in memory with libFLAC's stream encoder at run time, and a plain
// libFLAC decode of such bytes to compare players against.
//
// The signal is a deterministic mix of tones and noise that differs per channel, with the odd
// full-scale sample, so a decode that swaps, drops, repeats or mis-scales samples shows up in a
// sample-by-sample comparison.

#include <cstddef>
#include <cstdint>
#include <vector>

struct FlacWriterOptions {
    int32_t channels = 2;
    int32_t bits = 16;            // 4 to 24
    int32_t rate = 44100;
    int32_t frames = 44100;       // sample frames encoded
    int32_t blockSize = 4096;     // the encoder's fixed block size
    int32_t compression = 5;      // libFLAC compression level, 0 to 8
    bool totalSamples = true;     // false: STREAMINFO's total-sample count stays 0
    bool seekTable = true;        // a SEEKTABLE block (only with totalSamples)
    int32_t padding = 0;          // bytes of a PADDING block; 0 for none
    bool id3Prefix = false;       // an ID3v2 tag in front of the "fLaC" marker
    bool damageFrame = false;     // bytes inside an audio frame half-way through are scrambled
    uint32_t seed = 1;            // varies the signal between files
};

// The interleaved samples a file made with these options holds, each in the range of `bits`.
std::vector<int32_t> FlacTestSignal(const FlacWriterOptions& options);

// A whole FLAC file of FlacTestSignal (options); empty on an encoder failure.
std::vector<uint8_t> WriteFlac(const FlacWriterOptions& options);
// The same for a signal of the caller's (interleaved, options.channels wide).
std::vector<uint8_t> WriteFlac(const FlacWriterOptions& options, const std::vector<int32_t>& signal);

// Byte offset of the first audio frame (just after the last metadata block); 0 if not found.
size_t FlacAudioOffset(const std::vector<uint8_t>& file);

// A sample scaled to 16 bits the way the player documents it: wider samples shifted right by
// (bits - 16), rounding toward minus infinity; narrower ones shifted left; clamped to 16 bits.
int16_t FlacSampleTo16(int32_t sample, uint32_t bits);

struct FlacReferenceDecode {
    bool ok = false;              // the decoder reached the end of the stream
    uint32_t channels = 0;
    uint32_t bits = 0;
    uint32_t rate = 0;
    uint64_t totalSamples = 0;
    std::vector<int16_t> samples;  // interleaved, converted by FlacSampleTo16
    int32_t errors = 0;           // error callbacks seen
};

// Decodes the bytes straight through with a plain FLAC__StreamDecoder over memory.
FlacReferenceDecode DecodeFlacReference(const std::vector<uint8_t>& file);

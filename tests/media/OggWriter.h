#pragma once
// Ogg Vorbis test files, encoded in memory with libvorbisenc at run time.
//
// The signal is a deterministic mix of tones and noise that differs per channel, so a decode
// that swaps, drops or repeats samples shows up in a sample-by-sample comparison.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct OggWriterOptions {
    int32_t channels = 2;
    int32_t rate = 44100;
    int32_t frames = 44100;     // sample frames encoded; the file's total is exactly this
    float quality = 0.3f;       // libvorbisenc VBR quality, -0.1 to 1.0
    int32_t serial = 0x50564f47;  // logical-stream serial number
    uint32_t seed = 1;          // varies the signal between files
    // Comment-header entries ("TAG=value") after the ENCODER tag, as a tagger writes them.
    std::vector<std::string> comments;
};

// Damage for the bad-data tests and seeds, on a well-formed file.
// Byte offsets of the file's pages.
std::vector<size_t> OggPageOffsets(const std::vector<uint8_t>& file);
// The page's checksum made right again after an edit, so that the damage reaches the decoder
// instead of being dropped with the page.
void OggResealPage(std::vector<uint8_t>& file, size_t page);
// Sets a page's granule position and reseals it, so that vorbisfile believes it.
void OggSetGranule(std::vector<uint8_t>& file, size_t page, int64_t granule);

// One logical Vorbis stream; empty on an encoder failure.
std::vector<uint8_t> WriteOggVorbis(const OggWriterOptions& options);

// A chained file: the logical streams one after another (their serials must differ).
std::vector<uint8_t> WriteChainedOggVorbis(const std::vector<OggWriterOptions>& links);

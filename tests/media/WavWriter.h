#pragma once
// RIFF/WAVE files written at run time for the WAV player's tests and the fuzzer's seeds. The
// writer lays out whatever chunks it is given, in the order given, so well-formed files and the
// odd ones real writers leave behind (chunks before the format, odd sizes with or without their
// pad byte, extra format bytes, trailing LIST or id3 chunks, sizes that lie, cut-off files)
// come from the same few calls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WavFormat {
    uint16_t tag = 1;  // 1 PCM, 3 float, 65534 extensible
    int16_t channels = 2;
    uint32_t sampleRate = 44100;
    int16_t bits = 16;
    std::optional<uint32_t> byteRate;    // default: rate x block align
    std::optional<int16_t> blockAlign;   // default: channels x bits / 8
    std::vector<uint8_t> extra;          // bytes after the 16 PCM fields (cbSize and beyond)
};

class WavWriter {
public:
    WavWriter& RiffId(std::string id);      // "RIFF" unless set
    WavWriter& FormType(std::string type);  // "WAVE" unless set
    WavWriter& RiffSize(uint32_t size);     // the file's length - 8 unless set

    // Appends a chunk. Its header gives declaredSize when set, else the body's length; a body
    // of odd length is followed by a zero pad byte unless OmitPadBytes was called.
    WavWriter& Chunk(std::string id, std::vector<uint8_t> body,
                     std::optional<uint32_t> declaredSize = std::nullopt);
    WavWriter& Format(const WavFormat& format);
    WavWriter& Data(std::vector<uint8_t> samples, std::optional<uint32_t> declaredSize = std::nullopt);
    WavWriter& OmitPadBytes();

    std::vector<uint8_t> Bytes() const;
    bool WriteFile(const std::string& path) const;

    // The plain file: "fmt " of 16 bytes, then "data"; the data start at byte 44.
    static std::vector<uint8_t> Simple(const WavFormat& format, const std::vector<uint8_t>& samples);
    static std::vector<uint8_t> FormatBody(const WavFormat& format);

private:
    struct Part {
        std::string id;
        std::vector<uint8_t> body;
        std::optional<uint32_t> declaredSize;
    };
    std::string riffId_ = "RIFF";
    std::string formType_ = "WAVE";
    std::optional<uint32_t> riffSize_;
    std::vector<Part> chunks_;
    bool pad_ = true;
};

// Sample bytes as stored: frames x channels x bits / 8 of them, 8-bit unsigned or 16-bit signed
// little-endian. Every sample is drawn from `seed`, so a lost, repeated or shifted byte shows.
std::vector<uint8_t> WavSamples(int32_t frames, int16_t channels, int16_t bits, uint32_t seed = 1);

// A LIST chunk body of type INFO holding one text item, of odd length when the text is even.
std::vector<uint8_t> WavListInfo(const std::string& text);
// An ID3v2 tag as some writers append it in an "id3 " chunk.
std::vector<uint8_t> WavId3Tag(const std::string& title);

// The first `length` bytes (all of them when shorter).
std::vector<uint8_t> WavTruncated(const std::vector<uint8_t>& bytes, size_t length);

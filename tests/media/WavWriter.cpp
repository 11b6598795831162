#include "tests/media/WavWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace {

void PutId(std::vector<uint8_t>& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) {
        out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
    }
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

}  // namespace

WavWriter& WavWriter::RiffId(std::string id) {
    riffId_ = std::move(id);
    return *this;
}

WavWriter& WavWriter::FormType(std::string type) {
    formType_ = std::move(type);
    return *this;
}

WavWriter& WavWriter::RiffSize(uint32_t size) {
    riffSize_ = size;
    return *this;
}

WavWriter& WavWriter::Chunk(std::string id, std::vector<uint8_t> body, std::optional<uint32_t> declaredSize) {
    chunks_.push_back(Part{std::move(id), std::move(body), declaredSize});
    return *this;
}

WavWriter& WavWriter::Format(const WavFormat& format) {
    return Chunk("fmt ", FormatBody(format));
}

WavWriter& WavWriter::Data(std::vector<uint8_t> samples, std::optional<uint32_t> declaredSize) {
    return Chunk("data", std::move(samples), declaredSize);
}

WavWriter& WavWriter::OmitPadBytes() {
    pad_ = false;
    return *this;
}

std::vector<uint8_t> WavWriter::Bytes() const {
    std::vector<uint8_t> out;
    PutId(out, riffId_);
    Put32(out, 0);
    PutId(out, formType_);
    for (const Part& chunk : chunks_) {
        PutId(out, chunk.id);
        Put32(out, chunk.declaredSize.value_or(static_cast<uint32_t>(chunk.body.size())));
        out.insert(out.end(), chunk.body.begin(), chunk.body.end());
        if (pad_ && chunk.body.size() % 2 == 1) {
            out.push_back(0);
        }
    }
    const uint32_t riffSize = riffSize_.value_or(static_cast<uint32_t>(out.size() - 8));
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    }
    return out;
}

bool WavWriter::WriteFile(const std::string& path) const {
    const std::vector<uint8_t> bytes = Bytes();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::vector<uint8_t> WavWriter::Simple(const WavFormat& format, const std::vector<uint8_t>& samples) {
    return WavWriter().Format(format).Data(samples).Bytes();
}

std::vector<uint8_t> WavWriter::FormatBody(const WavFormat& format) {
    const int16_t blockAlign =
        format.blockAlign.value_or(static_cast<int16_t>(format.channels * (format.bits / 8)));
    const uint32_t byteRate =
        format.byteRate.value_or(format.sampleRate * static_cast<uint32_t>(static_cast<uint16_t>(blockAlign)));
    std::vector<uint8_t> body;
    Put16(body, format.tag);
    Put16(body, static_cast<uint16_t>(format.channels));
    Put32(body, format.sampleRate);
    Put32(body, byteRate);
    Put16(body, static_cast<uint16_t>(blockAlign));
    Put16(body, static_cast<uint16_t>(format.bits));
    body.insert(body.end(), format.extra.begin(), format.extra.end());
    return body;
}

std::vector<uint8_t> WavSamples(int32_t frames, int16_t channels, int16_t bits, uint32_t seed) {
    const int32_t bytesPerSample = bits / 8;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(frames) * static_cast<size_t>(channels * bytesPerSample));
    uint32_t state = seed * 2654435761U + 1;
    for (int64_t i = 0; i < static_cast<int64_t>(frames) * channels; ++i) {
        // xorshift32: cheap, and no two neighbouring samples repeat.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        for (int32_t b = 0; b < bytesPerSample; ++b) {
            out.push_back(static_cast<uint8_t>(state >> (8 * b)));
        }
    }
    return out;
}

std::vector<uint8_t> WavListInfo(const std::string& text) {
    std::vector<uint8_t> body;
    PutId(body, "INFO");
    PutId(body, "INAM");
    Put32(body, static_cast<uint32_t>(text.size() + 1));
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
    return body;
}

std::vector<uint8_t> WavId3Tag(const std::string& title) {
    // ID3v2.3 header, then one TIT2 frame of Latin-1 text; sizes are sync-safe (7 bits a byte).
    const uint32_t frameSize = static_cast<uint32_t>(title.size() + 1);
    const uint32_t tagSize = 10 + frameSize;
    std::vector<uint8_t> body = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) {
        body.push_back(static_cast<uint8_t>((tagSize >> shift) & 0x7f));
    }
    body.insert(body.end(), {'T', 'I', 'T', '2'});
    for (int shift = 24; shift >= 0; shift -= 8) {
        body.push_back(static_cast<uint8_t>(frameSize >> shift));
    }
    body.insert(body.end(), {0, 0, 0});
    body.insert(body.end(), title.begin(), title.end());
    return body;
}

std::vector<uint8_t> WavTruncated(const std::vector<uint8_t>& bytes, size_t length) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

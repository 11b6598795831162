#include "tests/media/FlacWriter.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The encoder's output, written where its seek callback last put it: libFLAC rewrites
// STREAMINFO and the seek table at the end.
struct MemoryOut {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

FLAC__StreamEncoderWriteStatus EncoderWrite(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                            size_t bytes, uint32_t, uint32_t, void* client) {
    auto* out = static_cast<MemoryOut*>(client);
    if (out->pos + bytes > out->bytes.size()) {
        out->bytes.resize(out->pos + bytes);
    }
    std::memcpy(out->bytes.data() + out->pos, buffer, bytes);
    out->pos += bytes;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus EncoderSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client) {
    auto* out = static_cast<MemoryOut*>(client);
    if (offset > out->bytes.size()) {
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    out->pos = static_cast<size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus EncoderTell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client) {
    *offset = static_cast<MemoryOut*>(client)->pos;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct MemoryIn {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
    FlacReferenceDecode* result;
};

FLAC__StreamDecoderReadStatus DecoderRead(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                          void* client) {
    auto* in = static_cast<MemoryIn*>(client);
    const size_t left = in->bytes->size() - in->pos;
    const size_t n = std::min(*bytes, left);
    if (n == 0) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }
    std::memcpy(buffer, in->bytes->data() + in->pos, n);
    in->pos += n;
    *bytes = n;
    return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus DecoderSeek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* client) {
    auto* in = static_cast<MemoryIn*>(client);
    if (offset > in->bytes->size()) {
        return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    in->pos = static_cast<size_t>(offset);
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus DecoderTell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* client) {
    *offset = static_cast<MemoryIn*>(client)->pos;
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus DecoderLength(const FLAC__StreamDecoder*, FLAC__uint64* length, void* client) {
    *length = static_cast<MemoryIn*>(client)->bytes->size();
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool DecoderEof(const FLAC__StreamDecoder*, void* client) {
    auto* in = static_cast<MemoryIn*>(client);
    return in->pos >= in->bytes->size() ? 1 : 0;
}

FLAC__StreamDecoderWriteStatus DecoderWrite(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                            const FLAC__int32* const buffer[], void* client) {
    FlacReferenceDecode* result = static_cast<MemoryIn*>(client)->result;
    const uint32_t channels = result->channels;
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
        for (uint32_t c = 0; c < channels; ++c) {
            const uint32_t from = std::min(c, frame->header.channels - 1);
            result->samples.push_back(FlacSampleTo16(buffer[from][i], frame->header.bits_per_sample));
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void DecoderMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
    FlacReferenceDecode* result = static_cast<MemoryIn*>(client)->result;
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
        result->channels = metadata->data.stream_info.channels;
        result->bits = metadata->data.stream_info.bits_per_sample;
        result->rate = metadata->data.stream_info.sample_rate;
        result->totalSamples = metadata->data.stream_info.total_samples;
    }
}

void DecoderError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
    ++static_cast<MemoryIn*>(client)->result->errors;
}

}  // namespace

std::vector<int32_t> FlacTestSignal(const FlacWriterOptions& options) {
    const int32_t channels = options.channels;
    const double full = static_cast<double>(int64_t{1} << (options.bits - 1));
    const int32_t top = static_cast<int32_t>(full) - 1;
    const int32_t bottom = -static_cast<int32_t>(full);
    std::vector<int32_t> signal(static_cast<size_t>(options.frames) * channels);
    uint32_t noise = options.seed * 2654435761u + 12345u;
    for (int32_t f = 0; f < options.frames; ++f) {
        const double t = static_cast<double>(f) / options.rate;
        for (int32_t c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double white = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.2;
            const double pitch = 220.0 * (1.0 + 0.25 * c) * (1.0 + 0.01 * (options.seed % 7));
            const double value = 0.5 * std::sin(kTwoPi * pitch * t) +
                                 0.2 * std::sin(kTwoPi * pitch * 3.01 * t + c) + white;
            int32_t sample = static_cast<int32_t>(std::lround(value * full));
            // The extremes of the range, now and then, to test the scaling at both ends.
            if (f % 997 == 13) {
                sample = (c % 2 == 0) ? top : bottom;
            }
            signal[static_cast<size_t>(f) * channels + c] = std::clamp(sample, bottom, top);
        }
    }
    return signal;
}

std::vector<uint8_t> WriteFlac(const FlacWriterOptions& options) {
    return WriteFlac(options, FlacTestSignal(options));
}

std::vector<uint8_t> WriteFlac(const FlacWriterOptions& options, const std::vector<int32_t>& signal) {
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    if (encoder == nullptr) {
        return {};
    }
    FLAC__stream_encoder_set_verify(encoder, false);
    // Block sizes above 4608 are outside the streamable subset; the tests want them anyway.
    FLAC__stream_encoder_set_streamable_subset(encoder, false);
    FLAC__stream_encoder_set_compression_level(encoder, static_cast<uint32_t>(options.compression));
    FLAC__stream_encoder_set_channels(encoder, static_cast<uint32_t>(options.channels));
    FLAC__stream_encoder_set_bits_per_sample(encoder, static_cast<uint32_t>(options.bits));
    FLAC__stream_encoder_set_sample_rate(encoder, static_cast<uint32_t>(options.rate));
    FLAC__stream_encoder_set_blocksize(encoder, static_cast<uint32_t>(options.blockSize));
    // Stereo decorrelation only applies to two channels; the level's default would refuse others.
    if (options.channels != 2) {
        FLAC__stream_encoder_set_do_mid_side_stereo(encoder, false);
        FLAC__stream_encoder_set_loose_mid_side_stereo(encoder, false);
    }

    std::vector<FLAC__StreamMetadata*> blocks;
    if (options.totalSamples) {
        FLAC__stream_encoder_set_total_samples_estimate(encoder, static_cast<FLAC__uint64>(options.frames));
        if (options.seekTable) {
            FLAC__StreamMetadata* table = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
            FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                table, static_cast<uint32_t>(std::max(options.rate, 1)), static_cast<FLAC__uint64>(options.frames));
            FLAC__metadata_object_seektable_template_sort(table, true);
            blocks.push_back(table);
        }
    }
    FLAC__StreamMetadata* comment = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, "ENCODER", "sonvex test writer");
    FLAC__metadata_object_vorbiscomment_append_comment(comment, entry, false);
    blocks.push_back(comment);
    if (options.padding > 0) {
        FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
        padding->length = static_cast<uint32_t>(options.padding);
        blocks.push_back(padding);
    }
    FLAC__stream_encoder_set_metadata(encoder, blocks.data(), static_cast<uint32_t>(blocks.size()));

    MemoryOut out;
    // Without a seek callback the encoder cannot go back to fill in the total-sample count.
    const FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
        encoder, &EncoderWrite, options.totalSamples ? &EncoderSeek : nullptr,
        options.totalSamples ? &EncoderTell : nullptr, nullptr, &out);
    bool ok = init == FLAC__STREAM_ENCODER_INIT_STATUS_OK;
    const uint32_t frames = static_cast<uint32_t>(signal.size() / static_cast<size_t>(options.channels));
    if (ok && frames > 0) {
        ok = FLAC__stream_encoder_process_interleaved(encoder, signal.data(), frames) != 0;
    }
    if (init == FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        ok = FLAC__stream_encoder_finish(encoder) != 0 && ok;
    }
    FLAC__stream_encoder_delete(encoder);
    for (FLAC__StreamMetadata* block : blocks) {
        FLAC__metadata_object_delete(block);
    }
    if (!ok) {
        return {};
    }

    std::vector<uint8_t> file = std::move(out.bytes);
    if (options.damageFrame) {
        const size_t audio = FlacAudioOffset(file);
        if (audio > 0 && file.size() > audio + 64) {
            size_t at = audio + (file.size() - audio) / 2;
            for (int32_t i = 0; i < 8 && at < file.size(); ++i, ++at) {
                file[at] ^= 0x5a;
            }
        }
    }
    if (options.id3Prefix) {
        // ID3v2.3 header, syncsafe size 16, then 16 bytes of tag padding.
        std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 16};
        tag.resize(tag.size() + 16, 0);
        file.insert(file.begin(), tag.begin(), tag.end());
    }
    return file;
}

size_t FlacAudioOffset(const std::vector<uint8_t>& file) {
    if (file.size() < 8 || std::memcmp(file.data(), "fLaC", 4) != 0) {
        return 0;
    }
    size_t at = 4;
    while (at + 4 <= file.size()) {
        const bool last = (file[at] & 0x80) != 0;
        const size_t length = (static_cast<size_t>(file[at + 1]) << 16) |
                              (static_cast<size_t>(file[at + 2]) << 8) | file[at + 3];
        at += 4 + length;
        if (last) {
            return at <= file.size() ? at : 0;
        }
    }
    return 0;
}

int16_t FlacSampleTo16(int32_t sample, uint32_t bits) {
    int64_t value = sample;
    if (bits > 16) {
        // Floor division by a power of two is the arithmetic shift.
        const int64_t divisor = int64_t{1} << (bits - 16);
        value = value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
    } else if (bits < 16) {
        value *= int64_t{1} << (16 - bits);
    }
    return static_cast<int16_t>(std::clamp<int64_t>(value, -32768, 32767));
}

FlacReferenceDecode DecodeFlacReference(const std::vector<uint8_t>& file) {
    FlacReferenceDecode result;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    if (decoder == nullptr) {
        return result;
    }
    MemoryIn in{&file, 0, &result};
    if (FLAC__stream_decoder_init_stream(decoder, &DecoderRead, &DecoderSeek, &DecoderTell, &DecoderLength,
                                         &DecoderEof, &DecoderWrite, &DecoderMetadata, &DecoderError,
                                         &in) == FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        FLAC__stream_decoder_process_until_end_of_stream(decoder);
        result.ok = FLAC__stream_decoder_get_state(decoder) == FLAC__STREAM_DECODER_END_OF_STREAM;
    }
    FLAC__stream_decoder_delete(decoder);
    return result;
}

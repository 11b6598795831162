#include "tests/media/OggWriter.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstring>

namespace {

// The encoder's objects, cleared in reverse order of their set-up whatever path is taken.
struct Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool dspReady = false;
    bool streamReady = false;

    Encoder() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Encoder() {
        if (streamReady) {
            ogg_stream_clear(&stream);
        }
        if (dspReady) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

constexpr double kTwoPi = 6.283185307179586;

void AppendPage(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

// Tones at a per-channel pitch plus a little white noise from a small LCG.
float SignalSample(int32_t frame, int32_t channel, int32_t rate, uint32_t& noise) {
    const double t = static_cast<double>(frame) / rate;
    const double pitch = 220.0 * (1.0 + 0.25 * channel);
    noise = noise * 1664525u + 1013904223u;
    const double white = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.1;
    const double value = 0.45 * std::sin(kTwoPi * pitch * t) +
                         0.2 * std::sin(kTwoPi * pitch * 3.01 * t + channel) + white;
    return static_cast<float>(value);
}

bool Encode(const OggWriterOptions& options, std::vector<uint8_t>& out) {
    Encoder enc;
    if (vorbis_encode_init_vbr(&enc.info, options.channels, options.rate, options.quality) != 0) {
        return false;
    }
    vorbis_comment_add_tag(&enc.comment, "ENCODER", "sonvex test writer");
    for (const std::string& entry : options.comments) {
        vorbis_comment_add(&enc.comment, entry.c_str());
    }
    if (vorbis_analysis_init(&enc.dsp, &enc.info) != 0) {
        return false;
    }
    vorbis_block_init(&enc.dsp, &enc.block);
    enc.dspReady = true;
    ogg_stream_init(&enc.stream, options.serial);
    enc.streamReady = true;

    ogg_packet ident;
    ogg_packet comm;
    ogg_packet code;
    vorbis_analysis_headerout(&enc.dsp, &enc.comment, &ident, &comm, &code);
    ogg_stream_packetin(&enc.stream, &ident);
    ogg_stream_packetin(&enc.stream, &comm);
    ogg_stream_packetin(&enc.stream, &code);
    ogg_page page;
    // The audio must start on a fresh page, as decoders expect.
    while (ogg_stream_flush(&enc.stream, &page) != 0) {
        AppendPage(out, page);
    }

    uint32_t noise = options.seed * 2654435761u + 1u;
    const int32_t chunk = 1024;
    int32_t frame = 0;
    bool eos = false;
    while (!eos) {
        const int32_t count = options.frames - frame < chunk ? options.frames - frame : chunk;
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&enc.dsp, count);
            for (int32_t i = 0; i < count; ++i) {
                for (int32_t c = 0; c < options.channels; ++c) {
                    buffer[c][i] = SignalSample(frame + i, c, options.rate, noise);
                }
            }
            vorbis_analysis_wrote(&enc.dsp, count);
            frame += count;
        } else {
            vorbis_analysis_wrote(&enc.dsp, 0);
        }
        while (vorbis_analysis_blockout(&enc.dsp, &enc.block) == 1) {
            vorbis_analysis(&enc.block, nullptr);
            vorbis_bitrate_addblock(&enc.block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&enc.dsp, &packet) != 0) {
                ogg_stream_packetin(&enc.stream, &packet);
                while (ogg_stream_pageout(&enc.stream, &page) != 0) {
                    AppendPage(out, page);
                    if (ogg_page_eos(&page) != 0) {
                        eos = true;
                    }
                }
            }
        }
        if (count <= 0 && !eos) {
            // Everything analysed: whatever is left goes out with the last page.
            while (ogg_stream_flush(&enc.stream, &page) != 0) {
                AppendPage(out, page);
            }
            eos = true;
        }
    }
    return true;
}

}  // namespace

std::vector<uint8_t> WriteOggVorbis(const OggWriterOptions& options) {
    std::vector<uint8_t> out;
    if (!Encode(options, out)) {
        return {};
    }
    return out;
}

std::vector<uint8_t> WriteChainedOggVorbis(const std::vector<OggWriterOptions>& links) {
    std::vector<uint8_t> out;
    for (const OggWriterOptions& link : links) {
        if (!Encode(link, out)) {
            return {};
        }
    }
    return out;
}

std::vector<size_t> OggPageOffsets(const std::vector<uint8_t>& file) {
    std::vector<size_t> pages;
    size_t at = 0;
    while (at + 27 <= file.size() && std::memcmp(file.data() + at, "OggS", 4) == 0) {
        pages.push_back(at);
        const size_t segments = file[at + 26];
        size_t body = 0;
        for (size_t i = 0; i < segments && at + 27 + i < file.size(); ++i) {
            body += file[at + 27 + i];
        }
        at += 27 + segments + body;
    }
    return pages;
}

void OggResealPage(std::vector<uint8_t>& file, size_t page) {
    ogg_page og;
    og.header = file.data() + page;
    og.header_len = 27 + file[page + 26];
    og.body = og.header + og.header_len;
    og.body_len = 0;
    for (long i = 0; i < file[page + 26]; ++i) {
        og.body_len += og.header[27 + i];
    }
    ogg_page_checksum_set(&og);
}

void OggSetGranule(std::vector<uint8_t>& file, size_t page, int64_t granule) {
    std::memcpy(file.data() + page + 6, &granule, 8);
    OggResealPage(file, page);
}

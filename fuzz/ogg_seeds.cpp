// Writes the seed corpus of ogg_fuzz into the directory given as the first argument: Ogg Vorbis
// files from our own encoder in each shape the player meets, encoded the way oggenc does it
// (libvorbisenc VBR) at several qualities and rates, plus damaged copies of the kind that lead
// vorbisfile astray: a campaign mutates from here, and the library faults lie a few bytes away
// from files of 20 to 70 KB with their checksums intact.


#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/media/OggWriter.h"

namespace {

using Bytes = std::vector<uint8_t>;

OggWriterOptions Options(int32_t channels, int32_t rate, int32_t frames, int32_t serial, float quality) {
    OggWriterOptions o;
    o.channels = channels;
    o.rate = rate;
    o.frames = frames;
    o.serial = serial;
    o.quality = quality;
    o.seed = static_cast<uint32_t>(serial);
    return o;
}

bool Save(const std::string& dir, const std::string& name, const Bytes& bytes) {
    if (bytes.empty()) {
        std::fprintf(stderr, "ogg_seeds: encoder failed for %s\n", name.c_str());
        return false;
    }
    return fuzzsupport::SaveSeed(dir, name, bytes);
}

int64_t Granule(const Bytes& file, size_t page) {
    int64_t granule = 0;
    std::memcpy(&granule, file.data() + page + 6, 8);
    return granule;
}

// Audio pages (after the three header packets) of a single-link file.
std::vector<size_t> AudioPages(const Bytes& file) {
    std::vector<size_t> audio;
    for (const size_t page : OggPageOffsets(file)) {
        if (Granule(file, page) > 0) {
            audio.push_back(page);
        }
    }
    return audio;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ogg_seeds <directory>\n");
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = true;

    // Small clean files in each shape.
    ok &= Save(dir, "mono-22050.ogg", WriteOggVorbis(Options(1, 22050, 3000, 1, 0.0f)));
    ok &= Save(dir, "stereo-44100.ogg", WriteOggVorbis(Options(2, 44100, 5000, 2, 0.2f)));
    ok &= Save(dir, "stereo-48000.ogg", WriteOggVorbis(Options(2, 48000, 4000, 3, -0.1f)));
    ok &= Save(dir, "mono-8000.ogg", WriteOggVorbis(Options(1, 8000, 1000, 4, 0.5f)));
    ok &= Save(dir, "empty.ogg", WriteOggVorbis(Options(2, 44100, 0, 5, 0.0f)));
    ok &= Save(dir, "three-channels.ogg", WriteOggVorbis(Options(3, 44100, 1500, 6, 0.0f)));
    ok &= Save(dir, "chained.ogg",
               WriteChainedOggVorbis({Options(2, 44100, 2500, 7, 0.0f), Options(1, 22050, 1500, 8, 0.0f)}));

    // Longer encodes, 20 to 70 KB, across qualities and rates: files long enough that
    // vorbisfile bisects when it seeks.
    struct Encode {
        int32_t channels;
        int32_t rate;
        int32_t frames;
        float quality;
    };
    const Encode encodes[] = {
        {2, 44100, 44100, -0.1f}, {2, 44100, 22050, 0.4f}, {1, 44100, 88200, 0.0f},
        {2, 48000, 48000, 0.1f},  {1, 32000, 64000, 0.3f}, {2, 22050, 66150, 0.0f},
        {1, 11025, 88200, 0.6f},  {2, 96000, 24000, 0.0f}, {2, 8000, 40000, 1.0f},
    };
    int32_t serial = 100;
    for (const Encode& e : encodes) {
        const std::string name = std::to_string(e.channels) + "ch-" + std::to_string(e.rate) + "-q" +
                                 std::to_string(static_cast<int32_t>(e.quality * 10)) + ".ogg";
        ok &= Save(dir, name, WriteOggVorbis(Options(e.channels, e.rate, e.frames, serial++, e.quality)));
    }

    // Chains: a first link without audio, links of other formats, a short link between long ones.
    ok &= Save(dir, "chained-silent-first.ogg",
               WriteChainedOggVorbis({Options(2, 44100, 0, 200, 0.0f), Options(2, 44100, 40000, 201, 0.0f)}));
    ok &= Save(dir, "chained-three.ogg",
               WriteChainedOggVorbis({Options(2, 44100, 30000, 202, 0.0f), Options(1, 8000, 300, 203, 0.5f),
                                      Options(2, 48000, 30000, 204, -0.1f)}));
    ok &= Save(dir, "chained-silent-last.ogg",
               WriteChainedOggVorbis({Options(1, 22050, 30000, 205, 0.2f), Options(1, 22050, 0, 206, 0.2f)}));

    // Comment headers as taggers write them: many entries, and entries long enough (cover art
    // kept as text) that the comment packet spans several pages.
    {
        OggWriterOptions many = Options(2, 44100, 20000, 300, 0.0f);
        for (int32_t i = 0; i < 400; ++i) {
            many.comments.push_back("COMMENT" + std::to_string(i) + "=tagged by a tagger, entry " + std::to_string(i));
        }
        ok &= Save(dir, "comments-many.ogg", WriteOggVorbis(many));
        OggWriterOptions large = Options(1, 44100, 20000, 301, 0.0f);
        large.comments.push_back("TITLE=a long comment header");
        large.comments.push_back("METADATA_BLOCK_PICTURE=" + std::string(30000, 'Q'));
        ok &= Save(dir, "comments-large.ogg", WriteOggVorbis(large));
    }

    // Damaged copies, each page resealed so that the damage is believed.
    const Bytes base = WriteOggVorbis(Options(2, 44100, 264600, 400, 0.0f));
    const std::vector<size_t> audio = AudioPages(base);
    if (audio.size() < 8) {
        std::fprintf(stderr, "ogg_seeds: %zu audio pages, too few\n", audio.size());
        return 1;
    }
    {
        // vorbisfile measures no audio at all, and its seeks divide by that length.
        Bytes zero = base;
        OggSetGranule(zero, audio.back(), 0);
        ok &= Save(dir, "damaged-length-zero.ogg", zero);
        // A granule running backwards half-way through.
        Bytes backwards = base;
        OggSetGranule(backwards, audio[audio.size() / 2], 1);
        ok &= Save(dir, "damaged-granule-backwards.ogg", backwards);
        // A granule far beyond the rest: an absurd length.
        Bytes huge = base;
        OggSetGranule(huge, audio.back(), int64_t{1} << 40);
        ok &= Save(dir, "damaged-granule-huge.ogg", huge);
        // Page numbers out of sequence, as after a lost page.
        Bytes renumbered = base;
        const size_t page = audio[audio.size() / 3];
        renumbered[page + 18] = static_cast<uint8_t>(renumbered[page + 18] + 3);
        OggResealPage(renumbered, page);
        ok &= Save(dir, "damaged-page-number.ogg", renumbered);
        // A page claiming to continue a packet that the previous page finished.
        Bytes continued = base;
        continued[audio[2] + 5] ^= 0x01;
        OggResealPage(continued, audio[2]);
        ok &= Save(dir, "damaged-continued-flag.ogg", continued);
        // A foreign serial number in the middle of the stream.
        Bytes foreign = base;
        foreign[audio[4] + 14] ^= 0x5a;
        OggResealPage(foreign, audio[4]);
        ok &= Save(dir, "damaged-serial.ogg", foreign);
        // Audio pages with broken checksums: nothing decodes.
        Bytes garbled = base;
        for (const size_t p : audio) {
            garbled[p + 22] ^= 0xff;
        }
        ok &= Save(dir, "damaged-checksums.ogg", garbled);
        // Truncated inside a page.
        Bytes truncated(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(audio[audio.size() / 2] + 100));
        ok &= Save(dir, "damaged-truncated.ogg", truncated);
    }
    {
        // A chained file whose first link vorbisfile measures as empty.
        Bytes chain = WriteChainedOggVorbis({Options(2, 44100, 60000, 500, 0.0f), Options(2, 44100, 20000, 501, 0.0f)});
        const std::vector<size_t> pages = OggPageOffsets(chain);
        size_t lastOfFirst = 0;
        for (const size_t p : pages) {
            uint32_t serialNo = 0;
            std::memcpy(&serialNo, chain.data() + p + 14, 4);
            if (serialNo == 500) {
                lastOfFirst = p;
            }
        }
        OggSetGranule(chain, lastOfFirst, 0);
        ok &= Save(dir, "damaged-chain-first-empty.ogg", chain);
    }
    return ok ? 0 : 1;
}

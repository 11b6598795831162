// Writes the seed corpus of ogg_fuzz into the directory given as the first argument: small Ogg
// Vorbis files from our own encoder in each shape the player meets.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/media/OggWriter.h"

namespace {

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

bool Save(const std::string& dir, const char* name, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
        std::fprintf(stderr, "ogg_seeds: encoder failed for %s\n", name);
        return false;
    }
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "ogg_seeds: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ogg_seeds <directory>\n");
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = true;
    ok &= Save(dir, "mono-22050.ogg", WriteOggVorbis(Options(1, 22050, 3000, 1, 0.0f)));
    ok &= Save(dir, "stereo-44100.ogg", WriteOggVorbis(Options(2, 44100, 5000, 2, 0.2f)));
    ok &= Save(dir, "stereo-48000.ogg", WriteOggVorbis(Options(2, 48000, 4000, 3, -0.1f)));
    ok &= Save(dir, "mono-8000.ogg", WriteOggVorbis(Options(1, 8000, 1000, 4, 0.5f)));
    ok &= Save(dir, "empty.ogg", WriteOggVorbis(Options(2, 44100, 0, 5, 0.0f)));
    ok &= Save(dir, "three-channels.ogg", WriteOggVorbis(Options(3, 44100, 1500, 6, 0.0f)));
    ok &= Save(dir, "chained.ogg",
               WriteChainedOggVorbis({Options(2, 44100, 2500, 7, 0.0f), Options(1, 22050, 1500, 8, 0.0f)}));
    return ok ? 0 : 1;
}

// Writes the FLAC fuzz target's seed corpus into the directory named by argv[1]: small files
// from our own writer in every layout the player handles, and a few it refuses.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/media/FlacWriter.h"

namespace {

using fuzzsupport::SaveSeed;

FlacWriterOptions Small(int32_t channels, int32_t bits, int32_t blockSize, int32_t frames) {
    FlacWriterOptions o;
    o.channels = channels;
    o.bits = bits;
    o.blockSize = blockSize;
    o.frames = frames;
    o.rate = 8000;
    o.seed = static_cast<uint32_t>(channels * 31 + bits + blockSize);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: flac_seeds <corpus directory>\n");
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = true;
    ok = SaveSeed(dir, "stereo16.flac", WriteFlac(Small(2, 16, 256, 2000))) && ok;
    ok = SaveSeed(dir, "mono16.flac", WriteFlac(Small(1, 16, 576, 1500))) && ok;
    ok = SaveSeed(dir, "stereo8.flac", WriteFlac(Small(2, 8, 192, 1000))) && ok;
    ok = SaveSeed(dir, "mono8.flac", WriteFlac(Small(1, 8, 1152, 1200))) && ok;
    ok = SaveSeed(dir, "stereo24.flac", WriteFlac(Small(2, 24, 512, 1500))) && ok;
    ok = SaveSeed(dir, "mono24.flac", WriteFlac(Small(1, 24, 4096, 5000))) && ok;
    ok = SaveSeed(dir, "oneframe.flac", WriteFlac(Small(2, 16, 4096, 1))) && ok;
    ok = SaveSeed(dir, "threech.flac", WriteFlac(Small(3, 16, 256, 500))) && ok;

    FlacWriterOptions padded = Small(2, 16, 1024, 3000);
    padded.padding = 64;
    padded.seekTable = false;
    ok = SaveSeed(dir, "padded.flac", WriteFlac(padded)) && ok;

    FlacWriterOptions noTotal = Small(2, 16, 256, 1000);
    noTotal.totalSamples = false;
    ok = SaveSeed(dir, "nototal.flac", WriteFlac(noTotal)) && ok;

    FlacWriterOptions damaged = Small(2, 16, 256, 3000);
    damaged.damageFrame = true;
    ok = SaveSeed(dir, "damaged.flac", WriteFlac(damaged)) && ok;

    FlacWriterOptions id3 = Small(1, 16, 256, 500);
    id3.id3Prefix = true;
    ok = SaveSeed(dir, "id3.flac", WriteFlac(id3)) && ok;

    std::vector<uint8_t> truncated = WriteFlac(Small(2, 16, 512, 3000));
    truncated.resize(truncated.size() / 2);
    ok = SaveSeed(dir, "truncated.flac", truncated) && ok;
    return ok ? 0 : 2;
}

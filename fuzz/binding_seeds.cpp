// Writes the binding target's seed corpus into the directory given as its argument: one small
// file of each format the loaders take.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/media/FlacWriter.h"
#include "tests/media/ModuleWriter.h"
#include "tests/media/OggWriter.h"
#include "tests/media/WavWriter.h"

using fuzzsupport::SaveSeed;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: binding_seeds <corpus directory>\n");
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = true;
    WavFormat wav;
    wav.sampleRate = 22050;
    ok = SaveSeed(dir, "song.wav", WavWriter::Simple(wav, WavSamples(500, 2, 16))) && ok;
    FlacWriterOptions flac;
    flac.frames = 2000;
    flac.rate = 8000;
    flac.blockSize = 256;
    ok = SaveSeed(dir, "song.flac", WriteFlac(flac)) && ok;
    OggWriterOptions ogg;
    ogg.frames = 4000;
    ogg.rate = 8000;
    ok = SaveSeed(dir, "song.ogg", WriteOggVorbis(ogg)) && ok;
    for (ModuleFormat format : AllModuleFormats()) {
        ok = SaveSeed(dir, std::string("song.") + ModuleFormatName(format), WriteModule(format, EndingSong())) && ok;
    }
    return ok ? 0 : 1;
}

// Writes the tracker loader's seed corpus: the test songs in each of the four formats.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/media/ModuleWriter.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 1;
    }
    const std::string dir = argv[1];
    const struct {
        const char* name;
        ModuleSong song;
    } songs[] = {{"ending", EndingSong()}, {"looping", LoopingSong()}, {"stalling", StallingSong()}};
    for (const auto& entry : songs) {
        for (ModuleFormat format : AllModuleFormats()) {
            if (!fuzzsupport::SaveSeed(dir, std::string(entry.name) + "." + ModuleFormatName(format),
                                       WriteModule(format, entry.song))) {
                return 1;
            }
        }
    }
    return 0;
}

// Writes the tracker loader's seed corpus: the test songs in each of the four formats.

#include <cstdio>
#include <string>
#include <vector>

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
            const std::vector<uint8_t> bytes = WriteModule(format, entry.song);
            const std::string path = dir + "/" + entry.name + "." + ModuleFormatName(format);
            FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
                std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
                if (file != nullptr) {
                    std::fclose(file);
                }
                return 1;
            }
            std::fclose(file);
        }
    }
    return 0;
}

// Writes the demo tune that scripts/play opens: the test song's three orders played four times
// over (about 12 s), as a Protracker module, so the player can be tried without any file of
// someone else's.

#include <cstdio>
#include <string>
#include <vector>

#include "tests/media/ModuleWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s out.mod\n", argv[0]);
        return 1;
    }
    ModuleSong song = EndingSong();
    song.title = "sonvex demo";
    const std::vector<uint8_t> once = song.orders;
    for (int32_t round = 1; round < 4; ++round) {
        song.orders.insert(song.orders.end(), once.begin(), once.end());
    }
    const std::vector<uint8_t> bytes = WriteMod(song);
    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool closed = std::fclose(file) == 0;
    return written == bytes.size() && closed ? 0 : 1;
}

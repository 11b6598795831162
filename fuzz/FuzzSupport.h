#pragma once
// Shared by the fuzz targets and their seed writers: the check that stops a run, the op tape, and
// writing a seed file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fuzzsupport {

inline void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// The op tape: the input read backwards from its end, so the header a loader needs and the
// steps the fuzzer varies come from the same bytes.
class Tape {
public:
    Tape(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    uint8_t Byte() { return left_ > 0 ? data_[--left_] : 0; }
    int32_t Int() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | Byte();
        }
        return static_cast<int32_t>(value);
    }

private:
    const uint8_t* data_;
    size_t left_;
};

// Writes `bytes` to dir/name; false, with a line on standard error, when it cannot.
inline bool SaveSeed(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "seeds: cannot write %s\n", path.c_str());
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace fuzzsupport

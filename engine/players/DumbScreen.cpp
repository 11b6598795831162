#include "engine/players/DumbScreen.h"

#include <cstring>

namespace {

uint32_t U16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t U32(const uint8_t* p) {
    return U16(p) | U16(p + 2) << 16;
}

bool Has(size_t size, size_t offset, size_t bytes) {
    return offset <= size && bytes <= size - offset;
}

bool ItAccepts(const uint8_t* data, size_t size) {
    if (!Has(size, 0, 192)) {
        return true;  // too short for DUMB to read either
    }
    if (data[51] == 0) {
        return false;
    }
    const size_t orders = U16(data + 32);
    const size_t instruments = U16(data + 34);
    const size_t samples = U16(data + 36);
    const size_t table = 192 + orders + instruments * 4;
    for (size_t i = 0; i < samples && Has(size, table + i * 4, 4); ++i) {
        const size_t at = U32(data + table + i * 4);
        if (!Has(size, at, 80) || std::memcmp(data + at, "IMPS", 4) != 0) {
            continue;
        }
        const bool hasData = (data[at + 18] & 1) != 0;
        if (hasData && U32(data + at + 60) == 0) {
            return false;
        }
    }
    return true;
}

bool S3mAccepts(const uint8_t* data, size_t size) {
    if (data[50] == 0) {
        return false;
    }
    const size_t orders = U16(data + 32);
    const size_t instruments = U16(data + 34);
    const size_t table = 96 + orders;
    for (size_t i = 0; i < instruments && Has(size, table + i * 2, 2); ++i) {
        const size_t at = static_cast<size_t>(U16(data + table + i * 2)) * 16;
        if (!Has(size, at, 80) || data[at] != 1 || std::memcmp(data + at + 76, "SCRS", 4) != 0) {
            continue;
        }
        // A sample longer than the whole file has DUMB allocate its length (up to 4 GB) first.
        if (U32(data + at + 32) == 0 || U32(data + at + 16) > size) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool DumbScreenAccepts(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return true;
    }
    if (Has(size, 0, 4) && std::memcmp(data, "IMPM", 4) == 0) {
        return ItAccepts(data, size);
    }
    if (Has(size, 0, 80) && std::memcmp(data, "Extended Module: ", 17) == 0) {
        return U16(data + 78) != 0;
    }
    if (Has(size, 0, 96) && std::memcmp(data + 44, "SCRM", 4) == 0) {
        return S3mAccepts(data, size);
    }
    return true;
}

#include "engine/cmem.h"

#include <cstring>

#include "engine/DebugLog.h"

void cmem::Close() {}

int32_t cmem::Eof() {
    return eof;
}

int32_t cmem::Size() {
    return size;
}

int32_t cmem::Pos() {
    return eof != 0 ? -1 : pos;
}

int32_t cmem::Seek(int32_t position) {
    if (position >= size) {
        pos = size;
        eof = 1;
        return size;
    }
    return SeekFrom(position, 0);
}

int32_t cmem::SeekFrom(int32_t offset, int32_t origin) {
    DebugLog("CMEM SEEK");
    // 64-bit so that offsets near the 32-bit limits clamp instead of wrapping.
    int64_t target = offset;
    if (origin == 1) {
        target += pos;
    } else if (origin == 2) {
        target += size;
    }
    if (target > size) {
        pos = size;
        eof = 1;
        return size;
    }
    if (target < 0) {
        pos = 0;
        eof = 0;
        return 0;
    }
    pos = static_cast<int32_t>(target);
    eof = 0;
    return pos;
}

void cmem::Flush() {}

int32_t cmem::Read(void* buffer, int32_t count) {
    if (count <= 0) {
        return 0;
    }
    if (pos >= size) {
        eof = 1;
        return 0;
    }
    const int32_t n = count < size - pos ? count : size - pos;
    std::memcpy(buffer, data + pos, static_cast<size_t>(n));
    pos += n;
    if (pos >= size) {
        eof = 1;
    }
    return n;
}

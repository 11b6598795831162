#include "engine/ISonvexStream.h"

#include <cstring>
#include <vector>

#include "engine/cfile.h"
#include "engine/cmem.h"

// Reads sizeof(T) bytes into a zeroed T, so a short read gives a defined value.
template <typename T>
T ISonvexStream::ReadValue() {
    unsigned char bytes[sizeof(T)] = {};
    ReadRaw(bytes, static_cast<int32_t>(sizeof(T)));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

uint8_t ISonvexStream::ReadByte() {
    return ReadValue<uint8_t>();
}

uint16_t ISonvexStream::ReadShort() {
    return ReadValue<uint16_t>();
}

uint16_t ISonvexStream::ReadShortBE() {
    const uint16_t little = ReadShort();
    return static_cast<uint16_t>((little >> 8) | (little << 8));
}

int32_t ISonvexStream::ReadInt() {
    return ReadValue<int32_t>();
}

int32_t ISonvexStream::ReadLong() {
    const int64_t value = ReadValue<int64_t>();
    return static_cast<int32_t>(value & 0xffffffff);
}

float ISonvexStream::ReadFloat() {
    return ReadValue<float>();
}

double ISonvexStream::ReadDouble() {
    return ReadValue<double>();
}

std::string ISonvexStream::ReadString(int32_t count) {
    if (count <= 0) {
        return std::string();
    }
    std::vector<char> buffer(static_cast<size_t>(count) + 1, '\0');
    const int32_t got = ReadRaw(buffer.data(), count);
    const size_t limit = got > 0 ? static_cast<size_t>(got) : 0;
    buffer[limit] = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), limit));
}

ISonvexStream* Sonvex_OpenFileStream(const char* path) {
    return cfile::Open(path);
}

ISonvexStream* Sonvex_CreateMemStream(const void* data, int32_t size) {
    auto* stream = new cmem(static_cast<const uint8_t*>(data), size);
    stream->Seek(0);
    return stream;
}

void Sonvex_DeleteStream(ISonvexStream* stream) {
    if (stream == nullptr) {
        return;
    }
    stream->Close();
    if (stream->kind == ISonvexStream::KindFile) {
        delete static_cast<cfile*>(stream);
    } else {
        delete static_cast<cmem*>(stream);
    }
}

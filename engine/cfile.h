#pragma once
// A byte stream over a file, read through the standard library's buffered I/O.

#include <cstdio>

#include "engine/ISonvexStream.h"

class cfile final : public ISonvexStream {
public:
    FILE* file;
    int32_t size;

    // Opens path in "rb"; null unless it is a regular file small enough for 32-bit positions.
    static cfile* Open(const char* path);

    void Close() override;
    int32_t Eof() override;
    int32_t Size() override;
    int32_t Pos() override;
    int32_t Seek(int32_t position) override;
    int32_t SeekFrom(int32_t offset, int32_t origin) override;
    void Flush() override;
    int32_t Read(void* buffer, int32_t count) override;

protected:
    // Typed reads go straight to the file, whatever the end-of-file indicator says.
    int32_t ReadRaw(void* buffer, int32_t count) override;

private:
    cfile(FILE* handle, int32_t bytes) : ISonvexStream(KindFile), file(handle), size(bytes) {}
    friend void Sonvex_DeleteStream(ISonvexStream* stream);
    ~cfile() = default;
};

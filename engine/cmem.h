#pragma once
// A byte stream over memory the caller owns: nothing is copied and nothing is freed.
// Unlike a file, the end-of-stream flag is set as soon as the last byte has been read.

#include "engine/ISonvexStream.h"

class cmem final : public ISonvexStream {
public:
    const uint8_t* data;
    int32_t size;
    int32_t pos = 0;
    int32_t eof = 0;

    cmem(const uint8_t* bytes, int32_t length)
        : ISonvexStream(KindMemory), data(bytes), size(length < 0 || bytes == nullptr ? 0 : length) {}

    void Close() override;
    int32_t Eof() override;
    int32_t Size() override;
    int32_t Pos() override;
    int32_t Seek(int32_t position) override;
    int32_t SeekFrom(int32_t offset, int32_t origin) override;
    void Flush() override;
    int32_t Read(void* buffer, int32_t count) override;

private:
    friend void Sonvex_DeleteStream(ISonvexStream* stream);
    ~cmem() = default;
};

#pragma once
// The byte stream every player reads: one interface over a file on disk (cfile) and over a block
// of caller memory (cmem). Multi-byte values are read little-endian; only ReadShortBE swaps.
//
// Streams are destroyed only through Sonvex_DeleteStream, which knows the concrete type from
// `kind`, so the interface has no virtual destructor.

#include <cstdint>
#include <string>

class ISonvexStream {
public:
    enum : int32_t { KindFile = 0, KindMemory = 1 };

    // 0 for a cfile, 1 for a cmem: the tracker loader reads it to reach the file or the memory.
    int32_t kind;

    explicit ISonvexStream(int32_t streamKind) : kind(streamKind) {}
    ISonvexStream(const ISonvexStream&) = delete;
    ISonvexStream& operator=(const ISonvexStream&) = delete;

    virtual void Close() = 0;                                          // 0
    virtual int32_t Eof() = 0;                                         // 1
    virtual int32_t Size() = 0;                                        // 2
    virtual int32_t Pos() = 0;                                         // 3: -1 at end of stream
    virtual int32_t Seek(int32_t position) = 0;                        // 4
    virtual int32_t SeekFrom(int32_t offset, int32_t origin) = 0;      // 5: 0 start, 1 current, 2 end
    virtual void Flush() = 0;                                          // 6
    virtual int32_t Read(void* buffer, int32_t count) = 0;             // 7
    virtual uint8_t ReadByte();                                        // 8
    virtual uint16_t ReadShort();                                      // 9
    virtual uint16_t ReadShortBE();                                    // 10
    virtual int32_t ReadInt();                                         // 11
    virtual int32_t ReadLong();                                        // 12: consumes 8 bytes
    virtual float ReadFloat();                                         // 13
    virtual double ReadDouble();                                       // 14
    virtual std::string ReadString(int32_t count);                     // 15: up to the first zero byte

protected:
    ~ISonvexStream() = default;

    // What the typed reads (slots 8 to 15) read through. Bytes that are not there read as zero.
    virtual int32_t ReadRaw(void* buffer, int32_t count) { return Read(buffer, count); }

private:
    template <typename T>
    T ReadValue();
};

// Opens a file for reading; null when the path does not name a readable regular file.
ISonvexStream* Sonvex_OpenFileStream(const char* path);
// A stream over memory the caller owns and keeps alive for the stream's life.
ISonvexStream* Sonvex_CreateMemStream(const void* data, int32_t size);
// Closes and frees a stream; null is ignored. A memory stream's data is left alone.
void Sonvex_DeleteStream(ISonvexStream* stream);

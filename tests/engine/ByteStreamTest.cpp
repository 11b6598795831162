#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "engine/DebugLog.h"
#include "engine/ISonvexStream.h"
#include "engine/cfile.h"
#include "engine/cmem.h"
#include "tests/media/TempFile.h"

namespace {

// Streams are freed only through Sonvex_DeleteStream.
struct StreamDeleter {
    void operator()(ISonvexStream* stream) const { Sonvex_DeleteStream(stream); }
};
using StreamPtr = std::unique_ptr<ISonvexStream, StreamDeleter>;

// A memory stream together with the bytes it reads, which must outlive it.
class Mem {
public:
    explicit Mem(std::vector<uint8_t> bytes)
        : bytes_(std::move(bytes)),
          stream_(Sonvex_CreateMemStream(bytes_.data(), static_cast<int32_t>(bytes_.size()))) {}
    ISonvexStream* operator->() const { return stream_.get(); }
    ISonvexStream* get() const { return stream_.get(); }

private:
    std::vector<uint8_t> bytes_;
    StreamPtr stream_;
};

using sonvex_test::TempFile;

const std::vector<uint8_t> kTen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(MemStream, ReadsSetEndOfStreamOnTheLastByte) {
    Mem stream(kTen);
    uint8_t buffer[4];
    EXPECT_EQ(stream->Read(buffer, 4), 4);
    EXPECT_EQ(stream->Read(buffer, 4), 4);
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(stream->Pos(), 8);
    EXPECT_EQ(stream->Read(buffer, 4), 2);
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(buffer[1], 9);
    EXPECT_NE(stream->Eof(), 0);
    EXPECT_EQ(stream->Pos(), -1);
    EXPECT_EQ(stream->Read(buffer, 4), 0);
    EXPECT_EQ(stream->Read(buffer, 0), 0);
    EXPECT_EQ(stream->Read(buffer, -3), 0);
}

TEST(MemStream, SeeksClampToTheBlock) {
    Mem stream(kTen);
    EXPECT_EQ(stream->SeekFrom(0, 2), 10);
    EXPECT_EQ(stream->Eof(), 0);  // at the end through SeekFrom, but not flagged
    EXPECT_EQ(stream->SeekFrom(-4, 2), 6);
    EXPECT_EQ(stream->SeekFrom(-3, 1), 3);
    EXPECT_EQ(stream->SeekFrom(-5, 1), 0);
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(stream->SeekFrom(20, 0), 10);
    EXPECT_NE(stream->Eof(), 0);
    EXPECT_EQ(stream->SeekFrom(2147483647, 1), 10);  // no wrap-around near the 32-bit limit
    EXPECT_EQ(stream->SeekFrom(-2147483647, 2), 0);

    EXPECT_EQ(stream->Seek(10), 10);
    EXPECT_NE(stream->Eof(), 0);  // Seek to the very end flags it
    EXPECT_EQ(stream->Seek(3), 3);
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(stream->Pos(), 3);
}

TEST(MemStream, SeekLogsExceptAtTheEnd) {
    Mem stream(kTen);
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    stream->Seek(3);
    stream->Seek(10);
    const std::string out = testing::internal::GetCapturedStdout();
    Sonvex_SetDebugLog(0);
    EXPECT_EQ(out, "Sonvex2: CMEM SEEK\n");
}

TEST(MemStream, EmptyBlockStartsAtEnd) {
    Mem stream({});
    EXPECT_NE(stream->Eof(), 0);
    EXPECT_EQ(stream->Size(), 0);
    uint8_t byte;
    EXPECT_EQ(stream->Read(&byte, 1), 0);
    StreamPtr none(Sonvex_CreateMemStream(nullptr, 5));
    EXPECT_EQ(none->Size(), 0);
}

TEST(MemStream, TypedReadsAreLittleEndian) {
    Mem stream({0x12, 0x34, 0x12, 0x34, 0x78, 0x56, 0x34, 0x12, 0xaa});
    EXPECT_EQ(stream->ReadShortBE(), 0x1234);
    EXPECT_EQ(stream->ReadShort(), 0x3412);
    EXPECT_EQ(stream->ReadInt(), 0x12345678);
    EXPECT_EQ(stream->ReadByte(), 0xaa);
    EXPECT_EQ(stream->ReadInt(), 0);  // nothing left: a defined zero
}

TEST(MemStream, ReadLongFloatAndDouble) {
    std::vector<uint8_t> bytes(20);
    const int64_t wide = 0x0000000100000002LL;
    const float f = 1.5f;
    const double d = -2.25;
    std::memcpy(bytes.data(), &wide, 8);
    std::memcpy(bytes.data() + 8, &f, 4);
    std::memcpy(bytes.data() + 12, &d, 8);
    Mem stream(bytes);
    EXPECT_EQ(stream->ReadLong(), 2);  // the low four of eight bytes consumed
    EXPECT_EQ(stream->ReadFloat(), 1.5f);
    EXPECT_EQ(stream->ReadDouble(), -2.25);
}

TEST(MemStream, ReadStringStopsAtAZeroByte) {
    Mem stream({'R', 'I', 'F', 'F', 'a', 0, 'c', 'd', 'x', 'y'});
    EXPECT_EQ(stream->ReadString(4), "RIFF");
    EXPECT_EQ(stream->ReadString(4), "a");  // all four consumed
    EXPECT_EQ(stream->Pos(), 8);
    EXPECT_EQ(stream->ReadString(4), "xy");  // short read: only what arrived
    EXPECT_EQ(stream->ReadString(0), "");
}

TEST(FileStream, EndOfFileAndSeekSemantics) {
    const TempFile file("ten", kTen);
    StreamPtr stream(Sonvex_OpenFileStream(file.path().c_str()));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->kind, ISonvexStream::KindFile);
    EXPECT_EQ(stream->Size(), 10);
    uint8_t buffer[16];
    EXPECT_EQ(stream->Read(buffer, 10), 10);
    // Unlike memory, reading exactly what remains leaves the indicator clear...
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(stream->Pos(), 10);
    // ...until a read runs into the end.
    EXPECT_EQ(stream->Read(buffer, 1), 0);
    EXPECT_NE(stream->Eof(), 0);
    EXPECT_EQ(stream->Pos(), -1);
    EXPECT_EQ(stream->Read(buffer, 1), 0);

    EXPECT_EQ(stream->Seek(4), 4);
    EXPECT_EQ(stream->Eof(), 0);
    EXPECT_EQ(stream->ReadShort(), 0x0504);
    EXPECT_EQ(stream->ReadShortBE(), 0x0607);
    EXPECT_EQ(stream->SeekFrom(-2, 2), 8);
    EXPECT_EQ(stream->SeekFrom(1, 1), 9);
    EXPECT_EQ(stream->ReadString(4), std::string(1, '\x09'));
}

// Opens on a thread of its own; a path that blocks the open is a failure, and a writer then
// lets the open go on so that the test itself ends.
ISonvexStream* OpenWithoutWaiting(const std::string& path) {
    auto pending =
        std::async(std::launch::async, [&path] { return Sonvex_OpenFileStream(path.c_str()); });
    if (pending.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << path << ": the open blocked";
        const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        pending.wait();
        if (writer >= 0) {
            close(writer);
        }
    }
    return pending.get();
}

TEST(FileStream, OpenRefusesAtOnceWhatIsNotAReadableRegularFile) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const TempFile fifoFile("fifo");
    const std::string& fifo = fifoFile.path();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Root reads whatever its mode says, so there a write-only kernel file stands in.
    const TempFile locked("locked", kTen);
    chmod(locked.path().c_str(), 0);
    const std::string unreadable = geteuid() == 0 ? "/proc/sys/vm/compact_memory" : locked.path();

    for (const std::string& path : {std::string("/nonexistent/sonvex/file.wav"), dir.string(), fifo,
                                    unreadable}) {
        if (path == unreadable) {
            const int probe = open(path.c_str(), O_RDONLY);
            if (probe >= 0) {
                close(probe);
                continue;   // nothing here is unreadable to us
            }
        }
        Sonvex_SetDebugLog(1);
        testing::internal::CaptureStdout();
        ISonvexStream* stream = OpenWithoutWaiting(path);
        const std::string log = testing::internal::GetCapturedStdout();
        Sonvex_SetDebugLog(0);
        EXPECT_EQ(stream, nullptr) << path;
        Sonvex_DeleteStream(stream);
        EXPECT_EQ(log, "Sonvex2: Not a readable file: " + path + "\n");
    }
    EXPECT_EQ(Sonvex_OpenFileStream(nullptr), nullptr);
    Sonvex_DeleteStream(nullptr);
}

TEST(StreamKinds, TrackerLoaderCanReachTheSource) {
    Mem mem(kTen);
    ASSERT_EQ(mem->kind, ISonvexStream::KindMemory);
    auto* block = static_cast<cmem*>(mem.get());
    EXPECT_EQ(block->size, 10);
    EXPECT_EQ(block->data[9], 9);

    const TempFile file("ten", kTen);
    StreamPtr disk(Sonvex_OpenFileStream(file.path().c_str()));
    ASSERT_EQ(disk->kind, ISonvexStream::KindFile);
    EXPECT_NE(static_cast<cfile*>(disk.get())->file, nullptr);
}

}  // namespace

#include "engine/cfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <new>

#include "engine/DebugLog.h"

cfile* cfile::Open(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    // Non-blocking, so that a named pipe or a device answers at once instead of waiting for a
    // writer; the checks then run on what was really opened, not on a path that may have changed.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // A directory opens for reading here, and positions are 32-bit: refuse both up front rather
    // than hand a player a stream whose size means nothing.
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > INT32_MAX) {
        DebugLogPair("Not a readable file:", path);
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    FILE* handle = fdopen(fd, "rb");
    if (handle == nullptr) {
        DebugLogPair("Not a readable file:", path);
        close(fd);
        return nullptr;
    }
    std::fseek(handle, 0, SEEK_END);
    const long bytes = std::ftell(handle);
    std::fseek(handle, 0, SEEK_SET);
    auto* stream = new (std::nothrow) cfile(handle, static_cast<int32_t>(bytes < 0 ? 0 : bytes));
    if (stream == nullptr) {
        std::fclose(handle);
    }
    return stream;
}

void cfile::Close() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
}

int32_t cfile::Eof() {
    return file != nullptr && std::feof(file) ? 1 : 0;
}

int32_t cfile::Size() {
    return size;
}

int32_t cfile::Pos() {
    if (Eof() != 0 || file == nullptr) {
        return -1;
    }
    return static_cast<int32_t>(std::ftell(file));
}

int32_t cfile::Seek(int32_t position) {
    SeekFrom(position, SEEK_SET);
    return file != nullptr ? static_cast<int32_t>(std::ftell(file)) : -1;
}

int32_t cfile::SeekFrom(int32_t offset, int32_t origin) {
    if (file == nullptr) {
        return -1;
    }
    int whence = SEEK_SET;
    if (origin == 1) {
        whence = SEEK_CUR;
    } else if (origin == 2) {
        whence = SEEK_END;
    }
    std::fseek(file, offset, whence);
    return static_cast<int32_t>(std::ftell(file));
}

void cfile::Flush() {
    if (file != nullptr) {
        std::fflush(file);
    }
}

int32_t cfile::Read(void* buffer, int32_t count) {
    if (Eof() != 0) {
        return 0;
    }
    return ReadRaw(buffer, count);
}

int32_t cfile::ReadRaw(void* buffer, int32_t count) {
    if (file == nullptr || count <= 0) {
        return 0;
    }
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(count), file));
}

#pragma once
// Helpers shared by the player suites: the debug log as lines, the process's open descriptors
// (to see a stream's file closed exactly once) and files on disk for the file-stream cases.

#include <dirent.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "engine/DebugLog.h"
#include "tests/media/TempFile.h"

namespace playertest {

// The debug-log lines written while `run` runs, each without the "Sonvex2: " prefix. A memory
// stream logs every seek; those lines say nothing about the player and are left out.
template <typename Run>
std::vector<std::string> LogLines(Run run) {
    Sonvex_SetDebugLog(1);
    testing::internal::CaptureStdout();
    run();
    const std::string out = testing::internal::GetCapturedStdout();
    Sonvex_SetDebugLog(0);
    std::vector<std::string> lines;
    std::istringstream in(out);
    const std::string prefix = "Sonvex2: ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            line.erase(0, prefix.size());
        }
        if (line != "CMEM SEEK") {
            lines.push_back(line);
        }
    }
    return lines;
}

inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Entries of a /proc folder: open descriptors, threads.
inline int32_t EntriesIn(const char* folder) {
    int32_t count = 0;
    if (DIR* dir = opendir(folder)) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

inline int32_t OpenDescriptors() {
    return EntriesIn("/proc/self/fd");
}

// Files on disk for the code under test, gone when the test ends.
using sonvex_test::WriteTempFile;

}  // namespace playertest

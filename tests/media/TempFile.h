#pragma once
// Files the tests write for the code under test to open. Each is named for the process (CTest
// runs the cases of one suite as parallel processes) in the test temporary folder and removed
// once the test is done with it: a TempFile with its holder, a WriteTempFile file when the test
// that wrote it ends (or the process, when a test ends it). After every test, a file of this
// process still in the folder fails that test. Header-only: including it is all it takes.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace sonvex_test {

// Every test file of this process starts with this.
inline std::string TempPrefix() {
    return testing::TempDir() + "sonvex_" + std::to_string(getpid()) + "_";
}

class TempFile {
public:
    // A path of its own ending in `name` (keeping its extension); nothing written yet.
    explicit TempFile(const std::string& name) : path_(TempPrefix() + std::to_string(Next()) + "_" + name) {}
    TempFile(const std::string& name, const std::vector<uint8_t>& bytes) : TempFile(name) { Write(bytes); }
    // A forked death-test child that exits leaves its parent's files alone.
    ~TempFile() {
        if (getpid() == owner_) {
            std::remove(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

    // Replaces the file's contents; false when it could not be written.
    bool Write(const std::vector<uint8_t>& bytes) const {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr) {
            return false;
        }
        const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fclose(file) == 0 && written;
    }

private:
    static uint32_t Next() {
        static std::atomic<uint32_t> count{0};
        return ++count;
    }

    std::string path_;
    pid_t owner_ = getpid();
};

namespace internal {

// What WriteTempFile wrote: inside a test, kept until that test ends; outside any (a suite's
// set-up), until the program ends. A test that ends the process (a death test's child) leaves
// its files to the exit.
struct HeldFiles {
    std::vector<std::unique_ptr<TempFile>> test;
    std::vector<std::unique_ptr<TempFile>> program;
};

inline HeldFiles& Held() {
    static HeldFiles held;
    return held;
}

class TempFileListener : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        Held().test.clear();
        const std::string prefix = TempPrefix();
        const std::string dir = testing::TempDir();
        std::vector<std::string> left;
        if (DIR* folder = opendir(dir.c_str())) {
            while (const dirent* entry = readdir(folder)) {
                const std::string path = dir + entry->d_name;
                if (path.compare(0, prefix.size(), prefix) == 0 && !HeldForTheProgram(path)) {
                    left.push_back(path);
                }
            }
            closedir(folder);
        }
        for (const std::string& path : left) {
            ADD_FAILURE() << "the test left " << path << " behind";
            std::remove(path.c_str());
        }
    }

    static bool HeldForTheProgram(const std::string& path) {
        for (const auto& file : Held().program) {
            if (file->path() == path) {
                return true;
            }
        }
        return false;
    }
};

inline const bool kTempFileListenerAdded =
    (testing::UnitTest::GetInstance()->listeners().Append(new TempFileListener), true);

}  // namespace internal

// Writes `bytes` to a new file and answers its path; the file goes when the current test ends.
inline std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    auto file = std::make_unique<TempFile>(name, bytes);
    const std::string path = file->path();
    internal::HeldFiles& held = internal::Held();
    (testing::UnitTest::GetInstance()->current_test_info() != nullptr ? held.test : held.program)
        .push_back(std::move(file));
    return path;
}

}  // namespace sonvex_test

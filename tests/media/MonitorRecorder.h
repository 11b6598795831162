#pragma once
// Recording what the private PulseAudio server of scripts/with-pulse plays: parec on the null
// sink's monitor, raw float32 stereo at 44100 Hz into a file. Header-only, for the device tests.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace sonvex_test {

// Polls `done` every 10 ms for at most `limit`; the limits only bound a broken run.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// parec on the null sink's monitor, writing raw float32 stereo at 44100 Hz into a file. The
// child dies with the test process, so a crashed test leaves no recorder behind.
class MonitorRecorder {
public:
    MonitorRecorder() {
        char dir[] = "/tmp/sonvex-record.XXXXXX";
        if (mkdtemp(dir) != nullptr) {
            dir_ = dir;
            path_ = dir_ + "/monitor.raw";
        }
    }

    ~MonitorRecorder() {
        Stop();
        if (!path_.empty()) {
            std::remove(path_.c_str());
            rmdir(dir_.c_str());
        }
    }

    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool Start() {
        if (path_.empty()) {
            return false;
        }
        const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            return false;
        }
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) {
                _exit(127);
            }
            dup2(fd, STDOUT_FILENO);
            close(fd);
            execlp("parec", "parec", "-d", "out.monitor", "--latency-msec=20", "--raw",
                   "--format=float32le", "--rate=44100", "--channels=2", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fd);
        return pid_ > 0;
    }

    // Ends the recorder (by its PID) and waits for it.
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    bool Running() {
        return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
    }

    uint64_t FramesRecorded() const {
        struct stat info {};
        if (stat(path_.c_str(), &info) != 0) {
            return 0;
        }
        return static_cast<uint64_t>(info.st_size) / (2 * sizeof(float));
    }

    // The whole frames recorded so far, interleaved stereo.
    std::vector<float> Samples() const {
        std::vector<float> samples(2 * FramesRecorded());
        if (FILE* file = std::fopen(path_.c_str(), "rb")) {
            samples.resize(std::fread(samples.data(), 2 * sizeof(float), samples.size() / 2, file) * 2);
            std::fclose(file);
        }
        return samples;
    }

private:
    std::string dir_;
    std::string path_;
    pid_t pid_ = -1;
};

// Index of the first frame with a non-zero value, or the frame count when all are silent.
inline size_t FirstSoundingFrame(const std::vector<float>& samples) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) {
            return i / 2;
        }
    }
    return samples.size() / 2;
}

// One past the last frame with a non-zero value.
inline size_t EndOfSound(const std::vector<float>& samples) {
    for (size_t i = samples.size(); i > 0; --i) {
        if (samples[i - 1] != 0.0f) {
            return (i - 1) / 2 + 1;
        }
    }
    return 0;
}

}  // namespace sonvex_test

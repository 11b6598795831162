#pragma once
// A PulseAudio server of the test's own, set up as scripts/with-pulse sets up its server, that
// the test can end mid-play and start again on the same socket. While it lives, PULSE_SERVER
// points this process (and the recorders it starts) at it, started or not. Only this server is
// stopped, by PID.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/media/MonitorRecorder.h"

namespace sonvex_test {

// Frames of the recording in which anything sounds. An output that stops after its restart is
// heard for the three buffers a new stream is prefilled with, 3072 frames, however long it is
// recorded; one that runs on, for as long as it is recorded.
inline size_t SoundingFrames(const std::vector<float>& samples) {
    size_t frames = 0;
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
        frames += (samples[i] != 0.0f || samples[i + 1] != 0.0f) ? 1 : 0;
    }
    return frames;
}

class PrivatePulseServer {
public:
    PrivatePulseServer() {
        const char* before = std::getenv("PULSE_SERVER");
        before_ = before != nullptr ? before : "";
        char dir[] = "/tmp/sonvex-pulse.XXXXXX";
        dir_ = mkdtemp(dir) != nullptr ? dir : "/nonexistent";
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/pulse.sock").c_str(), 1);
    }

    ~PrivatePulseServer() {
        Stop();
        setenv("PULSE_SERVER", before_.c_str(), 1);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    // True once the server answers.
    bool Start() {
        const std::string home = "HOME=" + dir_, runtime = "XDG_RUNTIME_DIR=" + dir_,
                          socket = "--load=module-native-protocol-unix socket=" + dir_ + "/pulse.sock auth-anonymous=1";
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execlp("env", "env", home.c_str(), runtime.c_str(), "pulseaudio", "--daemonize=no", "--system=no",
                   "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no", "--high-priority=no",
                   "--disable-shm=yes", "-n",
                   "--load=module-null-sink sink_name=out format=float32le rate=44100 channels=2", socket.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid_ > 0 && WaitFor([] { return std::system("timeout 2 pactl info >/dev/null 2>&1") == 0; },
                                   std::chrono::seconds(10));
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    std::string before_;
    std::string dir_;
    pid_t pid_ = -1;
};

}  // namespace sonvex_test

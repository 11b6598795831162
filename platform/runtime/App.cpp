#include "platform/runtime/App.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace fw {

namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

constexpr int kPhases = 3;

std::vector<std::function<void()>>& Handlers(int phase) {
    static std::vector<std::function<void()>> handlers[kPhases];
    return handlers[phase];
}

// Takes the next handler to run: the last added of the earliest phase that has one.
bool TakeHandler(std::function<void()>& handler) {
    std::lock_guard<std::mutex> hold(HandlerLock());
    for (int phase = 0; phase < kPhases; ++phase) {
        std::vector<std::function<void()>>& list = Handlers(phase);
        if (!list.empty()) {
            handler = std::move(list.back());
            list.pop_back();
            return true;
        }
    }
    return false;
}

NotifyPresenter& Presenter() {
    static NotifyPresenter presenter;
    return presenter;
}

}  // namespace

int32_t FileType(const std::string& path) {
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return FILETYPE_NONE;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILETYPE_DIR;
    }
    return S_ISREG(info.st_mode) ? FILETYPE_FILE : FILETYPE_NONE;
}

std::vector<std::string>& AppArgs() {
    static std::vector<std::string> args;
    return args;
}

std::string& AppTitle() {
    static std::string title;
    return title;
}

void StartApp(int argc, char** argv) {
    AppArgs().assign(argv, argv + argc);
    std::string name = argc > 0 ? argv[0] : "";
    const size_t slash = name.find_last_of('/');
    AppTitle() = slash == std::string::npos ? name : name.substr(slash + 1);
}

void OnEnd(std::function<void()> handler, EndPhase phase) {
    std::lock_guard<std::mutex> hold(HandlerLock());
    Handlers(static_cast<int>(phase)).push_back(std::move(handler));
}

void RunExitHandlers() {
    std::function<void()> handler;
    while (TakeHandler(handler)) {
        handler();
    }
}

void End() {
    RunExitHandlers();
    std::fflush(nullptr);
    std::exit(0);
}

void SetNotifyPresenter(NotifyPresenter presenter) {
    Presenter() = std::move(presenter);
}

void Notify(const std::string& text, bool serious) {
    if (Presenter()) {
        Presenter()(text, serious);
        return;
    }
    std::fprintf(stderr, "%s%s\n", serious ? "Error: " : "", text.c_str());
    std::fflush(stderr);
}

}  // namespace fw

#include "platform/runtime/Collect.h"

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/App.h"

namespace fw {

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id mainThread = std::this_thread::get_id();

// Both outlive exit: framework objects held in a program's globals may still go after it.
std::mutex& PendingLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

std::vector<Ref<Object>>& Pending() {
    static auto* pending = new std::vector<Ref<Object>>;
    return *pending;
}

std::set<std::string>& Types() {
    static std::set<std::string> types;
    return types;
}

// Whatever is still waiting at exit goes once the engine has let its sources go.
struct CollectAtEnd {
    CollectAtEnd() {
        OnEnd([] { GCCollect(); }, EndPhase::Rest);
    }
} collectAtEnd;

}  // namespace

bool IsMainThread() {
    return std::this_thread::get_id() == mainThread;
}

void ReleaseLater(Ref<Object> object) {
    if (!object || IsMainThread()) {
        return;  // the handle goes here, on the main thread
    }
    std::lock_guard<std::mutex> hold(PendingLock());
    Pending().push_back(std::move(object));
}

int32_t GCCollect() {
    std::vector<Ref<Object>> dropped;
    {
        std::lock_guard<std::mutex> hold(PendingLock());
        dropped.swap(Pending());
    }
    return static_cast<int32_t>(dropped.size());
}

void RegisterType(const char* name) {
    Types().insert(name);
}

}  // namespace fw

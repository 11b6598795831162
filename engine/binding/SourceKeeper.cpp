#include "engine/binding/SourceKeeper.h"

#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/runtime/Collect.h"

namespace sonvex2 {

namespace {

struct Kept {
    ISonvexMusic::DeleterFn deleter = nullptr;
    std::vector<fw::Ref<fw::Object>> objects;
};

std::mutex& KeptLock() {
    static std::mutex lock;
    return lock;
}

std::unordered_map<ISonvexMusic*, Kept>& KeptTable() {
    static auto* table = new std::unordered_map<ISonvexMusic*, Kept>;   // outlives exit
    return *table;
}

void DeleteAndLetGo(ISonvexMusic* source) {
    Kept kept;
    {
        std::lock_guard<std::mutex> hold(KeptLock());
        auto found = KeptTable().find(source);
        if (found == KeptTable().end()) {
            return;
        }
        kept = std::move(found->second);
        KeptTable().erase(found);
    }
    if (kept.deleter != nullptr) {
        kept.deleter(source);
    }
    for (fw::Ref<fw::Object>& object : kept.objects) {
        fw::ReleaseLater(std::move(object));
    }
}

}  // namespace

void KeepUntilDestroyed(ISonvexMusic* source, fw::Ref<fw::Object> kept) {
    if (source == nullptr || !kept) {
        return;
    }
    std::lock_guard<std::mutex> hold(KeptLock());
    Kept& entry = KeptTable()[source];
    if (source->Deleter != &DeleteAndLetGo) {
        entry.deleter = source->Deleter;
        source->Deleter = &DeleteAndLetGo;
    }
    entry.objects.push_back(std::move(kept));
}

}  // namespace sonvex2

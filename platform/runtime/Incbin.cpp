#include "platform/runtime/Incbin.h"

#include <map>
#include <mutex>

namespace fw {

namespace {

struct Embedded {
    const void* data;
    int32_t length;
};

std::mutex& IncbinLock() {
    static std::mutex lock;
    return lock;
}

std::map<std::string, Embedded>& IncbinTable() {
    static std::map<std::string, Embedded> table;
    return table;
}

const Embedded* Find(const std::string& name) {
    auto found = IncbinTable().find(name);
    return found == IncbinTable().end() ? nullptr : &found->second;
}

}  // namespace

void IncbinAdd(const std::string& name, const void* data, int32_t length) {
    std::lock_guard<std::mutex> hold(IncbinLock());
    IncbinTable()[name] = Embedded{data, length < 0 ? 0 : length};
}

const void* IncbinPtr(const std::string& name) {
    std::lock_guard<std::mutex> hold(IncbinLock());
    const Embedded* entry = Find(name);
    return entry != nullptr ? entry->data : nullptr;
}

int32_t IncbinLen(const std::string& name) {
    std::lock_guard<std::mutex> hold(IncbinLock());
    const Embedded* entry = Find(name);
    return entry != nullptr ? entry->length : 0;
}

}  // namespace fw

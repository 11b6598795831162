#include "platform/runtime/Hook.h"

#include <map>
#include <vector>

#include "platform/runtime/Event.h"

namespace fw {

// The event queue's end (Event.cpp).
void QueueRaisedEvent(const Ref<TEvent>& event);

namespace {

struct HookEntry {
    HookFunction function;
    Ref<Object> context;
    int32_t priority;
};

using HookList = std::vector<HookEntry>;

Ref<Object> QueueEvent(int32_t id, Ref<Object> data, Ref<Object> context);

std::map<int32_t, HookList>& Hooks() {
    // The event queue's own entry is there from the start, so no program can raise an event past it.
    // Never destroyed: the hooks hold their contexts (the application object) for the process's life.
    static auto* hooks =
        new std::map<int32_t, HookList>{{EmitEventHook, {{&QueueEvent, nullptr, QueueHookPriority}}}};
    return *hooks;
}

Ref<Object> QueueEvent(int32_t, Ref<Object> data, Ref<Object>) {
    Ref<TEvent> event = Cast<TEvent>(data);
    if (event) {
        QueueRaisedEvent(event);
    }
    return data;
}

}  // namespace

int32_t AllocHookId() {
    static int32_t next = EmitEventHook;
    return ++next;
}

void AddHook(int32_t id, HookFunction function, Ref<Object> context, int32_t priority) {
    HookList& list = Hooks()[id];
    auto at = list.begin();
    while (at != list.end() && at->priority >= priority) {
        ++at;
    }
    list.insert(at, HookEntry{function, std::move(context), priority});
}

void RemoveHook(int32_t id, HookFunction function, Ref<Object> context) {
    HookList& list = Hooks()[id];
    for (auto at = list.begin(); at != list.end(); ++at) {
        if (at->function == function && at->context == context) {
            list.erase(at);
            return;
        }
    }
}

Ref<Object> RunHooks(int32_t id, Ref<Object> data) {
    auto found = Hooks().find(id);
    if (found == Hooks().end()) {
        return data;
    }
    // A copy: hooks may add or remove hooks, and runs nest when a hook polls.
    const HookList list = found->second;
    for (const HookEntry& entry : list) {
        data = entry.function(id, std::move(data), entry.context);
    }
    return data;
}

}  // namespace fw

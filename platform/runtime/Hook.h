#pragma once
// Hooks: numbered lists of functions that a value is passed through, highest priority first.
// The framework raises every event through EmitEventHook; the event queue sits on that hook at
// QueueHookPriority, so any hook of a higher priority sees an event before it is queued.
// Main thread only.

#include <cstdint>

#include "platform/runtime/Object.h"

namespace fw {

// A hook function gets the hook's id, the value passed along and its own context. What it returns
// goes on to the next function (return `data` to pass the value on unchanged).
using HookFunction = Ref<Object> (*)(int32_t id, Ref<Object> data, Ref<Object> context);

// The hook every event is raised through.
constexpr int32_t EmitEventHook = 1;
// Priority of the event queue's own function on EmitEventHook.
constexpr int32_t QueueHookPriority = -10000;

// A fresh hook id, never EmitEventHook.
int32_t AllocHookId();
// Higher priorities run first; equal priorities in the order added. The hook holds a reference to
// `context` until the function is removed.
void AddHook(int32_t id, HookFunction function, Ref<Object> context = nullptr, int32_t priority = 0);
// Removes the first entry with this function and context.
void RemoveHook(int32_t id, HookFunction function, Ref<Object> context = nullptr);
// Passes `data` through the hook's functions and answers what the last one returned. Functions
// added or removed while it runs take effect on the next run.
Ref<Object> RunHooks(int32_t id, Ref<Object> data);

}  // namespace fw

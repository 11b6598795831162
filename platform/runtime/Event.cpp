#include "platform/runtime/Event.h"

#include <deque>

#include "platform/runtime/Hook.h"
#include "platform/runtime/System.h"

namespace fw {

namespace {

// Never destroyed: queued events hold gadgets and timers, which must not go during the exit.
std::deque<Ref<TEvent>>& Queue() {
    static auto* queue = new std::deque<Ref<TEvent>>();
    return *queue;
}

Ref<TEvent>& Current() {
    static auto* current = new Ref<TEvent>();
    return *current;
}

int32_t TakeNext() {
    Current() = Queue().front();
    Queue().pop_front();
    return Current()->id;
}

}  // namespace

void QueueRaisedEvent(const Ref<TEvent>& event) {
    Queue().push_back(event);
}

Ref<TEvent> CreateEvent(int32_t id, Ref<Object> source, int32_t data, int32_t mods, int32_t x, int32_t y,
                        Ref<Object> extra) {
    Ref<TEvent> event = New<TEvent>();
    event->id = id;
    event->source = std::move(source);
    event->data = data;
    event->mods = mods;
    event->x = x;
    event->y = y;
    event->extra = std::move(extra);
    return event;
}

void EmitEvent(const Ref<TEvent>& event) {
    RunHooks(EmitEventHook, event);
}

int32_t WaitEvent() {
    while (Queue().empty()) {
        WaitSystem();
    }
    return TakeNext();
}

int32_t PollEvent() {
    if (Queue().empty()) {
        PollSystem();
    }
    if (Queue().empty()) {
        Current() = nullptr;
        return 0;
    }
    return TakeNext();
}

Ref<TEvent> PeekEvent() {
    return Queue().empty() ? Ref<TEvent>() : Queue().front();
}

void FlushEvents() {
    Queue().clear();
}

int32_t QueuedEvents() {
    return static_cast<int32_t>(Queue().size());
}

Ref<TEvent> CurrentEvent() {
    return Current();
}

int32_t EventID() {
    return Current() ? Current()->id : 0;
}

Ref<Object> EventSource() {
    return Current() ? Current()->source : Ref<Object>();
}

int32_t EventData() {
    return Current() ? Current()->data : 0;
}

int32_t EventMods() {
    return Current() ? Current()->mods : 0;
}

int32_t EventX() {
    return Current() ? Current()->x : 0;
}

int32_t EventY() {
    return Current() ? Current()->y : 0;
}

Ref<Object> EventExtra() {
    return Current() ? Current()->extra : Ref<Object>();
}

}  // namespace fw

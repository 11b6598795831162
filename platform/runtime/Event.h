#pragma once
// Events and the event queue. An event is raised (EmitEvent) through EmitEventHook, whose lowest
// function queues it; WaitEvent and PollEvent take events from the queue. Events are raised from
// inside the system polls (PollSystem, WaitSystem) as the window system and the timers produce
// them, so a hook runs before the wait that raised the event returns, and a hook that polls may
// see other events run inside it. Main thread only.

#include <cstdint>

#include "platform/runtime/Object.h"

namespace fw {

// Event ids.
constexpr int32_t AppSuspend = 0x0001;
constexpr int32_t AppResume = 0x0002;
constexpr int32_t AppTerminate = 0x0003;
constexpr int32_t KeyDown = 0x0101;
constexpr int32_t KeyUp = 0x0102;
constexpr int32_t KeyChar = 0x0103;
constexpr int32_t MouseDown = 0x0201;
constexpr int32_t MouseUp = 0x0202;
constexpr int32_t MouseMove = 0x0203;
constexpr int32_t MouseWheel = 0x0204;
constexpr int32_t MouseEnter = 0x0205;
constexpr int32_t MouseLeave = 0x0206;
constexpr int32_t TimerTick = 0x0801;
constexpr int32_t GadgetAction = 0x2001;
constexpr int32_t GadgetPaint = 0x2002;
constexpr int32_t WindowMove = 0x4001;
constexpr int32_t WindowSize = 0x4002;
constexpr int32_t WindowClose = 0x4003;
constexpr int32_t WindowActivate = 0x4004;

// Key modifier bits in TEvent::mods.
constexpr int32_t ModifierShift = 1;
constexpr int32_t ModifierControl = 2;
constexpr int32_t ModifierOption = 4;

// Mouse buttons in TEvent::data of mouse down/up events.
constexpr int32_t MouseLeftButton = 1;
constexpr int32_t MouseRightButton = 2;
constexpr int32_t MouseMiddleButton = 3;

class TEvent : public Object {
public:
    int32_t id = 0;
    Ref<Object> source;
    int32_t data = 0;
    int32_t mods = 0;
    int32_t x = 0;
    int32_t y = 0;
    Ref<Object> extra;
};

Ref<TEvent> CreateEvent(int32_t id, Ref<Object> source = nullptr, int32_t data = 0, int32_t mods = 0,
                        int32_t x = 0, int32_t y = 0, Ref<Object> extra = nullptr);
// Raises the event through EmitEventHook (and so, unless a hook swallows it, queues it).
void EmitEvent(const Ref<TEvent>& event);

// Waits until an event is queued, takes it as the current event and answers its id.
int32_t WaitEvent();
// Polls the system once when the queue is empty; takes the next event as the current one and
// answers its id, or answers 0 (and the current event becomes none) when there is none.
int32_t PollEvent();
// The next queued event without taking it, or none.
Ref<TEvent> PeekEvent();
// Drops every queued event.
void FlushEvents();
// Number of events queued.
int32_t QueuedEvents();

// The event last taken by WaitEvent or PollEvent, and its fields (0 / none when there is none).
Ref<TEvent> CurrentEvent();
int32_t EventID();
Ref<Object> EventSource();
int32_t EventData();
int32_t EventMods();
int32_t EventX();
int32_t EventY();
Ref<Object> EventExtra();

}  // namespace fw

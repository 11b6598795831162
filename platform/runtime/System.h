#pragma once
// The system poll: hands pending window-system messages and timer ticks to their handlers, which
// raise events. A GUI installs its own driver; without one, polling only delivers timer ticks and
// waiting sleeps until a timer wakes it.

#include <cstdint>

namespace fw {

class SystemDriver {
public:
    virtual ~SystemDriver() = default;
    // Handles pending messages without waiting. Main thread.
    virtual void Poll() = 0;
    // Waits for at least one message (or a Wake) and handles what came. Main thread.
    virtual void Wait() = 0;
    // Makes a Wait in progress return soon. Any thread.
    virtual void Wake() = 0;
};

// Installs the driver (none = the built-in one). The driver must outlive its use.
void SetSystemDriver(SystemDriver* driver);

// Handles pending messages and timer ticks without waiting; events raised meanwhile run their
// hooks at once.
void PollSystem();
// Waits until something arrives, then handles it as PollSystem does.
void WaitSystem();
// Wakes a WaitSystem in progress; any thread.
void WakeSystem();

}  // namespace fw

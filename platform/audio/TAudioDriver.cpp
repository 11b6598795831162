#include "platform/audio/TAudioDriver.h"

#include "platform/runtime/App.h"
#include "platform/runtime/Strings.h"

namespace fw {

namespace {

// Plays nothing, always starts: what the framework falls back to. Not in the driver list.
class SilentDriver final : public TAudioDriver {
public:
    std::string Name() override { return "Null"; }
    int32_t Startup() override { return 1; }
    int32_t Shutdown() override { return 1; }
};

TList<TAudioDriver>& DriverList() {
    static TList<TAudioDriver>* drivers = [] {
        auto* list = new TList<TAudioDriver>;
        list->Retain();   // lives for the run
        return list;
    }();
    return *drivers;
}

bool silentMaking = false;

Ref<TAudioDriver>& Current() {
    static Ref<TAudioDriver> current;
    return current;
}

Ref<TAudioDriver> Silent() {
    static Ref<TAudioDriver> silent = [] {
        silentMaking = true;
        Ref<TAudioDriver> driver = New<SilentDriver>();
        silentMaking = false;
        return driver;
    }();
    return silent;
}

// Whichever driver is current at exit is shut down before the engine lets go of its channels.
struct ShutdownAtEnd {
    ShutdownAtEnd() {
        OnEnd(
            [] {
                Ref<TAudioDriver> driver = Current();
                if (driver) {
                    driver->Shutdown();
                }
                Current() = Silent();
            },
            EndPhase::Drivers);
    }
} shutdownAtEnd;

}  // namespace

TAudioDriver::TAudioDriver() {
    if (!silentMaking) {
        DriverList().AddFirst(Ref<TAudioDriver>(this));
    }
}

void TAudioDriver::Delete() {
    DriverList().Remove(Ref<TAudioDriver>(this));
}

TList<TAudioDriver>& AudioDrivers() {
    return DriverList();
}

int32_t SetAudioDriver(const std::string& name) {
    Ref<TAudioDriver> current = Current();
    if (current) {
        current->Shutdown();
    }
    Current() = Silent();
    const std::string wanted = Lower(name);
    for (const Ref<TAudioDriver>& driver : DriverList()) {
        if (Lower(driver->Name()) == wanted) {
            if (driver->Startup() == 0) {
                return 0;
            }
            Current() = driver;
            return 1;
        }
    }
    return 0;
}

Ref<TAudioDriver> AudioDriver() {
    if (!Current()) {
        Current() = Silent();
    }
    return Current();
}

}  // namespace fw

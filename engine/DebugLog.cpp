#include "engine/DebugLog.h"

#include <iostream>

std::atomic<int32_t> DebugLogFlag{0};

void Sonvex_SetDebugLog(int32_t value) {
    DebugLogFlag.store(value, std::memory_order_relaxed);
}

namespace {

bool LogOn() {
    return DebugLogFlag.load(std::memory_order_relaxed) == 1;
}

// Writes one whole line; the value (if any) follows the text with no separator.
template <typename Value>
void WriteLine(std::string_view text, const Value& value) {
    std::cout << "Sonvex2: " << text << value << '\n' << std::flush;
}

}  // namespace

void DebugLog(std::string_view text) {
    if (LogOn()) {
        WriteLine(text, "");
    }
}

void DebugLogChar(std::string_view text, char value) {
    if (LogOn()) {
        WriteLine(text, value);
    }
}

void DebugLogShort(std::string_view text, int16_t value) {
    if (LogOn()) {
        WriteLine(text, value);
    }
}

void DebugLogInt(std::string_view text, int32_t value) {
    if (LogOn()) {
        WriteLine(text, value);
    }
}

void DebugLogLong(std::string_view text, int32_t value) {
    if (LogOn()) {
        WriteLine(text, value);
    }
}

void DebugLogFloat(std::string_view text, float value) {
    if (LogOn()) {
        WriteLine(text, static_cast<double>(value));
    }
}

void DebugLogDouble(std::string_view text, double value) {
    if (LogOn()) {
        WriteLine(text, value);
    }
}

void DebugLogPair(std::string_view text, std::string_view second) {
    if (LogOn()) {
        std::cout << "Sonvex2: " << text << ' ' << second << '\n' << std::flush;
    }
}

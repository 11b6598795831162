#pragma once
// The engine's diagnostic log: "Sonvex2: " + text (+ value), one line each, on standard output,
// written only while the debug flag equals 1.

#include <atomic>
#include <cstdint>
#include <string_view>

extern std::atomic<int32_t> DebugLogFlag;

void Sonvex_SetDebugLog(int32_t value);

void DebugLog(std::string_view text);
void DebugLogChar(std::string_view text, char value);
void DebugLogShort(std::string_view text, int16_t value);
void DebugLogInt(std::string_view text, int32_t value);
void DebugLogLong(std::string_view text, int32_t value);
void DebugLogFloat(std::string_view text, float value);
void DebugLogDouble(std::string_view text, double value);
void DebugLogPair(std::string_view text, std::string_view second);

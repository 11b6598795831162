#pragma once
// The gain the mixer applies to the whole mix and the converter to its level meters.
// Stored as given: no clamp, negative values included.

#include <atomic>

extern std::atomic<double> MasterVolume;

void Sonvex_SetMasterVolume(double volume);
double Sonvex_GetMasterVolume();

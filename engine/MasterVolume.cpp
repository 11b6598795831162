#include "engine/MasterVolume.h"

std::atomic<double> MasterVolume{1.0};

void Sonvex_SetMasterVolume(double volume) {
    MasterVolume.store(volume, std::memory_order_relaxed);
}

double Sonvex_GetMasterVolume() {
    return MasterVolume.load(std::memory_order_relaxed);
}

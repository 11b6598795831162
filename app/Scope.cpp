#include "app/Scope.h"

#include <array>
#include <cmath>

#include "app/Globals.h"
#include "engine/Mixer.h"

namespace app {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kColumnStep = 0.97f;
constexpr float kScrollStep = 1.94f;
constexpr double kScrollFrom = 450.0;
constexpr float kLeftRow = 29.0f;
constexpr float kRightRow = 85.0f;

// Written by the audio thread only between a request and the engine's "copy finished".
std::array<float, kScopeValues> ScopeLanding{};

void DrawBand(int32_t first, float row) {
    const float x = static_cast<float>(ScopeX);
    for (int32_t i = first; i < ScopeSampleCount; i += 2) {
        const float h = ScopeBarHeight(ScopeBuffer[static_cast<size_t>(i)]);
        fw::DrawRect(x, row, 1.0f, -h);
        fw::DrawRect(x, row, 1.0f, h);
    }
}

}  // namespace

float ScopeBarHeight(float sample) {
    if (std::isnan(sample)) {
        return 0.0f;
    }
    return static_cast<float>(std::sqrt(std::fabs(static_cast<double>(sample))) * kPi * 8.0);
}

void RequestScopeCopy() {
    if (Sonvex_OutputCopyPending() == 0) {
        ScopeBuffer = ScopeLanding;
    }
    sonvex2::RequestOutputCopy(ScopeLanding.data(), static_cast<int32_t>(ScopeSampleCount));
}

int32_t DrawScope() {
    if (ScopeX > kScrollFrom) {
        ++ScopeScrollCounter;
        if (ScopeScrollCounter > 1) {
            ScopeScrollOffset += kScrollStep;
            fw::ScrollScrollPanel(ScopeScrollPanel, static_cast<int32_t>(ScopeScrollOffset), 0);
            ScopeScrollCounter = 0;
        }
    }
    ScopeX += static_cast<double>(kColumnStep);

    fw::SetColor(0, 128, 0);
    RequestScopeCopy();
    DrawBand(0, kLeftRow);
    fw::SetColor(128, 0, 0);
    RequestScopeCopy();
    DrawBand(1, kRightRow);
    fw::Flip(0);
    return 0;
}

}  // namespace app

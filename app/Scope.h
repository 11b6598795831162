#pragma once
// The scrolling scope strip: one column per call, an envelope of the engine's mixed output.
//
// The engine copies the output on the audio thread into a landing buffer of its own; ScopeBuffer
// takes a copy from there only once the engine reports it finished (and before the next request
// lets the engine write again), so the drawing never reads a block half written.

#include <cstdint>

namespace app {

int32_t DrawScope();

// Moves a finished copy into ScopeBuffer, then asks the engine for the next block.
void RequestScopeCopy();

// Half-height in pixels of the bar for one sample: both polarities by magnitude, 0 for NaN.
float ScopeBarHeight(float sample);

}  // namespace app

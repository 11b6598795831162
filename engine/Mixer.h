#pragma once
// The mixer: the output driver's callback runs MixOutput once per block (1024 frames) on the
// audio thread. It reaps released channels that have stopped, lets every channel add into the
// block, applies the master volume, clamps to -1..+1 and serves a pending output-copy request.

#include <cstdint>

// Fills `out` with `frames` interleaved stereo float frames (2 x frames values). Allocates nothing.
void MixOutput(float* out, uint32_t frames);

// Asks for a copy of the next mixed block: min(frames, block frames) frames are copied to
// `dest` by the next MixOutput, from the audio thread. A second request before that replaces
// the first. `dest` must stay valid until the copy is made.
void Sonvex_RequestOutputCopy(float* dest, int32_t frames);

// 1 while a request waits to be served, 0 once the copy is complete. Reading the copy after
// seeing 0 here is ordered after the mixer's writes.
int32_t Sonvex_OutputCopyPending();

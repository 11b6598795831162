#pragma once
// The steps DUMB's module renderer asks of its resampler are held to what the resampler's own
// arithmetic can take: the program defines DUMB's four module resamplers in front of the
// library's, and hands each call on with its step bounded.

#include <dumb.h>

// True when the library's resamplers were found behind the program's; the tracker loader plays
// nothing otherwise.
bool DumbResamplerGuarded();

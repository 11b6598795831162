#pragma once
// Checks made before DUMB sees a module. DUMB 0.9.3 divides by a module's initial tempo
// and by each sample's base rate while it measures the module on loading, and a zero in either
// crashes the process; such a module cannot play anyway, so the tracker loader refuses it.

#include <cstddef>
#include <cstdint>

class ISonvexStream;

// False for an IT, S3M or XM module whose header holds an initial tempo of 0 (for XM, one whose
// low byte is 0), an IT or S3M module with an order list longer than its tracker allows or a
// sample whose base rate is 0 or above Impulse Tracker's 9,999,999 Hz (DUMB resamples at it while
// measuring, and hangs on rates of hundreds of megahertz), an IT module with a
// compressed stereo sample (on which DUMB ends the process) or a pattern row naming one channel
// twice (on which DUMB writes to the working directory, or aborts), an IT or XM pattern of
// no rows (which can keep DUMB measuring for ever), an IT, S3M or XM sample longer than the whole
// file (which DUMB would allocate before reading it), an XM module with a channel whose patterns
// hold both a key-off and an instrument field of 0 or above the count, an S3M or IT module with a
// pattern command of 32 (DUMB's own number for the XM key-off), or an IT or XM pattern whose data
// ends inside an entry (DUMB reads the rest from what its buffer held before): at a key-off DUMB
// reads the channel's instrument outside its instrument table, or from one the module does not
// have. Anything else (including what is no module at all) is left to DUMB's readers.
bool DumbScreenAccepts(const uint8_t* data, size_t size);

// The same checks over a stream, read in small pieces where the headers point: what it holds
// beyond them is never read, and the memory used does not grow with the stream's size. Leaves the
// stream's position anywhere.
bool DumbScreenAccepts(ISonvexStream* stream);

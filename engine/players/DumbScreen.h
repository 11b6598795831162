#pragma once
// Checks made before DUMB sees a module. DUMB 0.9.3 is not safe on hostile bytes: it divides by a
// module's tempo and by the step it resamples at, trusts lengths, counts and instrument numbers,
// and loops for ever on some of them. The tracker loader tries DUMB's four readers in turn, and a
// reader is only ever handed bytes that its own reader's rules accepted, whatever the first bytes
// say: DUMB's S3M reader ignores them, and its MOD reader has no signature at all.
//
// The rules, by reader (each keeps away a fault of DUMB's own):
// - every reader: nothing that is plainly another format's file (RIFF, fLaC, OggS and the like);
// - IT, S3M, XM: an initial tempo of 0 (for XM, one whose low byte is 0), an order list longer
//   than the tracker allows, a pattern of no rows (IT, XM), a sample longer than the file could
//   hold (DUMB allocates it first) or, compressed, longer than DUMB's int counts (IT), a sample
//   whose base rate lets a note reach a resampling step DUMB cannot take (0 divides by zero, past
//   2^31 never returns), any S3M sample slot that DUMB reads as a sample, whatever its type;
// - key-offs that read a channel's instrument outside DUMB's table: an S3M or IT pattern command
//   of 32 (DUMB's own number for the XM key-off) whose count can run out within a row, an XM
//   channel that can be left on an instrument above the count (or 0) with a note still sounding
//   and that has a key-off, an IT or XM pattern entry cut short by its pattern's data;
// - XM notes 98 to 120, which DUMB maps through entries its reader never fills;
// - IT: a compressed stereo sample (DUMB ends the process), a row naming one channel twice (DUMB
//   writes to the working directory, or aborts);
// - MOD: the "FLT8" layout (DUMB writes through a pointer it has not set and reads 2 KB into an
//   empty buffer), and a 15-sample module whose header is not one Soundtracker writes.

#include <cstddef>
#include <cstdint>

class ISonvexStream;

// DUMB's readers in the order the loader tries them, as bits of the screen's answer.
enum DumbReaderBit : uint32_t {
    kDumbReadIt = 1,
    kDumbReadXm = 2,
    kDumbReadMod = 4,
    kDumbReadS3m = 8,
};

// The readers the loader may hand these bytes to: those that would take them and whose rules they
// pass. Readers that would not take them are left out as well, since they would only refuse.
uint32_t DumbScreenReaders(const uint8_t* data, size_t size);

// The same over a stream, read in small pieces where the headers point: what it holds beyond them
// is never read, and the memory used does not grow with the stream's size. Leaves the stream's
// position anywhere.
uint32_t DumbScreenReaders(ISonvexStream* stream);

// True when at least one reader may be handed the bytes.
bool DumbScreenAccepts(const uint8_t* data, size_t size);
bool DumbScreenAccepts(ISonvexStream* stream);

#include "engine/players/DumbScreen.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/ISonvexStream.h"

namespace {

// Impulse Tracker takes base rates up to 9,999,999 Hz; no tracker writes more, for IT or S3M.
constexpr uint32_t kMaxBaseRate = 9999999;
// Order lists as long as the trackers make them; IT counts its end mark among them.
constexpr uint32_t kMaxItOrders = 257;
constexpr uint32_t kMaxS3mOrders = 256;

// A module's bytes, in memory or read from a stream a block at a time where the checks look.
// Bytes past the end read as 0; the checks test for room with Has first.
class ScreenBytes {
public:
    ScreenBytes(const uint8_t* data, size_t size) : Size(size), Memory(data) {}
    explicit ScreenBytes(ISonvexStream* stream)
        : Size(stream->Size() > 0 ? static_cast<size_t>(stream->Size()) : 0),
          Stream(stream),
          Blocks(kBlocks * kBlockBytes),
          Tags(kBlocks, SIZE_MAX) {}

    const size_t Size;

    bool Has(size_t offset, size_t bytes) const { return offset <= Size && bytes <= Size - offset; }

    uint8_t operator[](size_t at) {
        if (at >= Size) {
            return 0;
        }
        return Memory != nullptr ? Memory[at] : Cached(at);
    }
    uint32_t U16(size_t at) { return static_cast<uint32_t>((*this)[at]) | static_cast<uint32_t>((*this)[at + 1]) << 8; }
    uint32_t U32(size_t at) { return U16(at) | U16(at + 2) << 16; }
    bool Is(size_t at, const char* text, size_t bytes) {
        if (!Has(at, bytes)) {
            return false;
        }
        for (size_t i = 0; i < bytes; ++i) {
            if ((*this)[at + i] != static_cast<uint8_t>(text[i])) {
                return false;
            }
        }
        return true;
    }

private:
    // Patterns are walked through in order and headers looked up here and there: a few blocks,
    // each kept in the slot its number falls on, serve both.
    static constexpr size_t kBlockBytes = 4096;
    static constexpr size_t kBlocks = 16;

    uint8_t Cached(size_t at) {
        const size_t block = at / kBlockBytes;
        const size_t slot = block % kBlocks;
        uint8_t* bytes = Blocks.data() + slot * kBlockBytes;
        if (Tags[slot] != block) {
            const size_t start = block * kBlockBytes;
            const int32_t want = static_cast<int32_t>(std::min(kBlockBytes, Size - start));
            int32_t got = 0;
            if (Stream->Seek(static_cast<int32_t>(start)) == static_cast<int32_t>(start)) {
                got = std::max(Stream->Read(bytes, want), 0);
            }
            std::fill(bytes + got, bytes + kBlockBytes, 0);
            Tags[slot] = block;
        }
        return bytes[at % kBlockBytes];
    }

    const uint8_t* Memory = nullptr;
    ISonvexStream* Stream = nullptr;
    std::vector<uint8_t> Blocks;
    std::vector<size_t> Tags;
};

// DUMB takes the commands of IT and S3M patterns as they are, and its own number for the XM key-off,
// 32, is among them; the trackers' commands are 1 to 26, and none writes it. At that key-off, on a
// channel that is sounding, DUMB reads the channel's instrument from the instrument table without a
// check: S3M and IT in sample mode have no table at all, and in IT's instrument mode the channel's
// instrument can be a number above the count (DUMB keeps any, and checks it everywhere else).
constexpr uint8_t kDumbKeyOff = 32;

// The walk follows DUMB's reader: each channel keeps the last mask given for it, an entry whose mask
// is 0 is skipped, and masks start from 0 in each pattern. DUMB notes a row that names one channel
// twice in dupentry.txt in the working directory, and aborts the process when it cannot open that
// file; Impulse Tracker never writes such rows. An entry cut short by the end of the pattern's data
// takes the rest from whatever DUMB's buffer held before, a key-off as likely as anything.
bool ItPatternAccepted(ScreenBytes& b, size_t at) {
    if (!b.Has(at, 8)) {
        return true;
    }
    const size_t end = std::min(b.Size, at + 8 + b.U16(at));
    uint8_t masks[64] = {};
    uint64_t named = 0;
    for (size_t pos = at + 8; pos < end;) {
        const uint8_t what = b[pos++];
        if (what == 0) {
            named = 0;  // end of row
            continue;
        }
        const unsigned channel = (what - 1u) & 63u;
        if ((what & 0x80) != 0) {
            if (pos >= end) {
                return false;
            }
            masks[channel] = b[pos++];
        }
        const uint8_t mask = masks[channel];
        if (mask == 0) {
            continue;
        }
        if ((named >> channel & 1u) != 0) {
            return false;
        }
        named |= uint64_t{1} << channel;
        pos += (mask & 1) + (mask >> 1 & 1) + (mask >> 2 & 1);
        if ((mask & 8) != 0) {
            if (pos + 2 > end || b[pos] == kDumbKeyOff) {
                return false;
            }
            pos += 2;
        }
        if (pos > end) {
            return false;
        }
    }
    return true;
}

bool ItAccepts(ScreenBytes& b) {
    if (!b.Has(0, 192)) {
        return true;  // too short for DUMB to read either
    }
    const size_t orders = b.U16(32);
    if (b[51] == 0 || orders > kMaxItOrders) {
        return false;
    }
    const size_t instruments = b.U16(34);
    const size_t samples = b.U16(36);
    const size_t patterns = b.U16(38);
    const size_t table = 192 + orders + instruments * 4;
    // A pattern of no rows where the song ends has DUMB measure the module for ever; Impulse
    // Tracker's patterns have 32 rows at least.
    const size_t patternTable = table + samples * 4;
    for (size_t i = 0; i < patterns && b.Has(patternTable + i * 4, 4); ++i) {
        const size_t at = b.U32(patternTable + i * 4);
        if (at == 0) {
            continue;  // an empty pattern, stored as none
        }
        if ((b.Has(at, 4) && b.U16(at + 2) == 0) || !ItPatternAccepted(b, at)) {
            return false;
        }
    }
    for (size_t i = 0; i < samples && b.Has(table + i * 4, 4); ++i) {
        const size_t at = b.U32(table + i * 4);
        if (!b.Has(at, 80) || !b.Is(at, "IMPS", 4)) {
            continue;
        }
        const uint8_t flags = b[at + 18];
        if ((flags & 1) == 0) {
            continue;  // no sample data
        }
        const uint32_t rate = b.U32(at + 60);
        if (rate == 0 || rate > kMaxBaseRate) {
            return false;
        }
        const uint64_t length = b.U32(at + 48);
        const bool compressed = (flags & 8) != 0;
        // DUMB cannot unpack a compressed stereo sample and ends the whole process on one.
        if (compressed && (flags & 4) != 0 && length != 0) {
            return false;
        }
        // DUMB allocates the stated length before reading the data. Stored plain, the data takes
        // its full size; compressed, a frame takes one bit at the least.
        const uint64_t frameBytes = ((flags & 2) != 0 ? 2 : 1) * ((flags & 4) != 0 ? 2 : 1);
        const uint64_t leastStored = compressed ? length / 8 : length * frameBytes;
        if (leastStored > b.Size) {
            return false;
        }
    }
    return true;
}

// DUMB reads an S3M pattern from its pointer on, past the two bytes of its length, until 64 rows
// have ended (a byte under 32 ends one) or 64 KB have gone by.
bool S3mPatternAccepted(ScreenBytes& b, size_t at) {
    constexpr size_t kMaxBytes = 65536;
    const size_t end = std::min(b.Size, at + kMaxBytes);
    int32_t rows = 0;
    for (size_t pos = at + 2; pos < end && rows < 64;) {
        const uint8_t what = b[pos++];
        if (what < 32) {
            ++rows;
            continue;
        }
        pos += ((what & 32) != 0 ? 2 : 0) + ((what & 64) != 0 ? 1 : 0);
        if ((what & 128) != 0) {
            if (b[pos] == kDumbKeyOff) {
                return false;
            }
            pos += 2;
        }
    }
    return true;
}

bool S3mAccepts(ScreenBytes& b) {
    const size_t orders = b.U16(32);
    if (b[50] == 0 || orders > kMaxS3mOrders) {
        return false;
    }
    const size_t instruments = b.U16(34);
    const size_t table = 96 + orders;
    for (size_t i = 0; i < instruments && b.Has(table + i * 2, 2); ++i) {
        const size_t at = static_cast<size_t>(b.U16(table + i * 2)) * 16;
        if (!b.Has(at, 80) || b[at] != 1 || !b.Is(at + 76, "SCRS", 4)) {
            continue;
        }
        // A sample longer than the whole file has DUMB allocate its length (up to 4 GB) first.
        const uint32_t rate = b.U32(at + 32);
        if (rate == 0 || rate > kMaxBaseRate || b.U32(at + 16) > b.Size) {
            return false;
        }
    }
    const size_t patterns = b.U16(36);
    const size_t patternTable = table + instruments * 2;
    for (size_t i = 0; i < patterns && b.Has(patternTable + i * 2, 2); ++i) {
        const size_t at = static_cast<size_t>(b.U16(patternTable + i * 2)) * 16;
        if (at != 0 && !S3mPatternAccepted(b, at)) {
            return false;
        }
    }
    return true;
}

// What a cell of XM pattern data holds for the check below.
enum XmCellMarks : uint8_t {
    kXmKeyOff = 1,
    kXmNoInstrument = 2,
};

// One cell from at (a mask byte and the fields it names, or five plain fields); where the next
// begins.
size_t ReadXmCell(ScreenBytes& b, size_t at, size_t end, size_t instruments, uint8_t* marks) {
    uint32_t mask = 0x1f;
    if ((b[at] & 0x80) != 0) {
        mask = b[at] & 0x1fu;
        ++at;
    }
    *marks = 0;
    for (uint32_t field = 0; field < 5; ++field) {
        if ((mask & 1u << field) == 0) {
            continue;
        }
        if (at >= end) {
            // Cut short by the end of the pattern's data: DUMB reads the rest from whatever its
            // buffer held before, which can be a key-off and an instrument the module lacks.
            *marks = kXmKeyOff | kXmNoInstrument;
            return at;
        }
        const uint8_t value = b[at++];
        // DUMB reads a note of 0 or above 120 as the key-off note 97; effect 0x14 is K, key-off.
        if ((field == 0 && (value == 0 || value == 97 || value > 120)) || (field == 3 && value == 0x14)) {
            *marks |= kXmKeyOff;
        }
        if (field == 1 && (value == 0 || value > instruments)) {
            *marks |= kXmNoInstrument;
        }
    }
    return at;
}

// DUMB keeps an instrument field as the channel's instrument whatever it holds, and a key-off on
// that channel while a note still sounds then reads that entry of its instrument table: for 0 the
// one before the table, for a number above the header's count one up to 170 KB past it (out of
// bounds; where it does not crash, the playing note's volume depends on whatever lies there).
// Trackers leave out fields that are 0, but patterns stored unpacked, as the format allows, hold
// both in every empty cell. Rows are not followed in playing order: a channel with both anywhere
// in its patterns is refused. Leaves at where the instruments begin.
bool XmPatternsAccepted(ScreenBytes& b, size_t* at) {
    const size_t channels = b.U16(68);
    const size_t patterns = b.U16(70);
    const size_t instruments = b.U16(72);
    std::vector<uint8_t> marks(channels, 0);
    for (size_t p = 0; p < patterns && b.Has(*at, 9); ++p) {
        const size_t header = b.U32(*at);
        const size_t packed = b.U16(*at + 7);
        // As in IT, a pattern of no rows can keep DUMB measuring for ever.
        if (b.U16(*at + 5) == 0) {
            return false;
        }
        if (!b.Has(*at, header)) {
            return true;
        }
        *at += header;
        const size_t end = b.Has(*at, packed) ? *at + packed : b.Size;
        for (size_t cell = 0; *at < end && channels > 0; ++cell) {
            uint8_t found = 0;
            *at = ReadXmCell(b, *at, end, instruments, &found);
            uint8_t& channel = marks[cell % channels];
            channel |= found;
            if (channel == (kXmKeyOff | kXmNoInstrument)) {
                return false;
            }
        }
        *at = end;
    }
    return true;
}

// DUMB allocates each sample's stated length before reading it. It takes the instrument
// header's own size, and sample headers of 40 bytes only.
bool XmSamplesAccepted(ScreenBytes& b, size_t at) {
    const size_t instruments = b.U16(72);
    for (size_t i = 0; i < instruments && b.Has(at, 29); ++i) {
        const size_t samples = b.U16(at + 27);
        at += b.U32(at);
        size_t bytes = 0;
        for (size_t s = 0; s < samples && b.Has(at, 40); ++s, at += 40) {
            const size_t length = b.U32(at);
            if (length > b.Size) {
                return false;
            }
            bytes += length;
        }
        if (!b.Has(at, bytes)) {
            return true;
        }
        at += bytes;
    }
    return true;
}

// DUMB keeps the tempo in a byte, so a tempo of 256 divides by zero as 0 does. It takes the
// speed (ticks per row) as the full 16 bits, and a speed in the tens of thousands makes it
// measure weeks of song before the loader returns; FastTracker 2 goes up to 31.
bool XmAccepts(ScreenBytes& b) {
    if ((b.U16(78) & 0xff) == 0 || b.U16(76) > 255) {
        return false;
    }
    size_t at = 60 + static_cast<size_t>(b.U32(60));
    return XmPatternsAccepted(b, &at) && XmSamplesAccepted(b, at);
}

bool Accepts(ScreenBytes& b) {
    if (b.Is(0, "IMPM", 4)) {
        return ItAccepts(b);
    }
    if (b.Has(0, 80) && b.Is(0, "Extended Module: ", 17)) {
        return XmAccepts(b);
    }
    if (b.Has(0, 96) && b.Is(44, "SCRM", 4)) {
        return S3mAccepts(b);
    }
    return true;
}

}  // namespace

bool DumbScreenAccepts(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return true;
    }
    ScreenBytes bytes(data, size);
    return Accepts(bytes);
}

bool DumbScreenAccepts(ISonvexStream* stream) {
    if (stream == nullptr) {
        return true;
    }
    ScreenBytes bytes(stream);
    return Accepts(bytes);
}

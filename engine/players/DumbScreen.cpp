#include "engine/players/DumbScreen.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint32_t U16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

uint32_t U32(const uint8_t* p) {
    return U16(p) | U16(p + 2) << 16;
}

bool Has(size_t size, size_t offset, size_t bytes) {
    return offset <= size && bytes <= size - offset;
}

// DUMB's IT reader notes a pattern row that names one channel twice in dupentry.txt in the
// working directory, and aborts the process when it cannot open that file. Impulse Tracker never
// writes such rows. The walk follows DUMB's: each channel keeps the last mask given for it, an
// entry whose mask is 0 is skipped, and masks start from 0 in each pattern.
bool ItPatternNamesAChannelTwice(const uint8_t* data, size_t size, size_t at) {
    if (!Has(size, at, 8)) {
        return false;
    }
    const size_t end = std::min(size, at + 8 + U16(data + at));
    uint8_t masks[64] = {};
    uint64_t named = 0;
    for (size_t pos = at + 8; pos < end;) {
        const uint8_t what = data[pos++];
        if (what == 0) {
            named = 0;  // end of row
            continue;
        }
        const unsigned channel = (what - 1u) & 63u;
        if ((what & 0x80) != 0 && pos < end) {
            masks[channel] = data[pos++];
        }
        const uint8_t mask = masks[channel];
        if (mask == 0) {
            continue;
        }
        if ((named >> channel & 1u) != 0) {
            return true;
        }
        named |= uint64_t{1} << channel;
        pos += (mask & 1) + (mask >> 1 & 1) + (mask >> 2 & 1) + ((mask & 8) != 0 ? 2 : 0);
    }
    return false;
}

bool ItAccepts(const uint8_t* data, size_t size) {
    if (!Has(size, 0, 192)) {
        return true;  // too short for DUMB to read either
    }
    if (data[51] == 0) {
        return false;
    }
    const size_t orders = U16(data + 32);
    const size_t instruments = U16(data + 34);
    const size_t samples = U16(data + 36);
    const size_t patterns = U16(data + 38);
    const size_t table = 192 + orders + instruments * 4;
    // A pattern of no rows where the song ends has DUMB measure the module for ever; Impulse
    // Tracker's patterns have 32 rows at least.
    const size_t patternTable = table + samples * 4;
    for (size_t i = 0; i < patterns && Has(size, patternTable + i * 4, 4); ++i) {
        const size_t at = U32(data + patternTable + i * 4);
        if (at == 0) {
            continue;  // an empty pattern, stored as none
        }
        if ((Has(size, at, 4) && U16(data + at + 2) == 0) || ItPatternNamesAChannelTwice(data, size, at)) {
            return false;
        }
    }
    for (size_t i = 0; i < samples && Has(size, table + i * 4, 4); ++i) {
        const size_t at = U32(data + table + i * 4);
        if (!Has(size, at, 80) || std::memcmp(data + at, "IMPS", 4) != 0) {
            continue;
        }
        const uint8_t flags = data[at + 18];
        if ((flags & 1) == 0) {
            continue;  // no sample data
        }
        if (U32(data + at + 60) == 0) {
            return false;
        }
        const uint64_t length = U32(data + at + 48);
        const bool compressed = (flags & 8) != 0;
        // DUMB cannot unpack a compressed stereo sample and ends the whole process on one.
        if (compressed && (flags & 4) != 0 && length != 0) {
            return false;
        }
        // DUMB allocates the stated length before reading the data. Stored plain, the data takes
        // its full size; compressed, a frame takes one bit at the least.
        const uint64_t frameBytes = ((flags & 2) != 0 ? 2 : 1) * ((flags & 4) != 0 ? 2 : 1);
        const uint64_t leastStored = compressed ? length / 8 : length * frameBytes;
        if (leastStored > size) {
            return false;
        }
    }
    return true;
}

bool S3mAccepts(const uint8_t* data, size_t size) {
    if (data[50] == 0) {
        return false;
    }
    const size_t orders = U16(data + 32);
    const size_t instruments = U16(data + 34);
    const size_t table = 96 + orders;
    for (size_t i = 0; i < instruments && Has(size, table + i * 2, 2); ++i) {
        const size_t at = static_cast<size_t>(U16(data + table + i * 2)) * 16;
        if (!Has(size, at, 80) || data[at] != 1 || std::memcmp(data + at + 76, "SCRS", 4) != 0) {
            continue;
        }
        // A sample longer than the whole file has DUMB allocate its length (up to 4 GB) first.
        if (U32(data + at + 32) == 0 || U32(data + at + 16) > size) {
            return false;
        }
    }
    return true;
}

// What a cell of XM pattern data holds for the check below.
enum XmCellMarks : uint8_t {
    kXmKeyOff = 1,
    kXmInstrumentZero = 2,
};

// One cell from at (a mask byte and the fields it names, or five plain fields); where the next
// begins.
size_t ReadXmCell(const uint8_t* data, size_t at, size_t end, uint8_t* marks) {
    uint32_t mask = 0x1f;
    if ((data[at] & 0x80) != 0) {
        mask = data[at] & 0x1fu;
        ++at;
    }
    *marks = 0;
    for (uint32_t field = 0; field < 5; ++field) {
        if ((mask & 1u << field) == 0 || at >= end) {
            continue;
        }
        const uint8_t value = data[at++];
        // DUMB reads a note of 0 or above 120 as the key-off note 97; effect 0x14 is K, key-off.
        if ((field == 0 && (value == 0 || value == 97 || value > 120)) || (field == 3 && value == 0x14)) {
            *marks |= kXmKeyOff;
        }
        if (field == 1 && value == 0) {
            *marks |= kXmInstrumentZero;
        }
    }
    return at;
}

// DUMB keeps an instrument field of 0 as the channel's instrument, and a key-off on that channel
// while a note still sounds then reads the entry before its instrument table (out of bounds, and
// the playing note's volume then depends on whatever lies there). Trackers leave out fields that
// are 0, but patterns stored unpacked, as the format allows, hold both in every empty cell. Rows
// are not followed in playing order: a channel with both anywhere in its patterns is refused.
// Leaves at where the instruments begin.
bool XmPatternsAccepted(const uint8_t* data, size_t size, size_t* at) {
    const size_t channels = U16(data + 68);
    const size_t patterns = U16(data + 70);
    std::vector<uint8_t> marks(channels, 0);
    for (size_t p = 0; p < patterns && Has(size, *at, 9); ++p) {
        const size_t header = U32(data + *at);
        const size_t packed = U16(data + *at + 7);
        // As in IT, a pattern of no rows can keep DUMB measuring for ever.
        if (U16(data + *at + 5) == 0) {
            return false;
        }
        if (!Has(size, *at, header)) {
            return true;
        }
        *at += header;
        const size_t end = Has(size, *at, packed) ? *at + packed : size;
        for (size_t cell = 0; *at < end && channels > 0; ++cell) {
            uint8_t found = 0;
            *at = ReadXmCell(data, *at, end, &found);
            uint8_t& channel = marks[cell % channels];
            channel |= found;
            if (channel == (kXmKeyOff | kXmInstrumentZero)) {
                return false;
            }
        }
        *at = end;
    }
    return true;
}

// DUMB allocates each sample's stated length before reading it. It takes the instrument
// header's own size, and sample headers of 40 bytes only.
bool XmSamplesAccepted(const uint8_t* data, size_t size, size_t at) {
    const size_t instruments = U16(data + 72);
    for (size_t i = 0; i < instruments && Has(size, at, 29); ++i) {
        const size_t samples = U16(data + at + 27);
        at += U32(data + at);
        size_t bytes = 0;
        for (size_t s = 0; s < samples && Has(size, at, 40); ++s, at += 40) {
            const size_t length = U32(data + at);
            if (length > size) {
                return false;
            }
            bytes += length;
        }
        if (!Has(size, at, bytes)) {
            return true;
        }
        at += bytes;
    }
    return true;
}

// DUMB keeps the tempo in a byte, so a tempo of 256 divides by zero as 0 does. It takes the
// speed (ticks per row) as the full 16 bits, and a speed in the tens of thousands makes it
// measure weeks of song before the loader returns; FastTracker 2 goes up to 31.
bool XmAccepts(const uint8_t* data, size_t size) {
    if ((U16(data + 78) & 0xff) == 0 || U16(data + 76) > 255) {
        return false;
    }
    size_t at = 60 + static_cast<size_t>(U32(data + 60));
    return XmPatternsAccepted(data, size, &at) && XmSamplesAccepted(data, size, at);
}

}  // namespace

bool DumbScreenAccepts(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return true;
    }
    if (Has(size, 0, 4) && std::memcmp(data, "IMPM", 4) == 0) {
        return ItAccepts(data, size);
    }
    if (Has(size, 0, 80) && std::memcmp(data, "Extended Module: ", 17) == 0) {
        return XmAccepts(data, size);
    }
    if (Has(size, 0, 96) && std::memcmp(data + 44, "SCRM", 4) == 0) {
        return S3mAccepts(data, size);
    }
    return true;
}

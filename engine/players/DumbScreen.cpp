#include "engine/players/DumbScreen.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/ISonvexStream.h"

namespace {

// Impulse Tracker takes base rates up to 9,999,999 Hz; no tracker writes more, for IT or S3M.
constexpr uint32_t kMaxBaseRate = 9999999;
// Order lists as long as the trackers make them; IT counts its end mark among them.
constexpr uint32_t kMaxItOrders = 257;
constexpr uint32_t kMaxS3mOrders = 256;
// DUMB unpacks a compressed IT sample with int counts.
constexpr uint64_t kMaxItCompressedLength = INT32_MAX;

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
// DUMB keys off once the command's parameter has counted down that many ticks of its row, and
// starts the count again at every row: a parameter of the row's ticks or more never gets there.
// A row has as many ticks as the speed (set by the header and by command A), more under S6x.
constexpr uint8_t kDumbKeyOff = 32;

struct KeyOffReach {
    uint32_t leastKeyOff = 256;
    uint32_t mostTicks = 0;
    bool fineDelay = false;

    void Note(uint8_t command, uint8_t param) {
        if (command == kDumbKeyOff) {
            leastKeyOff = std::min<uint32_t>(leastKeyOff, param);
        } else if (command == 1) {
            mostTicks = std::max<uint32_t>(mostTicks, param);
        } else if (command == 19 && (param >> 4) == 6) {
            fineDelay = true;
        }
    }
    bool KeysOff() const { return leastKeyOff < 256 && (fineDelay || leastKeyOff < mostTicks); }
};

// DUMB plays a header speed of 0 as 6.
uint32_t HeaderSpeed(uint8_t speed) {
    return speed != 0 ? speed : 6;
}

// The walk follows DUMB's reader: each channel keeps the last mask given for it, an entry whose mask
// is 0 is skipped, and masks start from 0 in each pattern. DUMB notes a row that names one channel
// twice in dupentry.txt in the working directory, and aborts the process when it cannot open that
// file; Impulse Tracker never writes such rows. An entry cut short by the end of the pattern's data
// takes the rest from whatever DUMB's buffer held before, a key-off as likely as anything.
bool ItPatternAccepted(ScreenBytes& b, size_t at, KeyOffReach* keyOffs) {
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
            if (pos + 2 > end) {
                return false;
            }
            keyOffs->Note(b[pos], b[pos + 1]);
            pos += 2;
        }
        if (pos > end) {
            return false;
        }
    }
    return true;
}

// DUMB resamples a note at a step of (int)(delta * 65536 + 0.5), delta being the note's rate over
// the output's: a step of 0 divides by zero, and one at 2^31 or within 65536 of it (where DUMB
// adds it to a 16-bit fraction) renders nothing and asks again, for ever. The player renders at
// 65536 / 44100 of DUMB's time per frame and measures at 1, so a sample's base rate is safe when the
// highest pitch DUMB lets a note reach keeps the step below 2^31 - 65536 at the first, and the lowest
// keeps it at 1 or more at the second. Pitches are in DUMB's own unit, 1/3072 octave. With linear
// slides DUMB holds a note's pitch within +-32767 of the base rate, whatever the slides and the
// vibrato; with Amiga slides a note goes no lower than C-0 and, left alone, no higher than its note,
// and DUMB lets it die rather than pass 32768 times 65536. On top of either come an arpeggio of up
// to 15 semitones, a sample's vibrato (4 units per step of its depth) and an IT pitch envelope (128
// units per step of its nodes). A portamento under Amiga slides can still take a note within a
// hair of that limit; no rule on the bytes can tell, and DUMB hangs there (fuzz/README.md).
struct PitchReach {
    bool linear = false;
    uint32_t maxNote = 119;      // an IT instrument's note map can point past B-9
    uint32_t envelopeUp = 0;     // 1/3072 octave
    uint32_t envelopeDown = 0;
};

bool RateSafe(double rate, const PitchReach& reach, uint32_t vibratoDepth) {
    constexpr double kOctave = 3072.0;
    constexpr double kLargestStep = 2147483648.0 - 65536.0;
    constexpr double kAmigaCeiling = 32768.0 * 65536.0;
    constexpr double kPlayDelta = 65536.0 / 44100.0;
    // DUMB works in single precision: a margin for its rounding.
    constexpr double kMargin = 1.001;
    const double vibrato = 4.0 * vibratoDepth;
    double highest = rate * std::exp2(32767.0 / kOctave);
    double lowest = rate * std::exp2(-32768.0 / kOctave);
    if (!reach.linear) {
        highest = 0.0;
        for (uint32_t note = 0; note <= reach.maxNote; ++note) {
            const double pitch = rate * std::exp2((static_cast<double>(note) - 60.0) / 12.0);
            if (pitch <= kAmigaCeiling) {
                highest = pitch;
            }
        }
        lowest = rate / 32.0;
    }
    highest *= std::exp2((15.0 * 256.0 + vibrato + reach.envelopeUp) / kOctave) * kPlayDelta;
    lowest *= std::exp2(-(vibrato + reach.envelopeDown) / kOctave);
    return highest * kMargin < kLargestStep && lowest >= 0.5 * kMargin;
}

// What an IT module's instruments add to the pitch its notes can reach: DUMB plays an instrument's
// note map and pitch envelope only in instrument mode, and reads the envelope from instruments of
// Impulse Tracker 2 on (it stops at 25 nodes).
PitchReach ItPitchReach(ScreenBytes& b) {
    PitchReach reach;
    const uint32_t flags = b.U16(44);
    reach.linear = (flags & 8) != 0;
    if ((flags & 4) == 0) {
        return reach;
    }
    const size_t table = 192 + b.U16(32);
    const bool envelopes = b.U16(42) >= 0x200;
    for (size_t i = 0; i < b.U16(34) && b.Has(table + i * 4, 4); ++i) {
        const size_t at = b.U32(table + i * 4);
        if (!b.Has(at, 554) || !b.Is(at, "IMPI", 4)) {
            continue;
        }
        // Notes mapped to no sample never sound; trackers often map them to 255.
        for (size_t note = 0; note < 120; ++note) {
            const uint8_t sample = b[at + 65 + note * 2];
            if (sample >= 1 && sample <= b.U16(36)) {
                reach.maxNote = std::max<uint32_t>(reach.maxNote, b[at + 64 + note * 2]);
            }
        }
        const size_t pitch = at + 468;
        if (!envelopes || (b[pitch] & 1) == 0 || (b[pitch] & 128) != 0) {
            continue;  // off, or a filter envelope
        }
        for (size_t node = 0; node < std::min<size_t>(b[pitch + 1], 25); ++node) {
            const int32_t y = static_cast<int8_t>(b[pitch + 6 + node * 3]) * 128;
            reach.envelopeUp = std::max<uint32_t>(reach.envelopeUp, static_cast<uint32_t>(std::max(y, 0)));
            reach.envelopeDown = std::max<uint32_t>(reach.envelopeDown, static_cast<uint32_t>(std::max(-y, 0)));
        }
    }
    return reach;
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
    KeyOffReach keyOffs;
    keyOffs.mostTicks = HeaderSpeed(b[50]);
    for (size_t i = 0; i < patterns && b.Has(patternTable + i * 4, 4); ++i) {
        const size_t at = b.U32(patternTable + i * 4);
        if (at == 0) {
            continue;  // an empty pattern, stored as none
        }
        if ((b.Has(at, 4) && b.U16(at + 2) == 0) || !ItPatternAccepted(b, at, &keyOffs)) {
            return false;
        }
    }
    if (keyOffs.KeysOff()) {
        return false;
    }
    const PitchReach reach = ItPitchReach(b);
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
        if (rate > kMaxBaseRate || !RateSafe(rate, reach, b[at + 77])) {
            return false;
        }
        const uint64_t length = b.U32(at + 48);
        const bool compressed = (flags & 8) != 0;
        // DUMB cannot unpack a compressed stereo sample and ends the whole process on one.
        if (compressed && (flags & 4) != 0 && length != 0) {
            return false;
        }
        // DUMB allocates the stated length before reading the data. Stored plain, the data takes
        // its full size; compressed, a frame takes one bit at the least, and DUMB's unpacking
        // counts frames in an int.
        const uint64_t frameBytes = ((flags & 2) != 0 ? 2 : 1) * ((flags & 4) != 0 ? 2 : 1);
        const uint64_t leastStored = compressed ? length / 8 : length * frameBytes;
        if (leastStored > b.Size || (compressed && length > kMaxItCompressedLength)) {
            return false;
        }
    }
    return true;
}

// DUMB reads an S3M pattern from its pointer on, past the two bytes of its length, until 64 rows
// have ended (a byte under 32 ends one) or 64 KB have gone by.
void S3mPatternCommands(ScreenBytes& b, size_t at, KeyOffReach* keyOffs) {
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
            keyOffs->Note(b[pos], b[pos + 1]);
            pos += 2;
        }
    }
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
        // DUMB reads a slot of any type but 0 that carries the tag as a sample, not type 1 alone
        // (the Adlib types included).
        if (!b.Has(at, 80) || b[at] == 0 || !b.Is(at + 76, "SCRS", 4)) {
            continue;
        }
        // A sample longer than the whole file has DUMB allocate its length (up to 4 GB) first.
        // DUMB doubles the rate it reads, and S3M has Amiga slides only.
        const uint32_t rate = b.U32(at + 32);
        if (rate > kMaxBaseRate || !RateSafe(2.0 * rate, PitchReach(), 0) || b.U32(at + 16) > b.Size) {
            return false;
        }
    }
    const size_t patterns = b.U16(36);
    const size_t patternTable = table + instruments * 2;
    KeyOffReach keyOffs;
    keyOffs.mostTicks = HeaderSpeed(b[49]);
    for (size_t i = 0; i < patterns && b.Has(patternTable + i * 2, 2); ++i) {
        const size_t at = static_cast<size_t>(b.U16(patternTable + i * 2)) * 16;
        if (at != 0) {
            S3mPatternCommands(b, at, &keyOffs);
        }
    }
    return !keyOffs.KeysOff();
}

// What a cell of XM pattern data does to its channel, for the check below. DUMB takes an
// instrument field as the channel's instrument whatever it holds, and a key-off reads that entry
// of its instrument table while a note still sounds: for 0 the one before the table, for a number
// above the header's count one up to 170 KB past it. A note with an instrument DUMB lacks stops
// the channel's voice instead, so only a channel left on such an instrument with its voice still
// sounding can get there.
enum XmCellMarks : uint8_t {
    // Leaves the channel on an instrument DUMB lacks without playing a note: the voice sounds on.
    kXmStrands = 1,
    // A key-off (note 0, 97 or above 120, or effect K) before any note or known instrument of its
    // own cell could make it safe.
    kXmKeyOff = 2,
    // A note of 98 to 120: DUMB reads its sample and pitch from entries of the instrument's note
    // map that the XM reader never fills. FastTracker 2 writes 1 to 96.
    kXmUnmappedNote = 4,
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
    uint8_t fields[5] = {};
    for (uint32_t field = 0; field < 5; ++field) {
        if ((mask & 1u << field) == 0) {
            continue;
        }
        if (at >= end) {
            // Cut short by the end of the pattern's data: DUMB reads the rest from whatever its
            // buffer held before, which can be a key-off and an instrument the module lacks.
            *marks = kXmStrands | kXmKeyOff;
            return at;
        }
        fields[field] = b[at++];
    }
    const bool hasNote = (mask & 1) != 0;
    const uint8_t note = fields[0];
    const bool keyOffNote = hasNote && (note == 0 || note == 97 || note > 120);
    const bool keyOffEffect = (mask & 8) != 0 && fields[3] == 0x14;
    // With K00 in its cell DUMB does not play the note.
    const bool plays = hasNote && !keyOffNote && !(keyOffEffect && fields[4] == 0);
    const bool hasInstrument = (mask & 2) != 0;
    const bool known = hasInstrument && fields[1] >= 1 && fields[1] <= instruments;
    if (hasInstrument && !known && !plays) {
        *marks |= kXmStrands;
    }
    if ((keyOffNote || keyOffEffect) && !known && !plays) {
        *marks |= kXmKeyOff;
    }
    if (hasNote && note > 97 && note <= 120) {
        *marks |= kXmUnmappedNote;
    }
    return at;
}

// Rows are not followed in playing order: a channel with a cell that strands it and a key-off
// anywhere in its patterns is refused. Trackers leave out fields that are 0, but patterns stored
// unpacked, as the format allows, hold a note 0 and an instrument 0 in every empty cell. Leaves at
// where the instruments begin.
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
            if ((found & kXmUnmappedNote) != 0 || (channel & (kXmStrands | kXmKeyOff)) == (kXmStrands | kXmKeyOff)) {
                return false;
            }
        }
        *at = end;
    }
    return true;
}

// DUMB allocates each sample's stated length before reading it. It takes the instrument
// header's own size, and sample headers of 40 bytes only. A sample's base rate comes from its
// relative note and finetune, and its instrument's vibrato depth applies to it.
bool XmSamplesAccepted(ScreenBytes& b, size_t at) {
    const size_t instruments = b.U16(72);
    PitchReach reach;
    reach.linear = (b.U16(74) & 1) != 0;
    reach.maxNote = 95;
    for (size_t i = 0; i < instruments && b.Has(at, 29); ++i) {
        const size_t samples = b.U16(at + 27);
        const uint8_t vibratoDepth = b[at + 237];
        at += b.U32(at);
        size_t bytes = 0;
        for (size_t s = 0; s < samples && b.Has(at, 40); ++s, at += 40) {
            const size_t length = b.U32(at);
            if (length > b.Size) {
                return false;
            }
            bytes += length;
            const uint8_t type = b[at + 14];
            const size_t frames = length >> ((type & 16) != 0 ? 1 : 0) >> ((type & 32) != 0 ? 1 : 0);
            const double semitones = static_cast<int8_t>(b[at + 16]) + static_cast<int8_t>(b[at + 13]) / 128.0;
            const double rate = std::trunc(16726.0 * std::exp2(semitones / 12.0));
            if (frames > 0 && !RateSafe(rate, reach, vibratoDepth)) {
                return false;
            }
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

uint32_t BigEndian32(ScreenBytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

constexpr uint32_t Tag(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8 | static_cast<uint8_t>(text[3]);
}

// DUMB's MOD reader has no signature: it takes the 4 bytes at 1080 as the tag of a 31-sample
// module when it knows them, and anything else (a file too short for them too) as a 15-sample
// Soundtracker module with no tag at all. Channel counts it takes from "xxCH" (10 to 39, when
// under 64), "xCHN" and "TDZx" (1 to 9).
bool ModHasFifteenSamples(uint32_t tag) {
    switch (tag) {
    case Tag("M.K."):
    case Tag("M!K!"):
    case Tag("M&K!"):
    case Tag("N.T."):
    case Tag("FLT4"):
    case Tag("FLT8"):
    case Tag("CD81"):
    case Tag("OCTA"):
    case Tag("OKTA"):
    case Tag("16CN"):
    case Tag("32CN"):
        return false;
    default:
        break;
    }
    const auto digit = [](uint32_t c) { return c - '0'; };
    if ((tag & 0xffffu) == Tag("\0\0CH")) {
        const uint32_t channels = digit(tag >> 24 & 0xff) * 10 + digit(tag >> 16 & 0xff);
        return !(tag >= Tag("1\0\0\0") && tag < Tag("4\0\0\0") && digit(tag >> 16 & 0xff) < 10 && channels - 1 < 63);
    }
    if ((tag & 0xffffffu) == Tag("\0CHN")) {
        return digit(tag >> 24) - 1 >= 9;
    }
    if ((tag & 0xffffff00u) == Tag("TDZ\0")) {
        return digit(tag & 0xff) - 1 >= 9;
    }
    return true;
}

// A name as a tracker writes it: text up to its first NUL, no control codes.
bool PlainName(ScreenBytes& b, size_t at, size_t bytes) {
    for (size_t i = 0; i < bytes && b[at + i] != 0; ++i) {
        if (b[at + i] < 32) {
            return false;
        }
    }
    return true;
}

// A 15-sample module is recognised by its header alone, so DUMB's reader takes whatever else
// holds an order count of 1 to 128 at byte 470 and is long enough: a WAV file that the WAV loader
// refused, say, which then plays as a burst of noise. Soundtracker writes names of plain text,
// samples of up to 64 KB with volumes up to 64 and no finetune, pattern numbers under 128 and
// cells whose sample number fits 4 bits; and the file ends where the samples do, give or take a
// trailer.
bool SoundtrackerPlausible(ScreenBytes& b) {
    constexpr size_t kPatterns = 600;
    constexpr size_t kPatternBytes = 64 * 4 * 4;
    constexpr size_t kLeastTrailer = 16384;
    if (!b.Has(0, kPatterns) || !PlainName(b, 0, 20)) {
        return false;
    }
    uint64_t sampleBytes = 0;
    for (size_t at = 20; at < 470; at += 30) {
        const uint32_t words = static_cast<uint32_t>(b[at + 22]) << 8 | b[at + 23];
        if (!PlainName(b, at, 22) || words > 32768 || b[at + 24] > 15 || b[at + 25] > 64) {
            return false;
        }
        sampleBytes += words * 2u;
    }
    const uint8_t orders = b[470];
    if (orders == 0 || orders > 128) {
        return false;
    }
    size_t patterns = 0;
    for (size_t i = 0; i < 128; ++i) {
        const uint8_t pattern = b[472 + i];
        if (pattern > 127) {
            return false;
        }
        patterns = std::max<size_t>(patterns, pattern + 1u);
    }
    const uint64_t needed = kPatterns + patterns * kPatternBytes + sampleBytes;
    if (b.Size < needed || b.Size - needed > std::max<uint64_t>(needed, kLeastTrailer)) {
        return false;
    }
    for (size_t at = kPatterns; at < kPatterns + patterns * kPatternBytes; at += 4) {
        if ((b[at] & 0xf0) != 0) {
            return false;
        }
    }
    return true;
}

// "FLT8" makes DUMB halve the order table through a pointer it has not set yet, then read each
// pattern's 2 KB into a buffer of 0 bytes.
bool ModAccepts(ScreenBytes& b) {
    const uint32_t tag = b.Has(1080, 4) ? BigEndian32(b, 1080) : 0;
    if (tag == Tag("FLT8")) {
        return false;
    }
    return !ModHasFifteenSamples(tag) || SoundtrackerPlausible(b);
}

bool S3mRecognised(ScreenBytes& b) {
    return b.Has(0, 48) && b[28] == 0x1a && b[29] == 16 && b.Is(44, "SCRM", 4);
}

// Files the other loaders read, or that no one would take for a module.
bool OtherFormat(ScreenBytes& b) {
    static const char* const kMagic[] = {"RIFF", "RIFX", "RF64", "fLaC", "OggS", "FORM", "MThd", ".snd", "ID3",
                                         "\x89PNG", "GIF8", "%PDF", "PK\x03\x04", "\x7f\x45LF", "\xff\xd8\xff"};
    for (const char* magic : kMagic) {
        if (b.Is(0, magic, std::strlen(magic))) {
            return true;
        }
    }
    return false;
}

uint32_t Readers(ScreenBytes& b) {
    if (OtherFormat(b)) {
        return 0;
    }
    uint32_t readers = 0;
    if (b.Is(0, "IMPM", 4) && ItAccepts(b)) {
        readers |= kDumbReadIt;
    }
    if (b.Is(0, "Extended Module: ", 17) && XmAccepts(b)) {
        readers |= kDumbReadXm;
    }
    if (ModAccepts(b)) {
        readers |= kDumbReadMod;
    }
    if (S3mRecognised(b) && S3mAccepts(b)) {
        readers |= kDumbReadS3m;
    }
    return readers;
}

}  // namespace

uint32_t DumbScreenReaders(const uint8_t* data, size_t size) {
    if (data == nullptr) {
        return 0;
    }
    ScreenBytes bytes(data, size);
    return Readers(bytes);
}

uint32_t DumbScreenReaders(ISonvexStream* stream) {
    if (stream == nullptr) {
        return 0;
    }
    ScreenBytes bytes(stream);
    return Readers(bytes);
}

bool DumbScreenAccepts(const uint8_t* data, size_t size) {
    return DumbScreenReaders(data, size) != 0;
}

bool DumbScreenAccepts(ISonvexStream* stream) {
    return DumbScreenReaders(stream) != 0;
}

#include "tests/media/ModuleWriter.h"

#include <algorithm>
#include <cmath>

namespace {

class Bytes {
public:
    std::vector<uint8_t> out;

    size_t Size() const { return out.size(); }
    void U8(uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xff);
        U8((v >> 8) & 0xff);
    }
    void U32(uint32_t v) {
        U16(v & 0xffff);
        U16(v >> 16);
    }
    void U16BE(uint32_t v) {
        U8((v >> 8) & 0xff);
        U8(v & 0xff);
    }
    void Zero(size_t n) { out.insert(out.end(), n, 0); }
    // Exactly n bytes: the text cut or padded with zeros.
    void Text(const std::string& s, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            U8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
        }
    }
    void Align(size_t n) {
        while (out.size() % n != 0) {
            U8(0);
        }
    }
    void PutU16(size_t at, uint32_t v) {
        out[at] = static_cast<uint8_t>(v & 0xff);
        out[at + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
    }
    void PutU32(size_t at, uint32_t v) {
        PutU16(at, v & 0xffff);
        PutU16(at + 2, v >> 16);
    }
};

bool IsEmpty(const ModuleCell& c) {
    return c.note < 0 && c.instrument == 0 && c.volume < 0 && c.effect == ModuleEffect::None;
}

// Effect letters of the S3M and IT command column (A = 1).
uint8_t LetterCommand(ModuleEffect e) {
    switch (e) {
    case ModuleEffect::Speed:
        return 1;
    case ModuleEffect::PositionJump:
        return 2;
    case ModuleEffect::PatternBreak:
        return 3;
    case ModuleEffect::KeyOff:
        return 32;
    case ModuleEffect::PortamentoUp:
        return 6;
    default:
        return 0;
    }
}

// Effect numbers of the MOD and XM effect column.
uint8_t ProTrackerCommand(ModuleEffect e) {
    switch (e) {
    case ModuleEffect::Speed:
        return 0xF;
    case ModuleEffect::PositionJump:
        return 0xB;
    case ModuleEffect::PatternBreak:
        return 0xD;
    case ModuleEffect::KeyOff:
        return 0x14;
    case ModuleEffect::PortamentoUp:
        return 1;
    default:
        return 0;
    }
}

uint8_t EffectParam(const ModuleCell& c) {
    return c.effect == ModuleEffect::PatternBreak ? 0 : c.param;
}

// ProTracker periods of octaves 1 to 3; its C-2 plays a sample at its base rate, as C-5 does
// in the other formats.
uint32_t ModPeriod(int32_t note) {
    static const uint16_t kPeriods[36] = {
        856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
        428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
        214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    const int32_t index = std::clamp(note - 48, 0, 35);
    return kPeriods[index];
}

// A cell as FastTracker 2 packs it: the five fields plain when all are set, otherwise a mask
// byte and only the fields that are set. DUMB reads a field that is present even when it is 0:
// a note of 0 as a key-off and an instrument of 0 as the channel's instrument, and a key-off
// on such a channel reads before DUMB's instrument table.
void WriteXmCell(Bytes& b, const uint8_t (&fields)[5]) {
    uint32_t mask = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        mask |= fields[i] != 0 ? 1u << i : 0;
    }
    if (mask != 0x1f) {
        b.U8(0x80 | mask);
    }
    for (uint32_t i = 0; i < 5; ++i) {
        if (fields[i] != 0) {
            b.U8(fields[i]);
        }
    }
}

}  // namespace

std::vector<uint8_t> WriteMod(const ModuleSong& song, const std::string& tag) {
    Bytes b;
    b.Text(song.title, 20);
    const size_t samples = tag.empty() ? 15 : 31;
    for (size_t i = 0; i < samples; ++i) {
        if (i < song.samples.size()) {
            const ModuleSample& s = song.samples[i];
            b.Text(s.name, 22);
            b.U16BE(static_cast<uint32_t>((s.data.size() + 1) / 2));
            b.U8(0);
            b.U8(s.volume);
            b.U16BE(s.loopStart / 2);
            b.U16BE(s.loopLength > 0 ? s.loopLength / 2 : 1);
        } else {
            b.Zero(22);
            b.U16BE(0);
            b.U8(0);
            b.U8(0);
            b.U16BE(0);
            b.U16BE(1);
        }
    }
    b.U8(static_cast<uint32_t>(song.orders.size()));
    b.U8(127);
    for (size_t i = 0; i < 128; ++i) {
        b.U8(i < song.orders.size() ? song.orders[i] : 0);
    }
    b.Text(tag, tag.size());
    for (const ModulePattern& p : song.patterns) {
        for (int32_t row = 0; row < ModulePattern::kRows; ++row) {
            for (int32_t ch = 0; ch < ModulePattern::kChannels; ++ch) {
                const ModuleCell& c = p.At(row, ch);
                const uint32_t period = c.note >= 0 ? ModPeriod(c.note) : 0;
                const uint32_t sample = static_cast<uint32_t>(c.instrument);
                const bool keyOff = c.effect == ModuleEffect::KeyOff;  // none in MOD
                uint32_t command = keyOff ? 0 : ProTrackerCommand(c.effect);
                uint32_t param = keyOff ? 0 : EffectParam(c);
                if (command == 0 && c.volume >= 0) {
                    command = 0xC;  // no volume column: set volume through the effect
                    param = static_cast<uint32_t>(c.volume);
                }
                b.U8((sample & 0xf0) | (period >> 8));
                b.U8(period & 0xff);
                b.U8(((sample & 0x0f) << 4) | command);
                b.U8(param);
            }
        }
    }
    for (size_t i = 0; i < song.samples.size() && i < samples; ++i) {
        for (int8_t v : song.samples[i].data) {
            b.U8(static_cast<uint8_t>(v));
        }
        b.Align(2);
    }
    return b.out;
}

std::vector<uint8_t> WriteS3m(const ModuleSong& song) {
    Bytes b;
    std::vector<uint8_t> orders = song.orders;
    if (orders.size() % 2 != 0) {
        orders.push_back(255);
    }
    b.Text(song.title, 28);
    b.U8(0x1a);
    b.U8(16);
    b.Zero(2);
    b.U16(static_cast<uint32_t>(orders.size()));
    b.U16(static_cast<uint32_t>(song.samples.size()));
    b.U16(static_cast<uint32_t>(song.patterns.size()));
    b.U16(0);       // flags
    b.U16(0x1320);  // Scream Tracker 3.20
    b.U16(2);       // unsigned samples
    b.Text("SCRM", 4);
    b.U8(64);
    b.U8(song.speed);
    b.U8(song.tempo);
    b.U8(0xb0);  // stereo, master volume 48
    b.U8(0);
    b.U8(0);  // no panning table
    b.Zero(8);
    b.U16(0);
    for (uint32_t ch = 0; ch < 32; ++ch) {
        if (ch < static_cast<uint32_t>(ModulePattern::kChannels)) {
            b.U8(ch % 2 == 0 ? ch / 2 : 8 + ch / 2);  // left, right, left, right
        } else {
            b.U8(255);
        }
    }
    for (uint8_t o : orders) {
        b.U8(o);
    }
    const size_t samplePointers = b.Size();
    b.Zero(song.samples.size() * 2);
    const size_t patternPointers = b.Size();
    b.Zero(song.patterns.size() * 2);

    std::vector<size_t> headers;
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.Align(16);
        headers.push_back(b.Size());
        b.PutU16(samplePointers + i * 2, static_cast<uint32_t>(b.Size() / 16));
        const ModuleSample& s = song.samples[i];
        b.U8(1);
        b.Text(s.name, 12);
        b.Zero(3);  // sample data pointer, filled in below
        b.U32(static_cast<uint32_t>(s.data.size()));
        b.U32(s.loopStart);
        b.U32(s.loopStart + s.loopLength);
        b.U8(s.volume);
        b.U8(0);
        b.U8(0);
        b.U8(s.loopLength > 0 ? 1 : 0);
        b.U32(8363);
        b.Zero(12);
        b.Text(s.name, 28);
        b.Text("SCRS", 4);
    }
    for (size_t i = 0; i < song.patterns.size(); ++i) {
        b.Align(16);
        b.PutU16(patternPointers + i * 2, static_cast<uint32_t>(b.Size() / 16));
        const size_t start = b.Size();
        b.U16(0);
        const ModulePattern& p = song.patterns[i];
        for (int32_t row = 0; row < ModulePattern::kRows; ++row) {
            for (int32_t ch = 0; ch < ModulePattern::kChannels; ++ch) {
                const ModuleCell& c = p.At(row, ch);
                if (IsEmpty(c)) {
                    continue;
                }
                uint32_t what = static_cast<uint32_t>(ch);
                what |= (c.note >= 0 || c.instrument > 0) ? 0x20 : 0;
                what |= c.volume >= 0 ? 0x40 : 0;
                what |= c.effect != ModuleEffect::None ? 0x80 : 0;
                b.U8(what);
                if ((what & 0x20) != 0) {
                    // S3M's C-4 is the base rate, one octave under the others' C-5.
                    const int32_t n = c.note - 12;
                    b.U8(c.note >= 0 ? static_cast<uint32_t>(((n / 12) << 4) | (n % 12)) : 255);
                    b.U8(static_cast<uint32_t>(c.instrument));
                }
                if ((what & 0x40) != 0) {
                    b.U8(static_cast<uint32_t>(c.volume));
                }
                if ((what & 0x80) != 0) {
                    b.U8(LetterCommand(c.effect));
                    b.U8(EffectParam(c));
                }
            }
            b.U8(0);
        }
        b.PutU16(start, static_cast<uint32_t>(b.Size() - start));
    }
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.Align(16);
        const uint32_t para = static_cast<uint32_t>(b.Size() / 16);
        b.out[headers[i] + 13] = static_cast<uint8_t>(para >> 16);
        b.PutU16(headers[i] + 14, para & 0xffff);
        for (int8_t v : song.samples[i].data) {
            b.U8(static_cast<uint8_t>(v + 128));
        }
    }
    return b.out;
}

std::vector<uint8_t> WriteXm(const ModuleSong& song) {
    Bytes b;
    b.Text("Extended Module: ", 17);
    b.Text(song.title, 20);
    b.U8(0x1a);
    b.Text("sonvex tests", 20);
    b.U16(0x0104);
    b.U32(276);
    b.U16(static_cast<uint32_t>(song.orders.size()));
    b.U16(0);  // restart position
    b.U16(ModulePattern::kChannels);
    b.U16(static_cast<uint32_t>(song.patterns.size()));
    b.U16(static_cast<uint32_t>(song.samples.size()));
    b.U16(1);  // linear frequencies
    b.U16(song.speed);
    b.U16(song.tempo);
    for (size_t i = 0; i < 256; ++i) {
        b.U8(i < song.orders.size() ? song.orders[i] : 0);
    }
    for (const ModulePattern& p : song.patterns) {
        b.U32(9);
        b.U8(0);
        b.U16(ModulePattern::kRows);
        const size_t packedSize = b.Size();
        b.U16(0);
        for (int32_t row = 0; row < ModulePattern::kRows; ++row) {
            for (int32_t ch = 0; ch < ModulePattern::kChannels; ++ch) {
                const ModuleCell& c = p.At(row, ch);
                // XM's C-4 (note 49) is the base rate.
                const uint8_t fields[5] = {
                    static_cast<uint8_t>(c.note >= 0 ? c.note - 12 + 1 : 0),
                    static_cast<uint8_t>(c.instrument),
                    static_cast<uint8_t>(c.volume >= 0 ? 0x10 + c.volume : 0),
                    ProTrackerCommand(c.effect),
                    EffectParam(c),
                };
                WriteXmCell(b, fields);
            }
        }
        b.PutU16(packedSize, static_cast<uint32_t>(b.Size() - packedSize - 2));
    }
    for (const ModuleSample& s : song.samples) {
        b.U32(263);
        b.Text(s.name, 22);
        b.U8(0);
        b.U16(1);
        b.U32(40);
        b.Zero(96);       // every note plays sample 1
        b.Zero(48 + 48);  // no envelopes
        b.Zero(14);
        b.U16(0);  // fadeout
        b.Zero(22);
        b.U32(static_cast<uint32_t>(s.data.size()));
        b.U32(s.loopStart);
        b.U32(s.loopLength);
        b.U8(s.volume);
        b.U8(0);
        b.U8(s.loopLength > 0 ? 1 : 0);
        b.U8(128);
        b.U8(0);
        b.U8(0);
        b.Text(s.name, 22);
        int8_t previous = 0;
        for (int8_t v : s.data) {
            b.U8(static_cast<uint8_t>(v - previous));
            previous = v;
        }
    }
    return b.out;
}

std::vector<uint8_t> WriteIt(const ModuleSong& song) {
    Bytes b;
    b.Text("IMPM", 4);
    b.Text(song.title, 26);
    b.U16(0x1004);
    b.U16(static_cast<uint32_t>(song.orders.size() + 1));
    b.U16(0);
    b.U16(static_cast<uint32_t>(song.samples.size()));
    b.U16(static_cast<uint32_t>(song.patterns.size()));
    b.U16(0x0214);
    b.U16(0x0214);
    b.U16(1 | 8);  // stereo, linear slides, no instruments
    b.U16(0);
    b.U8(128);
    b.U8(48);
    b.U8(song.speed);
    b.U8(song.tempo);
    b.U8(128);
    b.U8(0);
    b.U16(0);
    b.U32(0);
    b.U32(0);
    for (int32_t ch = 0; ch < 64; ++ch) {
        b.U8(ch < ModulePattern::kChannels ? (ch % 2 == 0 ? 16 : 48) : 128 + 32);
    }
    for (int32_t ch = 0; ch < 64; ++ch) {
        b.U8(64);
    }
    for (uint8_t o : song.orders) {
        b.U8(o);
    }
    b.U8(255);
    const size_t sampleOffsets = b.Size();
    b.Zero(song.samples.size() * 4);
    const size_t patternOffsets = b.Size();
    b.Zero(song.patterns.size() * 4);

    std::vector<size_t> headers;
    for (size_t i = 0; i < song.samples.size(); ++i) {
        const ModuleSample& s = song.samples[i];
        headers.push_back(b.Size());
        b.PutU32(sampleOffsets + i * 4, static_cast<uint32_t>(b.Size()));
        b.Text("IMPS", 4);
        b.Text(s.name, 12);
        b.U8(0);
        b.U8(64);
        b.U8(1 | (s.loopLength > 0 ? 0x10 : 0));
        b.U8(s.volume);
        b.Text(s.name, 26);
        b.U8(1);  // signed
        b.U8(0);
        b.U32(static_cast<uint32_t>(s.data.size()));
        b.U32(s.loopStart);
        b.U32(s.loopStart + s.loopLength);
        b.U32(8363);
        b.U32(0);
        b.U32(0);
        b.U32(0);  // sample data offset, filled in below
        b.Zero(4);
    }
    for (size_t i = 0; i < song.patterns.size(); ++i) {
        b.PutU32(patternOffsets + i * 4, static_cast<uint32_t>(b.Size()));
        const size_t start = b.Size();
        b.U16(0);
        b.U16(ModulePattern::kRows);
        b.Zero(4);
        const ModulePattern& p = song.patterns[i];
        for (int32_t row = 0; row < ModulePattern::kRows; ++row) {
            for (int32_t ch = 0; ch < ModulePattern::kChannels; ++ch) {
                const ModuleCell& c = p.At(row, ch);
                if (IsEmpty(c)) {
                    continue;
                }
                uint32_t mask = c.note >= 0 ? 1 : 0;
                mask |= c.instrument > 0 ? 2 : 0;
                mask |= c.volume >= 0 ? 4 : 0;
                mask |= c.effect != ModuleEffect::None ? 8 : 0;
                b.U8((static_cast<uint32_t>(ch) + 1) | 0x80);
                b.U8(mask);
                if ((mask & 1) != 0) {
                    b.U8(static_cast<uint32_t>(c.note));
                }
                if ((mask & 2) != 0) {
                    b.U8(static_cast<uint32_t>(c.instrument));
                }
                if ((mask & 4) != 0) {
                    b.U8(static_cast<uint32_t>(c.volume));
                }
                if ((mask & 8) != 0) {
                    b.U8(LetterCommand(c.effect));
                    b.U8(EffectParam(c));
                }
            }
            b.U8(0);
        }
        b.PutU16(start, static_cast<uint32_t>(b.Size() - start - 8));
    }
    for (size_t i = 0; i < song.samples.size(); ++i) {
        b.PutU32(headers[i] + 72, static_cast<uint32_t>(b.Size()));
        for (int8_t v : song.samples[i].data) {
            b.U8(static_cast<uint8_t>(v));
        }
    }
    return b.out;
}

std::vector<uint8_t> WriteModule(ModuleFormat format, const ModuleSong& song) {
    switch (format) {
    case ModuleFormat::Mod:
        return WriteMod(song);
    case ModuleFormat::S3m:
        return WriteS3m(song);
    case ModuleFormat::Xm:
        return WriteXm(song);
    case ModuleFormat::It:
        return WriteIt(song);
    }
    return {};
}

const char* ModuleFormatName(ModuleFormat format) {
    switch (format) {
    case ModuleFormat::Mod:
        return "mod";
    case ModuleFormat::S3m:
        return "s3m";
    case ModuleFormat::Xm:
        return "xm";
    case ModuleFormat::It:
        return "it";
    }
    return "";
}

std::vector<ModuleFormat> AllModuleFormats() {
    return {ModuleFormat::Mod, ModuleFormat::S3m, ModuleFormat::Xm, ModuleFormat::It};
}

namespace {

ModuleSample LeadSample() {
    // One cycle of a soft square, looped: 261.6 Hz at C-5.
    ModuleSample s;
    s.name = "lead";
    for (int32_t i = 0; i < 32; ++i) {
        const double phase = 2.0 * M_PI * i / 32.0;
        s.data.push_back(static_cast<int8_t>(std::lround(90.0 * std::sin(phase) + 30.0 * std::sin(3.0 * phase))));
    }
    s.loopStart = 0;
    s.loopLength = 32;
    s.volume = 48;
    return s;
}

ModuleSample PluckSample() {
    // A decaying sine that plays once.
    ModuleSample s;
    s.name = "pluck";
    for (int32_t i = 0; i < 4000; ++i) {
        const double envelope = std::exp(-i / 900.0);
        s.data.push_back(static_cast<int8_t>(std::lround(110.0 * envelope * std::sin(2.0 * M_PI * i / 16.0))));
    }
    s.volume = 64;
    return s;
}

ModuleSong ThreeOrders() {
    static const int32_t kMelody[3][8] = {
        {60, 64, 67, 72, 67, 64, 60, 55},
        {62, 65, 69, 74, 69, 65, 62, 57},
        {64, 67, 71, 76, 71, 67, 64, 59},
    };
    ModuleSong song;
    song.title = "sonvex test";
    song.speed = 3;
    song.tempo = 125;
    song.samples = {LeadSample(), PluckSample()};
    for (int32_t p = 0; p < 3; ++p) {
        ModulePattern pattern;
        for (int32_t step = 0; step < 8; ++step) {
            ModuleCell& lead = pattern.At(step * 2, 0);
            lead.note = kMelody[p][step];
            lead.instrument = 1;
        }
        for (int32_t beat = 0; beat < 4; ++beat) {
            ModuleCell& bass = pattern.At(beat * 4, 1);
            bass.note = kMelody[p][0] - 12;
            bass.instrument = 2;
        }
        ModuleCell& soft = pattern.At(8, 2);
        soft.note = kMelody[p][2];
        soft.instrument = 2;
        soft.volume = 32;
        pattern.At(0, 3).effect = ModuleEffect::Speed;
        pattern.At(0, 3).param = 3;
        pattern.At(15, 3).effect = ModuleEffect::PatternBreak;
        song.patterns.push_back(pattern);
    }
    song.orders = {0, 1, 2};
    return song;
}

}  // namespace

ModuleSong EndingSong() {
    return ThreeOrders();
}

ModuleSong LoopingSong() {
    ModuleSong song = ThreeOrders();
    song.title = "sonvex loop";
    ModuleCell& last = song.patterns[2].At(15, 3);
    last.effect = ModuleEffect::PositionJump;
    last.param = 1;
    return song;
}

ModuleSong StallingSong() {
    ModuleSong song = ThreeOrders();
    song.title = "sonvex stall";
    ModuleCell& stall = song.patterns[1].At(4, 3);
    stall.effect = ModuleEffect::Speed;
    stall.param = 0;
    return song;
}

ModuleSong LongSong() {
    ModuleSong song = ThreeOrders();
    song.title = "sonvex long";
    song.speed = 255;
    song.tempo = 32;
    ModulePattern pattern;
    pattern.At(0, 0).note = 60;
    pattern.At(0, 0).instrument = 1;
    song.patterns = {pattern};
    song.orders.assign(255, 0);
    return song;
}

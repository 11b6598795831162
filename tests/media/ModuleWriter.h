#pragma once
// Small tracker modules written at run time: one neutral description of a song (samples,
// 64-row patterns of four channels, an order list) and a writer for each of the four formats
// DUMB reads, so every test, benchmark and fuzz seed can have the same music as MOD, S3M, XM
// and IT.

#include <cstdint>
#include <string>
#include <vector>

enum class ModuleFormat { Mod, S3m, Xm, It };

enum class ModuleEffect : uint8_t {
    None,
    Speed,         // ticks per row
    PositionJump,  // to the order in the parameter
    PatternBreak,  // to row 0 of the next order (the parameter is ignored)
    // XM's K. MOD has none and gets nothing; S3M and IT have none either and get 32, the number
    // DUMB gives the XM key-off inside, which no tracker writes: a file DUMB must not be given.
    KeyOff,
    PortamentoUp,  // by the parameter, each tick after the row's first
};

struct ModuleCell {
    int32_t note = -1;       // semitones, 60 = C-5 (plays the sample at its base rate); -1 none
    int32_t instrument = 0;  // 1-based sample number; 0 none
    int32_t volume = -1;     // 0..64; -1 none
    ModuleEffect effect = ModuleEffect::None;
    uint8_t param = 0;
};

struct ModuleSample {
    std::string name;
    std::vector<int8_t> data;  // 8-bit signed PCM at 8363 Hz for C-5
    uint32_t loopStart = 0;    // in samples; both even, for the MOD writer
    uint32_t loopLength = 0;   // 0: plays once
    uint8_t volume = 64;
};

struct ModulePattern {
    static constexpr int32_t kRows = 64;
    static constexpr int32_t kChannels = 4;
    std::vector<ModuleCell> cells = std::vector<ModuleCell>(kRows * kChannels);

    ModuleCell& At(int32_t row, int32_t channel) { return cells[row * kChannels + channel]; }
    const ModuleCell& At(int32_t row, int32_t channel) const { return cells[row * kChannels + channel]; }
};

struct ModuleSong {
    std::string title;
    uint8_t speed = 6;    // ticks per row
    uint8_t tempo = 125;  // beats per minute
    std::vector<ModuleSample> samples;
    std::vector<ModulePattern> patterns;
    std::vector<uint8_t> orders;
};

// A 31-sample MOD with the given tag at byte 1080 ("FLT8" makes DUMB read it as 8 channels); an
// empty tag writes the 15-sample Soundtracker layout, which has none.
std::vector<uint8_t> WriteMod(const ModuleSong& song, const std::string& tag = "M.K.");
std::vector<uint8_t> WriteS3m(const ModuleSong& song);
std::vector<uint8_t> WriteXm(const ModuleSong& song);
std::vector<uint8_t> WriteIt(const ModuleSong& song);
std::vector<uint8_t> WriteModule(ModuleFormat format, const ModuleSong& song);

const char* ModuleFormatName(ModuleFormat format);
// Mod, S3m, Xm, It.
std::vector<ModuleFormat> AllModuleFormats();

// Three orders of 16 rows (each pattern breaks at row 15) with a melody, a bass and a looped
// waveform; it ends after the last order. About 2.9 s.
ModuleSong EndingSong();
// The same three orders, but the last one jumps back to order 1 at its row 15: the song never
// ends by itself and its restart point is the second order.
ModuleSong LoopingSong();
// The ending song with a speed of 0 set at row 4 of the second order: MOD and XM players stop
// advancing there, and DUMB then never reaches the song's end (S3M and IT ignore the command).
ModuleSong StallingSong();
// 255 orders of one 64-row pattern at speed 255 and tempo 32, a note at its start: about 90 hours
// of song that ends without a loop (not as MOD, whose speed stops at 31).
ModuleSong LongSong();

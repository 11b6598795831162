// The binding's whole load path over untrusted bytes: a bank offered to every loader in their
// order, by content; the music played through as a channel fills it; the same bank decoded whole
// into a sample, which must hold exactly what that play delivered, in memory of just that size;
// then a few seeks and fills of what loaded. Nothing may crash, hang or leak.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/binding/Sonvex2.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Tape;

// A music whose play-through would deliver more than this is not decoded whole: a few hundred
// bytes of FLAC or Vorbis can truly decode to gigabytes, and that is no fault.
constexpr int32_t kWholeDecodeLimit = 4 << 20;
constexpr int32_t kPiece = 4096;
// What a channel asks of its music at a time, its converter's window.
constexpr int32_t kChannelFill = 1024;

// As the player starts its engine: once, in the loaders' order.
void StartModules() {
    static const bool started = [] {
        sonvex2::InitSonvex2();
        sonvex2::InitSonvexFlac();
        sonvex2::InitSonvexWav();
        sonvex2::InitSonvexOgg();
        sonvex2::InitSonvexDumb();
        return true;
    }();
    (void)started;
}

// The music from its start, up to the length it claims, as a channel plays it, a window at a
// time; false when that would go past kWholeDecodeLimit.
bool PlayThrough(const fw::Ref<sonvex2::TMusic>& music, int64_t claimed, std::vector<uint8_t>& out) {
    music->SetStatus(1);
    std::vector<uint8_t> buffer(kChannelFill);
    while (static_cast<int64_t>(out.size()) < claimed) {
        if (out.size() >= static_cast<size_t>(kWholeDecodeLimit)) {
            return false;
        }
        const int32_t ask = static_cast<int32_t>(std::min<int64_t>(kChannelFill, claimed - static_cast<int64_t>(out.size())));
        const int32_t got = music->FillBuffer(buffer.data(), ask);
        Check(got <= ask);
        if (got > 0) {
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        }
        if (got < ask) {
            break;
        }
    }
    return true;
}

}  // namespace

// DUMB 0.9.3 leaks inside its XM reader, and vorbisfile 1.3.7 when it rejects some damaged
// chains (fuzz/README.md); the system's libraries have no symbols to name a function by. Our own
// objects' leaks still show through the player, stream or bank they strand.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdumb.so\nleak:libvorbisfile.so\nleak:libvorbis.so\nleak:libogg.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    StartModules();
    const fw::Ref<fw::Object> bank(fw::New<fw::TBank>(data, size));
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(bank);
    if (!music) {
        Check(!sonvex2::LoadMusicSample(bank));
        return 0;
    }
    Check(music->Music != nullptr && static_cast<fw::Object*>(music->Bank.Get()) == bank.Get());

    const int32_t frameBytes = fw::BytesPerSample(music->GetFormat());
    const int32_t frames = music->GetLength(1);
    const bool fits = music->GetLength(0) > 0 && frames > 0;
    const int64_t claimed = fits ? static_cast<int64_t>(frames) * frameBytes : 0;
    std::vector<uint8_t> played;
    if (PlayThrough(music, claimed, played)) {
        const fw::Ref<fw::TAudioSample> sample = sonvex2::LoadMusicSample(bank);
        const size_t whole = played.size() - played.size() % static_cast<size_t>(frameBytes);
        if (whole == 0) {
            Check(!sample);
        } else {
            Check(sample && sample->format == music->GetFormat() && sample->hertz == music->GetSampleRate());
            Check(static_cast<size_t>(sample->length) * frameBytes == whole);
            Check(sample->capacity == sample->length * frameBytes);
            Check(std::memcmp(sample->samples, played.data(), whole) == 0);
        }
    }

    // A few seeks, in every unit, about the stretch that played, each followed by some fills.
    Tape tape(data, size);
    const int32_t span = static_cast<int32_t>(std::max<size_t>(played.size(), kPiece));
    uint8_t piece[kPiece];
    for (int32_t step = 0; step < 6; ++step) {
        const int32_t unit = tape.Byte() % 6;
        const int32_t bytes = tape.Int() % (span + kPiece);
        const int32_t position = unit == 1 ? bytes / 4 : unit == 2 ? bytes / 176 : unit >= 4 ? bytes % 8 : bytes;
        music->Seek(position, unit);
        music->SetLoopMode(tape.Byte() & 1);
        music->SetStatus(1);
        for (int32_t i = 0; i < 4; ++i) {
            Check(music->FillBuffer(piece, 1 + (tape.Byte() << 4)) >= 0);
        }
        music->GetPosition(unit);
    }
    return 0;
}

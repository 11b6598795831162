// The WAV loader over arbitrary bytes in memory, then the player driven as channels drive it:
// fills of channel-sized and odd sizes, seeks in every unit, looping switched on and off. Every
// byte a fill delivers must be the data chunk's byte at the play position: nothing from past
// the data, and the position never leaves it.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/ISonvexStream.h"
#include "engine/players/WavPlayer.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzzsupport::Check;
using fuzzsupport::Tape;

constexpr int32_t kSteps = 64;
constexpr int32_t kMaxFill = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) {
        return 0;
    }
    ISonvexStream* stream = Sonvex_CreateMemStream(data, static_cast<int32_t>(size));
    WavPlayer* player = WavLoader(stream);
    if (player == nullptr) {
        // Refused: the stream is still the caller's, and still readable.
        Check(stream->Seek(0) == 0 || size == 0);
        uint8_t first = 0;
        Check(stream->Read(&first, 1) == (size > 0 ? 1 : 0));
        Sonvex_DeleteStream(stream);
        return 0;
    }
    player->AddRef();
    Check(player->Stream == stream);
    const int32_t frameBytes = player->BytesPerFrame();
    Check(frameBytes == 1 || frameBytes == 2 || frameBytes == 4);
    Check(player->DataStart >= 44 && static_cast<size_t>(player->DataStart) <= size);
    Check(player->Length >= 0);
    const int64_t held = static_cast<int64_t>(size) - player->DataStart;
    int64_t playable = std::min<int64_t>(player->Length, held);
    playable -= playable % frameBytes;
    const uint8_t* samples = data + player->DataStart;

    static uint8_t buffer[kMaxFill];
    Tape tape(data, size);
    for (int32_t step = 0; step < kSteps; ++step) {
        const uint8_t op = tape.Byte();
        switch (op % 4) {
        case 0:
        case 1: {
            const int32_t want = op % 4 == 0 ? 1024 : 1 + (tape.Int() & (kMaxFill - 1));
            const int32_t loop = player->LoopMode;
            const int32_t from = player->Position;
            const int32_t status = player->Status;
            const int32_t got = player->FillBuffer(buffer, want);
            Check(got >= 0 && got <= want);
            Check(player->Position >= 0 && player->Position <= player->Length);
            Check(player->Position <= playable);
            if (status == 0) {
                Check(got == 0);
                break;
            }
            if (got < want) {
                Check(player->Status == 0);
            }
            if (loop != 0 && playable > 0) {
                Check(got == want);
            }
            // Each delivered byte is the data's byte at its place, wrapping at the data's end.
            int64_t at = from;
            for (int32_t i = 0; i < got; ++i) {
                if (at >= playable) {
                    at = 0;
                }
                Check(buffer[i] == samples[at]);
                ++at;
            }
            break;
        }
        case 2: {
            const int32_t position = tape.Int();
            const int32_t unit = static_cast<int8_t>(tape.Byte()) % 6;
            player->Seek(position, unit);
            Check(player->Status == 1);
            Check(player->Position >= 0 && player->Position <= playable);
            Check(player->Position % frameBytes == 0);
            break;
        }
        default:
            player->LoopMode = op & 0x80 ? 1 : 0;
            if (op & 0x40) {
                player->Status = 1;
            }
            break;
        }
    }
    player->Release();
    return 0;
}

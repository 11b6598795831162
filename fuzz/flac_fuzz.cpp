// libFuzzer target for the FLAC loader and player over a memory stream: load, play a while in
// channel-sized fills, seek about, loop, and let the player go.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/ISonvexStream.h"
#include "engine/players/FlacPlayer.h"

namespace {

// Enough to reach every frame of any input the fuzzer makes, few enough that a long declared
// length cannot turn one input into minutes of decoding.
constexpr int32_t kMaxFills = 2048;

void PlayFor(FlacPlayer* player, int32_t fills, int32_t piece) {
    uint8_t block[1024];
    for (int32_t i = 0; i < fills && player->Status != 0; ++i) {
        std::memset(block, 0, sizeof block);
        player->FillBuffer(block, piece);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 24)) {
        return 0;
    }
    ISonvexStream* stream = Sonvex_CreateMemStream(data, static_cast<int32_t>(size));
    FlacPlayer* player = FlacLoader(stream);
    if (player == nullptr) {
        Sonvex_DeleteStream(stream);
        return 0;
    }
    player->AddRef();

    // The last input bytes steer the seeks, piece sizes and looping; the decoder reads them too.
    uint32_t steer = 0;
    for (size_t i = size >= 4 ? size - 4 : 0; i < size; ++i) {
        steer = (steer << 8) | data[i];
    }
    PlayFor(player, kMaxFills, 1024);

    const int32_t frames = player->GetLength(1);
    player->Status = 1;
    player->LoopMode = static_cast<int32_t>(steer & 1);
    for (int32_t i = 0; i < 4; ++i) {
        steer = steer * 1664525u + 1013904223u;
        const int32_t target = frames > 0 ? static_cast<int32_t>(steer % static_cast<uint32_t>(frames + 2)) : 0;
        player->Seek((steer >> 4) % 5 == 0 ? target * player->BytesPerFrame() : target, (steer >> 4) % 5 == 0 ? 0 : 1);
        player->Status = 1;
        PlayFor(player, 8, 1 + static_cast<int32_t>((steer >> 8) % 1024));
    }
    player->LoopMode = 1;
    player->Status = 1;
    PlayFor(player, 24, 1024);

    player->Release();
    return 0;
}

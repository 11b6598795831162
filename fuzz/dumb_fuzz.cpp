// Tracker modules from untrusted bytes: load through a memory stream, play a little, seek by
// time and by order, ask rows and orders, and let go. Nothing may crash, hang or leak.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/ISonvexStream.h"
#include "engine/players/DumbPlayer.h"
#include "engine/players/DumbScreen.h"

// DUMB 0.9.3's XM reader leaks the samples it has read when a later one fails (it frees its partial
// module before it counts them). The system's library has no symbols to name the function by, so
// the suppression names the module. Leaks of our own objects still show through the player or
// stream they strand.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdumb.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    ISonvexStream* stream = Sonvex_CreateMemStream(data, static_cast<int32_t>(size));
    // A file is screened a block at a time through its stream; over the same bytes that must
    // judge as the screen of the whole in memory does.
    if (DumbScreenAccepts(stream) != DumbScreenAccepts(data, size)) {
        __builtin_trap();
    }
    DumbPlayer* player = DumbLoader(stream);
    if (player == nullptr) {
        Sonvex_DeleteStream(stream);
        return 0;
    }
    player->AddRef();
    player->Status = 1;
    std::vector<uint8_t> piece(1024);
    for (int32_t i = 0; i < 16; ++i) {
        player->FillBuffer(piece.data(), static_cast<int32_t>(piece.size()));
    }
    player->GetPosition(4);
    player->GetPosition(5);
    player->Seek(1, 5);
    player->FillBuffer(piece.data(), static_cast<int32_t>(piece.size()));
    player->Seek(500, 2);
    player->FillBuffer(piece.data(), static_cast<int32_t>(piece.size()));
    player->GetLength(5);
    player->Release();
    return 0;
}

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include "engine/DebugLog.h"
#include "engine/players/WavPlayer.h"

namespace {

// Offsets in a file whose format chunk comes first: its contents, and what follows the 16 bytes
// of PCM fields (where the walk starts when the chunk declares no more than those).
constexpr int64_t kFormatBody = 20;
constexpr int64_t kAfterFormatFields = 36;
constexpr int64_t kChunkHeader = 8;

bool EnginePlays(const WavPlayer& player) {
    return (player.Channels == 1 || player.Channels == 2) && (player.Bits == 8 || player.Bits == 16) &&
           player.SampleRate > 0;
}

// True when four readable characters (never a zero pad byte) stand at offset.
bool ChunkIdAt(ISonvexStream& stream, int64_t offset) {
    if (offset + 4 > stream.Size()) {
        return false;
    }
    uint8_t id[4];
    stream.Seek(static_cast<int32_t>(offset));
    if (stream.Read(id, 4) != 4) {
        return false;
    }
    return std::all_of(id, id + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7e; });
}

// Where the chunk after one whose contents end at `end` begins. An odd-sized chunk is followed
// by a pad byte; some writers leave it out, and a chunk id standing in its place shows that.
int64_t NextChunk(ISonvexStream& stream, int64_t end, uint32_t size) {
    if ((size & 1U) == 0 || ChunkIdAt(stream, end)) {
        return end;
    }
    return end + 1;
}

// The loader gives up the player; a stream it already took stays open with the caller.
WavPlayer* Reject(WavPlayer* player, const char* why) {
    DebugLog(why);
    player->Stream = nullptr;
    WavPlayer::Destroy(player);
    return nullptr;
}

}  // namespace

WavPlayer* WavLoader(ISonvexStream* stream) {
    DebugLog("Wav Loader...");
    if (stream == nullptr) {
        return nullptr;
    }
    auto* player = new WavPlayer();
    stream->Seek(0);
    const std::string riff = stream->ReadString(4);
    stream->ReadInt();
    const std::string wave = stream->ReadString(4);
    const std::string fmt = stream->ReadString(4);
    if (riff != "RIFF" || wave != "WAVE" || fmt != "fmt ") {
        return Reject(player, "Wav rejected");
    }
    const uint32_t formatSize = static_cast<uint32_t>(stream->ReadInt());
    if (stream->ReadShort() != 1) {
        return Reject(player, "Wav rejected - compression not supported");
    }

    player->Stream = stream;
    player->Channels = static_cast<int16_t>(stream->ReadShort());
    player->SampleRate = stream->ReadInt();
    player->ByteRate = stream->ReadInt();
    player->BlockAlign = static_cast<int16_t>(stream->ReadShort());
    player->Bits = static_cast<int16_t>(stream->ReadShort());
    player->Seekable = 1;
    player->Status = 1;
    // 24- and 32-bit integers would reach the converter as float, more channels than two have
    // no place in the mix, and a frame of 0 bytes cannot be counted or sought.
    if (!EnginePlays(*player)) {
        return Reject(player, "Wav rejected - format not supported");
    }

    // Chunk sizes are unsigned and the walk only moves forward, so it ends at the stream's end
    // whatever the sizes claim, without reading the contents it skips.
    const int64_t streamSize = stream->Size();
    int64_t offset = kAfterFormatFields;
    if (formatSize > 16) {
        offset = NextChunk(*stream, kFormatBody + formatSize, formatSize);
    }
    for (;;) {
        if (offset + kChunkHeader > streamSize) {
            return Reject(player, "Wav rejected - no data chunk");
        }
        stream->Seek(static_cast<int32_t>(offset));
        const std::string id = stream->ReadString(4);
        const uint32_t size = static_cast<uint32_t>(stream->ReadInt());
        if (id == "data") {
            player->DataStart = static_cast<int32_t>(offset + kChunkHeader);
            const int64_t held = streamSize - player->DataStart;
            // A size that 32-bit positions cannot reach is a writer's "unknown", and 0 is what a
            // recorder that never finished its header leaves: the data run to the end of the
            // stream. An empty data chunk with another chunk after it is just empty, however much
            // that chunk claims (a file cut in its tags).
            const bool unfinished = size == 0 && !ChunkIdAt(*stream, player->DataStart);
            const bool known = !unfinished && size <= static_cast<uint32_t>(INT32_MAX - player->DataStart);
            player->Length = known ? static_cast<int32_t>(size) : static_cast<int32_t>(held);
            const int64_t frameBytes = player->BytesPerFrame();
            const int64_t bytes = std::min<int64_t>(player->Length, held);
            player->Playable = static_cast<int32_t>(bytes - bytes % frameBytes);
            player->StreamPos = stream->Seek(player->DataStart);
            DebugLogInt("Wav accepted! samples=", player->Length);
            DebugLogInt("channels=", player->Channels);
            DebugLogInt("freq=", player->SampleRate);
            DebugLogInt("start@=", player->DataStart);
            return player;
        }
        offset = NextChunk(*stream, offset + kChunkHeader + size, size);
    }
}

#include "engine/players/OggPlayer.h"

#include <climits>
#include <cstring>

#include "engine/DebugLog.h"
#include "engine/Units.h"

OggPlayer::OggPlayer() {
    Deleter = &OggPlayer::Destroy;
}

OggPlayer::~OggPlayer() {
    DebugLog("~OggPlayer");
    Close();
    if (Stream != nullptr) {
        Sonvex_DeleteStream(Stream);
        Stream = nullptr;
    }
}

void OggPlayer::Destroy(ISonvexMusic* music) {
    if (music != nullptr) {
        delete static_cast<OggPlayer*>(music);
    }
}

void OggPlayer::Close() {
    // Safe on a decoder that never opened or failed to: vorbisfile leaves it zeroed.
    ov_clear(&VorbisFile);
    Position = 0;
}

size_t OggPlayer::ReadCallback(void* dest, size_t size, size_t count, void* stream) {
    if (size == 0 || count == 0 || count > static_cast<size_t>(INT32_MAX) / size) {
        return 0;
    }
    const int32_t got = static_cast<ISonvexStream*>(stream)->Read(dest, static_cast<int32_t>(size * count));
    return got > 0 ? static_cast<size_t>(got) / size : 0;
}

int OggPlayer::SeekCallback(void* stream, ogg_int64_t offset, int whence) {
    if (whence < 0 || whence > 2) {
        return -1;
    }
    const int32_t at = static_cast<ISonvexStream*>(stream)->SeekFrom(static_cast<int32_t>(offset), whence);
    return at >= 0 ? 0 : -1;
}

int OggPlayer::CloseCallback(void* /*stream*/) {
    // The stream belongs to the player, which closes it in its destructor.
    return 0;
}

long OggPlayer::TellCallback(void* stream) {
    return static_cast<ISonvexStream*>(stream)->Pos();
}

bool OggPlayer::RestartPass() {
    // A sample-exact seek restarts the decoder cleanly. Rewinding the bytes underneath vorbisfile
    // instead would feed the new pass through the old decoder state: the first block of the new
    // pass blends with the last of the old one, and a break is reported in between.
    return ov_pcm_seek(&VorbisFile, 0) == 0;
}

int32_t OggPlayer::FillBuffer(uint8_t* dest, int32_t bytes) {
    if (bytes <= 0 || dest == nullptr || Status == 0) {
        return 0;
    }
    // ov_read refuses a request smaller than one frame, so only whole frames are asked for.
    const int32_t frameBytes = BytesPerFrame();
    if (frameBytes <= 0) {
        return 0;
    }
    int32_t wanted = bytes - bytes % frameBytes;
    int32_t delivered = 0;
    int32_t idle = 0;
    while (wanted > 0) {
        int link = 0;
        const long got = ov_read(&VorbisFile, reinterpret_cast<char*>(dest), wanted, 0, 2, 1, &link);
        if (got > 0 && link == 0) {
            delivered += static_cast<int32_t>(got);
            // Wraps like the 32-bit length does on a pass of more than 2 GB of PCM.
            Position = static_cast<int32_t>(static_cast<uint32_t>(Position.load()) + static_cast<uint32_t>(got));
            dest += got;
            wanted -= static_cast<int32_t>(got);
            idle = 0;
            continue;
        }
        if (++idle > kMaxIdleReads) {
            // Nothing comes out however often we ask (damaged data, or an empty pass that would
            // loop for ever): end here rather than hold the audio thread.
            Position = 0;
            Status = 0;
            RestartPass();
            return delivered;
        }
        if (got < 0) {
            // A hole or a damaged page: vorbisfile has stepped past it and decoding goes on.
            continue;
        }
        if (got > 0) {
            // The first logical stream has ended: these samples are the next one's, not ours.
            std::memset(dest, 0, static_cast<size_t>(got));
        }
        Position = 0;
        const bool restarted = RestartPass();
        if (LoopMode == 0 || !restarted) {
            Status = 0;
            return delivered;
        }
    }
    return delivered;
}

int32_t OggPlayer::Seek(int32_t position, int32_t unit) {
    const int32_t frameBytes = BytesPerFrame();
    const int32_t frame = static_cast<int32_t>(SeekFrame(position, unit, frameBytes));
    DebugLogInt("Ogg seek to:", frame);
    // vorbisfile's crosslap overruns its buffers on a logical stream without a single frame of
    // audio (it pries lapping data out of an empty decoder); there is nothing to lap there.
    const ogg_int64_t target = frame;
    const int r = ov_pcm_total(&VorbisFile, 0) > 0 ? ov_pcm_seek_lap(&VorbisFile, target)
                                                   : ov_pcm_seek(&VorbisFile, target);
    Status = 1;
    // Unsigned so that an absurd target wraps instead of overflowing.
    Position = static_cast<int32_t>(static_cast<uint32_t>(frame) * static_cast<uint32_t>(frameBytes));
    return r;
}

OggPlayer* OggLoader(ISonvexStream* stream) {
    DebugLog("OGG Loader...");
    if (stream == nullptr) {
        return nullptr;
    }
    auto* player = new OggPlayer();
    player->Callbacks = {&OggPlayer::ReadCallback, &OggPlayer::SeekCallback, &OggPlayer::CloseCallback,
                         &OggPlayer::TellCallback};
    stream->Seek(0);
    if (ov_open_callbacks(stream, &player->VorbisFile, nullptr, 0, player->Callbacks) < 0) {
        DebugLog("OGG decoder rejected");
        OggPlayer::Destroy(player);
        return nullptr;
    }
    const vorbis_info* info = ov_info(&player->VorbisFile, -1);
    if (info == nullptr || info->channels < 1 || info->channels > 2) {
        // The converter takes mono and stereo only; anything wider would play as silence.
        DebugLogInt("OGG rejected, channels=", info != nullptr ? info->channels : 0);
        OggPlayer::Destroy(player);
        return nullptr;
    }
    if (info->rate < 1 || info->rate > INT32_MAX) {
        DebugLog("OGG rejected, bad rate");
        OggPlayer::Destroy(player);
        return nullptr;
    }

    player->Stream = stream;
    player->SampleRate = static_cast<int32_t>(info->rate);
    player->Channels = info->channels;
    player->Bits = 16;
    // The first logical stream is all that plays, so it alone makes the length.
    ogg_int64_t frames = ov_pcm_total(&player->VorbisFile, 0);
    if (frames < 0) {
        frames = 0;
    }
    player->Length = static_cast<int32_t>(static_cast<uint32_t>(player->Bits / 8) *
                                          static_cast<uint32_t>(player->Channels) *
                                          static_cast<uint32_t>(frames & 0xffffffff));
    player->Seekable = 1;
    player->Status = 1;

    DebugLogInt("OGG accepted! samples=", player->Length);
    DebugLogInt("channels=", player->Channels);
    DebugLogInt("freq=", player->SampleRate);
    return player;
}

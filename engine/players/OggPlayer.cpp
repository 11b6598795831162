#include "engine/players/OggPlayer.h"

#include <climits>
#include <cstring>
#include <vector>

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
    auto* source = static_cast<ISonvexStream*>(stream);
    const int64_t size = source->Size();
    int64_t base = 0;
    if (whence == 1) {
        // Streams answer -1 at their end, which is where they are.
        const int32_t pos = source->Pos();
        base = pos >= 0 ? pos : size;
    } else if (whence == 2) {
        base = size;
    }
    // Damaged files make vorbisfile ask for offsets far outside the data; cut to 32 bits and
    // clamped by the stream, they would "succeed" and send its bisection round for millions of
    // calls. Only a place inside the data is a seek.
    if (offset < -size || offset > size || base + offset < 0 || base + offset > size) {
        return -1;
    }
    const int64_t target = base + offset;
    return source->SeekFrom(static_cast<int32_t>(target), 0) == target ? 0 : -1;
}

int OggPlayer::CloseCallback(void* /*stream*/) {
    // The stream belongs to the player, which closes it in its destructor.
    return 0;
}

long OggPlayer::TellCallback(void* stream) {
    return static_cast<ISonvexStream*>(stream)->Pos();
}

void OggPlayer::Restart() {
    RestartPass();
    Position = 0;
    Status = 1;
}

bool OggPlayer::RestartPass() {
    // A seek through vorbisfile restarts the decoder cleanly. Rewinding the bytes underneath it
    // instead would feed the new pass through the old decoder state: the first block of the new
    // pass blends with the last of the old one, and a break is reported in between.
    return SeekToStart(false) == 0;
}

int OggPlayer::SeekToStart(bool lap) {
    // Not ov_pcm_seek to frame 0: for a target before the first granule position vorbisfile
    // 1.3.7 feeds libogg the last page its bisection read, and on a damaged file that page's
    // bytes have been overwritten by later reads by then; libogg's stream state goes wrong and
    // its next page-in moves a negative number of bytes. A raw seek to the first audio page
    // starts at the same sample and reads each page just before it uses it.
    if (VorbisFile.dataoffsets == nullptr || VorbisFile.links < 1) {
        return OV_EINVAL;
    }
    const ogg_int64_t start = VorbisFile.dataoffsets[0];
    return lap ? ov_raw_seek_lap(&VorbisFile, start) : ov_raw_seek(&VorbisFile, start);
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
    const bool lap = ov_pcm_total(&VorbisFile, 0) > 0;
    int r;
    if (target == 0) {
        r = SeekToStart(lap);
    } else if (!FirstPageIntact) {
        // vorbisfile's bisection finds no page before the target and falls back on the stale
        // page described at SeekToStart; playing goes on where it was.
        r = OV_ENOSEEK;
    } else {
        r = lap ? ov_pcm_seek_lap(&VorbisFile, target) : ov_pcm_seek(&VorbisFile, target);
    }
    Status = 1;
    // Unsigned so that an absurd target wraps instead of overflowing.
    Position = static_cast<int32_t>(static_cast<uint32_t>(frame) * static_cast<uint32_t>(frameBytes));
    return r;
}

namespace {

// Ogg's page checksum: CRC-32 with polynomial 0x04c11db7, no reflection, initial value 0.
uint32_t OggCrc(const uint8_t* bytes, size_t count, uint32_t crc) {
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint32_t>(bytes[i]) << 24;
        for (int32_t bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04c11db7u : crc << 1;
        }
    }
    return crc;
}

// Whether the first audio page of the first logical stream lies whole and unbroken (checksum,
// serial number, a granule position) where vorbisfile found the stream's audio to begin. The
// stream is left where vorbisfile had it.
bool FirstAudioPageIntact(ISonvexStream* stream, const OggVorbis_File& vf) {
    if (vf.dataoffsets == nullptr || vf.serialnos == nullptr || vf.links < 1 || vf.dataoffsets[0] < 0 ||
        vf.dataoffsets[0] >= stream->Size()) {
        return false;
    }
    const int32_t resume = stream->Pos() >= 0 ? stream->Pos() : stream->Size();
    stream->SeekFrom(static_cast<int32_t>(vf.dataoffsets[0]), 0);
    // A 27-byte header, up to 255 lacing values, then up to 255 segments of up to 255 bytes.
    std::vector<uint8_t> page(27 + 255);
    bool intact = false;
    if (stream->Read(page.data(), 27) == 27 && std::memcmp(page.data(), "OggS", 4) == 0 && page[4] == 0) {
        const int32_t segments = page[26];
        if (stream->Read(page.data() + 27, segments) == segments || segments == 0) {
            int32_t body = 0;
            for (int32_t i = 0; i < segments; ++i) {
                body += page[27 + static_cast<size_t>(i)];
            }
            const size_t header = 27 + static_cast<size_t>(segments);
            page.resize(header + static_cast<size_t>(body));
            if (body == 0 || stream->Read(page.data() + header, body) == body) {
                uint32_t stored = 0;
                uint32_t serial = 0;
                int64_t granule = 0;
                std::memcpy(&stored, page.data() + 22, 4);
                std::memcpy(&serial, page.data() + 14, 4);
                std::memcpy(&granule, page.data() + 6, 8);
                std::memset(page.data() + 22, 0, 4);
                intact = OggCrc(page.data(), page.size(), 0) == stored &&
                         static_cast<int32_t>(serial) == static_cast<int32_t>(vf.serialnos[0]) && granule >= 0;
            }
        }
    }
    stream->SeekFrom(resume, 0);
    return intact;
}

}  // namespace

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
    player->FirstPageIntact = FirstAudioPageIntact(stream, player->VorbisFile);

    DebugLogInt("OGG accepted! samples=", player->Length);
    DebugLogInt("channels=", player->Channels);
    DebugLogInt("freq=", player->SampleRate);
    return player;
}

#pragma once
// The Ogg Vorbis music source: vorbisfile reads the player's byte stream through four callbacks
// and decodes straight into the channel's buffer as 16-bit signed little-endian PCM.
//
// Only the first logical stream of a chained file plays. A pass ends at the end of the data or
// where the first logical stream ends; with looping on, the next pass restarts the decoder at
// frame 0 (a sample-exact seek) rather than rewinding the bytes underneath it, so the passes join
// without a lost, repeated or blended sample.

#ifndef OV_EXCLUDE_STATIC_CALLBACKS
#define OV_EXCLUDE_STATIC_CALLBACKS
#endif
#include <vorbis/vorbisfile.h>

#include <cstddef>
#include <cstdint>

#include "engine/ISonvexMusic.h"
#include "engine/ISonvexStream.h"

class OggPlayer final : public ISonvexMusic {
public:
    ISonvexStream* Stream = nullptr;
    OggVorbis_File VorbisFile{};
    ov_callbacks Callbacks{};

    OggPlayer();

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override;
    int32_t Seek(int32_t position, int32_t unit) override;

    // Back to the first sample without crosslapping it with what played before (Seek crosslaps,
    // for a click-free jump while playing): what a decode of the whole music needs.
    void Restart();
    // Clears the decoder; the stream stays open.
    void Close();
    // The Deleter: destroys and frees the player; null is ignored.
    static void Destroy(ISonvexMusic* music);

    // vorbisfile's data source is the ISonvexStream itself.
    static size_t ReadCallback(void* dest, size_t size, size_t count, void* stream);
    static int SeekCallback(void* stream, ogg_int64_t offset, int whence);
    static int CloseCallback(void* stream);
    static long TellCallback(void* stream);

    // Reads in a row that may give nothing before a fill gives up and ends the source: enough
    // to step over the odd hole in damaged data, few enough to keep the audio thread moving.
    static constexpr int32_t kMaxIdleReads = 16;

private:
    friend OggPlayer* OggLoader(ISonvexStream* stream);

    ~OggPlayer();

    // Whether the first audio page is whole (checked at load). Without it, sample seeks other
    // than to frame 0 are refused: vorbisfile would corrupt libogg's state making them.
    bool FirstPageIntact = false;

    // The end of a pass: back to frame 0 for looping or for a later replay. False when the
    // decoder cannot go back, in which case the source must end whatever the loop mode.
    bool RestartPass();
    // To the first sample of the first logical stream, crosslapped or not; vorbisfile's result.
    int SeekToStart(bool lap);
};

// Opens the stream with vorbisfile. Returns a player that owns the stream from then on, or null
// (the stream stays open with the caller) for data that is not Ogg Vorbis or has more than two
// channels.
OggPlayer* OggLoader(ISonvexStream* stream);

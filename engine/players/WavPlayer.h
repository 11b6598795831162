#pragma once
// The music source for RIFF/WAVE files of uncompressed PCM: it hands out the data chunk's
// contents byte for byte as stored (8-bit unsigned or 16-bit signed little-endian, mono or
// stereo); the channel converts them. WavLoader is its only maker.
//
// The player reads its stream on the audio thread and seeks it on the main thread, both under
// the lock of the channel that plays it; it has no lock of its own.

#include <cstdint>

#include "engine/ISonvexMusic.h"
#include "engine/ISonvexStream.h"

class WavPlayer final : public ISonvexMusic {
public:
    int32_t ByteRate = 0;    // from the format chunk; kept, not used in playback
    int32_t BlockAlign = 0;  // from the format chunk; kept, not used in playback
    int32_t DataStart = 0;   // stream offset of the data chunk's first byte
    ISonvexStream* Stream = nullptr;  // owned once the loader has accepted the file

    WavPlayer();

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override;
    int32_t Seek(int32_t position, int32_t unit) override;

    // Rewinds the play position only; the stream stays open. Nothing in the engine calls it.
    void Close();

    // The Deleter: runs the destructor (closing and freeing the stream) and frees the player.
    static void Destroy(ISonvexMusic* music);

private:
    friend WavPlayer* WavLoader(ISonvexStream* stream);

    ~WavPlayer();

    // Bytes of the data that play: the declared size, cut to what the stream holds and to
    // whole frames, so neither a trailing chunk nor a torn frame is ever played as sound.
    int32_t Playable = 0;
    // Where the stream stands, so that a fill seeks only when Position was moved under it.
    int32_t StreamPos = 0;

    void Rewind();
};

// Parses the header of the stream and returns a player that owns the stream from then on, or
// none when the stream is not a WAV file the engine can play; a rejected stream stays open with
// the caller, wherever the parse left it.
WavPlayer* WavLoader(ISonvexStream* stream);

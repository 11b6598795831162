#pragma once
// The FLAC music source: libFLAC's stream decoder reads the player's byte stream through eight
// callbacks and decodes one frame at a time into the player's own buffer, from which FillBuffer
// hands out interleaved 16-bit samples.
//
// Mono and stereo streams of any bit depth play; every sample is delivered as 16 bits (Bits is
// always 16). Wider samples are shifted right by (bits - 16), rounding toward minus infinity;
// narrower ones are shifted left by (16 - bits). Streams of more than two channels, without a
// total-sample count in STREAMINFO, or longer than a 32-bit byte length can count, are refused.
//
// A pass ends where the decoder reports the end of the stream, once its last frame has been
// played. Without looping the player stops there (that fill returns only the bytes it played) and
// rewinds for a later replay; with looping the next pass starts at the first sample. Seeks are
// sample-exact: playing resumes at the target sample itself; a seek libFLAC refuses (a damaged
// stream) leaves playing where it was.

#include <FLAC/stream_decoder.h>

#include <cstdint>

#include "engine/ISonvexMusic.h"
#include "engine/ISonvexStream.h"

class FlacPlayer final : public ISonvexMusic {
public:
    // The largest FLAC block (65,535 frames) of two channels fits with room to spare.
    static constexpr int32_t SampleBufferBytes = 352800;
    static constexpr int32_t SampleBufferSamples = SampleBufferBytes / 2;

    ISonvexStream* Stream = nullptr;
    FLAC__StreamDecoder* Decoder = nullptr;
    int16_t* SampleBuffer = nullptr;
    int32_t SampleCount = 0;
    int32_t WriteIndex = 0;
    int32_t ReadIndex = 0;

    FlacPlayer();

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override;
    int32_t Seek(int32_t position, int32_t unit) override;

    // Deleted through its Deleter only, which runs this virtual destructor.
    virtual ~FlacPlayer();

    // Empties the buffer and decodes the next frame into it; at the end of the stream it ends
    // the pass (rewinding, and stopping unless looping).
    void Refill();

    // The Deleter: destroys and frees the player; null is ignored.
    static void Destroy(ISonvexMusic* music);

    static FLAC__StreamDecoderReadStatus ReadCallback(const FLAC__StreamDecoder* decoder,
                                                      FLAC__byte buffer[], size_t* bytes,
                                                      void* client);
    static FLAC__StreamDecoderSeekStatus SeekCallback(const FLAC__StreamDecoder* decoder,
                                                      FLAC__uint64 offset, void* client);
    static FLAC__StreamDecoderTellStatus TellCallback(const FLAC__StreamDecoder* decoder,
                                                      FLAC__uint64* offset, void* client);
    static FLAC__StreamDecoderLengthStatus LengthCallback(const FLAC__StreamDecoder* decoder,
                                                          FLAC__uint64* length, void* client);
    static FLAC__bool EofCallback(const FLAC__StreamDecoder* decoder, void* client);
    static FLAC__StreamDecoderWriteStatus WriteCallback(const FLAC__StreamDecoder* decoder,
                                                        const FLAC__Frame* frame,
                                                        const FLAC__int32* const buffer[],
                                                        void* client);
    static void MetadataCallback(const FLAC__StreamDecoder* decoder,
                                 const FLAC__StreamMetadata* metadata, void* client);
    static void ErrorCallback(const FLAC__StreamDecoder* decoder,
                              FLAC__StreamDecoderErrorStatus status, void* client);

private:
    friend FlacPlayer* FlacLoader(ISonvexStream* stream);

    void EmptyBuffer();
    // Rewinds to the first sample for the next pass or a later replay; Position goes to 0.
    void Rewind();
    // Takes the format from the STREAMINFO read at load; false (with a log line) for a stream
    // the player cannot represent.
    bool AcceptStreamInfo();

    // STREAMINFO as read at load; a reset reads the same block again and it is not re-applied.
    FLAC__StreamMetadata_StreamInfo Info{};
    bool HasInfo = false;
    // Whether the write callback has stored any sample since the last rewind: a looping stream
    // that yields no audio at all ends instead of rewinding forever.
    bool PassHasAudio = false;
    // Set by a Refill that ended the music without looping, for the fill that called it.
    bool Ended = false;
    // Passes restarted and stream bytes read during the current fill. A fill that has had to
    // restart more than once and read more than the budget gives up its remainder, so a looping
    // stream of next to no audio cannot hold the audio thread; a tiny clean file stays far below.
    static constexpr int64_t LoopReadBudget = 256 * 1024;
    int32_t LoopsThisFill = 0;
    int64_t BytesReadThisFill = 0;
};

// Recognises a FLAC stream by its "fLaC" marker and reads its STREAMINFO. On success the player
// owns the stream; on failure the stream stays open with the caller and the result is null.
FlacPlayer* FlacLoader(ISonvexStream* stream);

// Does what FlacPlayer::Destroy does.
void DeleteFlacPlayer(FlacPlayer* player);

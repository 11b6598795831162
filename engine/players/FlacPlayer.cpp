#include "engine/players/FlacPlayer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "engine/DebugLog.h"
#include "engine/Units.h"

namespace {

const char* StateName(FLAC__StreamDecoderState state) {
    if (state < FLAC__STREAM_DECODER_SEARCH_FOR_METADATA || state > FLAC__STREAM_DECODER_UNINITIALIZED) {
        return "unknown decoder state";
    }
    return FLAC__StreamDecoderStateString[state];
}

const char* ErrorName(FLAC__StreamDecoderErrorStatus status) {
    if (status < FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC ||
        status > FLAC__STREAM_DECODER_ERROR_STATUS_BAD_METADATA) {
        return "unknown error status";
    }
    return FLAC__StreamDecoderErrorStatusString[status];
}

inline int16_t Clamp16(int64_t value) {
    return static_cast<int16_t>(std::min<int64_t>(32767, std::max<int64_t>(-32768, value)));
}

// Writes `count` samples of one channel to every `stride`-th slot of out, scaled from `bits` to
// 16 bits. A damaged stream can hold values outside its declared width; they are clamped rather
// than wrapped.
void Store16(int16_t* out, int32_t stride, const FLAC__int32* in, uint32_t count, uint32_t bits) {
    if (bits == 0 || bits > 32) {
        bits = 16;
    }
    if (bits >= 16) {
        const uint32_t shift = bits - 16;
        for (uint32_t i = 0; i < count; ++i) {
            out[static_cast<size_t>(i) * stride] = Clamp16(in[i] >> shift);
        }
    } else {
        const int64_t scale = int64_t{1} << (16 - bits);
        for (uint32_t i = 0; i < count; ++i) {
            out[static_cast<size_t>(i) * stride] = Clamp16(in[i] * scale);
        }
    }
}

}  // namespace

FlacPlayer::FlacPlayer() {
    Seekable = 1;
    Deleter = &FlacPlayer::Destroy;

    SampleBuffer = new (std::nothrow) int16_t[SampleBufferSamples];
    if (SampleBuffer == nullptr) {
        // Without a buffer there is nothing to decode into; no decoder makes the loader refuse.
        DebugLog("ERROR: allocating flac sample buffer");
        return;
    }
    Decoder = FLAC__stream_decoder_new();
    if (Decoder == nullptr) {
        DebugLog("ERROR: allocating flac decoder");
        return;
    }
    // No MD5 checking: nothing ever reads the verdict, and it costs a third of the decode time.
    const FLAC__StreamDecoderInitStatus status = FLAC__stream_decoder_init_stream(
        Decoder, &FlacPlayer::ReadCallback, &FlacPlayer::SeekCallback, &FlacPlayer::TellCallback,
        &FlacPlayer::LengthCallback, &FlacPlayer::EofCallback, &FlacPlayer::WriteCallback,
        &FlacPlayer::MetadataCallback, &FlacPlayer::ErrorCallback, this);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        // The loader's first decode then finds no STREAMINFO and refuses the stream.
        DebugLog("ERROR: FLAC__stream_decoder_init_stream");
    }
}

FlacPlayer::~FlacPlayer() {
    DebugLog("~FlacPlayer");
    if (Decoder != nullptr) {
        FLAC__stream_decoder_delete(Decoder);
        Decoder = nullptr;
    }
    delete[] SampleBuffer;
    SampleBuffer = nullptr;
    Position = 0;
    if (Stream != nullptr) {
        Sonvex_DeleteStream(Stream);
        Stream = nullptr;
    }
}

void FlacPlayer::Destroy(ISonvexMusic* music) {
    if (music != nullptr) {
        delete static_cast<FlacPlayer*>(music);
    }
}

void DeleteFlacPlayer(FlacPlayer* player) {
    FlacPlayer::Destroy(player);
}

FlacPlayer* FlacLoader(ISonvexStream* stream) {
    if (stream == nullptr) {
        return nullptr;
    }
    DebugLog("Flac Loader...");
    stream->Seek(0);
    if (stream->ReadString(4) != "fLaC") {
        DebugLog("Flac tag rejected");
        return nullptr;
    }
    stream->Seek(0);

    FlacPlayer* player = new (std::nothrow) FlacPlayer();
    if (player == nullptr) {
        DebugLog("Flac decoder rejected");
        return nullptr;
    }
    if (player->Decoder != nullptr) {
        player->Stream = stream;
        player->SampleRate = 0;
        player->Channels = 0;
        player->Bits = 16;
        player->Length = 0;
        player->Status = 1;
        // From a fresh decoder one call reads the marker and the first metadata block.
        FLAC__stream_decoder_process_single(player->Decoder);
        if (player->AcceptStreamInfo()) {
            // The rest of the metadata too, here rather than in the first fill: however large,
            // it is then never read on the audio thread (passes start past it).
            FLAC__stream_decoder_process_until_end_of_metadata(player->Decoder);
            return player;
        }
    }
    // The stream goes back to the caller unclosed.
    player->Stream = nullptr;
    FlacPlayer::Destroy(player);
    DebugLog("Flac decoder rejected");
    return nullptr;
}

bool FlacPlayer::AcceptStreamInfo() {
    if (!HasInfo || Info.sample_rate == 0 || Info.channels == 0 || Info.total_samples == 0) {
        return false;
    }
    if (Info.channels > 2) {
        DebugLogInt("Flac channel count not supported: ", static_cast<int32_t>(Info.channels));
        return false;
    }
    const uint64_t bytes = Info.total_samples * Info.channels * 2;
    if (bytes > static_cast<uint64_t>(INT32_MAX)) {
        DebugLog("Flac stream too long for a 32-bit length");
        return false;
    }
    SampleRate = static_cast<int32_t>(Info.sample_rate);
    Channels = static_cast<int32_t>(Info.channels);
    Bits = 16;
    Length = static_cast<int32_t>(bytes);
    return true;
}

int32_t FlacPlayer::FillBuffer(uint8_t* dest, int32_t bytes) {
    if (Status == 0) {
        return 0;
    }
    const int32_t wanted = bytes / 2;
    if (wanted < 1) {
        return bytes;
    }
    int32_t done = 0;
    LoopsThisFill = 0;
    BytesReadThisFill = 0;
    while (done < wanted) {
        if (ReadIndex >= SampleCount) {
            Ended = false;
            Refill();
            if (Ended) {
                // Only what was played before the end counts; the channel has zeroed the rest.
                return done * 2;
            }
            if (LoopsThisFill >= 2 && BytesReadThisFill > LoopReadBudget) {
                // A looping stream whose every pass reads much and plays next to nothing (mostly
                // damage) would hold the audio thread for pass after pass; the rest of this
                // piece stays as the caller cleared it, and the next fill goes on from here.
                return bytes;
            }
            continue;
        }
        const int32_t n = std::min(wanted - done, SampleCount - ReadIndex);
        std::memcpy(dest + static_cast<size_t>(done) * 2, SampleBuffer + ReadIndex,
                    static_cast<size_t>(n) * 2);
        ReadIndex += n;
        done += n;
        Position += 2 * n;
    }
    return bytes;
}

void FlacPlayer::Refill() {
    EmptyBuffer();
    if (FLAC__stream_decoder_process_single(Decoder) == 0) {
        DebugLog("ERROR: FLAC__stream_decoder_process_");
        DebugLogPair("ERROR= ", StateName(FLAC__stream_decoder_get_state(Decoder)));
    }
    if (SampleCount > 0) {
        return;
    }
    // Nothing stored: a metadata block or a resync leaves the decoder ready for more, while the
    // end of the stream (or a decoder that can go no further) ends the pass. Read-ahead has no
    // part in this: the decoder reports the end only once its last frame has been written.
    if (FLAC__stream_decoder_get_state(Decoder) < FLAC__STREAM_DECODER_END_OF_STREAM) {
        return;
    }
    if (LoopMode != 0 && PassHasAudio) {
        Rewind();
        ++LoopsThisFill;
        return;
    }
    Status = 0;
    Ended = true;
    Rewind();
}

void FlacPlayer::EmptyBuffer() {
    SampleCount = 0;
    WriteIndex = 0;
    ReadIndex = 0;
}

void FlacPlayer::Rewind() {
    EmptyBuffer();
    PassHasAudio = false;
    Position = 0;
    // A seek to the first sample lands on the first frame, past the metadata: a looping pass
    // then reads its audio only, however much cover art or padding lies in front of it. The
    // write callback stores that frame, so the buffer already holds the start of the next pass.
    if (FLAC__stream_decoder_get_state(Decoder) > FLAC__STREAM_DECODER_END_OF_STREAM) {
        FLAC__stream_decoder_flush(Decoder);
    }
    if (FLAC__stream_decoder_seek_absolute(Decoder, 0) != 0) {
        return;
    }
    // A first frame the seek cannot find (damage): start over from byte 0, metadata and all
    // (STREAMINFO is not re-applied).
    FLAC__stream_decoder_flush(Decoder);
    EmptyBuffer();
    PassHasAudio = false;
    if (FLAC__stream_decoder_reset(Decoder) == 0) {
        DebugLog("ERROR: FLAC__stream_decoder_reset");
    }
}

int32_t FlacPlayer::Seek(int32_t position, int32_t unit) {
    const int32_t frameBytes = BytesPerFrame();
    const int64_t target = std::max<int64_t>(SeekFrame(position, unit, frameBytes), 0);
    const int64_t total = Length / frameBytes;
    if (target >= total) {
        // Past the end: the channel stops, and the decoder keeps its place for a later fill.
        Status = 0;
        return Length;
    }

    EmptyBuffer();
    if (FLAC__stream_decoder_get_state(Decoder) > FLAC__STREAM_DECODER_END_OF_STREAM) {
        FLAC__stream_decoder_flush(Decoder);
    }
    // On success the write callback has stored the rest of the target frame, from the target
    // sample on, and that is where playing resumes.
    if (FLAC__stream_decoder_seek_absolute(Decoder, static_cast<FLAC__uint64>(target)) != 0) {
        Position = static_cast<int32_t>(target * frameBytes);
        return Position;
    }

    // Refused (a damaged stream): go back to where playing was, so the failed seek loses
    // nothing; failing that, to the start.
    DebugLog("ERROR: FLAC__stream_decoder_seek_absolute");
    FLAC__stream_decoder_flush(Decoder);
    EmptyBuffer();
    const int64_t resume = Position / frameBytes;
    if (resume < total && FLAC__stream_decoder_seek_absolute(Decoder, static_cast<FLAC__uint64>(resume)) != 0) {
        Position = static_cast<int32_t>(resume * frameBytes);
        return Position;
    }
    FLAC__stream_decoder_flush(Decoder);
    Rewind();
    return Position;
}

FLAC__StreamDecoderReadStatus FlacPlayer::ReadCallback(const FLAC__StreamDecoder* /*decoder*/,
                                                       FLAC__byte buffer[], size_t* bytes,
                                                       void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    if (*bytes == 0) {
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    const int32_t want = *bytes > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(*bytes);
    const int32_t got = player->Stream->Read(buffer, want);
    if (got <= 0) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }
    *bytes = static_cast<size_t>(got);
    player->BytesReadThisFill += got;
    return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus FlacPlayer::SeekCallback(const FLAC__StreamDecoder* /*decoder*/,
                                                       FLAC__uint64 offset, void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    // Streams have 32-bit positions; an offset beyond them is not there to seek to.
    if (offset > static_cast<FLAC__uint64>(INT32_MAX)) {
        return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    const int32_t at = player->Stream->Seek(static_cast<int32_t>(offset));
    return static_cast<int64_t>(at) == static_cast<int64_t>(offset) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                                                                    : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
}

FLAC__StreamDecoderTellStatus FlacPlayer::TellCallback(const FLAC__StreamDecoder* /*decoder*/,
                                                       FLAC__uint64* offset, void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    int32_t position = player->Stream->Pos();
    if (position < 0) {
        // Streams answer -1 once their end is reached, but the position is known there: the end.
        if (player->Stream->Eof() == 0) {
            return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        }
        position = player->Stream->Size();
    }
    *offset = static_cast<FLAC__uint64>(position);
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus FlacPlayer::LengthCallback(const FLAC__StreamDecoder* /*decoder*/,
                                                           FLAC__uint64* length, void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    *length = static_cast<FLAC__uint64>(std::max(player->Stream->Size(), 0));
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool FlacPlayer::EofCallback(const FLAC__StreamDecoder* /*decoder*/, void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    return player->Stream->Eof() != 0 ? 1 : 0;
}

FLAC__StreamDecoderWriteStatus FlacPlayer::WriteCallback(const FLAC__StreamDecoder* /*decoder*/,
                                                         const FLAC__Frame* frame,
                                                         const FLAC__int32* const buffer[],
                                                         void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    const uint32_t blockSize = frame->header.blocksize;
    const int32_t channels = player->Channels;
    if (player->WriteIndex + static_cast<int64_t>(blockSize) * channels > SampleBufferSamples) {
        DebugLog("ERROR: flac frame larger than the sample buffer");
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    // The layout comes from STREAMINFO; a damaged frame that claims another channel count still
    // fills both outputs from what it has.
    const uint32_t frameChannels = frame->header.channels;
    const uint32_t bits = frame->header.bits_per_sample;
    int16_t* out = player->SampleBuffer + player->WriteIndex;
    Store16(out, channels, buffer[0], blockSize, bits);
    if (channels == 2) {
        Store16(out + 1, channels, buffer[frameChannels > 1 ? 1 : 0], blockSize, bits);
    }
    player->WriteIndex += static_cast<int32_t>(blockSize) * channels;
    player->SampleCount = player->WriteIndex;
    if (blockSize > 0) {
        player->PassHasAudio = true;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacPlayer::MetadataCallback(const FLAC__StreamDecoder* /*decoder*/,
                                  const FLAC__StreamMetadata* metadata, void* client) {
    auto* player = static_cast<FlacPlayer*>(client);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || player->HasInfo) {
        return;
    }
    player->Info = metadata->data.stream_info;
    player->HasInfo = true;
}

void FlacPlayer::ErrorCallback(const FLAC__StreamDecoder* /*decoder*/,
                               FLAC__StreamDecoderErrorStatus status, void* /*client*/) {
    DebugLogPair("Got error callback: ", ErrorName(status));
}

#pragma once
// The framework face of a music source: one engine source with the stream it reads and, for a
// music loaded from a bank, the bank. Each file format has its own type whose Loader turns a
// stream into a music through that format's player.

#include <cstdint>
#include <string>

#include "engine/ISonvexEffect.h"
#include "engine/ISonvexMusic.h"
#include "engine/ISonvexStream.h"
#include "platform/runtime/Object.h"
#include "platform/runtime/TBank.h"

namespace sonvex2 {

class TMusic;

// A loader function: a music when the stream is of its format (the source then owns the stream),
// else none with the stream left open for the next loader.
using LoaderFunc = fw::Ref<TMusic> (*)(ISonvexStream* stream, const std::string& url);

class TMusic : public fw::Object {
public:
    ISonvexMusic* Music = nullptr;
    ISonvexStream* Stream = nullptr;   // owned by the source, not here
    fw::Ref<fw::TBank> Bank;

    // Each forwards to the source; a music without one (a custom music) answers 0.
    virtual int32_t FillBuffer(uint8_t* buffer, int32_t bytes);
    virtual int32_t Seek(int32_t position, int32_t unit);
    virtual int32_t IsSeekable();
    virtual int32_t GetLength(int32_t unit);
    virtual int32_t GetStatus();
    virtual int32_t SetStatus(int32_t status);
    virtual int32_t GetPosition(int32_t unit);
    virtual int32_t GetChannels();
    virtual int32_t GetBits();
    virtual int32_t GetSampleRate();
    virtual int32_t GetLoopMode();
    virtual int32_t SetLoopMode(int32_t mode);
    // The framework sample format from GetChannels, then GetBits: 4 or 5 for stereo, 1 or 2
    // otherwise (8-bit or any other depth).
    virtual int32_t GetFormat();

protected:
    void Delete() override;
};

// The four file formats, one type each over its player's factory. Each gives its source back when
// it goes.
template <auto Factory>
class TFormatMusic final : public TMusic {
public:
    static fw::Ref<TMusic> Loader(ISonvexStream* stream, const std::string& url);

protected:
    void Delete() override;
};

}  // namespace sonvex2

class FlacPlayer;
class WavPlayer;
class OggPlayer;
class DumbPlayer;
FlacPlayer* FlacLoader(ISonvexStream* stream);
WavPlayer* WavLoader(ISonvexStream* stream);
OggPlayer* OggLoader(ISonvexStream* stream);
DumbPlayer* DumbLoader(ISonvexStream* stream);

namespace sonvex2 {

using TMusicFlac = TFormatMusic<&FlacLoader>;
using TMusicWav = TFormatMusic<&WavLoader>;
using TMusicOgg = TFormatMusic<&OggLoader>;
using TMusicDumb = TFormatMusic<&DumbLoader>;

// A music whose program makes the samples itself, in its own FillBuffer. It never has a source.
class TCustomMusic : public TMusic {
public:
    int32_t SampleRate = 44100;
    int32_t Bits = 16;
    int32_t Channels = 2;

    static fw::Ref<TMusic> Loader(ISonvexStream* stream, const std::string& url);
    int32_t FillBuffer(uint8_t* buffer, int32_t bytes) override = 0;
};

// The framework holder of an engine effect, for AttachEffect.
class TSonvexEffect : public fw::Object {
public:
    ISonvexEffect* _effect = nullptr;
};

// Callback streams need threading, which this build does not offer: says so and answers none.
fw::Ref<fw::Object> CreateAudioCallbackStream();
// For a callback stream: pulls samples through the music's own FillBuffer.
int32_t CustomMusicFillCallback(const fw::Ref<TMusic>& music, uint8_t* buffer, int32_t bytes);

}  // namespace sonvex2

#include "engine/binding/TMusic.h"

#include "engine/players/DumbPlayer.h"
#include "engine/players/FlacPlayer.h"
#include "engine/players/OggPlayer.h"
#include "engine/players/WavPlayer.h"
#include "platform/runtime/App.h"

namespace sonvex2 {

int32_t TMusic::FillBuffer(uint8_t* buffer, int32_t bytes) {
    return Music != nullptr ? Music->FillBuffer(buffer, bytes) : 0;
}

int32_t TMusic::Seek(int32_t position, int32_t unit) {
    return Music != nullptr ? Music->Seek(position, unit) : 0;
}

int32_t TMusic::IsSeekable() {
    return Music != nullptr ? Music->IsSeekable() : 0;
}

int32_t TMusic::GetLength(int32_t unit) {
    return Music != nullptr ? Music->GetLength(unit) : 0;
}

int32_t TMusic::GetStatus() {
    return Music != nullptr ? Music->GetStatus() : 0;
}

int32_t TMusic::SetStatus(int32_t status) {
    if (Music != nullptr) {
        Music->SetStatus(status);
    }
    return 0;
}

int32_t TMusic::GetPosition(int32_t unit) {
    return Music != nullptr ? Music->GetPosition(unit) : 0;
}

int32_t TMusic::GetChannels() {
    return Music != nullptr ? Music->GetChannels() : 0;
}

int32_t TMusic::GetBits() {
    return Music != nullptr ? Music->GetBits() : 0;
}

int32_t TMusic::GetSampleRate() {
    return Music != nullptr ? Music->GetSampleRate() : 0;
}

int32_t TMusic::GetLoopMode() {
    return Music != nullptr ? Music->GetLoopMode() : 0;
}

int32_t TMusic::SetLoopMode(int32_t mode) {
    if (Music != nullptr) {
        Music->SetLoopMode(mode);
    }
    return 0;
}

int32_t TMusic::GetFormat() {
    const bool stereo = GetChannels() == 2;
    const bool eightBit = GetBits() == 8;
    if (stereo) {
        return eightBit ? 4 : 5;
    }
    return eightBit ? 1 : 2;
}

void TMusic::Delete() {
    Bank = fw::Ref<fw::TBank>();
}

namespace {

// Wraps a player that accepted the stream: the music's reference is the source's first.
template <typename Type>
fw::Ref<TMusic> Wrap(ISonvexMusic* player, ISonvexStream* stream) {
    if (player == nullptr) {
        return fw::Ref<TMusic>();
    }
    player->AddRef();
    fw::Ref<TMusic> music = fw::New<Type>();
    music->Music = player;
    music->Stream = stream;
    return music;
}

void ReleaseSource(TMusic& music) {
    if (music.Music != nullptr) {
        ISonvexMusic* const source = music.Music;
        music.Music = nullptr;
        source->Release();
    }
}

}  // namespace

template <auto Factory>
fw::Ref<TMusic> TFormatMusic<Factory>::Loader(ISonvexStream* stream, const std::string& /*url*/) {
    return stream != nullptr ? Wrap<TFormatMusic>(Factory(stream), stream) : fw::Ref<TMusic>();
}

template <auto Factory>
void TFormatMusic<Factory>::Delete() {
    ReleaseSource(*this);
    TMusic::Delete();
}

template class TFormatMusic<&FlacLoader>;
template class TFormatMusic<&WavLoader>;
template class TFormatMusic<&OggLoader>;
template class TFormatMusic<&DumbLoader>;

fw::Ref<TMusic> TCustomMusic::Loader(ISonvexStream* /*stream*/, const std::string& /*url*/) {
    return fw::Ref<TMusic>();
}

fw::Ref<fw::Object> CreateAudioCallbackStream() {
    fw::Notify("CreateAudioCallbackStream will only work if threading is enabled", false);
    return fw::Ref<fw::Object>();
}

int32_t CustomMusicFillCallback(const fw::Ref<TMusic>& music, uint8_t* buffer, int32_t bytes) {
    return music ? music->FillBuffer(buffer, bytes) : 0;
}

}  // namespace sonvex2

#include "engine/binding/SonvexLoader.h"

#include <algorithm>
#include <cstdint>

#include "engine/ChannelList.h"
#include "engine/DebugLog.h"
#include "engine/MemAudioStream.h"
#include "engine/binding/SourceKeeper.h"
#include "engine/players/OggPlayer.h"
#include "platform/runtime/Collect.h"
#include "platform/runtime/Incbin.h"
#include "platform/runtime/Strings.h"
#include "platform/runtime/TBank.h"

namespace sonvex2 {

namespace {

// A whole-music sample's first memory, when the music's length is only a header's claim: no
// more than 64 decoded bytes for each byte of the stream (Vorbis at its lowest quality gives
// about 30), and at least 1 MB. What decodes to more grows the sample as it goes.
constexpr int64_t kFirstSampleBytes = 1 << 20;
constexpr int64_t kDecodedPerStreamByte = 64;
// What a channel asks of its music at a time: its converter's input window.
constexpr int32_t kFillBytes = 1024;

// The embedded file's name in an "incbin::" url: the text between the first "::" and the next.
std::string IncbinName(const std::string& url) {
    const size_t start = url.find("::");
    const size_t from = start == std::string::npos ? url.size() : start + 2;
    const size_t end = url.find("::", from);
    return url.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// The stream a url names, with the text the loaders are given for it; null when there is none.
ISonvexStream* OpenUrl(const fw::Ref<fw::Object>& url, std::string& text, fw::Ref<fw::TBank>& bank) {
    if (fw::Ref<fw::TString> path = fw::Cast<fw::TString>(url)) {
        text = path->Text();
        if (text.empty()) {
            return nullptr;
        }
        if (text.find("incbin::") != std::string::npos) {
            const std::string name = IncbinName(text);
            return Sonvex_CreateMemStream(fw::IncbinPtr(name), fw::IncbinLen(name));
        }
        ISonvexStream* stream = Sonvex_OpenFileStream(text.c_str());
        if (stream == nullptr) {
            DebugLogPair("LoadMusic: cannot open", text);
        }
        return stream;
    }
    bank = fw::Cast<fw::TBank>(url);
    if (bank) {
        text = "Bank";
        if (bank->Size() > static_cast<size_t>(INT32_MAX)) {
            // Streams count in 32 bits: the size cut to them would be another file's.
            DebugLog("LoadMusic: a bank over 2 GB does not fit a stream");
            return nullptr;
        }
        return Sonvex_CreateMemStream(bank->Buf(), static_cast<int32_t>(bank->Size()));
    }
    return nullptr;
}

// A music given as such, or loaded from any other url.
fw::Ref<TMusic> MusicOf(const fw::Ref<fw::Object>& url) {
    fw::Ref<TMusic> music = fw::Cast<TMusic>(url);
    if (music) {
        fw::GCCollect();   // as a load would
        return music;
    }
    return LoadMusic(url);
}

}  // namespace

fw::TList<SonvexLoader>& Loaders() {
    static auto* loaders = [] {
        auto* list = new fw::TList<SonvexLoader>;
        list->Retain();   // lives for the run
        return list;
    }();
    return *loaders;
}

SonvexLoader::SonvexLoader() {
    Loaders().AddLast(fw::Ref<SonvexLoader>(this));
}

fw::Ref<SonvexLoader> SonvexLoader::Create(LoaderFunc func, const std::string& name, const std::string& ext) {
    fw::Ref<SonvexLoader> loader = fw::New<SonvexLoader>();
    loader->Func = func;
    loader->Name = name;
    loader->Ext = ext;
    return loader;
}

std::string SonvexLoader::GetExtensions(int32_t all, int32_t allfiles) {
    std::string text;
    if (all != 0) {
        text = "All supported:";
        for (const fw::Ref<SonvexLoader>& loader : Loaders()) {
            text += "," + fw::Lower(loader->Ext);
        }
    }
    for (const fw::Ref<SonvexLoader>& loader : Loaders()) {
        if (!text.empty()) {
            text += ";";
        }
        text += loader->Name + ":" + fw::Lower(loader->Ext);
    }
    if (allfiles != 0) {
        if (!text.empty()) {
            text += ";";
        }
        text += "All Files:*";
    }
    return text;
}

fw::Ref<TMusic> SonvexLoader::Load(const fw::Ref<fw::Object>& url) {
    // Whatever the audio thread let go since the last load goes now, on this thread.
    fw::GCCollect();
    std::string text;
    fw::Ref<fw::TBank> bank;
    ISonvexStream* stream = OpenUrl(url, text, bank);
    if (stream == nullptr) {
        return fw::Ref<TMusic>();
    }
    for (const fw::Ref<SonvexLoader>& loader : Loaders()) {
        stream->Seek(0);
        if (loader->Func == nullptr) {
            continue;
        }
        fw::Ref<TMusic> music = loader->Func(stream, text);
        if (music) {
            if (bank) {
                music->Bank = bank;
                // The source reads the bank in place, maybe after this music object has gone.
                KeepUntilDestroyed(music->Music, bank);
            }
            return music;
        }
    }
    DebugLogPair("LoadMusic: no loader accepts", text);
    Sonvex_DeleteStream(stream);
    return fw::Ref<TMusic>();
}

fw::Ref<TMusic> LoadMusic(const fw::Ref<fw::Object>& url) {
    return SonvexLoader::Load(url);
}

std::string GetMusicFilter(int32_t all, int32_t allfiles) {
    return SonvexLoader::GetExtensions(all, allfiles);
}

fw::Ref<TSonvexChannel> CueMusic(const fw::Ref<fw::Object>& url, int32_t loop) {
    fw::Ref<TMusic> music = MusicOf(url);
    if (!music || music->Music == nullptr) {
        return fw::Ref<TSonvexChannel>();
    }
    ISonvexMusic* const source = music->Music;
    fw::Ref<TSonvexChannel> channel = fw::New<TSonvexChannel>();
    {
        // The check and the binding are one step for a decode on another thread, which looks for
        // channels under the same lock.
        SonvexLockGuard engine(ChannelListLock);
        if (MemAudioStream::Decodes(source)) {
            // Its decoding thread fills the source outside the engine lock the mixer holds.
            DebugLog("CueMusic: the music is being decoded to memory");
            return fw::Ref<TSonvexChannel>();
        }
        source->SetLoopMode(loop);
        source->AddRef();
        channel->_channel = source->PlayMusicOnChannel(nullptr);
    }
    channel->_channel->SetLoopMode(loop);
    channel->_music = music;
    return channel;
}

fw::Ref<TSonvexChannel> PlayMusic(const fw::Ref<fw::Object>& url, int32_t loop) {
    fw::Ref<TSonvexChannel> channel = CueMusic(url, loop);
    fw::ResumeChannel(channel);
    return channel;
}

fw::Ref<fw::TAudioSample> LoadMusicSample(const fw::Ref<fw::Object>& url) {
    fw::Ref<TMusic> music = LoadMusic(url);
    if (!music) {
        return fw::Ref<fw::TAudioSample>();
    }
    // The sample formats hold one or two channels of 8 or 16 bits; anything else would not fit
    // the memory sized from the format.
    const int32_t channels = music->GetChannels();
    const int32_t bits = music->GetBits();
    const int32_t frames = music->GetLength(1);
    const int32_t bytes = music->GetLength(0);
    if (channels < 1 || channels > 2 || (bits != 8 && bits != 16) || frames <= 0 || bytes <= 0) {
        DebugLog("LoadMusicSample: the music does not fit a sample");
        return fw::Ref<fw::TAudioSample>();
    }
    const int32_t format = music->GetFormat();
    const int32_t hertz = music->GetSampleRate();
    const int64_t frameBytes = fw::BytesPerSample(format);
    const int64_t lengthBytes = frames * frameBytes;
    // The length is what a header claims, which the data need not hold: the sample keeps only
    // what the music delivers, up to that length. A tracker module's length is DUMB's own
    // measurement of the song played through, and is taken at its word.
    const int64_t streamBytes = music->Stream != nullptr ? std::max(music->Stream->Size(), 0) : 0;
    const int64_t firstBytes = fw::Cast<TMusicDumb>(music)
                                   ? lengthBytes
                                   : std::max(kFirstSampleBytes, streamBytes * kDecodedPerStreamByte);
    fw::SampleMemory memory;
    if (!memory.Resize(std::min(lengthBytes, firstBytes / frameBytes * frameBytes))) {
        DebugLog("LoadMusicSample: no memory for the sample");
        return fw::Ref<fw::TAudioSample>();
    }
    // A channel starts its music before it fills (a tracker module loads stopped), and fills it a
    // window at a time: a tracker module rendered in one piece comes out other than it plays.
    music->SetStatus(1);
    int64_t filled = 0;
    for (;;) {
        if (filled == memory.Size()) {
            if (filled == lengthBytes) {
                break;
            }
            if (!memory.Resize(std::min(lengthBytes, 2 * filled))) {
                // Half a music is no sample of it.
                DebugLog("LoadMusicSample: no memory for the whole music");
                return fw::Ref<fw::TAudioSample>();
            }
        }
        const int32_t room = static_cast<int32_t>(std::min<int64_t>(kFillBytes, memory.Size() - filled));
        const int32_t got = music->FillBuffer(memory.Data() + filled, room);
        filled += std::clamp(got, 0, room);
        if (got < room) {
            break;
        }
    }
    music = fw::Ref<TMusic>();
    fw::GCCollect();
    if (filled < frameBytes || !memory.Resize(filled / frameBytes * frameBytes)) {
        DebugLog("LoadMusicSample: the music holds no sound");
        return fw::Ref<fw::TAudioSample>();
    }
    return fw::TAudioSample::Create(memory, hertz, format);
}

fw::Ref<TSonvexChannel> DecodeMusicToMemory(const fw::Ref<fw::Object>& url, uint8_t* destination) {
    fw::Ref<TMusic> music = fw::Cast<TMusic>(url);
    if (music) {
        fw::GCCollect();   // as the load below would
    } else {
        // Only a path: a bank gives none here.
        music = LoadMusic(fw::Str(fw::TextOf(url)));
    }
    if (!music || music->Music == nullptr || destination == nullptr) {
        return fw::Ref<TSonvexChannel>();
    }
    ISonvexMusic* const source = music->Music;
    fw::Ref<TSonvexChannel> channel = fw::New<TSonvexChannel>();
    {
        // A source is filled by one thread at a time: a decode of its own leaves alone a music
        // that a channel may still play, or that another decode fills. Checked and claimed in one
        // step under the lock that cueing takes too; the mixer fills under it, so the seek meets
        // no fill either.
        SonvexLockGuard engine(ChannelListLock);
        if (MemAudioStream::Decodes(source) || ChannelsHoldSource(source)) {
            DebugLog("DecodeMusicToMemory: the music is playing or being decoded");
            return fw::Ref<TSonvexChannel>();
        }
        // The decode must hold the music's own first samples: an Ogg seek crosslaps them with
        // what played before.
        if (auto* ogg = dynamic_cast<OggPlayer*>(source)) {
            ogg->Restart();
        } else {
            source->Seek(0, 1);
        }
        channel->_channel = Sonvex_CreateMemAudioStream(source, destination);
    }
    if (channel->_channel == nullptr) {
        return fw::Ref<TSonvexChannel>();
    }
    channel->_music = music;
    source->AddRef();
    return channel;
}

fw::Ref<fw::Object> ExportMusic(const fw::Ref<fw::Object>& url, const fw::Ref<fw::Object>& name) {
    fw::Ref<TMusic> music = LoadMusic(url);
    const std::string path = fw::TextOf(name);
    if (music && music->Music != nullptr && !path.empty()) {
        Sonvex_ExportMusic(music->Music, path.c_str());
    }
    return fw::Ref<fw::Object>();
}

}  // namespace sonvex2

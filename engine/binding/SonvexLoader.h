#pragma once
// The loader registry and the loading services on it. Each format module registers one loader;
// a stream is offered to the loaders in registration order, and the first that accepts wins:
// files are recognised by content, the extensions serve only the file requester's filter.
//
// A url is a string (a path, or "incbin::name" for an embedded file), a bank (fw::TBank), a music
// (where a music is accepted), or none: one fw::Ref<fw::Object>, told apart by type. fw::Str
// makes the string form.

#include <cstdint>
#include <string>

#include "engine/binding/TMusic.h"
#include "engine/binding/TSonvexChannel.h"
#include "platform/audio/TAudioSample.h"
#include "platform/runtime/TList.h"
#include "platform/runtime/TString.h"

namespace sonvex2 {

class SonvexLoader final : public fw::Object {
public:
    std::string Name;
    LoaderFunc Func = nullptr;
    std::string Ext;   // extensions without dots, comma-separated

    // Every loader made is appended to the registry.
    SonvexLoader();

    static fw::Ref<SonvexLoader> Create(LoaderFunc func, const std::string& name, const std::string& ext);
    // The file-requester filter: "All supported:" with every extension (when `all`), one group
    // "name:extensions" per loader, and "All Files:*" (when `allfiles`), groups joined by ";".
    static std::string GetExtensions(int32_t all, int32_t allfiles);
    static fw::Ref<TMusic> Load(const fw::Ref<fw::Object>& url);
};

// The registry, in registration order.
fw::TList<SonvexLoader>& Loaders();

fw::Ref<TMusic> LoadMusic(const fw::Ref<fw::Object>& url);
std::string GetMusicFilter(int32_t all, int32_t allfiles);
// A new channel bound to the music (url: a music, or anything Load takes), paused; none when no
// music could be had.
fw::Ref<TSonvexChannel> CueMusic(const fw::Ref<fw::Object>& url, int32_t loop);
fw::Ref<TSonvexChannel> PlayMusic(const fw::Ref<fw::Object>& url, int32_t loop);
// The whole music decoded into a new sample; none for a music the sample formats cannot hold
// (more than two channels, other than 8 or 16 bits) or whose length is unknown or too large.
fw::Ref<fw::TAudioSample> LoadMusicSample(const fw::Ref<fw::Object>& url);
// A channel that decodes the music (url: a music or a path) from its first frame into
// `destination` on a thread of its own; none when there is no music. The memory must hold the
// whole music plus 44,100 bytes. Stopped and destroyed, thread and all, when the channel goes.
fw::Ref<TSonvexChannel> DecodeMusicToMemory(const fw::Ref<fw::Object>& url, uint8_t* destination);
// There is no exporter: loads the music and answers none.
fw::Ref<fw::Object> ExportMusic(const fw::Ref<fw::Object>& url, const fw::Ref<fw::Object>& name);

}  // namespace sonvex2

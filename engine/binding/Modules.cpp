// The engine's module start-ups. The output-driver module starts first in a program, then the
// format modules in the order FLAC, WAV, Ogg, tracker: that order is the loaders' order.

#include "engine/ChannelList.h"
#include "engine/binding/SonvexLoader.h"
#include "engine/binding/TSonvexDriver.h"
#include "platform/runtime/App.h"
#include "platform/runtime/Collect.h"

namespace sonvex2 {

void ShutDownEngineDrivers();
void FreeChannelList();

namespace {

// Runs `body` the first time only.
template <typename Body>
int32_t Once(bool& started, Body body) {
    if (!started) {
        started = true;
        body();
    }
    return 0;
}

int32_t StartFormat(bool& started, const char* type, LoaderFunc loader, const char* name, const char* ext) {
    return Once(started, [&] {
        InitSonvex2();
        fw::RegisterType(type);
        SonvexLoader::Create(loader, name, ext);
    });
}

}  // namespace

int32_t InitSonvex2() {
    static bool started = false;
    return Once(started, [] {
        for (const char* type : {"TSonvexStreamDriver", "TSonvexDriver", "TSonvexSound", "TSonvexChannel",
                                 "TMusic", "TSonvexEffect", "TCustomMusic"}) {
            fw::RegisterType(type);
        }
        Loaders();
        fw::RegisterType("SonvexLoader");
        fw::OnEnd(ShutDownEngineDrivers, fw::EndPhase::Drivers);
        fw::OnEnd(FreeChannelList, fw::EndPhase::Engine);
    });
}

int32_t InitSonvexRtAudio() {
    static bool started = false;
    return Once(started, [] {
        InitSonvex2();
        fw::RegisterType("TSonvexRtAudioDriver");
        fw::Ref<TSonvexDriver> driver = TSonvexRtAudioDriver::Create("Sonvex RtAudio");
        TSonvexStreamDriver::AddDriver(driver, "Sonvex RtAudio");
    });
}

int32_t InitSonvexFlac() {
    static bool started = false;
    return StartFormat(started, "TMusicFlac", &TMusicFlac::Loader, "Free lossless audio codec \".flac\"", "flac");
}

int32_t InitSonvexWav() {
    static bool started = false;
    return StartFormat(started, "TMusicWav", &TMusicWav::Loader, "Waveform audio \".wav\"", "wav");
}

int32_t InitSonvexOgg() {
    static bool started = false;
    return StartFormat(started, "TMusicOgg", &TMusicOgg::Loader, "OggVorbis \".ogg\"", "ogg");
}

int32_t InitSonvexDumb() {
    static bool started = false;
    return StartFormat(started, "TMusicDumb", &TMusicDumb::Loader, "Tracker modules \".mod,.xm,.it,.s3m\"",
                       "mod,xm,it,s3m");
}

}  // namespace sonvex2

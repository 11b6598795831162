#pragma once
// The engine as a framework audio driver, the engine's own registry of its drivers, and the
// engine's module start-ups.

#include <cstdint>
#include <string>

#include "engine/output/ISonvexAudioDriver.h"
#include "platform/audio/TAudioDriver.h"

namespace sonvex2 {

class TSonvexDriver : public fw::TAudioDriver {
public:
    ISonvexAudioDriver* _driver = nullptr;
    std::string _name;

    std::string Name() override { return _name; }
    // The engine driver's answers; 0 for a driver without one.
    int32_t Startup() override;
    int32_t Shutdown() override;
    // Why the engine driver's output does not run; empty while it runs.
    std::string LastError() const { return _driver != nullptr ? _driver->LastError() : std::string(); }
    // 1 from a failure of the running output until a Startup gets it running again.
    int32_t Failed() const { return _driver != nullptr ? _driver->Failed() : 0; }
    // A sound over the sample's memory, read in place (16-bit high-byte-first samples are brought
    // into the engine's byte order first); none for an unknown format or a sample whose memory is
    // shorter than its length says.
    fw::Ref<fw::TSound> CreateSound(const fw::Ref<fw::TAudioSample>& sample, int32_t flags) override;
    // A channel on the mixer's list, with nothing bound and not playing.
    fw::Ref<fw::TChannel> AllocChannel() override;
};

// The driver over RtAudio; there is one, named "Sonvex RtAudio".
class TSonvexRtAudioDriver final : public TSonvexDriver {
public:
    // The one driver: made on the first call (with this name), answered on every later one.
    static fw::Ref<TSonvexDriver> Create(const std::string& name);

protected:
    void Delete() override;
};

// The engine's registry of its drivers, by lower-cased name.
class TSonvexStreamDriver final : public fw::Object {
public:
    // Replaces an earlier entry of the same key; none or an empty name change nothing.
    static int32_t AddDriver(const fw::Ref<TSonvexDriver>& driver, const std::string& name);
    // Starts the named driver's output without making it the framework's current driver; tells
    // the user through Notify when there is no such driver or it does not start.
    static int32_t SetDriver(const std::string& name);
    // The registered driver of that name, or none.
    static fw::Ref<TSonvexDriver> Find(const std::string& name);
};

// Module start-ups. Each runs once; every one starts the engine module first.
int32_t InitSonvex2();
int32_t InitSonvexRtAudio();
int32_t InitSonvexFlac();
int32_t InitSonvexWav();
int32_t InitSonvexOgg();
int32_t InitSonvexDumb();

int32_t SetDebugLog(int32_t flag);
// The next mixed block is copied into `buffer` (interleaved stereo, at most `frames` frames) by
// the audio thread.
int32_t RequestOutputCopy(float* buffer, int32_t frames);
int32_t SetStreamDriver(const std::string& name);

}  // namespace sonvex2

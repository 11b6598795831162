// Decoding a music into memory on a thread of its own: the bytes equal a straight decode, and
// pause, resume, stop and release from the main thread are safe (also under ThreadSanitizer).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/ISonvexEffect.h"
#include "engine/MemAudioStream.h"
#include "tests/engine/binding/BindingTestSupport.h"
#include "tests/engine/players/PlayerTestSupport.h"
#include "tests/media/MonitorRecorder.h"

namespace {

using bindingtest::BankOf;
using sonvex_test::WaitFor;

int32_t Threads() {
    return playertest::EntriesIn("/proc/self/task");
}

std::vector<uint8_t> DecodeToMemory(const fw::Ref<fw::Object>& url, size_t room) {
    std::vector<uint8_t> memory(room + 44100, 0xEE);
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::DecodeMusicToMemory(url, memory.data());
    EXPECT_TRUE(channel);
    EXPECT_TRUE(WaitFor([&] { return fw::ChannelPlaying(channel) == 0; }, std::chrono::seconds(20)));
    // The source rewinds itself at its end; how far decoding got is where the next fill would go.
    memory.resize(static_cast<size_t>(static_cast<MemAudioStream*>(channel->_channel)->Destination - memory.data()));
    return memory;
}

TEST(DecodeToMemory, EveryFormatGivesTheBytesOfAStraightDecode) {
    bindingtest::StartModules();
    // Frames of 16-bit stereo: exactly two steps of 44,100 bytes, and two steps and a bit.
    for (int32_t frames : {22050, 22050 + 333}) {
        OggWriterOptions ogg;
        ogg.frames = frames;
        FlacWriterOptions flac;
        flac.frames = frames;
        for (const std::vector<uint8_t>& file : {bindingtest::WavFile(frames), WriteFlac(flac), WriteOggVorbis(ogg),
                                                  bindingtest::ModFile()}) {
            fw::Ref<fw::Object> bank = BankOf(file);
            fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(bank);
            ASSERT_TRUE(music);
            const std::vector<uint8_t> whole = bindingtest::StraightDecode(music);
            EXPECT_TRUE(DecodeToMemory(music, whole.size()) == whole) << frames << " bytes, " << file.size();

            // Partly played first: decoding still starts at the first frame.
            music->Seek(0, 1);
            std::vector<uint8_t> some(5000);
            music->FillBuffer(some.data(), 5000);
            EXPECT_TRUE(DecodeToMemory(music, whole.size()) == whole) << frames << " bytes, " << file.size();
        }
    }
}

TEST(DecodeToMemory, CallsThatRebindAChannelLeaveADecodeAlone) {
    bindingtest::StartModules();
    OggWriterOptions ogg;
    ogg.frames = 441000;
    const std::vector<uint8_t> file = WriteOggVorbis(ogg);
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(BankOf(file));
    ASSERT_TRUE(music);
    const std::vector<uint8_t> whole = bindingtest::StraightDecode(music);

    std::vector<uint8_t> memory(whole.size() + 44100);
    fw::Ref<sonvex2::TSonvexChannel> decoding = sonvex2::DecodeMusicToMemory(music, memory.data());
    ASSERT_TRUE(decoding);
    ISonvexChannel* const engine = decoding->_channel;
    fw::PauseChannel(decoding);   // the decode stands in the middle of its work

    fw::Ref<fw::TAudioSample> sample = fw::CreateAudioSample(1000, 44100, 5);
    fw::Ref<fw::TSound> sound = sonvex2::TSonvexStreamDriver::Find("sonvex rtaudio")->CreateSound(sample, 0);
    fw::Ref<fw::TChannel> cued = sound->Cue(decoding);
    fw::Ref<fw::TChannel> played = sound->Play(decoding);
    EXPECT_NE(cued.Get(), decoding.Get());
    EXPECT_NE(played.Get(), decoding.Get());
    EXPECT_EQ(fw::ChannelPlaying(played), 1);
    fw::Ref<sonvex2::TSonvexEffect> effect = fw::New<sonvex2::TSonvexEffect>();
    EXPECT_EQ(sonvex2::AttachEffect(decoding, effect), 0);
    EXPECT_EQ(decoding->_channel, engine);
    EXPECT_EQ(engine->Music, music->Music);

    fw::ResumeChannel(decoding);
    ASSERT_TRUE(WaitFor([&] { return fw::ChannelPlaying(decoding) == 0; }, std::chrono::seconds(20)));
    memory.resize(static_cast<size_t>(static_cast<MemAudioStream*>(engine)->Destination - memory.data()));
    EXPECT_TRUE(memory == whole);
}

// Stands in its first fill until opened, then ends: a decode in the middle of its work.
struct Gated final : ISonvexMusic {
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
    Gated() {
        Channels = 2;
        Bits = 16;
        SampleRate = 44100;
        Length = 441000;
    }
    int32_t FillBuffer(uint8_t*, int32_t) override {
        entered = true;
        while (!open) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return 0;
    }
    int32_t Seek(int32_t, int32_t) override { return 0; }
};

// Hands on what its input delivers: an effect that changes nothing. It goes with its channel.
struct PassThrough final : ISonvexEffect {
    PassThrough() {
        Deleter = [](ISonvexMusic* effect) {
            static_cast<PassThrough*>(effect)->Input->Release();
            delete static_cast<PassThrough*>(effect);
        };
    }
    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override {
        Input->Position = Position.load();
        Input->Status = Status.load();
        Input->LoopMode = LoopMode.load();
        const int32_t n = Input->FillBuffer(dest, bytes);
        Position = Input->Position.load();
        Status = Input->Status.load();
        return n;
    }
    int32_t Seek(int32_t position, int32_t unit) override { return Input->Seek(position, unit); }
    void OnAttach() override {}
};

// One music, one filling thread: while a channel may play it, itself or through an effect, a decode
// of it answers none; while a decode fills it, so do cueing, playing and a second decode. The
// decode that runs is the music.
TEST(DecodeToMemory, AMusicIsFilledByOneThreadAtATime) {
    bindingtest::ThreadedDriver threaded;
    ASSERT_TRUE(threaded.selected);
    FlacWriterOptions flac;
    flac.frames = 88200;
    OggWriterOptions ogg;
    ogg.frames = 88200;
    for (const std::vector<uint8_t>& file :
         {bindingtest::WavFile(88200), WriteFlac(flac), WriteOggVorbis(ogg), bindingtest::ModFile()}) {
        const std::vector<uint8_t> whole = bindingtest::StraightDecode(sonvex2::LoadMusic(BankOf(file)));
        std::vector<uint8_t> memory(whole.size() + 44100);
        fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(BankOf(file));
        fw::Ref<sonvex2::TSonvexChannel> playing = sonvex2::PlayMusic(music, 1);
        ASSERT_TRUE(WaitFor([&] { return sonvex2::GetChannelPosition(playing, 0) > 0; }, std::chrono::seconds(10)));
        EXPECT_FALSE(sonvex2::DecodeMusicToMemory(music, memory.data())) << file.size();
        fw::Ref<sonvex2::TSonvexEffect> effect = fw::New<sonvex2::TSonvexEffect>();
        effect->_effect = new PassThrough;
        ASSERT_EQ(sonvex2::AttachEffect(playing, effect), 1);
        EXPECT_FALSE(sonvex2::DecodeMusicToMemory(music, memory.data())) << file.size() << " through an effect";
        fw::PauseChannel(playing);
        EXPECT_FALSE(sonvex2::DecodeMusicToMemory(music, memory.data())) << file.size();
        playing = fw::Ref<sonvex2::TSonvexChannel>();   // released, and stopped: it fills no more

        fw::Ref<sonvex2::TSonvexChannel> decoding = sonvex2::DecodeMusicToMemory(music, memory.data());
        ASSERT_TRUE(decoding) << file.size();
        ASSERT_TRUE(WaitFor([&] { return fw::ChannelPlaying(decoding) == 0; }, std::chrono::seconds(20)));
        memory.resize(static_cast<size_t>(static_cast<MemAudioStream*>(decoding->_channel)->Destination - memory.data()));
        EXPECT_TRUE(memory == whole) << file.size();
    }

    Gated gated;
    gated.AddRef();
    fw::Ref<sonvex2::TMusic> music = fw::New<sonvex2::TMusic>();
    music->Music = &gated;
    uint8_t memory[1];
    fw::Ref<sonvex2::TSonvexChannel> decoding = sonvex2::DecodeMusicToMemory(music, memory);
    ASSERT_TRUE(WaitFor([&] { return gated.entered.load(); }, std::chrono::seconds(10)));
    EXPECT_FALSE(sonvex2::CueMusic(music, 0));
    EXPECT_FALSE(sonvex2::PlayMusic(music, 1));
    EXPECT_FALSE(sonvex2::DecodeMusicToMemory(music, memory));
    gated.open = true;
    ASSERT_TRUE(WaitFor([&] { return fw::ChannelPlaying(decoding) == 0; }, std::chrono::seconds(10)));
    const int32_t held = gated.GetRefCount();
    EXPECT_TRUE(sonvex2::CueMusic(music, 0));   // the decode has ended
    // The mixer reaps that channel while the source still lives.
    ASSERT_TRUE(WaitFor([&] { return gated.GetRefCount() == held; }, std::chrono::seconds(10)));
}

// One thread decodes a music to memory again and again while another plays and stops it, with
// the mixer running: however the calls meet, each decode that is accepted is the whole music.
TEST(DecodeToMemory, ADecodeAndAPlayOnTwoThreadsTakeTurns) {
    bindingtest::ThreadedDriver threaded;
    ASSERT_TRUE(threaded.selected);
    FlacWriterOptions flac;
    flac.frames = 22050;
    for (const std::vector<uint8_t>& file : {bindingtest::WavFile(22050), WriteFlac(flac)}) {
        const std::vector<uint8_t> whole = bindingtest::StraightDecode(sonvex2::LoadMusic(BankOf(file)));
        fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(BankOf(file));
        std::atomic<bool> done{false};
        std::atomic<int32_t> plays{0};
        std::atomic<int32_t> attempts{0};
        std::thread player([&] {
            while (!done) {
                fw::Ref<sonvex2::TSonvexChannel> playing = sonvex2::PlayMusic(music, 0);
                if (playing) {   // else a decode fills the music: try again at once
                    const int32_t block = threaded.output->blocks;
                    WaitFor([&] { return threaded.output->blocks > block; }, std::chrono::seconds(10));
                    ++plays;
                    fw::StopChannel(playing);
                    playing = nullptr;
                    // Plays again as the next decode starts.
                    const int32_t seen = attempts;
                    while (!done && attempts == seen) {
                        std::this_thread::yield();
                    }
                }
            }
        });
        std::vector<uint8_t> memory(whole.size() + 44100);
        int32_t accepted = 0;
        while (plays < 50) {
            ++attempts;
            fw::Ref<sonvex2::TSonvexChannel> decoding = sonvex2::DecodeMusicToMemory(music, memory.data());
            if (decoding) {
                ++accepted;
                EXPECT_TRUE(WaitFor([&] { return fw::ChannelPlaying(decoding) == 0; }, std::chrono::seconds(20)));
                const auto decoded = static_cast<MemAudioStream*>(decoding->_channel)->Destination - memory.data();
                EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + decoded, whole.begin(), whole.end()))
                    << file.size() << " bytes, decode " << accepted;
            }
        }
        done = true;
        player.join();
        EXPECT_GT(accepted, 0) << file.size();
    }
}

// The caller gives the length and one step, the only size it can know; a header that understates
// the length does not let the decode write past that.
TEST(DecodeToMemory, HeadersThatUnderstateTheLengthGetNoMoreThanTheMemoryAskedFor) {
    bindingtest::StartModules();
    FlacWriterOptions flacOptions;
    flacOptions.frames = 441000;
    flacOptions.seekTable = false;
    std::vector<uint8_t> flac = WriteFlac(flacOptions);
    // STREAMINFO's 36-bit total-sample count, bytes 21 to 25: 1,000.
    std::fill(flac.begin() + 22, flac.begin() + 26, 0);
    flac[21] &= 0xf0;
    flac[24] = 0x03;
    flac[25] = 0xe8;
    OggWriterOptions oggOptions;
    oggOptions.frames = 441000;
    std::vector<uint8_t> ogg = WriteOggVorbis(oggOptions);
    OggSetGranule(ogg, OggPageOffsets(ogg).back(), 1000);
    for (const std::vector<uint8_t>& file : {flac, ogg}) {
        fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(BankOf(file));
        ASSERT_TRUE(music);
        ASSERT_EQ(music->GetLength(0), 4000);
        const std::vector<uint8_t> whole = bindingtest::StraightDecode(sonvex2::LoadMusic(BankOf(file)));
        ASSERT_GT(whole.size(), 4000u + 44100);
        // Room for everything the music truly holds, so that an overrun shows as bytes written.
        std::vector<uint8_t> memory(whole.size(), 0xEE);
        fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::DecodeMusicToMemory(music, memory.data());
        ASSERT_TRUE(WaitFor([&] { return fw::ChannelPlaying(channel) == 0; }, std::chrono::seconds(20)));
        EXPECT_EQ(static_cast<MemAudioStream*>(channel->_channel)->Destination - memory.data(), 4000 + 44100);
        EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + 4000 + 44100, whole.begin()));
        EXPECT_EQ(std::count(memory.begin() + 4000 + 44100, memory.end(), 0xEE),
                  static_cast<ptrdiff_t>(whole.size()) - 4000 - 44100);
    }
}

// Delivers a whole step on every fill and never ends; writes nothing.
struct Endless final : ISonvexMusic {
    std::atomic<int32_t> fills{0};
    Endless() {
        Channels = 2;
        Bits = 16;
        SampleRate = 44100;
        Length = INT32_MAX;
    }
    int32_t FillBuffer(uint8_t*, int32_t bytes) override {
        ++fills;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return bytes;
    }
    int32_t Seek(int32_t, int32_t) override { return 0; }
};

TEST(DecodeToMemory, PauseResumeAndStopFromTheMainThread) {
    Endless source;
    source.AddRef();
    uint8_t memory[1] = {0};
    auto* stream = static_cast<MemAudioStream*>(Sonvex_CreateMemAudioStream(&source, memory));
    ASSERT_TRUE(WaitFor([&] { return source.fills > 3; }, std::chrono::seconds(10)));

    stream->SetPaused(1);
    // Two passes on, the fill under way when the pause came has ended.
    const int64_t passesAtPause = stream->Passes();
    ASSERT_TRUE(WaitFor([&] { return stream->Passes() > passesAtPause + 1; }, std::chrono::seconds(10)));
    const int32_t fillsWhenPaused = source.fills;
    const auto pausedSince = std::chrono::steady_clock::now();
    const int64_t passesWhenPaused = stream->Passes();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int64_t passes = stream->Passes() - passesWhenPaused;
    const auto paused = std::chrono::steady_clock::now() - pausedSince;
    EXPECT_EQ(source.fills, fillsWhenPaused);
    // Asleep, not spinning: an idle thread looks again every 50 ms, however long the wait was.
    EXPECT_LE(passes, paused / std::chrono::milliseconds(25) + 1);
    EXPECT_EQ(stream->Playing(), 1);

    stream->SetPaused(0);
    ASSERT_TRUE(WaitFor([&] { return source.fills > fillsWhenPaused + 3; }, std::chrono::seconds(10)));
    stream->Stop();
    EXPECT_EQ(stream->Thread->running, 0);
    EXPECT_EQ(stream->Playing(), 0);
    const int32_t fillsWhenStopped = source.fills;
    stream->Stop();   // returns at once
    Sonvex_DeleteMemAudioStream(stream);
    EXPECT_EQ(source.fills, fillsWhenStopped);
    EXPECT_EQ(source.GetRefCount(), 1);
}

TEST(DecodeToMemory, AThousandCreateStopReleaseCyclesLeaveNoThread) {
    bindingtest::StartModules();
    const std::vector<uint8_t> wav = bindingtest::WavFile(44100);
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(BankOf(wav));
    std::vector<uint8_t> memory(wav.size() + 44100);
    const int32_t threads = Threads();
    for (int32_t i = 0; i < 1000; ++i) {
        fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::DecodeMusicToMemory(music, memory.data());
        if (i % 3 == 0) {
            fw::PauseChannel(channel);
        } else if (i % 3 == 1) {
            fw::StopChannel(channel);
        }
    }   // the last handle going stops and frees each channel, thread included
    EXPECT_EQ(Threads(), threads);
    EXPECT_EQ(music->Music->GetRefCount(), 1);
}

}  // namespace

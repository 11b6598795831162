// The framework binding: the loader registry and its filter, loading by content from paths,
// embedded files and banks, the driver registry, sounds and channels with their counted
// references, and the module functions' answers.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/binding/Sonvex2.h"
#include "platform/runtime/Collect.h"
#include "platform/runtime/Incbin.h"
#include "tests/engine/binding/BindingTestSupport.h"
#include "tests/engine/players/PlayerTestSupport.h"

namespace {

using bindingtest::BankOf;
using bindingtest::StartModules;
using playertest::WriteTempFile;

const std::string kFlac = "Free lossless audio codec \".flac\":flac";
const std::string kWav = "Waveform audio \".wav\":wav";
const std::string kOgg = "OggVorbis \".ogg\":ogg";
const std::string kMod = "Tracker modules \".mod,.xm,.it,.s3m\":mod,xm,it,s3m";
const std::string kAll = "All supported:,flac,wav,ogg,mod,xm,it,s3m";

// Mixes blocks until the engine channel stops (at most `limit` blocks).
void MixUntilStopped(ISonvexChannel* channel, int32_t limit = 400) {
    std::vector<float> block(2048);
    for (int32_t i = 0; i < limit && channel->Playing() != 0; ++i) {
        MixOutput(block.data(), 1024);
    }
}

WavFormat Mono8() {
    WavFormat format;
    format.channels = 1;
    format.sampleRate = 22050;
    format.bits = 8;
    return format;
}

void MixOnce() {
    std::vector<float> block(2048);
    MixOutput(block.data(), 1024);
}

TEST(LoaderRegistry, FilterTextForEveryFlagCombination) {
    EXPECT_EQ(sonvex2::GetMusicFilter(1, 1), "All supported:;All Files:*");
    EXPECT_EQ(sonvex2::GetMusicFilter(0, 1), "All Files:*");
    EXPECT_EQ(sonvex2::GetMusicFilter(0, 0), "");
    StartModules();
    StartModules();   // a second start registers nothing more
    const std::string groups = kFlac + ";" + kWav + ";" + kOgg + ";" + kMod;
    const std::vector<std::tuple<int32_t, int32_t, std::string>> cases = {
        {1, 1, kAll + ";" + groups + ";All Files:*"},
        {1, 0, kAll + ";" + groups},
        {0, 1, groups + ";All Files:*"},
        {0, 0, groups},
    };
    for (const auto& [all, allfiles, text] : cases) {
        EXPECT_EQ(sonvex2::GetMusicFilter(all, allfiles), text) << all << allfiles;
    }
    EXPECT_EQ(sonvex2::GetMusicFilter(1, 1).size(), 189u);

    sonvex2::SonvexLoader::Create(nullptr, "Mixed Case", "ABC,Def");
    EXPECT_EQ(sonvex2::GetMusicFilter(1, 0), kAll + ",abc,def;" + groups + ";Mixed Case:abc,def");
}

TEST(LoaderRegistry, LoadsByContentFromPathsEmbeddedFilesAndBanks) {
    StartModules();
    const std::vector<uint8_t> wav = bindingtest::WavFile();
    const std::vector<uint8_t> flac = bindingtest::FlacFile();
    const std::vector<uint8_t> ogg = bindingtest::OggFile();
    const std::vector<uint8_t> mod = bindingtest::ModFile();
    fw::IncbinAdd("song.flac", flac.data(), static_cast<int32_t>(flac.size()));

    // The extension plays no part; every loader before the right one says no and rewinds.
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicWav>(sonvex2::LoadMusic(fw::Str(WriteTempFile("wav.ogg", wav)))));
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicFlac>(sonvex2::LoadMusic(fw::Str(WriteTempFile("flac.wav", flac)))));
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicOgg>(sonvex2::LoadMusic(fw::Str(WriteTempFile("ogg.mod", ogg)))));
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicDumb>(sonvex2::LoadMusic(fw::Str(WriteTempFile("mod.flac", mod)))));
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicFlac>(sonvex2::LoadMusic(fw::Str("incbin::song.flac"))));
    EXPECT_TRUE(fw::Cast<sonvex2::TMusicFlac>(sonvex2::LoadMusic(fw::Str("incbin::song.flac::rest"))));

    fw::Ref<fw::TBank> bank = fw::New<fw::TBank>(ogg.data(), ogg.size());
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(bank);
    ASSERT_TRUE(fw::Cast<sonvex2::TMusicOgg>(music));
    EXPECT_EQ(music->Bank.Get(), bank.Get());
    EXPECT_EQ(bank->RefCount(), 3);   // ours, the music's and the source's keeper
    music = nullptr;
    EXPECT_EQ(bank->RefCount(), 1);
}

TEST(LoaderRegistry, WhatLoadsNothingGivesNoneAndLeavesWhatPlaysAlone) {
    StartModules();
    fw::Ref<sonvex2::TSonvexChannel> playing = sonvex2::PlayMusic(fw::Str(WriteTempFile("a.wav", bindingtest::WavFile())), 0);
    ASSERT_TRUE(playing);
    const int32_t descriptors = playertest::OpenDescriptors();
    const std::string dir = testing::TempDir();
    const std::string junk = WriteTempFile("junk.wav", std::vector<uint8_t>(3000, 0x55));
    const std::string unreadable = WriteTempFile("unreadable.wav", bindingtest::WavFile());
    chmod(unreadable.c_str(), 0);
    const bool root = access(unreadable.c_str(), R_OK) == 0;

    for (const fw::Ref<fw::Object>& url : {fw::Str(""), fw::Ref<fw::Object>(), fw::Str(dir), fw::Str(junk),
                                           fw::Str(dir + "missing.wav"), fw::Str("incbin::nothing"),
                                           fw::Ref<fw::Object>(fw::New<fw::TBank>(16)),
                                           fw::Ref<fw::Object>(fw::New<fw::TList<fw::Object>>())}) {
        EXPECT_FALSE(sonvex2::LoadMusic(url));
        EXPECT_FALSE(sonvex2::CueMusic(url, 0));
        EXPECT_FALSE(sonvex2::PlayMusic(url, 0));
        EXPECT_FALSE(sonvex2::LoadMusicSample(url));
    }
    EXPECT_EQ(sonvex2::LoadMusic(fw::Str(unreadable)).IsNone(), !root);
    const auto lines = playertest::LogLines([&] { sonvex2::LoadMusic(fw::Str(junk)); });
    EXPECT_TRUE(playertest::Contains(lines, "LoadMusic: no loader accepts " + junk));
    EXPECT_EQ(playertest::OpenDescriptors(), descriptors);
    EXPECT_EQ(playing->Playing(), 1);
}

TEST(LoaderRegistry, CueMusicBindsAPausedChannelAndCountsItsReferences) {
    StartModules();
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(fw::Str(WriteTempFile("a.wav", bindingtest::WavFile())));
    ASSERT_TRUE(music);
    ISonvexMusic* source = music->Music;
    EXPECT_EQ(source->GetRefCount(), 1);

    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::CueMusic(music, 1);
    ASSERT_TRUE(channel);
    EXPECT_EQ(source->GetRefCount(), 3);   // the music, the framework channel, the engine channel
    EXPECT_EQ(sonvex2::GetChannelLoopMode(channel), 1);
    EXPECT_EQ(channel->Playing(), 0);
    fw::Ref<sonvex2::TSonvexChannel> second = sonvex2::CueMusic(music, 0);
    EXPECT_NE(second->_channel, channel->_channel);
    EXPECT_EQ(source->GetRefCount(), 5);
    second = nullptr;
    MixOnce();   // the mixer frees the released engine channel
    EXPECT_EQ(source->GetRefCount(), 3);

    // The framework objects go while the channel plays: the source plays on to its end, then
    // the mixer frees channel, player and stream exactly once.
    sonvex2::SetChannelLoopMode(channel, 0);
    fw::ResumeChannel(channel);
    music = nullptr;
    EXPECT_EQ(source->GetRefCount(), 3);   // the channel still holds the music object
    ISonvexChannel* engine = channel->_channel;
    channel = nullptr;
    EXPECT_EQ(source->GetRefCount(), 1);   // the engine channel's
    EXPECT_EQ(engine->Playing(), 1);
    MixUntilStopped(engine);
    EXPECT_EQ(engine->Playing(), 0);
    const auto lines = playertest::LogLines([] { MixOnce(); });
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "~WavPlayer"), 1);
}

TEST(LoaderRegistry, LoadMusicSampleDecodesTheWholeMusicAndRefusesWhatWouldNotFit) {
    StartModules();
    const std::vector<uint8_t> pcm = WavSamples(1000, 1, 8);
    fw::Ref<fw::TAudioSample> sample = sonvex2::LoadMusicSample(
        fw::Str(WriteTempFile("mono8.wav", WavWriter::Simple(Mono8(), pcm))));
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->format, fw::SF_MONO8);
    EXPECT_EQ(sample->length, 1000);
    EXPECT_EQ(sample->hertz, 22050);
    EXPECT_EQ(std::vector<uint8_t>(sample->samples, sample->samples + sample->capacity), pcm);

    // A source of six channels, or of 24 bits, or of no length, does not fit a sample.
    struct Odd final : ISonvexMusic {
        int32_t FillBuffer(uint8_t* dest, int32_t bytes) override {
            std::memset(dest, 1, static_cast<size_t>(bytes));
            return bytes;
        }
        int32_t Seek(int32_t, int32_t) override { return 0; }
    };
    static Odd odd;
    static std::vector<std::tuple<int32_t, int32_t, int32_t>> shapes = {{6, 16, 6000}, {2, 24, 6000}, {2, 16, 0}};
    for (const auto& [channels, bits, length] : shapes) {
        odd.Channels = channels;
        odd.Bits = bits;
        odd.SampleRate = 44100;
        odd.Length = length;
        sonvex2::SonvexLoader::Create(
            [](ISonvexStream* stream, const std::string&) {
                Sonvex_DeleteStream(stream);   // accepted: the stream is the loader's now
                fw::Ref<sonvex2::TMusic> music = fw::New<sonvex2::TMusicWav>();
                music->Music = &odd;
                return music;
            },
            "odd", "odd");
        EXPECT_FALSE(sonvex2::LoadMusicSample(fw::Str(WriteTempFile("junk", std::vector<uint8_t>(64, 1)))));
    }
}

std::vector<uint8_t> SampleBytes(const fw::Ref<fw::TAudioSample>& sample) {
    return std::vector<uint8_t>(sample->samples, sample->samples + sample->capacity);
}

TEST(LoaderRegistry, LoadMusicSampleHoldsWhatTheFileHoldsWhateverItsHeadersClaim) {
    StartModules();
    // Stereo 16-bit files of 84 bytes (WAV), a few hundred (FLAC) and 9 KB (Ogg); the forged
    // copies claim half a gigabyte (WAV) and two (FLAC, Ogg).
    const std::vector<uint8_t> pcm = WavSamples(10, 2, 16);
    const std::vector<uint8_t> wav = WavWriter::Simple(WavFormat{}, pcm);
    const std::vector<uint8_t> forgedWav = WavWriter().Format(WavFormat{}).Data(pcm, 0x20000000).Bytes();
    FlacWriterOptions flacOptions;
    flacOptions.frames = 100;
    flacOptions.seekTable = false;
    const std::vector<uint8_t> flac = WriteFlac(flacOptions);
    std::vector<uint8_t> forgedFlac = flac;
    // STREAMINFO's 36-bit total-sample count ends at byte 25.
    forgedFlac[21] &= 0xf0;
    for (size_t i = 22; i < 26; ++i) {
        forgedFlac[i] = i == 22 ? 0x1f : 0xff;
    }
    // Two audio pages at least: vorbisfile counts a single page's samples rather than trusting
    // its granule position.
    OggWriterOptions oggOptions;
    oggOptions.frames = 40000;
    oggOptions.quality = -0.1f;
    const std::vector<uint8_t> ogg = WriteOggVorbis(oggOptions);
    std::vector<uint8_t> forgedOgg = ogg;
    OggSetGranule(forgedOgg, OggPageOffsets(forgedOgg).back(), 0x1ffffff0);
    ASSERT_EQ(forgedWav.size(), 84u);
    // And a true file that decodes to far more than its bytes: the sample grows as it goes.
    flacOptions.frames = 441000;
    const std::vector<uint8_t> silence = WriteFlac(flacOptions, std::vector<int32_t>(441000 * 2, 0));

    // file, frames written, frames the decoder may add past them (the last Vorbis block's
    // padding, once no granule position cuts it)
    const std::vector<std::tuple<std::vector<uint8_t>, int32_t, int32_t>> cases = {
        {wav, 10, 0}, {forgedWav, 10, 0}, {flac, 100, 0}, {forgedFlac, 100, 0}, {ogg, 40000, 0}, {forgedOgg, 40000, 2048}, {silence, 441000, 0}};
    for (const auto& [file, frames, padding] : cases) {
        fw::Ref<fw::TAudioSample> sample = sonvex2::LoadMusicSample(BankOf(file));
        ASSERT_TRUE(sample) << file.size();
        EXPECT_EQ(sample->format, fw::SF_STEREO16LE);
        EXPECT_EQ(sample->capacity, sample->length * 4) << file.size();
        EXPECT_GE(sample->length, frames) << file.size();
        EXPECT_LE(sample->length, frames + padding) << file.size();
        EXPECT_TRUE(SampleBytes(sample) == bindingtest::StraightDecode(sonvex2::LoadMusic(BankOf(file)))) << file.size();
    }
}

TEST(LoaderRegistry, LoadMusicSampleOfAModuleIsTheSongAsItPlays) {
    StartModules();
    // The ending song at a quarter of its pace: 12 s, longer than a sample's first memory.
    ModuleSong slow = EndingSong();
    slow.speed = 12;
    for (ModulePattern& pattern : slow.patterns) {
        pattern.At(0, 3).param = 12;
    }
    for (ModuleFormat format : AllModuleFormats()) {
        const std::vector<uint8_t> file = WriteModule(format, slow);
        const std::vector<uint8_t> song = bindingtest::StraightDecode(sonvex2::LoadMusic(BankOf(file)), 1020);
        ASSERT_GT(song.size(), 10u * 44100 * 4) << ModuleFormatName(format);

        fw::Ref<fw::TAudioSample> sample = sonvex2::LoadMusicSample(BankOf(file));
        ASSERT_TRUE(sample) << ModuleFormatName(format);
        EXPECT_EQ(std::make_tuple(sample->format, sample->hertz, sample->length),
                  std::make_tuple(fw::SF_STEREO16LE, 44100, static_cast<int32_t>(song.size() / 4)))
            << ModuleFormatName(format);
        EXPECT_TRUE(SampleBytes(sample) == song) << ModuleFormatName(format);
    }
}

// Half a music is no sample of it: with too little memory to grow into, the answer is none.
TEST(LoaderRegistry, LoadMusicSampleThatCannotGrowAnswersNone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators end the process where the memory runs out";
#else
    StartModules();
    FlacWriterOptions options;
    options.frames = 2646000;   // 60 s of silence in a few kilobytes
    const std::vector<uint8_t> silence = WriteFlac(options, std::vector<int32_t>(2646000 * 2, 0));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Room for the decoder, not for the 10 MB the sample would grow to.
            std::ifstream status("/proc/self/status");
            std::string line;
            while (std::getline(status, line) && line.rfind("VmSize:", 0) != 0) {
            }
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = (std::stoull(line.substr(7)) << 10) + (6u << 20);
            setrlimit(RLIMIT_AS, &limit);
            sonvex2::SetDebugLog(1);
            dup2(2, 1);
            std::exit(sonvex2::LoadMusicSample(BankOf(silence)) ? 1 : 0);
        },
        testing::ExitedWithCode(0), "LoadMusicSample: no memory for the whole music");
#endif
}

TEST(LoaderRegistry, ABankBeyondWhatAStreamCountsIsRefused) {
    StartModules();
    // 4 GiB and a WAV file: cut to 32 bits its size would be the file's alone.
    const std::vector<uint8_t> wav = bindingtest::WavFile(10);
    const size_t size = (size_t{1} << 32) + wav.size();
    fw::Ref<fw::TBank> bank = fw::New<fw::TBank>(fw::TBank::Untouched{}, size);
    ASSERT_EQ(bank->Size(), size);
    std::memcpy(bank->Buf(), wav.data(), wav.size());
    fw::Ref<sonvex2::TMusic> music;
    const auto lines = playertest::LogLines([&] { music = sonvex2::LoadMusic(bank); });
    EXPECT_FALSE(music);
    EXPECT_TRUE(playertest::Contains(lines, "LoadMusic: a bank over 2 GB does not fit a stream"));
    EXPECT_FALSE(sonvex2::LoadMusicSample(bank));
}

TEST(FrameworkTypes, FormatCodesFromChannelsAndBits) {
    struct Shape final : sonvex2::TCustomMusic {
        int32_t FillBuffer(uint8_t*, int32_t) override { return 0; }
        int32_t GetChannels() override { return Channels; }
        int32_t GetBits() override { return Bits; }
    };
    const std::vector<std::tuple<int32_t, int32_t, int32_t>> cases = {
        {1, 8, 1}, {1, 16, 2}, {2, 8, 4}, {2, 16, 5}, {2, 24, 5}, {6, 16, 2}, {6, 8, 1}};
    for (const auto& [channels, bits, format] : cases) {
        fw::Ref<Shape> music = fw::New<Shape>();
        music->Channels = channels;
        music->Bits = bits;
        EXPECT_EQ(music->GetFormat(), format) << channels << " x " << bits;
    }
    fw::Ref<Shape> custom = fw::New<Shape>();
    EXPECT_EQ(std::make_tuple(custom->SampleRate, custom->Bits, custom->Channels), std::make_tuple(44100, 16, 2));
    EXPECT_EQ(custom->Music, nullptr);
    EXPECT_FALSE(sonvex2::TCustomMusic::Loader(nullptr, ""));
    EXPECT_FALSE(sonvex2::TMusicWav::Loader(nullptr, ""));
    EXPECT_EQ(bindingtest::Notified([] { EXPECT_FALSE(sonvex2::CreateAudioCallbackStream()); }),
              std::vector<std::string>{"CreateAudioCallbackStream will only work if threading is enabled"});
}

TEST(ModuleFunctions, AnswerForNoneAndForOtherDriversChannels) {
    StartModules();
    struct Foreign final : fw::TChannel {};
    for (const fw::Ref<fw::TChannel>& channel : {fw::Ref<fw::TChannel>(), fw::Ref<fw::TChannel>(fw::New<Foreign>())}) {
        double left = 7.0;
        double right = 7.0;
        EXPECT_EQ(sonvex2::GetChannelLength(channel, 1), 0);
        EXPECT_EQ(sonvex2::SeekChannel(channel, 10, 1), -1);
        EXPECT_EQ(sonvex2::ChannelSeekable(channel), -1);
        EXPECT_EQ(sonvex2::GetChannelPosition(channel, 1), 0);
        EXPECT_EQ(sonvex2::GetChannelLoopMode(channel), 0);
        EXPECT_EQ(sonvex2::SetChannelLoopMode(channel, 1), 0);
        EXPECT_EQ(sonvex2::SetChannelLoopRange(channel, 0, 10), 0);
        EXPECT_EQ(sonvex2::GetChannelLevels(channel, &left, &right), 0);
        EXPECT_EQ(std::make_pair(left, right), std::make_pair(7.0, 7.0));
        EXPECT_EQ(sonvex2::AttachEffect(channel, fw::New<sonvex2::TSonvexEffect>()), 0);
    }
    fw::Ref<sonvex2::TSonvexChannel> ours = sonvex2::CueMusic(fw::Str(WriteTempFile("a.wav", bindingtest::WavFile())), 0);
    EXPECT_EQ(sonvex2::GetChannelLength(ours, 1), 4410);
    EXPECT_EQ(sonvex2::ChannelSeekable(ours), 1);
    EXPECT_EQ(sonvex2::SetChannelLoopRange(ours, 0, 10), 0);
    EXPECT_EQ(sonvex2::AttachEffect(ours, fw::Ref<sonvex2::TSonvexEffect>()), 0);
}

TEST(Driver, RegistryListAndStreamDriverMessages) {
    StartModules();
    fw::Ref<sonvex2::TSonvexDriver> rtaudio = sonvex2::TSonvexStreamDriver::Find("SONVEX RTAUDIO");
    ASSERT_TRUE(rtaudio);
    EXPECT_EQ(rtaudio.Get(), sonvex2::TSonvexRtAudioDriver::Create("Other").Get());
    EXPECT_EQ(rtaudio->Name(), "Sonvex RtAudio");

    bindingtest::ThreadOutput* output = nullptr;
    fw::Ref<sonvex2::TSonvexDriver> first = bindingtest::MakeThreadDriver("Threaded", &output);
    EXPECT_EQ(fw::AudioDrivers().begin()->Get(), first.Get());   // the newest heads the list
    fw::Ref<sonvex2::TSonvexDriver> second = bindingtest::MakeThreadDriver("THREADED", &output);
    EXPECT_EQ(sonvex2::TSonvexStreamDriver::Find("threaded").Get(), second.Get());
    sonvex2::TSonvexStreamDriver::AddDriver(first, "");
    sonvex2::TSonvexStreamDriver::AddDriver(fw::Ref<sonvex2::TSonvexDriver>(), "threaded");
    EXPECT_EQ(sonvex2::TSonvexStreamDriver::Find("threaded").Get(), second.Get());

    EXPECT_TRUE(bindingtest::Notified([] { EXPECT_EQ(sonvex2::SetStreamDriver("Threaded"), 0); }).empty());
    EXPECT_GT(output->blocks.load() + 1, 0);
    EXPECT_TRUE(bindingtest::Notified([] { sonvex2::SetStreamDriver("threaded"); }).empty());   // already running
    EXPECT_EQ(bindingtest::Notified([] { sonvex2::SetStreamDriver("No Such"); }),
              std::vector<std::string>{"Unable to find sonvex2 audio driver \"No Such\""});
    fw::Ref<sonvex2::TSonvexDriver> dead = fw::New<sonvex2::TSonvexDriver>();
    dead->_name = "Dead";
    sonvex2::TSonvexStreamDriver::AddDriver(dead, "Dead");
    EXPECT_EQ(bindingtest::Notified([] { sonvex2::SetStreamDriver("DEAD"); }),
              std::vector<std::string>{"Unable to start sonvex2 audio stream driver \"DEAD\""});
    output->Shutdown();

    fw::Ref<fw::TChannel> channel = second->AllocChannel();
    ASSERT_TRUE(fw::Cast<sonvex2::TSonvexChannel>(channel));
    EXPECT_EQ(fw::ChannelPlaying(channel), 0);
    EXPECT_FALSE(dead->AllocChannel());
    EXPECT_EQ(fw::SetAudioDriver("dead"), 0);
    EXPECT_EQ(fw::AudioDriver()->Name(), "Null");
}

TEST(Sounds, CreateSoundHandsTheEngineItsFormatAndKeepsTheMemory) {
    StartModules();
    fw::Ref<sonvex2::TSonvexDriver> driver = sonvex2::TSonvexStreamDriver::Find("sonvex rtaudio");
    // format, channels, bits, bytes of 1000 frames
    const std::vector<std::tuple<int32_t, int32_t, int32_t, int32_t>> cases = {
        {1, 1, 8, 1000}, {2, 1, 16, 2000}, {3, 1, 16, 2000}, {4, 2, 8, 2000}, {5, 2, 16, 4000}, {6, 2, 16, 4000}};
    for (const auto& [format, channels, bits, bytes] : cases) {
        fw::Ref<fw::TAudioSample> sample = fw::CreateAudioSample(1000, 22050, format);
        for (int32_t i = 0; i < sample->capacity; ++i) {
            sample->samples[i] = static_cast<uint8_t>(i);
        }
        fw::Ref<sonvex2::TSonvexSound> sound = fw::Cast<sonvex2::TSonvexSound>(driver->CreateSound(sample, 0));
        ASSERT_TRUE(sound) << format;
        auto* engine = static_cast<ISonvexSound*>(sound->_sound);
        EXPECT_EQ(std::make_tuple(engine->Channels, engine->Bits, engine->SampleRate, engine->Length),
                  std::make_tuple(channels, bits, 22050, bytes));
        const bool swapped = format == 3 || format == 6;
        EXPECT_EQ(engine->Data == sample->samples, !swapped);
        EXPECT_EQ(engine->Data[0], swapped ? 1 : 0);
        EXPECT_EQ(engine->GetRefCount(), 1);
    }
    // format, hertz: no channels, or a rate that never moves the sound on
    for (const auto& [format, hertz] : std::vector<std::pair<int32_t, int32_t>>{{0, 22050}, {7, 22050}, {-1, 22050},
                                                                                {5, 0}, {1, -44100}}) {
        fw::Ref<fw::TAudioSample> sample = fw::CreateAudioSample(100, 22050, 5);
        sample->format = format;
        sample->hertz = hertz;
        EXPECT_FALSE(driver->CreateSound(sample, 0)) << format << " " << hertz;
    }
    fw::Ref<fw::TAudioSample> shortSample = fw::CreateAudioSample(100, 22050, 5);
    shortSample->length = 101;
    EXPECT_FALSE(driver->CreateSound(shortSample, 0));
    EXPECT_FALSE(driver->CreateSound(fw::Ref<fw::TAudioSample>(), 0));
}

TEST(Sounds, ASoundPlaysOnAfterItsObjectsGoAndIsFreedOnce) {
    StartModules();
    fw::Ref<sonvex2::TSonvexDriver> driver = sonvex2::TSonvexStreamDriver::Find("sonvex rtaudio");
    fw::Ref<fw::TAudioSample> sample = fw::CreateAudioSample(3000, 44100, 5);
    fw::Ref<sonvex2::TSonvexSound> sound = fw::Cast<sonvex2::TSonvexSound>(driver->CreateSound(sample, 0));
    ISonvexMusic* engine = sound->_sound;

    // Cueing a sound onto a channel that played a music gives up exactly the music's reference.
    fw::Ref<sonvex2::TMusic> music = sonvex2::LoadMusic(fw::Str(WriteTempFile("a.wav", bindingtest::WavFile())));
    fw::Ref<sonvex2::TSonvexChannel> channel = sonvex2::CueMusic(music, 0);
    EXPECT_EQ(music->Music->GetRefCount(), 3);
    EXPECT_EQ(sound->Play(channel).Get(), channel.Get());
    EXPECT_EQ(music->Music->GetRefCount(), 1);
    EXPECT_EQ(engine->GetRefCount(), 3);
    EXPECT_EQ(channel->Playing(), 1);
    EXPECT_FALSE(channel->_music);

    struct Foreign final : fw::TChannel {};
    fw::Ref<fw::TChannel> fresh = sound->Cue(fw::New<Foreign>());
    EXPECT_TRUE(fw::Cast<sonvex2::TSonvexChannel>(fresh));
    EXPECT_EQ(engine->GetRefCount(), 5);
    fresh = nullptr;
    MixOnce();

    // Sample, sound and channel objects all go while the engine channel plays: the memory it
    // reads stays until the engine sound is destroyed (ASan would see the read otherwise).
    ISonvexChannel* playing = channel->_channel;
    sample = nullptr;
    sound = nullptr;
    channel = nullptr;
    EXPECT_EQ(engine->GetRefCount(), 1);
    EXPECT_EQ(playing->Playing(), 1);
    MixUntilStopped(playing);
    const auto lines = playertest::LogLines([] { MixOnce(); });
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "~ISonvexSound"), 1);
}

TEST(Sounds, CueingTheSoundAChannelPlaysOntoItAfterTheProgramDroppedTheSound) {
    StartModules();
    fw::Ref<sonvex2::TSonvexDriver> driver = sonvex2::TSonvexStreamDriver::Find("sonvex rtaudio");
    fw::Ref<fw::TSound> sound = driver->CreateSound(fw::CreateAudioSample(3000, 44100, 5), 0);
    ISonvexMusic* const engine = fw::Cast<sonvex2::TSonvexSound>(sound)->_sound;
    fw::Ref<sonvex2::TSonvexChannel> channel = fw::Cast<sonvex2::TSonvexChannel>(sound->Play(fw::Ref<fw::TChannel>()));
    sound = nullptr;   // the channel's handle on the sound is the only one left
    channel->_sound->Cue(channel);
    channel->_sound->Play(channel);
    EXPECT_EQ(channel->_sound->_sound, engine);
    EXPECT_EQ(engine->GetRefCount(), 3);   // the sound's own, the framework channel's, the engine channel's
    EXPECT_EQ(channel->Playing(), 1);
    ISonvexChannel* const playing = channel->_channel;
    channel = nullptr;
    MixUntilStopped(playing);
    const auto lines = playertest::LogLines([] { MixOnce(); });
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "~ISonvexSound"), 1);
}

// A sound made to loop loops on a channel that has played nothing; a channel that played before
// keeps the loop flag its program gave it, and a flag set after the sound is cued wins.
TEST(Sounds, ASoundMadeToLoopLoopsWhenPlayed) {
    StartModules();
    fw::Ref<sonvex2::TSonvexDriver> driver = sonvex2::TSonvexStreamDriver::Find("sonvex rtaudio");
    fw::Ref<fw::TSound> once = driver->CreateSound(fw::CreateAudioSample(3000, 44100, 5), 0);
    enum On { Fresh, Allocated, PlayedBefore };
    // sound's flags, channel, the channel's flag set by the program before or after (-1: never)
    const std::vector<std::tuple<int32_t, On, int32_t, int32_t, bool>> cases = {
        {1, Fresh, -1, -1, true},        {0, Fresh, -1, -1, false},       {1, Allocated, -1, -1, true},
        {1, PlayedBefore, 0, -1, false}, {0, PlayedBefore, 1, -1, true},  {1, Fresh, -1, 0, false}};
    for (const auto& [flags, on, before, after, loops] : cases) {
        fw::Ref<fw::TSound> sound = driver->CreateSound(fw::CreateAudioSample(3000, 44100, 5), flags);
        fw::Ref<fw::TChannel> channel = on == Allocated ? driver->AllocChannel() : fw::Ref<fw::TChannel>();
        if (on == PlayedBefore) {
            channel = once->Play(channel);
            sonvex2::SetChannelLoopMode(channel, before);
        }
        channel = sound->Play(channel);
        if (after >= 0) {
            sonvex2::SetChannelLoopMode(channel, after);
        }
        MixUntilStopped(fw::Cast<sonvex2::TSonvexChannel>(channel)->_channel, 20);
        EXPECT_EQ(fw::ChannelPlaying(channel), loops ? 1 : 0) << flags << " " << on << " " << before << " " << after;
        EXPECT_EQ(sonvex2::GetChannelLoopMode(channel), loops ? 1 : 0) << flags << " " << on;
        fw::StopChannel(channel);
    }
}

TEST(Lifetimes, AThousandLoadCuePlayReleaseCyclesLeaveNothingOpen) {
    StartModules();
    const std::vector<std::string> paths = {WriteTempFile("a.wav", bindingtest::WavFile(64)),
                                            WriteTempFile("a.flac", bindingtest::FlacFile()),
                                            WriteTempFile("a.ogg", bindingtest::OggFile())};
    const std::vector<uint8_t> mod = bindingtest::ModFile();
    const int32_t descriptors = playertest::OpenDescriptors();
    for (int32_t i = 0; i < 1000; ++i) {
        fw::Ref<fw::Object> url = i % 4 == 3 ? fw::Ref<fw::Object>(fw::New<fw::TBank>(mod.data(), mod.size()))
                                             : fw::Str(paths[i % 4 == 3 ? 0 : i % 3]);
        if (i % 4 == 3 && i % 8 != 7) {
            continue;   // modules measure themselves as they load: fewer of them
        }
        fw::Ref<sonvex2::TSonvexChannel> channel = i % 2 == 0 ? sonvex2::PlayMusic(url, i % 3 == 0)
                                                              : sonvex2::CueMusic(url, 0);
        ASSERT_TRUE(channel) << i;
        MixOnce();
        fw::StopChannel(channel);
    }
    MixOnce();
    EXPECT_EQ(CountChannels(), 0);
    EXPECT_EQ(playertest::OpenDescriptors(), descriptors);
}

}  // namespace

// Writes the seed corpus of wav_fuzz into the directory given as the first argument: playable
// files of every format and chunk layout the loader meets, and the headers it must refuse.

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/media/WavWriter.h"

namespace {

WavFormat Pcm(int16_t channels, int16_t bits) {
    WavFormat format;
    format.channels = channels;
    format.bits = bits;
    format.sampleRate = 22050;
    return format;
}

bool Write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    return fuzzsupport::SaveSeed(dir, name + ".wav", bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: wav_seeds <corpus directory>\n");
        return 1;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (const int16_t bits : {8, 16}) {
        for (const int16_t channels : {1, 2}) {
            const std::string name = "pcm" + std::to_string(bits) + "_" + std::to_string(channels) + "ch";
            ok &= Write(dir, name, WavWriter::Simple(Pcm(channels, bits), WavSamples(301, channels, bits)));
        }
    }
    const std::vector<uint8_t> samples = WavSamples(500, 2, 16);
    WavFormat extra = Pcm(2, 16);
    extra.extra = {22, 0, 16, 0, 3, 0, 0, 0};
    ok &= Write(dir, "format_extra", WavWriter::Simple(extra, samples));
    WavFormat oddFormat = Pcm(1, 8);
    oddFormat.extra = {0};
    ok &= Write(dir, "format_odd", WavWriter::Simple(oddFormat, WavSamples(99, 1, 8)));
    ok &= Write(dir, "chunks_before",
                WavWriter()
                    .Format(Pcm(2, 16))
                    .Chunk("LIST", WavListInfo("Odd!"))
                    .Chunk("fact", {0, 1, 0, 0})
                    .Data(samples)
                    .Bytes());
    ok &= Write(dir, "chunks_after",
                WavWriter()
                    .Format(Pcm(1, 8))
                    .Data(WavSamples(333, 1, 8))
                    .Chunk("LIST", WavListInfo("tail"))
                    .Chunk("id3 ", WavId3Tag("Title"))
                    .Bytes());
    ok &= Write(dir, "pad_missing",
                WavWriter().OmitPadBytes().Format(Pcm(1, 16)).Chunk("note", {'a', 'b', 'c'}).Data(samples).Bytes());
    ok &= Write(dir, "truncated", WavTruncated(WavWriter::Simple(Pcm(2, 16), samples), 44 + 1001));
    ok &= Write(dir, "size_unknown", WavWriter().Format(Pcm(2, 8)).Data(WavSamples(200, 2, 8), 0xffffffffu).Bytes());
    ok &= Write(dir, "data_empty", WavWriter().Format(Pcm(2, 16)).Data({}).Bytes());
    ok &= Write(dir, "data_tiny", WavWriter::Simple(Pcm(1, 8), {0x80}));

    // What the loader refuses.
    WavFormat refused = Pcm(2, 16);
    refused.tag = 3;
    refused.bits = 32;
    ok &= Write(dir, "refused_float", WavWriter::Simple(refused, samples));
    refused = Pcm(2, 24);
    ok &= Write(dir, "refused_24bit", WavWriter::Simple(refused, samples));
    refused = Pcm(6, 16);
    ok &= Write(dir, "refused_6ch", WavWriter::Simple(refused, samples));
    refused = Pcm(0, 16);
    ok &= Write(dir, "refused_0ch", WavWriter::Simple(refused, samples));
    ok &= Write(dir, "refused_list_first",
                WavWriter().Chunk("LIST", WavListInfo("a")).Format(Pcm(2, 16)).Data(samples).Bytes());
    ok &= Write(dir, "refused_no_data", WavWriter().Format(Pcm(2, 16)).Chunk("LIST", WavListInfo("x")).Bytes());
    return ok ? 0 : 1;
}

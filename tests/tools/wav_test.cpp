// The command-line host's WAV reader must refuse every malformed file with a
// reason and never read outside the image; the writer's files must read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/cli_host/wav_file.h"

using larkwire::cli::encodeWavFloat;
using larkwire::cli::parseWav;
using larkwire::cli::readWavFile;
using larkwire::cli::WavAudio;
using larkwire::cli::WavWriter;
using Bytes = std::vector<std::uint8_t>;

namespace {

void put16(Bytes& b, std::size_t at, unsigned v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
void put32(Bytes& b, std::size_t at, unsigned v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// A canonical 44-byte-header PCM file with the given data bytes.
Bytes pcmFile(int channels, int rate, int bits, const Bytes& data) {
    Bytes b(44);
    std::memcpy(&b[0], "RIFF", 4);
    put32(b, 4, unsigned(36 + data.size()));
    std::memcpy(&b[8], "WAVEfmt ", 8);
    put32(b, 16, 16);
    put16(b, 20, 1);
    put16(b, 22, unsigned(channels));
    put32(b, 24, unsigned(rate));
    put32(b, 28, unsigned(rate * channels * bits / 8));
    put16(b, 32, unsigned(channels * bits / 8));
    put16(b, 34, unsigned(bits));
    std::memcpy(&b[36], "data", 4);
    put32(b, 40, unsigned(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Parses a copy of exactly the image's size, so that ASan sees any over-read.
bool parseExact(const Bytes& image, WavAudio* out, std::string* error) {
    std::vector<std::uint8_t>* copy = new std::vector<std::uint8_t>(image);
    copy->shrink_to_fit();
    const bool ok = parseWav(copy->empty() ? nullptr : copy->data(), copy->size(), out, error);
    delete copy;
    return ok;
}

std::string rejection(const Bytes& image) {
    WavAudio audio;
    std::string error;
    EXPECT_FALSE(parseExact(image, &audio, &error));
    EXPECT_FALSE(error.empty());
    return error;
}

}  // namespace

TEST(Wav, DecodesEachPcmWidthAndFloat) {
    WavAudio a;
    std::string error;
    // 16-bit: full scale negative, zero, one step below full scale positive.
    ASSERT_TRUE(parseExact(pcmFile(1, 8000, 16, {0x00, 0x80, 0, 0, 0xFF, 0x7F}), &a, &error)) << error;
    ASSERT_EQ(a.frames, 3);
    EXPECT_EQ(a.samples[0], -1.0f);
    EXPECT_EQ(a.samples[1], 0.0f);
    EXPECT_EQ(a.samples[2], 32767.0f / 32768.0f);

    // 24-bit sign extension, stereo interleaving.
    ASSERT_TRUE(parseExact(pcmFile(2, 44100, 24, {0x00, 0x00, 0x80, 0x00, 0x00, 0x40}), &a, &error)) << error;
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.frames, 1);
    EXPECT_EQ(a.samples[0], -1.0f);
    EXPECT_EQ(a.samples[1], 0.5f);

    ASSERT_TRUE(parseExact(pcmFile(1, 48000, 32, {0x00, 0x00, 0x00, 0xC0}), &a, &error)) << error;
    EXPECT_EQ(a.samples[0], -0.5f);

    // The writer's own float format round-trips bit for bit, odd values included.
    const std::vector<float> samples{0.25f, -1.5f, 1e-30f, 0.0f, 3.0f, -0.0f};
    ASSERT_TRUE(parseExact(encodeWavFloat(3, 96000, samples), &a, &error)) << error;
    EXPECT_EQ(a.channels, 3);
    EXPECT_EQ(a.sampleRate, 96000);
    EXPECT_EQ(a.frames, 2);
    EXPECT_EQ(0, std::memcmp(a.samples.data(), samples.data(), samples.size() * 4));
}

TEST(Wav, SkipsUnknownAndPaddedChunks) {
    Bytes b = pcmFile(1, 8000, 16, {1, 0});
    // An odd-sized LIST chunk with its pad byte, between fmt and data.
    const Bytes list{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    b.insert(b.begin() + 36, list.begin(), list.end());
    put32(b, 4, unsigned(b.size() - 8));
    WavAudio a;
    std::string error;
    ASSERT_TRUE(parseExact(b, &a, &error)) << error;
    EXPECT_EQ(a.frames, 1);
    // Bytes after the RIFF chunk are not audio.
    b.push_back(0x55);
    ASSERT_TRUE(parseExact(b, &a, &error)) << error;
    EXPECT_EQ(a.frames, 1);
}

TEST(Wav, ExtensibleFormatUsesItsSubFormat) {
    Bytes b = pcmFile(1, 8000, 16, {0, 0x40});
    // Grow fmt to 40 bytes: cbSize 22, valid bits, mask, GUID starting with the tag.
    Bytes extension(24, 0);
    extension[0] = 22;
    extension[2] = 16;
    extension[8] = 1;  // sub-format PCM
    b.insert(b.begin() + 36, extension.begin(), extension.end());
    put32(b, 16, 40);
    put16(b, 20, 0xFFFE);
    put32(b, 4, unsigned(b.size() - 8));
    WavAudio a;
    std::string error;
    ASSERT_TRUE(parseExact(b, &a, &error)) << error;
    EXPECT_EQ(a.samples[0], 0.5f);

    b[36 + 8] = 2;  // ADPCM
    rejection(b);
    Bytes shortExtension = pcmFile(1, 8000, 16, {0, 0});
    put16(shortExtension, 20, 0xFFFE);
    rejection(shortExtension);
}

TEST(Wav, RejectsMalformedHeaders) {
    const Bytes good = pcmFile(2, 48000, 16, {1, 0, 2, 0, 3, 0, 4, 0});
    auto with = [&](auto change) {
        Bytes b = good;
        change(b);
        return b;
    };
    EXPECT_FALSE(rejection(Bytes{}).empty());
    rejection(Bytes(good.begin(), good.begin() + 11));
    rejection(with([](Bytes& b) { b[0] = 'X'; }));
    rejection(with([](Bytes& b) { b[8] = 'X'; }));
    rejection(with([](Bytes& b) { put32(b, 4, 2); }));                      // RIFF size below "WAVE"
    rejection(with([&](Bytes& b) { put32(b, 4, unsigned(b.size())); }));  // beyond the file
    rejection(with([](Bytes& b) { put32(b, 4, 0xFFFFFFFFu); }));           // 32-bit wrap
    rejection(with([](Bytes& b) { put32(b, 16, 14); }));                   // fmt too short
    rejection(with([](Bytes& b) { put32(b, 16, 0xFFFFFFF0u); }));          // fmt beyond the file
    rejection(with([](Bytes& b) { put16(b, 20, 2); }));                    // ADPCM
    rejection(with([](Bytes& b) { put16(b, 22, 0); }));                    // no channels
    rejection(with([](Bytes& b) { put32(b, 24, 0); }));                    // no rate
    rejection(with([](Bytes& b) { put16(b, 34, 8); }));                    // 8-bit
    rejection(with([](Bytes& b) { put16(b, 32, 3); }));                    // block align
    rejection(with([](Bytes& b) { put32(b, 28, 1); }));                    // byte rate
    rejection(with([](Bytes& b) { put32(b, 40, 9); }));                    // data beyond the file
    rejection(with([](Bytes& b) {
        b.pop_back();
        put32(b, 4, unsigned(b.size() - 8));
        put32(b, 40, 7);  // not whole frames
    }));
    // A float file must be 32-bit.
    rejection(with([](Bytes& b) { put16(b, 20, 3); }));
}

TEST(Wav, RejectsMissingOrMisplacedChunks) {
    const Bytes good = pcmFile(1, 8000, 16, {0, 0});
    // data before fmt.
    Bytes swapped(good.begin(), good.begin() + 12);
    swapped.insert(swapped.end(), good.begin() + 36, good.end());
    swapped.insert(swapped.end(), good.begin() + 12, good.begin() + 36);
    rejection(swapped);
    // No data chunk.
    Bytes noData(good.begin(), good.begin() + 36);
    put32(noData, 4, unsigned(noData.size() - 8));
    rejection(noData);
    // No fmt chunk.
    Bytes noFormat(good.begin(), good.begin() + 12);
    noFormat.insert(noFormat.end(), good.begin() + 36, good.end());
    put32(noFormat, 4, unsigned(noFormat.size() - 8));
    rejection(noFormat);
    // Two fmt chunks, two data chunks.
    Bytes twoFormats = good;
    twoFormats.insert(twoFormats.begin() + 36, good.begin() + 12, good.begin() + 36);
    put32(twoFormats, 4, unsigned(twoFormats.size() - 8));
    rejection(twoFormats);
    Bytes twoData = good;
    twoData.insert(twoData.end(), good.begin() + 36, good.end());
    put32(twoData, 4, unsigned(twoData.size() - 8));
    rejection(twoData);
    // A chunk header cut short at the end.
    Bytes cut = good;
    cut.insert(cut.end(), {'a', 'b', 'c'});
    put32(cut, 4, unsigned(cut.size() - 8));
    rejection(cut);
}

TEST(Wav, EveryTruncationIsRejected) {
    const Bytes good = encodeWavFloat(2, 44100, std::vector<float>(10, 0.5f));
    for (std::size_t size = 0; size < good.size(); ++size) {
        Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(size));
        WavAudio a;
        std::string error;
        EXPECT_FALSE(parseExact(cut, &a, &error)) << "accepted at " << size << " bytes";
        // With a RIFF size that agrees, the chunk walk itself must notice.
        if (size >= 8) {
            put32(cut, 4, unsigned(size - 8));
            EXPECT_FALSE(parseExact(cut, &a, &error)) << "accepted at " << size << " bytes";
        }
    }
}

TEST(Wav, WriterFixesTheHeaderOnClose) {
    const std::string path = ::testing::TempDir() + "larkwire_wav_writer_test.wav";
    const float left[3] = {0.1f, 0.2f, 0.3f}, right[3] = {-0.1f, -0.2f, -0.3f};
    const float* planar[2] = {left, right};
    {
        WavWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, 2, 22050, &error)) << error;
        ASSERT_TRUE(writer.writePlanar(planar, 3));
        ASSERT_TRUE(writer.writePlanar(planar, 2));
        ASSERT_TRUE(writer.close(&error)) << error;
    }
    WavAudio a;
    std::string error;
    ASSERT_TRUE(readWavFile(path, &a, &error)) << error;
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.sampleRate, 22050);
    ASSERT_EQ(a.frames, 5);
    EXPECT_EQ(a.samples[0], 0.1f);
    EXPECT_EQ(a.samples[5], -0.3f);
    EXPECT_EQ(a.samples[8], 0.2f);
    EXPECT_EQ(a.samples[9], -0.2f);
    std::remove(path.c_str());

    WavWriter writer;
    EXPECT_FALSE(writer.open(path, 0, 48000, &error));
    EXPECT_FALSE(readWavFile(path + ".missing", &a, &error));
}

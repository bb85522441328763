// WAV files for the command-line host: a strict reader (RIFF/WAVE with PCM
// 16/24/32-bit integer or 32-bit float) and a streaming 32-bit float writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace larkwire::cli {

struct WavAudio {
    int channels = 0;
    int sampleRate = 0;
    std::int64_t frames = 0;
    std::vector<float> samples;  // interleaved, frames × channels, in -1..1
};

// Parses a whole file image. On failure returns false and says why in *error;
// *out is then unspecified.
bool parseWav(const std::uint8_t* bytes, std::size_t size, WavAudio* out, std::string* error);
bool readWavFile(const std::string& path, WavAudio* out, std::string* error);

// The complete image of a 32-bit float file, for tests and small outputs.
std::vector<std::uint8_t> encodeWavFloat(int channels, int sampleRate,
                                         const std::vector<float>& interleaved);

// Writes frames as they come and fixes the sizes in the header on close, so a
// long run never holds its output in memory.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, int channels, int sampleRate, std::string* error);
    // Planar input: channels pointers of frames samples each.
    bool writePlanar(const float* const* channels, int frames);
    bool close(std::string* error);  // true when everything reached the file

private:
    std::FILE* file_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::int64_t dataBytes_ = 0;
    bool failed_ = false;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace larkwire::cli

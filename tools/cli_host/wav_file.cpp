#include "tools/cli_host/wav_file.h"

#include <cstring>

namespace larkwire::cli {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 1024;
constexpr std::size_t kFloatHeaderBytes = 58;  // RIFF, fmt (18), fact, data headers

std::uint16_t u16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

bool fail(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
}

struct Format {
    std::uint16_t tag = 0;  // kFormatPcm or kFormatFloat once resolved
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    int blockAlign = 0;
};

bool parseFormat(const std::uint8_t* p, std::uint32_t size, Format* f, std::string* error) {
    if (size < 16) return fail(error, "fmt chunk is " + std::to_string(size) + " bytes, needs 16");
    std::uint16_t tag = u16(p);
    const std::uint16_t channels = u16(p + 2);
    const std::uint32_t rate = u32(p + 4);
    const std::uint32_t byteRate = u32(p + 8);
    const std::uint16_t blockAlign = u16(p + 12);
    const std::uint16_t bits = u16(p + 14);
    if (tag == kFormatExtensible) {
        // cbSize, valid bits, channel mask, then the sub-format GUID whose first two bytes are the tag.
        if (size < 40 || u16(p + 16) < 22)
            return fail(error, "extensible fmt chunk is too short for its sub-format");
        tag = u16(p + 24);
    }
    if (tag != kFormatPcm && tag != kFormatFloat)
        return fail(error, "unsupported sample format " + std::to_string(tag) +
                               " (only PCM integer and IEEE float)");
    if (channels == 0) return fail(error, "fmt chunk declares zero channels");
    if (channels > kMaxChannels)
        return fail(error, "fmt chunk declares " + std::to_string(channels) + " channels");
    if (rate == 0 || rate > 1000000)
        return fail(error, "implausible sample rate " + std::to_string(rate));
    if (tag == kFormatPcm && bits != 16 && bits != 24 && bits != 32)
        return fail(error, "unsupported PCM sample size of " + std::to_string(bits) + " bits");
    if (tag == kFormatFloat && bits != 32)
        return fail(error, "unsupported float sample size of " + std::to_string(bits) + " bits");
    if (blockAlign != channels * (bits / 8))
        return fail(error, "block align " + std::to_string(blockAlign) +
                               " does not match channels × bytes per sample");
    if (byteRate != rate * blockAlign)
        return fail(error, "byte rate " + std::to_string(byteRate) +
                               " does not match sample rate × block align");
    f->tag = tag;
    f->channels = channels;
    f->sampleRate = int(rate);
    f->bits = bits;
    f->blockAlign = blockAlign;
    return true;
}

float decodeSample(const std::uint8_t* p, const Format& f) {
    if (f.tag == kFormatFloat) {
        float value;
        const std::uint32_t bits = u32(p);
        std::memcpy(&value, &bits, 4);
        return value;
    }
    switch (f.bits) {
        case 16: return float(std::int16_t(u16(p))) / 32768.0f;
        case 24: {
            std::int32_t v = std::int32_t(p[0] | (p[1] << 8) | (p[2] << 16));
            if (v & 0x800000) v -= 0x1000000;
            return float(v) / 8388608.0f;
        }
        default: return float(double(std::int32_t(u32(p))) / 2147483648.0);
    }
}

}  // namespace

bool parseWav(const std::uint8_t* bytes, std::size_t size, WavAudio* out, std::string* error) {
    if (size < 12) return fail(error, "file too short for a RIFF header");
    if (std::memcmp(bytes, "RIFF", 4) != 0) return fail(error, "not a RIFF file");
    if (std::memcmp(bytes + 8, "WAVE", 4) != 0) return fail(error, "RIFF file is not WAVE");
    const std::uint64_t riffSize = u32(bytes + 4);
    if (riffSize < 4) return fail(error, "RIFF size " + std::to_string(riffSize) + " is too small");
    if (riffSize + 8 > size)
        return fail(error, "RIFF size " + std::to_string(riffSize) + " runs beyond the file (" +
                               std::to_string(size) + " bytes)");
    const std::uint64_t end = riffSize + 8;  // trailing bytes after the RIFF chunk are ignored

    Format format;
    bool haveFormat = false;
    const std::uint8_t* data = nullptr;
    std::uint32_t dataSize = 0;
    for (std::uint64_t at = 12; at < end;) {
        if (end - at < 8)
            return fail(error, "truncated chunk header at byte " + std::to_string(at));
        const std::uint8_t* header = bytes + at;
        const std::uint32_t chunkSize = u32(header + 4);
        const std::string name(reinterpret_cast<const char*>(header), 4);
        if (chunkSize > end - at - 8)
            return fail(error, "chunk '" + name + "' of " + std::to_string(chunkSize) +
                                   " bytes runs beyond the file");
        if (name == "fmt ") {
            if (haveFormat) return fail(error, "more than one fmt chunk");
            if (data != nullptr) return fail(error, "data chunk before the fmt chunk");
            if (!parseFormat(header + 8, chunkSize, &format, error)) return false;
            haveFormat = true;
        } else if (name == "data") {
            if (!haveFormat) return fail(error, "data chunk before the fmt chunk");
            if (data != nullptr) return fail(error, "more than one data chunk");
            data = header + 8;
            dataSize = chunkSize;
        }
        // Odd-sized chunks carry one pad byte; the last one may lack it.
        at += 8 + std::uint64_t(chunkSize) + (chunkSize & 1);
    }
    if (!haveFormat) return fail(error, "no fmt chunk");
    if (data == nullptr) return fail(error, "no data chunk");
    if (dataSize % unsigned(format.blockAlign) != 0)
        return fail(error, "data chunk of " + std::to_string(dataSize) +
                               " bytes is not a whole number of frames");

    const int bytesPerSample = format.bits / 8;
    const std::size_t samples = dataSize / unsigned(bytesPerSample);
    out->channels = format.channels;
    out->sampleRate = format.sampleRate;
    out->frames = std::int64_t(dataSize / unsigned(format.blockAlign));
    out->samples.resize(samples);
    for (std::size_t i = 0; i < samples; ++i)
        out->samples[i] = decodeSample(data + i * unsigned(bytesPerSample), format);
    return true;
}

bool readWavFile(const std::string& path, WavAudio* out, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return fail(error, "cannot open " + path);
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError) return fail(error, "cannot read " + path);
    std::string why;
    if (!parseWav(bytes.data(), bytes.size(), out, &why)) return fail(error, path + ": " + why);
    return true;
}

namespace {
void writeFloatHeader(std::uint8_t* h, int channels, int sampleRate, std::uint64_t dataBytes) {
    const std::uint32_t blockAlign = std::uint32_t(channels) * 4;
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, std::uint32_t(kFloatHeaderBytes - 8 + dataBytes));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 18);
    put16(h + 20, kFormatFloat);
    put16(h + 22, std::uint32_t(channels));
    put32(h + 24, std::uint32_t(sampleRate));
    put32(h + 28, std::uint32_t(sampleRate) * blockAlign);
    put16(h + 32, blockAlign);
    put16(h + 34, 32);
    put16(h + 36, 0);
    std::memcpy(h + 38, "fact", 4);
    put32(h + 42, 4);
    put32(h + 46, std::uint32_t(dataBytes / blockAlign));
    std::memcpy(h + 50, "data", 4);
    put32(h + 54, std::uint32_t(dataBytes));
}
}  // namespace

std::vector<std::uint8_t> encodeWavFloat(int channels, int sampleRate,
                                         const std::vector<float>& interleaved) {
    std::vector<std::uint8_t> image(kFloatHeaderBytes + interleaved.size() * 4);
    writeFloatHeader(image.data(), channels, sampleRate, interleaved.size() * 4);
    for (std::size_t i = 0; i < interleaved.size(); ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &interleaved[i], 4);
        put32(image.data() + kFloatHeaderBytes + i * 4, bits);
    }
    return image;
}

WavWriter::~WavWriter() { close(nullptr); }

bool WavWriter::open(const std::string& path, int channels, int sampleRate, std::string* error) {
    close(nullptr);
    if (channels <= 0 || channels > kMaxChannels || sampleRate <= 0)
        return fail(error, "bad output format");
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return fail(error, "cannot create " + path);
    channels_ = channels;
    dataBytes_ = 0;
    failed_ = false;
    std::uint8_t header[kFloatHeaderBytes];
    writeFloatHeader(header, channels, sampleRate, 0);
    if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) failed_ = true;
    sampleRate_ = sampleRate;
    return !failed_ || fail(error, "cannot write " + path);
}

bool WavWriter::writePlanar(const float* const* channels, int frames) {
    if (file_ == nullptr || failed_ || frames <= 0) return file_ != nullptr && !failed_;
    const std::int64_t bytes = std::int64_t(frames) * channels_ * 4;
    // The sizes in the header are 32-bit.
    if (dataBytes_ + bytes > std::int64_t(0xFFFFFFFFu) - std::int64_t(kFloatHeaderBytes)) {
        failed_ = true;
        return false;
    }
    scratch_.resize(std::size_t(bytes));
    std::uint8_t* p = scratch_.data();
    for (int j = 0; j < frames; ++j)
        for (int ch = 0; ch < channels_; ++ch, p += 4) {
            std::uint32_t bits;
            std::memcpy(&bits, &channels[ch][j], 4);
            put32(p, bits);
        }
    if (std::fwrite(scratch_.data(), 1, scratch_.size(), file_) != scratch_.size()) failed_ = true;
    dataBytes_ += bytes;
    return !failed_;
}

bool WavWriter::close(std::string* error) {
    if (file_ == nullptr) return true;
    std::uint8_t header[kFloatHeaderBytes];
    writeFloatHeader(header, channels_, sampleRate_, std::uint64_t(dataBytes_));
    if (std::fseek(file_, 0, SEEK_SET) != 0 ||
        std::fwrite(header, 1, sizeof header, file_) != sizeof header)
        failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    if (failed_) return fail(error, "the output file is incomplete (disk full or over 4 GB)");
    return true;
}

}  // namespace larkwire::cli

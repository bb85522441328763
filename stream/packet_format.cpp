#include "stream/packet_format.h"

namespace larkwire::wire {

std::int32_t writeAudioPacket(std::uint8_t* out, const char* identifier, std::int32_t channels,
                              std::int32_t rate, std::int32_t frames,
                              const float* const* channelData) {
    const std::int64_t sampleBytes = std::int64_t(channels) * 4 * frames;
    const std::int64_t length = kAudioHeaderBytes + sampleBytes;
    if (sampleBytes < 0 || length < kMinDatagram || length > kMaxDatagram) return 0;
    writeU32(out, kAudioMagic);
    writeU32(out + 4, std::uint32_t(length));
    std::memcpy(out + kIdentifierOffset, identifier, kIdentifierBytes);
    out[kChannelsOffset] = std::uint8_t(channels);
    writeU32(out + kRateOffset, std::uint32_t(rate));
    writeU16(out + kSampleBytesOffset, std::uint16_t(sampleBytes));
    // The samples go out exactly as the host gave them, planar, little-endian.
    for (std::int32_t k = 0; k < channels; ++k)
        std::memcpy(out + kAudioHeaderBytes + std::int64_t(k) * frames * 4, channelData[k],
                    size_t(frames) * 4);
    return std::int32_t(length);
}

}  // namespace larkwire::wire

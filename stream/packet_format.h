// The two datagram kinds on the wire. Every integer is little-endian; fields
// are packed, so the audio header has fields at odd offsets.
#pragma once

#include <cstdint>
#include <cstring>

namespace larkwire::wire {

constexpr std::uint16_t kStreamPort = 58710;
constexpr std::int32_t kHeaderBytes = 40;
constexpr std::int32_t kIdentifierOffset = 8;
constexpr std::int32_t kIdentifierBytes = 32;
constexpr std::int32_t kChannelsOffset = 40;
constexpr std::int32_t kRateOffset = 41;
constexpr std::int32_t kSampleBytesOffset = 45;
constexpr std::int32_t kAudioHeaderBytes = 47;
constexpr std::int32_t kMaxAudioSamplesPerPacket = 300;
constexpr std::int32_t kMinDatagram = 8;
constexpr std::int32_t kMaxDatagram = 65535;
constexpr std::int32_t kBroadcastEventBytes = 1200;
constexpr std::int32_t kUnicastEventBytes = 32768;
constexpr std::int32_t kEventHeaderBytes = 8;  // type and byteSize

// "MLWR" and "mLWR" as the first four bytes, read as one little-endian value.
constexpr std::uint32_t kAudioMagic = 'M' | 'L' << 8 | 'W' << 16 | std::uint32_t('R') << 24;
constexpr std::uint32_t kMidiMagic = 'm' | 'L' << 8 | 'W' << 16 | std::uint32_t('R') << 24;

inline std::uint32_t readU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
inline std::int32_t readI32(const std::uint8_t* p) { return std::int32_t(readU32(p)); }
inline std::uint16_t readU16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}
inline void writeU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}
inline void writeU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

inline bool hasStreamMagic(const std::uint8_t* bytes, std::int32_t length) {
    if (length < kMinDatagram) return false;
    const std::uint32_t magic = readU32(bytes);
    return magic == kAudioMagic || magic == kMidiMagic;
}

// A queued datagram is MIDI when it holds a header and the MIDI magic.
inline bool isMidiPacket(const std::uint8_t* bytes, std::int32_t usedLength) {
    return usedLength >= kHeaderBytes && readU32(bytes) == kMidiMagic;
}

inline bool matchesIdentifier(const std::uint8_t* bytes, std::int32_t usedLength,
                              const char* identifier) {
    return usedLength >= kHeaderBytes &&
           std::memcmp(bytes + kIdentifierOffset, identifier, kIdentifierBytes) == 0;
}

inline std::int32_t totalLengthOf(const std::uint8_t* bytes) { return readI32(bytes + 4); }

// What a queued audio datagram carries, read by the receiver's content rules.
struct AudioContent {
    std::int32_t channels;          // at least 1
    std::int32_t rate;              // 0 when it cannot be read
    std::int32_t framesPerChannel;  // 0 when the samples are unusable
    const std::uint8_t* samples;    // planar floats; null when unusable
};

inline AudioContent readAudioContent(const std::uint8_t* bytes, std::int32_t usedLength) {
    AudioContent content{1, 0, 0, nullptr};
    const bool lengthAgrees = usedLength >= kMinDatagram && usedLength == totalLengthOf(bytes);
    if (lengthAgrees && usedLength > kChannelsOffset) {
        const std::int32_t channels = static_cast<std::int8_t>(bytes[kChannelsOffset]);
        content.channels = channels < 2 ? 1 : channels;
    }
    if (lengthAgrees && usedLength >= kSampleBytesOffset)
        content.rate = readI32(bytes + kRateOffset);
    if (lengthAgrees && usedLength >= kAudioHeaderBytes) {
        const std::int32_t sampleBytes = readU16(bytes + kSampleBytesOffset);
        if (kAudioHeaderBytes + sampleBytes <= usedLength) {
            content.framesPerChannel = (sampleBytes / 4) / content.channels;
            if (content.framesPerChannel > 0) content.samples = bytes + kAudioHeaderBytes;
        }
    }
    return content;
}

// Frames of one datagram for n channels: floor(300 / n).
constexpr std::int32_t framesPerPacket(std::int32_t channels) {
    return channels > 0 ? kMaxAudioSamplesPerPacket / channels : 0;
}

// Writes a complete audio datagram; returns its length, or 0 when the block
// would not make a datagram of 8..65535 bytes.
std::int32_t writeAudioPacket(std::uint8_t* out, const char* identifier, std::int32_t channels,
                              std::int32_t rate, std::int32_t frames,
                              const float* const* channelData);

// Walks the event records of a MIDI datagram; visits at most the records
// that fit wholly inside usedLength. Returns false from visit to stop.
template <typename Visit>
void forEachEventRecord(std::uint8_t* bytes, std::int32_t usedLength, Visit&& visit) {
    std::int32_t left = usedLength - kHeaderBytes;
    std::uint8_t* record = bytes + kHeaderBytes;
    while (left > kEventHeaderBytes) {
        const std::int32_t byteSize = readI32(record + 4);
        // A negative or short size would step backwards or nowhere: stop there.
        if (byteSize < 8 || byteSize > left - kEventHeaderBytes) return;
        const std::int32_t recordLength = byteSize + kEventHeaderBytes;
        if (!visit(record, recordLength)) return;
        left -= recordLength;
        record += recordLength;
    }
}

}  // namespace larkwire::wire

// What the checker's sides send each other: the crafted datagrams with what
// the endpoint must keep of each, stream datagrams that mark a point in the
// traffic, and the plain-text commands the receiver drives its peer with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "stream/packet_format.h"

namespace larkwire::endpoint_check {

// The largest UDP payload IPv4 carries: a datagram cannot bring more.
constexpr int kLargestDatagram = 65507;
// More than the spare list may keep, so that its bound shows; sent in
// answered chunks that any receive buffer holds, so a slow receiver loses none.
constexpr int kFloodChunk = 100;
constexpr int kFloodChunks = 13;
constexpr const char* kCommandPrefix = "cmd:";

struct Crafted {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int stored;  // what the endpoint keeps of it; -1 when it must drop it
};

// A 32-byte identifier field as the wire carries it.
struct Identifier {
    char bytes[wire::kIdentifierBytes] = {};
    explicit Identifier(const std::string& text) {
        std::strncpy(bytes, text.c_str(), wire::kIdentifierBytes - 1);
    }
};

// A well-formed one-channel audio datagram of the given stream.
inline std::vector<std::uint8_t> streamDatagram(const std::string& identifier) {
    const float samples[4] = {0.5f, -0.5f, 0.25f, -0.25f};
    const float* channels[1] = {samples};
    std::vector<std::uint8_t> bytes(wire::kAudioHeaderBytes + sizeof samples);
    const Identifier id(identifier);
    bytes.resize(size_t(wire::writeAudioPacket(bytes.data(), id.bytes, 1, 44100, 4, channels)));
    return bytes;
}

// Sent last: once it is queued, everything sent before it has been handled.
inline std::string markerIdentifier(const std::string& tag) { return "marker:" + tag; }
inline std::vector<std::uint8_t> marker(const std::string& tag) {
    return streamDatagram(markerIdentifier(tag));
}

inline bool hasIdentifier(const std::uint8_t* bytes, std::int32_t length,
                          const std::string& identifier) {
    return wire::matchesIdentifier(bytes, length, Identifier(identifier).bytes);
}

// Bytes that differ from one datagram to the next, so a record that kept
// bytes of an earlier datagram shows.
inline std::vector<std::uint8_t> patterned(std::uint32_t magic, std::int32_t lengthField,
                                           size_t size, int seed) {
    std::vector<std::uint8_t> bytes(size < 8 ? 8 : size);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 31 + size_t(seed) * 7);
    wire::writeU32(bytes.data(), magic);
    wire::writeU32(bytes.data() + 4, std::uint32_t(lengthField));
    bytes.resize(size);
    return bytes;
}

inline std::vector<Crafted> craftedBatch() {
    const std::uint32_t audio = wire::kAudioMagic, midi = wire::kMidiMagic;
    std::vector<Crafted> batch;
    int seed = 0;
    auto add = [&](const char* what, std::uint32_t magic, std::int32_t field, size_t size,
                   int stored) {
        batch.push_back({what, patterned(magic, field, size, ++seed), stored});
    };
    batch.push_back({"an empty datagram", {}, -1});
    add("7 bytes with a valid magic", audio, 8, 7, -1);
    add("8 bytes, length field 8", audio, 8, 8, 8);
    add("length field 0", audio, 0, 100, 8);
    add("negative length field", audio, -5, 100, 8);
    add("length field 1", audio, 1, 100, 8);
    add("length field 2", audio, 2, 100, 8);
    add("length field 3", midi, 3, 100, 8);
    add("length field 4", audio, 4, 100, 8);
    add("length field 5", audio, 5, 100, 8);
    add("length field 6", audio, 6, 100, 8);
    add("length field 7", audio, 7, 100, 8);
    // Fragmented on the wire; also leaves the receive buffer full of old bytes.
    add("length field 100000 on the largest datagram", audio, 100000, kLargestDatagram,
        kLargestDatagram);
    add("length field 60 on 100 bytes", audio, 60, 100, 60);
    add("length field 1247 on 100 bytes", audio, 1247, 100, 100);
    add("foreign magic XLWR", wire::readU32(reinterpret_cast<const std::uint8_t*>("XLWR")), 8, 8,
        -1);
    add("audio magic byte-swapped", wire::readU32(reinterpret_cast<const std::uint8_t*>("RWLM")),
        40, 40, -1);
    add("MIDI magic, length agrees", midi, 48, 48, 48);
    auto audioPacket = streamDatagram("crafted");
    batch.push_back({"a well-formed audio datagram", audioPacket, int(audioPacket.size())});
    return batch;
}

inline std::string dotted(std::uint32_t addressNetworkOrder) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&addressNetworkOrder);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

inline std::string command(const std::vector<std::uint8_t>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    return text.rfind(kCommandPrefix, 0) == 0 ? text.substr(std::strlen(kCommandPrefix)) : "";
}

}  // namespace larkwire::endpoint_check

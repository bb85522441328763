// Instances built in-process for unit tests, and datagram builders.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "net/network_endpoint.h"
#include "platform/clock.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/packet_format.h"

namespace larkwire::testing {

struct InstanceDeleter {
    void operator()(StreamEffect* instance) const { destroyStreamEffect(instance); }
};

inline std::vector<std::uint8_t> audioDatagram(const char* identifier, int channels, int rate,
                                               int frames, float firstValue = 0.0f) {
    std::vector<std::vector<float>> data(size_t(channels), std::vector<float>(size_t(frames), 0.0f));
    const float* pointers[64];
    for (int ch = 0; ch < channels; ++ch) {
        for (int j = 0; j < frames; ++j) data[ch][j] = firstValue + float(ch * 1000 + j);
        pointers[ch] = data[ch].data();
    }
    char id[32] = {};
    std::strncpy(id, identifier, 31);
    std::vector<std::uint8_t> bytes(65535);
    const int length = wire::writeAudioPacket(bytes.data(), id, channels, rate, frames, pointers);
    bytes.resize(size_t(length));
    return bytes;
}

inline std::vector<std::uint8_t> midiDatagram(const char* identifier,
                                              const std::vector<std::int32_t>& offsets) {
    std::vector<std::uint8_t> bytes(40 + 32 * offsets.size(), 0);
    wire::writeU32(bytes.data(), wire::kMidiMagic);
    wire::writeU32(bytes.data() + 4, std::uint32_t(bytes.size()));
    std::strncpy(reinterpret_cast<char*>(bytes.data() + 8), identifier, 31);
    for (size_t i = 0; i < offsets.size(); ++i) {
        std::uint8_t* record = bytes.data() + 40 + 32 * i;
        wire::writeU32(record, 1);
        wire::writeU32(record + 4, 24);
        wire::writeU32(record + 8, std::uint32_t(offsets[i]));
        record[24] = 0x90;
        record[25] = std::uint8_t(60 + i);
        record[26] = 100;
    }
    return bytes;
}

// Queues a datagram as if it arrived from a foreign computer. Stamped with the real time
// by default: the running network thread expires anything stamped two seconds ago.
inline void queueDatagram(const std::vector<std::uint8_t>& bytes, std::int32_t now) {
    platform::Ipv4SocketAddress source{};
    source.family = 2;
    source.addressNetworkOrder = 0x0A0A0A0A;  // never one of ours in a unit test
    network::acceptDatagram(bytes.data(), std::int32_t(bytes.size()), source, now);
}

inline void queueDatagram(const std::vector<std::uint8_t>& bytes) {
    queueDatagram(bytes, platform::monotonicSeconds());
}

inline std::int32_t queuedCount() {
    platform::LockGuard guard(*network::packetListLock.load());
    return network::receivedPackets().count();
}

}  // namespace larkwire::testing

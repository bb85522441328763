// The network thread's acceptance and record building, fed one datagram.
#include "fuzz/fuzz_targets.h"
#include "fuzz/harness.h"
#include "platform/clock.h"
#include "stream/packet_format.h"

namespace {
std::int32_t queuedCount() {
    larkwire::platform::LockGuard guard(*larkwire::network::packetListLock.load());
    return larkwire::network::receivedPackets().count();
}
}  // namespace

namespace larkwire::fuzz {

int acceptDatagramTarget(const std::uint8_t* data, std::size_t size) {
    keepNetworkUp();
    drainQueue();
    const std::int32_t received = std::int32_t(size > 65535 ? 65535 : size);
    const std::int32_t now = platform::monotonicSeconds() + 1000;
    network::acceptDatagram(data, received, foreignSource(), now);

    {
    platform::LockGuard guard(*network::packetListLock.load());
    auto& queued = network::receivedPackets();
    const bool wanted = received >= 8 && wire::hasStreamMagic(data, received);
    LARKWIRE_FUZZ_CHECK(queued.count() == (wanted ? 1 : 0));
    if (queued.count() == 1) {
        const ReceivedPacket* packet = queued.oldest();
        std::int32_t expected = wire::totalLengthOf(data);
        if (expected > 65535) expected = 65535;
        if (expected < 8) expected = 8;
        if (expected > received) expected = received;
        LARKWIRE_FUZZ_CHECK(packet->bytes.usedSize() == expected);
        LARKWIRE_FUZZ_CHECK(packet->time == now);
        LARKWIRE_FUZZ_CHECK(std::memcmp(packet->bytes.bytes(), data, size_t(expected)) == 0);
    }
    LARKWIRE_FUZZ_CHECK(network::sparePackets().count() <= network::kMaxSparePackets);
    }
    // Three seconds on, nothing unclaimed may remain.
    network::expireOldPackets(now + 3);
    LARKWIRE_FUZZ_CHECK(queuedCount() == 0);
    return 0;
}

}  // namespace larkwire::fuzz

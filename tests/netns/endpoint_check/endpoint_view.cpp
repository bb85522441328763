#include "tests/netns/endpoint_check/endpoint_view.h"

#include <vector>

#include "platform/clock.h"
#include "shell/dispatcher.h"
#include "shell/instance_settings.h"
#include "shell/teardown.h"
#include "stream/process_calls.h"
#include "tests/netns/endpoint_check/datagrams.h"

namespace larkwire::endpoint_check {

void InstanceDeleter::operator()(StreamEffect* instance) const { destroyStreamEffect(instance); }

Instance startedInstance(const char* identifier, int sendMode, const char* destination) {
    Instance instance(createStreamEffect(nullptr));
    if (instance == nullptr) return instance;
    setIdentifier(*instance, identifier);
    setSendMode(*instance, sendMode);
    setDestination(*instance, destination);
    dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    return instance;
}

Instance uncountedInstance() { return Instance(createStreamEffect(nullptr)); }

void runBlock(StreamEffect& instance) {
    std::vector<float> left(64, 0.25f), right(64, -0.25f);
    float* channels[2] = {left.data(), right.data()};
    processReplacing(&instance.effect, channels, channels, 64);
}

namespace {
template <typename Visit>
void withQueue(Visit&& visit) {
    platform::Lock* lock = network::packetListLock.load();
    if (lock == nullptr) return;
    platform::LockGuard guard(*lock);
    visit(network::receivedPackets(), network::sparePackets());
}
}  // namespace

std::vector<QueuedRecord> queuedRecords() {
    std::vector<QueuedRecord> records;
    withQueue([&](PacketIndex& queued, PtrList<ReceivedPacket>&) {
        for (const ReceivedPacket* packet = queued.oldest(); packet != nullptr; packet = packet->newerArrival) {
            const std::uint8_t* bytes = packet->bytes.bytes();
            records.push_back({packet->time, std::vector<std::uint8_t>(
                                                 bytes, bytes + packet->bytes.usedSize())});
        }
    });
    return records;
}

int queuedWithIdentifier(const std::string& identifier) {
    int count = 0;
    withQueue([&](PacketIndex& queued, PtrList<ReceivedPacket>&) {
        for (const ReceivedPacket* packet = queued.oldest(); packet != nullptr; packet = packet->newerArrival) {
            if (hasIdentifier(packet->bytes.bytes(), packet->bytes.usedSize(), identifier)) ++count;
        }
    });
    return count;
}

int spareCount() {
    int count = 0;
    withQueue([&](PacketIndex&, PtrList<ReceivedPacket>& spare) { count = spare.count(); });
    return count;
}

void clearQueue() {
    withQueue([](PacketIndex&, PtrList<ReceivedPacket>&) { network::recycleAllQueued(); });
}

bool waitForMarker(const std::string& tag, int waitSeconds) {
    const std::int64_t end = platform::monotonicMilliseconds() + std::int64_t(waitSeconds) * 1000;
    do {
        if (queuedWithIdentifier(markerIdentifier(tag)) > 0) return true;
        platform::sleepMilliseconds(5);
    } while (platform::monotonicMilliseconds() < end);
    return false;
}

std::string ownAddressTable() {
    const AddressList& table = network::localAddresses();
    std::string text;
    for (std::int32_t i = 0; i < table.count(); ++i)
    {
        if (i > 0) text += ' ';
        text += dotted(table.get(i));
    }
    return text.empty() ? "(empty)" : text;
}

}  // namespace larkwire::endpoint_check

#include "net/network_endpoint.h"

#include <cstring>
#include <new>

#include "editor/recent_destinations.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "shell/stream_effect.h"
#include "stream/packet_format.h"

namespace larkwire::network {

std::atomic<UdpSocket*> sharedSocket{nullptr};
std::atomic<platform::Lock*> socketLock{nullptr};
std::atomic<platform::Lock*> packetListLock{nullptr};

namespace {

struct EndpointState {
    platform::Lock socketLockStorage;
    platform::Lock packetListLockStorage;
    platform::Lock startStopLock;  // serialises counting, start and stop
    PtrList<ReceivedPacket> received;
    std::int64_t receivedBytes = 0;  // allocated sizes of the records in received
    PtrList<ReceivedPacket> spare;
    AddressList addresses;
    std::atomic<std::int32_t> stopFlag{0};
    platform::Thread* thread = nullptr;
    std::int32_t started = 0;
    std::uint8_t receiveBuffer[65536];
};

// Built in static storage and never destroyed: a late caller during unload
// must still find the locks it may enter.
EndpointState& state() {
    alignas(EndpointState) static unsigned char storage[sizeof(EndpointState)];
    static EndpointState* endpoint = new (storage) EndpointState;
    return *endpoint;
}

void deleteAll(PtrList<ReceivedPacket>& list) {
    for (std::int32_t i = list.count() - 1; i >= 0; --i) {
        delete list.get(i);
        list.deleteAt(i);
    }
    list.clear();
}

unsigned networkThread(void*) {
    EndpointState& s = state();
    if (s.stopFlag.load() != 0) return 0;
    std::int32_t lastExpiry = 0;
    do {
        receiveOnePass(lastExpiry);
    } while (s.stopFlag.load() == 0);
    return 0;
}

void startNetworking() {
    EndpointState& s = state();
    UdpSocket::ensureSocketsStarted();
    collectLocalAddresses(s.addresses);
    socketLock.store(&s.socketLockStorage);
    packetListLock.store(&s.packetListLockStorage);
    auto* socket = new (std::nothrow) UdpSocket;
    if (socket == nullptr) return;
    sharedSocket.store(socket);
    const bool bound = socket->open(wire::kStreamPort) == 0;
    // Broadcast sends need no port of our own: another process may hold it.
    if (socket->hasHandle()) platform::setBroadcast(socket->handle(), true);
    if (!bound) return;  // sends still work
    s.stopFlag.store(0);
    s.thread = platform::startThread(&networkThread, nullptr);
}

void stopNetworking() {
    EndpointState& s = state();
    s.stopFlag.store(1);
    if (s.thread != nullptr) {
        platform::joinThread(s.thread);
        s.thread = nullptr;
    }
    {
        // Instances that were never counted may still be sending: wait for them.
        platform::LockGuard guard(s.socketLockStorage);
        delete sharedSocket.exchange(nullptr);
    }
    socketLock.store(nullptr);
    {
        platform::LockGuard guard(s.packetListLockStorage);
        packetListLock.store(nullptr);
        deleteAll(s.received);
        s.receivedBytes = 0;
        deleteAll(s.spare);
    }
    releaseRecentDestinations();
    s.addresses.clear();
}

}  // namespace

void recyclePacket(ReceivedPacket* packet) {
    EndpointState& s = state();
    if (s.spare.count() >= kMaxSparePackets || !s.spare.add(packet)) delete packet;
}

void releaseListStorage() {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    if (s.started != 0) return;  // a host that unloads us mid-stream keeps its memory
    s.received.release();
    s.spare.release();
    s.addresses.release();
    UdpSocket::releaseBookkeeping();
    releaseRecentDestinations();
    recentDestinations().release();
}

PtrList<ReceivedPacket>& receivedPackets() { return state().received; }

ReceivedPacket* takeReceivedAt(std::int32_t index) {
    EndpointState& s = state();
    ReceivedPacket* packet = s.received.get(index);
    if (packet == nullptr) return nullptr;
    s.received.deleteAt(index);
    s.receivedBytes -= packet->bytes.allocatedSize();
    if (s.received.empty() || s.receivedBytes < 0) s.receivedBytes = 0;
    return packet;
}

std::int64_t queuedByteCount() { return state().receivedBytes; }
PtrList<ReceivedPacket>& sparePackets() { return state().spare; }
AddressList& localAddresses() { return state().addresses; }

std::int32_t startedInstanceCount() {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    return s.started;
}

bool threadRunning() {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    return s.thread != nullptr;
}

void countNetworkUser(StreamEffect& instance) {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    if (instance.networkStarted != 0) return;
    instance.networkStarted = 1;
    if (s.started++ == 0) startNetworking();
}

void releaseNetworkUser(StreamEffect& instance) {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    if (instance.networkStarted == 0) return;
    instance.networkStarted = 0;
    if (--s.started == 0) stopNetworking();
}

void acceptDatagram(const std::uint8_t* data, std::int32_t received,
                    const platform::Ipv4SocketAddress& source, std::int32_t now) {
    EndpointState& s = state();
    if (received < wire::kMinDatagram || !wire::hasStreamMagic(data, received)) return;
    if (s.addresses.contains(source.addressNetworkOrder)) return;

    std::int32_t size = wire::totalLengthOf(data);
    if (size > wire::kMaxDatagram) size = wire::kMaxDatagram;
    if (size < wire::kMinDatagram) size = wire::kMinDatagram;
    // Keep only what arrived: a length field beyond it must not pull in stale bytes.
    if (size > received) size = received;

    platform::Lock* listLock = packetListLock.load();
    if (listLock == nullptr) return;
    ReceivedPacket* packet = nullptr;
    {
        platform::LockGuard guard(*listLock);
        packet = s.spare.takeLast();
    }
    if (packet == nullptr) packet = new (std::nothrow) ReceivedPacket;
    if (packet == nullptr) return;
    packet->time = now;
    packet->bytes.resize(size, true);
    if (packet->bytes.usedSize() != size) {
        platform::LockGuard guard(*listLock);
        recyclePacket(packet);
        return;
    }
    std::memcpy(packet->bytes.bytes(), data, size_t(size));

    platform::LockGuard guard(*listLock);
    while (!s.received.empty() &&
           (s.received.count() >= kMaxQueuedPackets ||
            s.receivedBytes + packet->bytes.allocatedSize() > kMaxQueuedBytes))
        recyclePacket(takeReceivedAt(0));
    if (s.received.add(packet))
        s.receivedBytes += packet->bytes.allocatedSize();
    else
        recyclePacket(packet);
}

void expireOldPackets(std::int32_t now) {
    EndpointState& s = state();
    platform::Lock* listLock = packetListLock.load();
    if (listLock == nullptr) return;
    platform::LockGuard guard(*listLock);
    for (std::int32_t i = 0; i < s.received.count();) {
        ReceivedPacket* packet = s.received.get(i);
        if (packet->time < now - kExpirySeconds) {
            recyclePacket(takeReceivedAt(i));
        } else {
            ++i;
        }
    }
}

void receiveOnePass(std::int32_t& lastExpiry) {
    EndpointState& s = state();
    UdpSocket::waitForReadable(0, kWaitMilliseconds);
    const std::int32_t now = platform::secondsNow();
    UdpSocket* socket = sharedSocket.load();
    // No socketLock: it guards the destination and the send buffers, which
    // receiving never touches, and the socket does not wait. Holding it here
    // would make a sending audio thread wait on this thread's heap and queue work.
    if (socket != nullptr && socket->isReadable() != 0) {
        platform::Ipv4SocketAddress source{};
        std::int32_t length = wire::kMaxDatagram;
        if (socket->receive(s.receiveBuffer, &length, 0, &source) == 0)
            acceptDatagram(s.receiveBuffer, length, source, now);
    }
    if (now != lastExpiry) {
        lastExpiry = now;
        expireOldPackets(now);
    }
}

}  // namespace larkwire::network

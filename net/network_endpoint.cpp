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
    // Guarded by packetListLock, as are the chains and the pool below.
    PacketIndex received;
    PtrList<ReceivedPacket> spare;
    ReceivedPacket* handedBack = nullptr;  // taken by instances, for the network thread
    ReceivedPacket* doomed = nullptr;      // to be freed once the lock is left
    StreamPool streamPool;
    AddressList addresses;
    std::atomic<std::int32_t> stopFlag{0};
    platform::Thread* thread = nullptr;
    std::int32_t started = 0;
    std::uint64_t arrivals = 0;  // guarded by packetListLock
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

void deleteChain(ReceivedPacket* packet) {
    while (packet != nullptr) {
        ReceivedPacket* next = packet->newerInStream;
        delete packet;
        packet = next;
    }
}

void deleteStreams(StreamRecords* stream) {
    while (stream != nullptr) {
        StreamRecords* next = stream->nextSpare;
        delete stream;
        stream = next;
    }
}

// Holds packetListLock. Everything queued, handed back or spare is deleted.
void deleteQueue(EndpointState& s) {
    while (!s.received.empty()) {
        ReceivedPacket* packet = s.received.oldest();
        s.received.remove(packet);
        delete packet;
    }
    s.received.sweepEmptyStreams(s.streamPool);
    deleteStreams(s.streamPool.first);
    s.streamPool = StreamPool{};
    deleteChain(s.handedBack);
    deleteChain(s.doomed);
    s.handedBack = s.doomed = nullptr;
    deleteAll(s.spare);
}

void pushChain(ReceivedPacket*& chain, ReceivedPacket* packet) {
    packet->newerInStream = chain;
    chain = packet;
}

// Records the instances are done with become spare (or doomed) here, on the
// only thread that may free them.
void reclaimHandedBackOf(EndpointState& s) {
    ReceivedPacket* packet = s.handedBack;
    s.handedBack = nullptr;
    while (packet != nullptr) {
        ReceivedPacket* next = packet->newerInStream;
        packet->newerInStream = nullptr;
        recyclePacket(packet);
        packet = next;
    }
}

constexpr std::int32_t kMaxPooledStreams = 256;

// What a locked stretch of the network thread leaves to free once the lock is left.
struct Leftovers {
    ReceivedPacket* packets = nullptr;
    StreamRecords* streams = nullptr;
};

// Holds packetListLock.
Leftovers takeLeftovers(EndpointState& s) {
    Leftovers left;
    left.packets = s.doomed;
    s.doomed = nullptr;
    while (s.streamPool.count > kMaxPooledStreams) {
        StreamRecords* stream = s.streamPool.pop();
        stream->nextSpare = left.streams;
        left.streams = stream;
    }
    return left;
}

void freeLeftovers(const Leftovers& left) {
    deleteChain(left.packets);
    deleteStreams(left.streams);
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
        deleteQueue(s);
    }
    releaseRecentDestinations();
    s.addresses.clear();
}

}  // namespace

void recyclePacket(ReceivedPacket* packet) {
    EndpointState& s = state();
    if (s.spare.count() >= kMaxSparePackets || !s.spare.add(packet)) pushChain(s.doomed, packet);
}

void reclaimHandedBack() { reclaimHandedBackOf(state()); }

void recycleAllQueued() {
    EndpointState& s = state();
    reclaimHandedBackOf(s);
    while (!s.received.empty()) {
        ReceivedPacket* packet = s.received.oldest();
        s.received.remove(packet);
        recyclePacket(packet);
    }
    s.received.sweepEmptyStreams(s.streamPool);
}

StreamRecords* queuedStream(const char* identifier, StreamKind kind) {
    return state().received.find(identifier, kind);
}

void takeQueued(ReceivedPacket* packet) { state().received.remove(packet); }

void handBackPacket(ReceivedPacket* packet) { pushChain(state().handedBack, packet); }

void releaseListStorage() {
    EndpointState& s = state();
    platform::LockGuard guard(s.startStopLock);
    if (s.started != 0) return;  // a host that unloads us mid-stream keeps its memory
    s.spare.release();
    s.addresses.release();
    UdpSocket::releaseBookkeeping();
    releaseRecentDestinations();
    recentDestinations().release();
}

PacketIndex& receivedPackets() { return state().received; }

std::int64_t queuedByteCount() { return state().received.bytes(); }
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
    bool poolEmpty = false;
    {
        platform::LockGuard guard(*listLock);
        reclaimHandedBackOf(s);
        packet = s.spare.takeLast();
        poolEmpty = s.streamPool.first == nullptr;
    }
    // Allocations happen here, outside the lock the audio thread waits for.
    StreamRecords* newStream = poolEmpty ? new (std::nothrow) StreamRecords : nullptr;
    if (packet == nullptr) packet = new (std::nothrow) ReceivedPacket;
    if (packet == nullptr) {
        delete newStream;
        return;
    }
    packet->time = now;
    packet->bytes.resize(size, true);
    const bool filled = packet->bytes.usedSize() == size;
    if (filled) std::memcpy(packet->bytes.bytes(), data, size_t(size));

    Leftovers left;
    {
        platform::LockGuard guard(*listLock);
        if (newStream != nullptr) s.streamPool.push(newStream);
        // At a cap the oldest record of any stream goes, in constant time.
        while (filled && !s.received.empty() &&
               (s.received.count() >= kMaxQueuedPackets ||
                s.received.bytes() + packet->bytes.allocatedSize() > kMaxQueuedBytes)) {
            ReceivedPacket* oldest = s.received.oldest();
            StreamRecords* stream = oldest->stream;
            s.received.remove(oldest);
            s.received.retireIfEmpty(stream, s.streamPool);
            recyclePacket(oldest);
        }
        packet->arrival = ++s.arrivals;
        if (!filled || !s.received.add(packet, s.streamPool)) recyclePacket(packet);
        left = takeLeftovers(s);
    }
    freeLeftovers(left);
}

void expireOldPackets(std::int32_t now) {
    EndpointState& s = state();
    platform::Lock* listLock = packetListLock.load();
    if (listLock == nullptr) return;
    Leftovers left;
    {
        platform::LockGuard guard(*listLock);
        reclaimHandedBackOf(s);
        // Stamps grow along the arrival order: the stale records are the oldest
        // ones, and each removal is constant time.
        while (ReceivedPacket* packet = s.received.oldest()) {
            if (packet->time >= now - kExpirySeconds) break;
            StreamRecords* stream = packet->stream;
            s.received.remove(packet);
            s.received.retireIfEmpty(stream, s.streamPool);
            recyclePacket(packet);
        }
        s.received.sweepEmptyStreams(s.streamPool);
        left = takeLeftovers(s);
    }
    freeLeftovers(left);
}

void receiveOnePass(std::int32_t& lastExpiry) {
    EndpointState& s = state();
    UdpSocket::waitForReadable(0, kWaitMilliseconds);
    const std::int32_t now = platform::monotonicSeconds();
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

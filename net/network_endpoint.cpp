#include "net/network_endpoint.h"

#include <cstring>
#include <initializer_list>
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
    // Counts network starts and stops, so that a reader's stream from before
    // a stop is never touched again.
    std::uint32_t generation = 1;
    AddressList addresses;
    std::atomic<std::int32_t> stopFlag{0};
    platform::Thread* thread = nullptr;
    std::int32_t started = 0;
    std::uint64_t arrivals = 0;  // guarded by packetListLock
    // One slot per datagram of a receive batch, while the network runs; the
    // buffer below stands in when it could not be allocated.
    std::uint8_t* receiveArea = nullptr;
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
    s.received.clearStreams(s.streamPool);
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

// Holds packetListLock; the reader belongs to the current network.
void detachReader(EndpointState& s, StreamReader& reader) {
    ReceivedPacket* released = nullptr;
    s.received.detach(reader, released);
    while (released != nullptr) {
        ReceivedPacket* next = released->newerInStream;
        pushChain(s.handedBack, released);
        released = next;
    }
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
constexpr std::int32_t kExpiryBatch = 256;
constexpr std::int32_t kReceiveBatch = 64;
constexpr std::int32_t kReceiveSlotBytes = 65536;
// Every record has room for a whole audio datagram (a broadcast MIDI one is
// smaller), so a reused record takes any stream's next one without reallocating.
constexpr std::int32_t kRecordFloor = wire::kAudioHeaderBytes + 4 * wire::kMaxAudioSamplesPerPacket;
// Kept ready, so a receiving instance can join a stream that has not arrived
// yet without allocating.
constexpr std::int32_t kMinPooledStreams = 8;

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
    {
        platform::LockGuard guard(s.packetListLockStorage);
        while (s.streamPool.count < kMinPooledStreams) {
            auto* stream = new (std::nothrow) StreamRecords;
            if (stream == nullptr) break;
            s.streamPool.push(stream);
        }
    }
    packetListLock.store(&s.packetListLockStorage);
    auto* socket = new (std::nothrow) UdpSocket;
    if (socket == nullptr) return;
    sharedSocket.store(socket);
    const bool bound = socket->open(wire::kStreamPort) == 0;
    // Broadcast sends need no port of our own: another process may hold it.
    if (socket->hasHandle()) platform::setBroadcast(socket->handle(), true);
    if (!bound) return;  // sends still work
    // Pages are touched only as datagrams fill them: small ones leave most unused.
    s.receiveArea = new (std::nothrow) std::uint8_t[size_t(kReceiveBatch) * kReceiveSlotBytes];
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
    delete[] s.receiveArea;
    s.receiveArea = nullptr;
    {
        // Instances that were never counted may still be sending: wait for them.
        platform::LockGuard guard(s.socketLockStorage);
        delete sharedSocket.exchange(nullptr);
    }
    socketLock.store(nullptr);
    {
        platform::LockGuard guard(s.packetListLockStorage);
        packetListLock.store(nullptr);
        ++s.generation;
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

std::uint64_t newestArrival() { return state().arrivals; }

ReceivedPacket* firstUnread(StreamReader& reader, const char* identifier, StreamKind kind) {
    EndpointState& s = state();
    if (reader.stream != nullptr) {
        if (reader.generation != s.generation) reader = StreamReader{};  // its stream is gone
        else if (std::memcmp(reader.stream->identifier, identifier, wire::kIdentifierBytes) != 0)
            detachReader(s, reader);  // renamed
    }
    if (reader.stream == nullptr) {
        if (packetListLock.load() == nullptr) return nullptr;  // stopped meanwhile
        if (!s.received.attach(reader, identifier, kind, s.streamPool)) return nullptr;
        reader.generation = s.generation;
    }
    return reader.next;
}

ReceivedPacket* readPast(StreamReader& reader) {
    EndpointState& s = state();
    if (ReceivedPacket* done = s.received.pass(reader)) pushChain(s.handedBack, done);
    return reader.next;
}

void stopReading(StreamEffect& instance) {
    if (instance.audioReader.stream == nullptr && instance.midiReader.stream == nullptr) return;
    EndpointState& s = state();
    platform::LockGuard guard(s.packetListLockStorage);
    for (StreamReader* reader : {&instance.audioReader, &instance.midiReader}) {
        if (reader->stream == nullptr) continue;
        if (reader->generation != s.generation) *reader = StreamReader{};
        else detachReader(s, *reader);
    }
}

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

namespace {

// The bytes of a datagram worth queuing, or 0 when it is dropped unqueued.
std::int32_t queuedSizeOf(const EndpointState& s, const platform::DatagramSlot& slot) {
    const auto* data = static_cast<const std::uint8_t*>(slot.buffer);
    const std::int32_t received = slot.length;
    if (received < wire::kMinDatagram || !wire::hasStreamMagic(data, received)) return 0;
    if (s.addresses.contains(slot.from.addressNetworkOrder)) return 0;
    std::int32_t size = wire::totalLengthOf(data);
    if (size > wire::kMaxDatagram) size = wire::kMaxDatagram;
    if (size < wire::kMinDatagram) size = wire::kMinDatagram;
    // Keep only what arrived: a length field beyond it must not pull in stale bytes.
    if (size > received) size = received;
    return size;
}

// At most one receive batch: packetListLock is taken twice for all of it,
// once for the records to fill and once to queue them.
void acceptBatch(EndpointState& s, platform::Lock& listLock, const platform::DatagramSlot* slots,
                 std::int32_t count, std::int32_t now) {
    const platform::DatagramSlot* accepted[kReceiveBatch];
    std::int32_t sizes[kReceiveBatch];
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        if (const std::int32_t size = queuedSizeOf(s, slots[i]); size > 0) {
            accepted[n] = &slots[i];
            sizes[n++] = size;
        }
    }
    if (n == 0) return;

    // Records dropped at the caps or handed back by readers come back here
    // as spares, so a flood at the cap reuses them instead of allocating.
    ReceivedPacket* records[kReceiveBatch] = {};
    std::int32_t streamsWanted = 0;
    {
        platform::LockGuard guard(listLock);
        reclaimHandedBackOf(s);
        for (std::int32_t k = 0; k < n; ++k) records[k] = s.spare.takeLast();
        // Every datagram of the batch may open a stream.
        streamsWanted = kMinPooledStreams + n - s.streamPool.count;
    }
    // Allocations and copies happen here, outside the lock the audio thread waits for.
    StreamRecords* newStreams = nullptr;
    for (std::int32_t k = 0; k < streamsWanted; ++k) {
        auto* stream = new (std::nothrow) StreamRecords;
        if (stream == nullptr) break;
        stream->nextSpare = newStreams;
        newStreams = stream;
    }
    bool filled[kReceiveBatch] = {};
    for (std::int32_t k = 0; k < n; ++k) {
        if (records[k] == nullptr) records[k] = new (std::nothrow) ReceivedPacket;
        ReceivedPacket* packet = records[k];
        if (packet == nullptr) continue;
        packet->time = now;
        packet->bytes.resizeToFit(sizes[k], kRecordFloor);
        filled[k] = packet->bytes.usedSize() == sizes[k];
        if (filled[k]) std::memcpy(packet->bytes.bytes(), accepted[k]->buffer, size_t(sizes[k]));
    }

    Leftovers left;
    {
        platform::LockGuard guard(listLock);
        while (StreamRecords* stream = newStreams) {
            newStreams = stream->nextSpare;
            s.streamPool.push(stream);
        }
        for (std::int32_t k = 0; k < n; ++k) {
            ReceivedPacket* packet = records[k];
            if (packet == nullptr) continue;
            // At a cap the oldest record of any stream goes, in constant time.
            while (filled[k] && !s.received.empty() &&
                   (s.received.count() >= kMaxQueuedPackets ||
                    s.received.bytes() + packet->bytes.allocatedSize() > kMaxQueuedBytes)) {
                ReceivedPacket* oldest = s.received.oldest();
                StreamRecords* stream = oldest->stream;
                s.received.remove(oldest);
                s.received.retireIfEmpty(stream, s.streamPool);
                recyclePacket(oldest);
            }
            packet->arrival = ++s.arrivals;
            if (!filled[k] || !s.received.add(packet, s.streamPool)) recyclePacket(packet);
        }
        left = takeLeftovers(s);
    }
    freeLeftovers(left);
}

}  // namespace

void acceptDatagrams(const platform::DatagramSlot* slots, std::int32_t count, std::int32_t now) {
    EndpointState& s = state();
    platform::Lock* listLock = packetListLock.load();
    if (listLock == nullptr) return;
    for (std::int32_t done = 0; done < count; done += kReceiveBatch) {
        const std::int32_t n = count - done < kReceiveBatch ? count - done : kReceiveBatch;
        acceptBatch(s, *listLock, slots + done, n, now);
    }
}

void acceptDatagram(const std::uint8_t* data, std::int32_t received,
                    const platform::Ipv4SocketAddress& source, std::int32_t now) {
    const platform::DatagramSlot slot{const_cast<std::uint8_t*>(data), received, received, source};
    acceptDatagrams(&slot, 1, now);
}

void expireOldPackets(std::int32_t now) {
    EndpointState& s = state();
    platform::Lock* listLock = packetListLock.load();
    if (listLock == nullptr) return;
    // In batches, leaving the lock between them: a flood's worth of stale
    // records would otherwise keep a receiving block waiting for a millisecond.
    for (bool more = true; more;) {
        more = false;
        Leftovers left;
        {
            platform::LockGuard guard(*listLock);
            reclaimHandedBackOf(s);
            // Stamps grow along the arrival order: the stale records are the
            // oldest ones, and each removal is constant time.
            std::int32_t batch = 0;
            while (ReceivedPacket* packet = s.received.oldest()) {
                if (packet->time >= now - kExpirySeconds) break;
                if (++batch > kExpiryBatch) {
                    more = true;
                    break;
                }
                StreamRecords* stream = packet->stream;
                s.received.remove(packet);
                s.received.retireIfEmpty(stream, s.streamPool);
                recyclePacket(packet);
            }
            if (!more) s.received.sweepEmptyStreams(s.streamPool);
            left = takeLeftovers(s);
        }
        freeLeftovers(left);
    }
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
        // The socket does not wait: take what is waiting, up to a batch, before
        // the next select, in one system call where the platform has one.
        platform::DatagramSlot slots[kReceiveBatch];
        std::uint8_t* area = s.receiveArea != nullptr ? s.receiveArea : s.receiveBuffer;
        const std::int32_t slotCount = s.receiveArea != nullptr ? kReceiveBatch : 1;
        for (std::int32_t i = 0; i < slotCount; ++i)
            slots[i] = platform::DatagramSlot{area + i * kReceiveSlotBytes, wire::kMaxDatagram, 0, {}};
        acceptDatagrams(slots, socket->receiveMany(slots, slotCount), now);
    }
    if (now != lastExpiry) {
        lastExpiry = now;
        expireOldPackets(now);
    }
}

}  // namespace larkwire::network

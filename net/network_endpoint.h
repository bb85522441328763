// The one network endpoint of the process: the shared socket on the stream
// port, its receiving thread, and the queue of datagrams waiting for an
// instance to take them. Lock order: socketLock before packetListLock, and
// an instance's stateLock before either.
#pragma once

#include <atomic>
#include <cstdint>

#include "containers/heap_buffer.h"
#include "containers/ptr_list.h"
#include "net/local_addresses.h"
#include "net/packet_index.h"
#include "net/udp_socket.h"
#include "platform/lock.h"

namespace larkwire {

struct StreamEffect;

namespace network {

constexpr int kMaxSparePackets = 1024;
constexpr int kExpirySeconds = 2;
constexpr int kWaitMilliseconds = 100;
// Unclaimed datagrams beyond this many are dropped oldest first, so a flood
// cannot grow the queue without bound before the expiry pass runs.
constexpr int kMaxQueuedPackets = 8192;
// The same for the memory they hold: 8192 records of 64 KiB would be more
// than half a gigabyte inside the user's DAW. Three seconds of one unclaimed
// 64-channel stream still fit.
constexpr std::int64_t kMaxQueuedBytes = std::int64_t(96) << 20;

// Null while the network is down. The locks themselves live for the whole
// process, so a late reader never enters a freed lock.
extern std::atomic<UdpSocket*> sharedSocket;
extern std::atomic<platform::Lock*> socketLock;
extern std::atomic<platform::Lock*> packetListLock;

// Guarded by packetListLock.
PacketIndex& receivedPackets();
PtrList<ReceivedPacket>& sparePackets();
AddressList& localAddresses();
// [any thread] holds packetListLock. Bytes allocated by the records in receivedPackets.
std::int64_t queuedByteCount();

// [audio] holds packetListLock. The arrival stamp of the newest record taken in.
std::uint64_t newestArrival();

// [audio] holds packetListLock. The oldest record of the instance's stream
// that READER has not read yet, or null. The reader joins the stream of
// IDENTIFIER at its first call, and moves to the new stream after a rename.
ReceivedPacket* firstUnread(StreamReader& reader, const char* identifier, StreamKind kind);
// [audio] holds packetListLock. READER is done with the record firstUnread or
// readPast gave; returns the next one, or null. A record every reader passed
// goes back to the network thread, which reuses or frees it: the audio
// thread never frees a record.
ReceivedPacket* readPast(StreamReader& reader);
// [audio or ui] holds the instance's stateLock, takes packetListLock. The
// instance stops reading (suspend, send mode, off, teardown): it holds no
// record any longer, and the next read joins the stream again.
void stopReading(StreamEffect& instance);

// [ui] Counts the instance as a network user; the first one starts the network.
void countNetworkUser(StreamEffect& instance);
// [ui] Uncounts it; the last one stops the network and frees everything queued.
void releaseNetworkUser(StreamEffect& instance);

// [network thread] holds packetListLock. Keeps the record for reuse or, when
// the spare list is full, frees it once the lock is left.
void recyclePacket(ReceivedPacket* packet);
// [network thread or tests] holds packetListLock. Recycles every queued record.
void recycleAllQueued();
// [network thread or tests] holds packetListLock. Recycles the records that
// instances handed back.
void reclaimHandedBack();

// [module unload] Frees the lists' own storage once the network is down.
void releaseListStorage();

std::int32_t startedInstanceCount();
bool threadRunning();

// [network thread] One pass of the receive loop; exposed for tests and fuzzing.
void receiveOnePass(std::int32_t& lastExpiry);
// [network thread or tests] Queues a datagram as the thread would, after its checks.
void acceptDatagram(const std::uint8_t* data, std::int32_t received,
                    const platform::Ipv4SocketAddress& source, std::int32_t now);
// [network thread or tests] Queues received datagrams as acceptDatagram does
// each, taking packetListLock twice per batch of 64 rather than per datagram.
void acceptDatagrams(const platform::DatagramSlot* slots, std::int32_t count, std::int32_t now);
// [network thread] Drops unclaimed records older than the expiry rule, in one
// pass, and returns handed-back records to the spare list.
void expireOldPackets(std::int32_t now);

}  // namespace network
}  // namespace larkwire

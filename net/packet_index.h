// The queue of received datagrams, indexed by stream. Every queued record sits
// in one list of all records in arrival order (for the caps and the expiry
// pass) and in the list of its own stream, so that a receiving block looks
// only at its own stream's records. The lists are linked through the records'
// own fields: indexing allocates nothing and every removal is constant time.
// Guarded by packetListLock.
//
// Today the first reader of a stream takes its records out. A reader cursor
// per instance in StreamRecords (with a record freed once every reader has
// passed it) would let several same-name receivers read one stream.
#pragma once

#include <cstdint>

#include "containers/heap_buffer.h"
#include "stream/packet_format.h"

namespace larkwire {

struct StreamRecords;

// One queued datagram and the second it arrived in.
struct ReceivedPacket {
    std::int32_t time = 0;  // seconds of the monotonic clock
    // Order of arrival over every stream: ties a MIDI datagram to the audio
    // that came before it.
    std::uint64_t arrival = 0;
    HeapBuffer bytes{4096};
    // Links while queued; null outside the queue.
    ReceivedPacket* olderArrival = nullptr;
    ReceivedPacket* newerArrival = nullptr;
    ReceivedPacket* olderInStream = nullptr;
    // Also the link of the chains of records waiting to be reused or freed.
    ReceivedPacket* newerInStream = nullptr;
    StreamRecords* stream = nullptr;
};

enum class StreamKind : std::uint8_t { audio, midi, unmatchable };

// The queued records of one identifier and kind, oldest first.
struct StreamRecords {
    std::uint8_t identifier[wire::kIdentifierBytes] = {};
    StreamKind kind = StreamKind::unmatchable;
    std::uint32_t hash = 0;
    std::int32_t count = 0;
    ReceivedPacket* oldest = nullptr;
    ReceivedPacket* newest = nullptr;
    StreamRecords* nextSpare = nullptr;  // while unused, in the network thread's pool
};

// Unused stream records, so that a new stream needs no allocation under the lock.
struct StreamPool {
    StreamRecords* first = nullptr;
    std::int32_t count = 0;
    void push(StreamRecords* stream) {
        stream->nextSpare = first;
        first = stream;
        ++count;
    }
    StreamRecords* pop() {
        StreamRecords* stream = first;
        if (stream == nullptr) return nullptr;
        first = stream->nextSpare;
        --count;
        return stream;
    }
};

class PacketIndex {
public:
    // Every table entry holds at least one record or belongs to a receiving
    // instance, so twice the record cap keeps probes short.
    static constexpr std::int32_t kSlots = 16384;

    std::int32_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::int64_t bytes() const { return bytes_; }
    ReceivedPacket* oldest() const { return oldest_; }
    ReceivedPacket* newest() const { return newest_; }

    // [any thread] The records of one stream, or null when none was ever queued
    // since the last sweep.
    StreamRecords* find(const void* identifier, StreamKind kind) const;

    // [network thread] Links PACKET as the newest record of its stream and of
    // the arrival order, its stamp no earlier than the newest's. A new
    // stream takes its record from POOL; false when POOL is empty or the table
    // is full (PACKET is then not queued).
    bool add(ReceivedPacket* packet, StreamPool& pool);
    // [any thread] Unlinks a queued record; an emptied stream stays in the table.
    void remove(ReceivedPacket* packet);
    // [network thread] Takes every empty stream out of the table into POOL;
    // costs nothing when there is none.
    void sweepEmptyStreams(StreamPool& pool);
    // [network thread] Puts the stream of PACKET back into POOL when PACKET's
    // removal emptied it.
    void retireIfEmpty(StreamRecords* stream, StreamPool& pool);

private:
    static std::uint32_t hashOf(const void* identifier, StreamKind kind);
    std::int32_t slotOf(const void* identifier, StreamKind kind, std::uint32_t hash) const;
    void eraseSlot(std::int32_t slot);

    StreamRecords* slots_[kSlots] = {};
    std::int32_t streams_ = 0;
    std::int32_t emptyStreams_ = 0;  // in the table without records
    std::int32_t count_ = 0;
    std::int64_t bytes_ = 0;  // allocated sizes of the queued records
    ReceivedPacket* oldest_ = nullptr;
    ReceivedPacket* newest_ = nullptr;
};

// The stream a datagram belongs to: its kind, and its identifier at IDENTIFIER.
StreamKind streamKindOf(const std::uint8_t* bytes, std::int32_t usedLength);

}  // namespace larkwire

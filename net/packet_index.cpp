#include "net/packet_index.h"

#include <cstring>

namespace larkwire {

namespace {

constexpr std::int32_t kSlotMask = PacketIndex::kSlots - 1;
static_assert((PacketIndex::kSlots & kSlotMask) == 0, "the table size is a power of two");

bool sameStream(const StreamRecords* stream, const void* identifier, StreamKind kind,
                std::uint32_t hash) {
    return stream->hash == hash && stream->kind == kind &&
           std::memcmp(stream->identifier, identifier, wire::kIdentifierBytes) == 0;
}

const std::uint8_t kNoIdentifier[wire::kIdentifierBytes] = {};

const void* identifierOf(const ReceivedPacket& packet, StreamKind kind) {
    return kind == StreamKind::unmatchable ? kNoIdentifier
                                           : packet.bytes.bytes() + wire::kIdentifierOffset;
}

}  // namespace

StreamKind streamKindOf(const std::uint8_t* bytes, std::int32_t usedLength) {
    if (usedLength < wire::kHeaderBytes) return StreamKind::unmatchable;
    return wire::isMidiPacket(bytes, usedLength) ? StreamKind::midi : StreamKind::audio;
}

std::uint32_t PacketIndex::hashOf(const void* identifier, StreamKind kind) {
    // FNV-1a: cheap, and good enough for names a flood may choose.
    std::uint32_t hash = 2166136261u ^ std::uint32_t(kind);
    const auto* bytes = static_cast<const std::uint8_t*>(identifier);
    for (std::int32_t i = 0; i < wire::kIdentifierBytes; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// The slot holding the stream, or the empty slot where it would go.
std::int32_t PacketIndex::slotOf(const void* identifier, StreamKind kind,
                                 std::uint32_t hash) const {
    std::int32_t slot = std::int32_t(hash & kSlotMask);
    while (slots_[slot] != nullptr && !sameStream(slots_[slot], identifier, kind, hash))
        slot = (slot + 1) & kSlotMask;
    return slot;
}

StreamRecords* PacketIndex::find(const void* identifier, StreamKind kind) const {
    return slots_[slotOf(identifier, kind, hashOf(identifier, kind))];
}

StreamRecords* PacketIndex::findOrMake(const void* identifier, StreamKind kind,
                                       StreamPool& pool) {
    const std::uint32_t hash = hashOf(identifier, kind);
    const std::int32_t slot = slotOf(identifier, kind, hash);
    StreamRecords* stream = slots_[slot];
    if (stream != nullptr) {
        if (stream->idle()) --emptyStreams_;
        return stream;
    }
    // Keep one slot in four free, so a miss always ends at an empty slot soon.
    if (pool.first == nullptr || streams_ >= kSlots - kSlots / 4) return nullptr;
    stream = pool.pop();
    *stream = StreamRecords{};
    std::memcpy(stream->identifier, identifier, wire::kIdentifierBytes);
    stream->kind = kind;
    stream->hash = hash;
    slots_[slot] = stream;
    ++streams_;
    return stream;
}

bool PacketIndex::add(ReceivedPacket* packet, StreamPool& pool) {
    const StreamKind kind = streamKindOf(packet->bytes.bytes(), packet->bytes.usedSize());
    StreamRecords* stream = findOrMake(identifierOf(*packet, kind), kind, pool);
    if (stream == nullptr) return false;
    packet->stream = stream;
    packet->olderInStream = stream->newest;
    packet->newerInStream = nullptr;
    if (stream->newest != nullptr) stream->newest->newerInStream = packet;
    else stream->oldest = packet;
    stream->newest = packet;
    ++stream->count;
    // Readers that had read everything read this one next.
    for (StreamReader* reader = stream->readers; reader != nullptr; reader = reader->nextReader)
        if (reader->next == nullptr) reader->next = packet;

    // Arrival order is stamp order, so the expiry pass can stop at the first
    // fresh record. The monotonic clock gives that; a caller's own stamps are
    // held to it.
    if (newest_ != nullptr && packet->time < newest_->time) packet->time = newest_->time;
    packet->olderArrival = newest_;
    packet->newerArrival = nullptr;
    if (newest_ != nullptr) newest_->newerArrival = packet;
    else oldest_ = packet;
    newest_ = packet;
    ++count_;
    bytes_ += packet->bytes.allocatedSize();
    return true;
}

void PacketIndex::remove(ReceivedPacket* packet) {
    StreamRecords* stream = packet->stream;
    if (stream == nullptr) return;
    for (StreamReader* reader = stream->readers; reader != nullptr; reader = reader->nextReader)
        if (reader->next == packet) reader->next = packet->newerInStream;
    if (packet->olderInStream != nullptr) packet->olderInStream->newerInStream = packet->newerInStream;
    else stream->oldest = packet->newerInStream;
    if (packet->newerInStream != nullptr) packet->newerInStream->olderInStream = packet->olderInStream;
    else stream->newest = packet->olderInStream;
    if (--stream->count == 0 && stream->readers == nullptr) ++emptyStreams_;

    if (packet->olderArrival != nullptr) packet->olderArrival->newerArrival = packet->newerArrival;
    else oldest_ = packet->newerArrival;
    if (packet->newerArrival != nullptr) packet->newerArrival->olderArrival = packet->olderArrival;
    else newest_ = packet->olderArrival;
    --count_;
    bytes_ -= packet->bytes.allocatedSize();
    if (count_ == 0 || bytes_ < 0) bytes_ = 0;

    packet->olderArrival = packet->newerArrival = nullptr;
    packet->olderInStream = packet->newerInStream = nullptr;
    packet->stream = nullptr;
}

// Backward-shift deletion keeps every stream reachable from its home slot
// without tombstones.
void PacketIndex::eraseSlot(std::int32_t slot) {
    slots_[slot] = nullptr;
    --streams_;
    for (std::int32_t next = (slot + 1) & kSlotMask; slots_[next] != nullptr;
         next = (next + 1) & kSlotMask) {
        const std::int32_t home = std::int32_t(slots_[next]->hash & kSlotMask);
        // Move it into the hole unless its home lies cyclically in (slot, next].
        const bool stays = slot <= next ? (home > slot && home <= next) : (home > slot || home <= next);
        if (stays) continue;
        slots_[slot] = slots_[next];
        slots_[next] = nullptr;
        slot = next;
    }
}

void PacketIndex::retireIfEmpty(StreamRecords* stream, StreamPool& pool) {
    if (stream == nullptr || !stream->idle()) return;
    const std::int32_t slot = slotOf(stream->identifier, stream->kind, stream->hash);
    if (slots_[slot] != stream) return;
    eraseSlot(slot);
    --emptyStreams_;
    pool.push(stream);
}

void PacketIndex::sweepEmptyStreams(StreamPool& pool) {
    if (emptyStreams_ == 0) return;
    emptyStreams_ = 0;
    for (std::int32_t slot = 0; slot < kSlots; ++slot) {
        // A backward shift may move another empty stream into this slot.
        while (slots_[slot] != nullptr && slots_[slot]->idle()) {
            StreamRecords* stream = slots_[slot];
            eraseSlot(slot);
            pool.push(stream);
        }
    }
}

void PacketIndex::clearStreams(StreamPool& pool) {
    for (std::int32_t slot = 0; slot < kSlots; ++slot) {
        if (slots_[slot] == nullptr) continue;
        pool.push(slots_[slot]);
        slots_[slot] = nullptr;
    }
    streams_ = emptyStreams_ = 0;
}

bool PacketIndex::attach(StreamReader& reader, const void* identifier, StreamKind kind,
                         StreamPool& pool) {
    StreamRecords* stream = findOrMake(identifier, kind, pool);
    if (stream == nullptr) return false;
    reader.stream = stream;
    reader.next = stream->oldest;
    reader.nextReader = stream->readers;
    stream->readers = &reader;
    return true;
}

namespace {

bool someReaderAt(const StreamRecords& stream, const ReceivedPacket* packet) {
    for (const StreamReader* r = stream.readers; r != nullptr; r = r->nextReader)
        if (r->next == packet) return true;
    return false;
}

}  // namespace

void PacketIndex::detach(StreamReader& reader, ReceivedPacket*& released) {
    StreamRecords* stream = reader.stream;
    if (stream == nullptr) return;
    for (StreamReader** link = &stream->readers; *link != nullptr; link = &(*link)->nextReader) {
        if (*link != &reader) continue;
        *link = reader.nextReader;
        break;
    }
    reader = StreamReader{};
    // What the others have all read was kept for this reader alone. Without
    // other readers the records wait for a reader as unread ones do.
    if (stream->readers != nullptr) {
        while (ReceivedPacket* oldest = stream->oldest) {
            if (someReaderAt(*stream, oldest)) break;
            remove(oldest);
            oldest->newerInStream = released;
            released = oldest;
        }
    }
    if (stream->idle()) ++emptyStreams_;
}

ReceivedPacket* PacketIndex::pass(StreamReader& reader) {
    ReceivedPacket* packet = reader.next;
    if (packet == nullptr) return nullptr;
    reader.next = packet->newerInStream;
    // Only the oldest record can be the last one some reader still needed.
    StreamRecords* stream = reader.stream;
    if (packet != stream->oldest || someReaderAt(*stream, packet)) return nullptr;
    remove(packet);
    return packet;
}

}  // namespace larkwire

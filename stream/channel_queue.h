// The receive queue of one channel: received samples in large blocks that
// circulate between the queue and a spare list, so steady streaming does not
// allocate. [audio] Touched only under the owning instance's stateLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "containers/heap_buffer.h"
#include "containers/ptr_list.h"

namespace larkwire {

class ChannelQueue {
public:
    static constexpr std::int32_t kBlockCapacity = 65472;

    ChannelQueue() = default;
    ~ChannelQueue();
    ChannelQueue(const ChannelQueue&) = delete;
    ChannelQueue& operator=(const ChannelQueue&) = delete;

    // Appends n bytes; when a new block cannot be had the rest is dropped.
    void appendSamples(const void* source, std::int32_t n) {
        // Most appends fit the last block, so they take no call and no list
        // walk. The write position lives here, not in the block's header: a
        // heap object of its own, which would cost a cache miss an append.
        if (n > 0 && n <= tailRoom_) {
            copySmall(tailWrite_, static_cast<const std::uint8_t*>(source), n);
            tailWrite_ += n;
            tailRoom_ -= n;
            queuedBytes_ += n;
            return;
        }
        appendAcrossBlocks(static_cast<const std::uint8_t*>(source), n);
    }
    // A run of datagrams of one shape: from each of runs[0 .. count - 1],
    // bytesEach bytes a channel for queues[0 .. channels - 1], each queue
    // then trimmed to at most limit bytes by dropping its oldest. Queue by
    // queue, so that each takes its samples as one sequential write: taken
    // datagram by datagram, 64 queues' write lines stay open at once and the
    // caches lose them to wherever the heap put the other queues and the
    // datagrams. A 64-channel datagram brings 16 bytes a channel: that size
    // has its own loop, with the copy fixed. True when any queue was trimmed.
    static bool appendGathered(ChannelQueue* queues, std::int32_t channels,
                               const std::uint8_t* const* runs, std::int32_t count,
                               std::int32_t bytesEach, std::int64_t limit) {
        if (bytesEach == 16) return appendChannels<16>(queues, channels, runs, count, bytesEach, limit);
        return appendChannels<0>(queues, channels, runs, count, bytesEach, limit);
    }
    // Copies up to n bytes from the read position without consuming them.
    std::int32_t readSamples(void* destination, std::int32_t n) const;
    void consumeBytes(std::int32_t n);
    // Takes n float samples off the front, each widened to a double, straight
    // from the blocks; n must not exceed what is queued.
    void takeWidened(double* to, std::int32_t n);
    void discardAll() { consumeBytes(queuedBytes_); }

    std::int32_t queuedBytes() const { return queuedBytes_; }
    std::int32_t readOffset() const { return readOffset_; }
    std::int32_t blockCount() const { return blocks_.count(); }
    std::int32_t spareBlockCount() const { return spareBlocks_.count(); }

private:
    // Copies of a few frames inline, as two moves that may overlap each
    // other (never the source), both read before either is written: a load
    // behind a store to a different page at the same offset waits for it.
    static void copySmall(std::uint8_t* to, const std::uint8_t* from, std::int32_t n) {
        if (n >= 16 && n <= 32) {
            copyTwo<16>(to, from, n);
        } else if (n > 32 && n <= 64) {
            copyTwo<32>(to, from, n);
        } else if (n >= 8 && n < 16) {
            copyTwo<8>(to, from, n);
        } else if (n >= 4 && n < 8) {
            copyTwo<4>(to, from, n);
        } else {
            std::memcpy(to, from, size_t(n));
        }
    }
    // N <= n <= 2 N bytes as the first and the last N.
    template <std::int32_t N>
    static void copyTwo(std::uint8_t* to, const std::uint8_t* from, std::int32_t n) {
        std::uint8_t head[N], tail[N];
        std::memcpy(head, from, N);
        std::memcpy(tail, from + n - N, N);
        std::memcpy(to, head, N);
        std::memcpy(to + n - N, tail, N);
    }
    template <std::int32_t Fixed>
    static bool appendChannels(ChannelQueue* queues, std::int32_t channels,
                               const std::uint8_t* const* runs, std::int32_t count,
                               std::int32_t bytesEach, std::int64_t limit) {
        const std::int32_t n = Fixed != 0 ? Fixed : bytesEach;
        if (n <= 0) return false;
        bool trimmed = false;
        for (std::int32_t k = 0; k < channels; ++k) {
            ChannelQueue& queue = queues[k];
            queue.appendFrom<Fixed>(runs, count, std::size_t(k) * std::size_t(n), n);
            if (queue.queuedBytes_ > limit) {
                queue.consumeBytes(queue.queuedBytes_ - std::int32_t(limit));
                trimmed = true;
            }
        }
        return trimmed;
    }
    // N bytes at offset from each run, the fields kept in registers while
    // the last block has room.
    template <std::int32_t Fixed>
    void appendFrom(const std::uint8_t* const* runs, std::int32_t count, std::size_t offset,
                    std::int32_t n) {
        std::uint8_t* to = tailWrite_;
        std::int32_t room = tailRoom_;
        std::int32_t j = 0;
        for (; j < count && n <= room; ++j, to += n, room -= n) {
            if constexpr (Fixed != 0) std::memcpy(to, runs[j] + offset, Fixed);
            else copySmall(to, runs[j] + offset, n);
        }
        tailWrite_ = to;
        tailRoom_ = room;
        queuedBytes_ += j * n;
        for (; j < count; ++j) appendSamples(runs[j] + offset, n);
    }
    void appendAcrossBlocks(const std::uint8_t* from, std::int32_t n);
    void releaseEmptyBlocks();
    HeapBuffer* writableBlock();
    // The last block's fill as the inline append left it.
    std::int32_t usedOf(const HeapBuffer* block) const {
        return block == tail_ ? std::int32_t(tailWrite_ - block->bytes()) : block->usedSize();
    }
    // Writes the inline append's fill back into the last block's header.
    void syncTail() {
        if (tail_ != nullptr) tail_->resize(usedOf(tail_));
    }
    // Takes the last block as the inline append's target; its header is in sync.
    void refreshTail() {
        tail_ = blocks_.get(blocks_.count() - 1);
        tailWrite_ = tail_ != nullptr ? tail_->bytes() + tail_->usedSize() : nullptr;
        if (tail_ == nullptr || tail_->bytes() == nullptr) {
            tailRoom_ = 0;
            return;
        }
        const std::int32_t capacity =
            tail_->allocatedSize() < kBlockCapacity ? tail_->allocatedSize() : kBlockCapacity;
        tailRoom_ = capacity - tail_->usedSize();
        if (tailRoom_ < 0) tailRoom_ = 0;
    }

    // What the inline append touches, together.
    std::uint8_t* tailWrite_ = nullptr;
    std::int32_t tailRoom_ = 0;
    std::int32_t queuedBytes_ = 0;
    std::int32_t readOffset_ = 0;
    PtrList<HeapBuffer> blocks_;
    PtrList<HeapBuffer> spareBlocks_;
    // The last block, whose fill is tailWrite_ rather than its header's.
    HeapBuffer* tail_ = nullptr;
};

}  // namespace larkwire

// The receive queue of one channel: received samples in large blocks that
// circulate between the queue and a spare list, so steady streaming does not
// allocate. [audio] Touched only under the owning instance's stateLock.
#pragma once

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
        // A many-channel datagram brings a few frames per channel: most
        // appends fit the last block, so they take no call and no list walk.
        // The write position lives here, not in the block's own header: that
        // header is a heap object of its own, and 64 of them, wherever the
        // heap put them, cost a cache miss each per datagram when they
        // share cache sets with the datagrams.
        if (n > 0 && n <= tailRoom_) {
            copySmall(tailWrite_, static_cast<const std::uint8_t*>(source), n);
            tailWrite_ += n;
            tailRoom_ -= n;
            // Many queues fill side by side, more than the hardware
            // prefetcher follows: ask for the next line ahead.
            __builtin_prefetch(tailWrite_ + 64, 1);
            queuedBytes_ += n;
            return;
        }
        appendAcrossBlocks(static_cast<const std::uint8_t*>(source), n);
    }
    // One datagram's channels: bytesEach bytes from each consecutive run of
    // samples to queues[0 .. count - 1], each then trimmed to at most limit
    // bytes by dropping its oldest. A 64-channel datagram brings 16 bytes a
    // channel: that size has its own loop, with the copy fixed.
    // True when any queue was trimmed.
    static bool appendEach(ChannelQueue* queues, std::int32_t count, const std::uint8_t* samples,
                           std::int32_t bytesEach, std::int64_t limit) {
        if (bytesEach == 16) return appendRuns<16>(queues, count, samples, bytesEach, limit);
        return appendRuns<0>(queues, count, samples, bytesEach, limit);
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
    // Copies of a few frames inline, as a few moves that may overlap each
    // other (never the source); longer ones through the library.
    static void copySmall(std::uint8_t* to, const std::uint8_t* from, std::int32_t n) {
        if (n >= 16 && n <= 32) {
            std::memcpy(to, from, 16);
            std::memcpy(to + n - 16, from + n - 16, 16);
        } else if (n > 32 && n <= 64) {
            std::memcpy(to, from, 32);
            std::memcpy(to + n - 32, from + n - 32, 32);
        } else if (n >= 8 && n < 16) {
            std::memcpy(to, from, 8);
            std::memcpy(to + n - 8, from + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(to, from, 4);
            std::memcpy(to + n - 4, from + n - 4, 4);
        } else {
            std::memcpy(to, from, size_t(n));
        }
    }
    template <std::int32_t Fixed>
    static bool appendRuns(ChannelQueue* queues, std::int32_t count, const std::uint8_t* samples,
                           std::int32_t bytesEach, std::int64_t limit) {
        const std::int32_t n = Fixed != 0 ? Fixed : bytesEach;
        bool trimmed = false;
        for (std::int32_t k = 0; k < count; ++k, samples += n) {
            ChannelQueue& queue = queues[k];
            queue.appendSamples(samples, n);
            if (queue.queuedBytes_ > limit) {
                queue.consumeBytes(queue.queuedBytes_ - std::int32_t(limit));
                trimmed = true;
            }
        }
        return trimmed;
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

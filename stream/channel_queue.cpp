#include "stream/channel_queue.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace larkwire {

ChannelQueue::~ChannelQueue() {
    for (PtrList<HeapBuffer>* list : {&blocks_, &spareBlocks_}) {
        for (std::int32_t i = list->count() - 1; i >= 0; --i) delete list->get(i);
        list->release();
    }
    tail_ = nullptr;
}

// The last block when it has room; otherwise a spare or a new one, appended.
HeapBuffer* ChannelQueue::writableBlock() {
    HeapBuffer* last = blocks_.get(blocks_.count() - 1);
    if (last != nullptr && last->usedSize() < kBlockCapacity) return last;
    HeapBuffer* block = spareBlocks_.takeLast();
    if (block != nullptr) {
        block->resize(0);
    } else {
        block = new (std::nothrow) HeapBuffer(4096);
        if (block == nullptr) return nullptr;
    }
    if (!blocks_.add(block)) {
        if (!spareBlocks_.add(block)) delete block;
        return nullptr;
    }
    return block;
}

void ChannelQueue::appendAcrossBlocks(const std::uint8_t* from, std::int32_t n) {
    syncTail();
    while (n > 0) {
        HeapBuffer* block = writableBlock();
        if (block == nullptr) break;
        const std::int32_t fill = block->usedSize();
        const std::int32_t d = std::min(kBlockCapacity - fill, n);
        block->resize(fill + d);
        if (block->usedSize() != fill + d) break;  // block memory not available
        std::memcpy(block->bytes() + fill, from, size_t(d));
        queuedBytes_ += d;
        from += d;
        n -= d;
    }
    refreshTail();
}

std::int32_t ChannelQueue::readSamples(void* destination, std::int32_t n) const {
    auto* to = static_cast<std::uint8_t*>(destination);
    std::int32_t copied = 0;
    std::int32_t offset = readOffset_;
    for (std::int32_t i = 0; i < blocks_.count() && copied < n; ++i) {
        const HeapBuffer* block = blocks_.get(i);
        const std::int32_t d = std::min(usedOf(block) - offset, n - copied);
        if (d > 0) {
            std::memcpy(to + copied, block->bytes() + offset, size_t(d));
            copied += d;
        }
        offset = 0;
    }
    return copied;
}

void ChannelQueue::takeWidened(double* to, std::int32_t n) {
    std::int32_t taken = 0;
    std::int32_t offset = readOffset_;
    for (std::int32_t i = 0; i < blocks_.count() && taken < n; ++i) {
        const HeapBuffer* block = blocks_.get(i);
        const std::int32_t bytes = usedOf(block) - offset;
        if (bytes <= 0) {
            offset = 0;
            continue;
        }
        // A sample split across two blocks: the rest as bytes, then widened.
        if (offset % 4 != 0 || bytes % 4 != 0) break;
        const std::uint8_t* from = block->bytes() + offset;
        const std::int32_t d = std::min(bytes / 4, n - taken);
        for (std::int32_t j = 0; j < d; ++j) {
            float sample;
            std::memcpy(&sample, from + 4 * j, 4);
            to[taken + j] = sample;
        }
        taken += d;
        offset = 0;
    }
    consumeBytes(taken * 4);
    float chunk[256];
    while (taken < n) {
        const std::int32_t count = n - taken < 256 ? n - taken : 256;
        readSamples(chunk, count * 4);
        consumeBytes(count * 4);
        for (std::int32_t j = 0; j < count; ++j) to[taken + j] = chunk[j];
        taken += count;
    }
}

void ChannelQueue::consumeBytes(std::int32_t n) {
    if (n < 0) return;
    readOffset_ += n;
    queuedBytes_ = std::max(0, queuedBytes_ - n);
    releaseEmptyBlocks();
}

void ChannelQueue::releaseEmptyBlocks() {
    syncTail();  // the blocks below may be handed on or freed
    while (!blocks_.empty()) {
        HeapBuffer* oldest = blocks_.get(0);
        if (readOffset_ < oldest->usedSize()) break;
        readOffset_ -= oldest->usedSize();
        blocks_.deleteAt(0);
        // A spare list that cannot grow frees the block instead of losing it.
        if (!spareBlocks_.add(oldest)) delete oldest;
    }
    if (blocks_.empty() || readOffset_ < 0) readOffset_ = 0;
    refreshTail();
}

}  // namespace larkwire

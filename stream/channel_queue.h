// The receive queue of one channel: received samples in large blocks that
// circulate between the queue and a spare list, so steady streaming does not
// allocate. [audio] Touched only under the owning instance's stateLock.
#pragma once

#include <cstdint>

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
    void appendSamples(const void* source, std::int32_t n);
    // Copies up to n bytes from the read position without consuming them.
    std::int32_t readSamples(void* destination, std::int32_t n) const;
    void consumeBytes(std::int32_t n);
    void discardAll() { consumeBytes(queuedBytes_); }

    std::int32_t queuedBytes() const { return queuedBytes_; }
    std::int32_t readOffset() const { return readOffset_; }
    std::int32_t blockCount() const { return blocks_.count(); }
    std::int32_t spareBlockCount() const { return spareBlocks_.count(); }

private:
    void releaseEmptyBlocks();
    HeapBuffer* writableBlock();

    std::int32_t readOffset_ = 0;
    std::int32_t queuedBytes_ = 0;
    PtrList<HeapBuffer> blocks_;
    PtrList<HeapBuffer> spareBlocks_;
};

}  // namespace larkwire

#include "containers/heap_buffer.h"

#include <algorithm>
#include <cstring>

#include "containers/heap_allocator.h"

namespace larkwire {

namespace {
constexpr std::int64_t kPage = 4096;
constexpr std::int64_t kMaxStep = 0x400000;
constexpr std::int64_t kPageSlack = 96;
}  // namespace

HeapBuffer::~HeapBuffer() { release(); }

void HeapBuffer::release() {
    if (data_ != nullptr) heapAllocator().release(data_);
    data_ = nullptr;
    allocatedSize_ = 0;
    usedSize_ = 0;
}

std::int32_t HeapBuffer::allocationFor(std::int32_t newSize, std::int32_t granularity,
                                       std::int32_t minimumAllocation) {
    // 64-bit arithmetic: a size near INT32_MAX must not wrap into a small block.
    std::int64_t step = std::max<std::int64_t>(granularity, newSize / 2);
    std::int64_t size;
    if (granularity >= kPage) {
        step -= step % kPage;
        if (step > kMaxStep) step = kMaxStep;
        if (step < kPage) step = kPage;
        size = newSize + step + kPageSlack;
        size = size - size % kPage - kPageSlack;
    } else {
        size = static_cast<std::int64_t>(newSize) + step;
    }
    if (size < minimumAllocation) size = minimumAllocation;
    if (size > INT32_MAX) return -1;
    return static_cast<std::int32_t>(size);
}

void* HeapBuffer::resizeAllocation(std::int32_t newSize, bool allowShrink) {
    if (newSize < 0) return get();
    if (newSize == usedSize_) return get();

    const bool grow = newSize > allocatedSize_;
    const bool shrink = !grow && allowShrink && newSize < usedSize_ &&
                        newSize < allocatedSize_ / 2 &&
                        newSize < allocatedSize_ - 4 * granularity_;
    if (!grow && !shrink) {
        usedSize_ = newSize;
        return get();
    }

    const std::int32_t size = allocationFor(newSize, granularity_, minimumAllocation_);
    if (size < 0) return get();
    if (size != allocatedSize_ && !reallocateTo(size, std::min(usedSize_, newSize))) return get();
    usedSize_ = newSize;
    return get();
}

void* HeapBuffer::resizeToFit(std::int32_t newSize, std::int32_t floor) {
    if (newSize < 0) return get();
    const std::int64_t wanted = newSize > floor ? newSize : floor;
    const std::int64_t fit = (wanted + kFitRounding - 1) / kFitRounding * kFitRounding;
    if (fit > INT32_MAX) return get();
    const bool keep = allocatedSize_ >= fit && allocatedSize_ <= 2 * fit;
    if (!keep && fit > 0 && !reallocateTo(std::int32_t(fit), std::min(usedSize_, newSize)))
        return get();
    usedSize_ = newSize;
    return get();
}

bool HeapBuffer::reallocateTo(std::int32_t size, std::int32_t keptBytes) {
    HeapAllocator& heap = heapAllocator();
    auto* block = static_cast<std::uint8_t*>(heap.reallocate(data_, size_t(size)));
    if (block == nullptr && size != 0) {
        // realloc can fail where a fresh block still fits: copy across.
        block = static_cast<std::uint8_t*>(heap.allocate(size_t(size)));
        if (block == nullptr) return false;
        if (data_ != nullptr) {
            std::memcpy(block, data_, size_t(keptBytes));
            heap.release(data_);
        }
    }
    data_ = block;
    allocatedSize_ = size;
    return true;
}

}  // namespace larkwire

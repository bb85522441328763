// A growable byte buffer with one growth policy: large page-rounded steps,
// no shrinking unless asked, and a failed growth leaves it untouched. Buffers
// that are many and hold one thing each size themselves with resizeToFit.
#pragma once

#include <cstdint>

namespace larkwire {

class HeapBuffer {
public:
    explicit HeapBuffer(std::int32_t granularity = 4096) : granularity_(granularity) {}
    ~HeapBuffer();
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    // Sets the used size. Returns data() (null when the size is 0). On a failed
    // reallocation nothing changes and the old data is returned.
    void* resize(std::int32_t newSize, bool allowShrink = false) {
        // Inline for the audio path's many small appends within the allocation.
        if (!allowShrink && newSize >= 0 && newSize <= allocatedSize_) {
            usedSize_ = newSize;
            return get();
        }
        return resizeAllocation(newSize, allowShrink);
    }

    // Sets the used size with an allocation close to it: newSize, or FLOOR
    // when larger, rounded up to kFitRounding; a block is kept while it is at
    // most twice that. Thousands of queued datagrams then take the memory (and
    // the fresh pages) they need, not page-rounded steps. A failed
    // reallocation changes nothing.
    static constexpr std::int32_t kFitRounding = 256;
    void* resizeToFit(std::int32_t newSize, std::int32_t floor = 0);

    // Frees the block; the buffer is then as new.
    void release();

    void* get() const { return usedSize_ != 0 ? data_ : nullptr; }
    std::uint8_t* bytes() const { return data_; }
    std::int32_t usedSize() const { return usedSize_; }
    std::int32_t allocatedSize() const { return allocatedSize_; }
    std::int32_t granularity() const { return granularity_; }

    // The allocation a resize to newSize would make, under the growth policy.
    static std::int32_t allocationFor(std::int32_t newSize, std::int32_t granularity,
                                      std::int32_t minimumAllocation);

private:
    void* resizeAllocation(std::int32_t newSize, bool allowShrink);
    // Moves the content to a block of SIZE bytes; false when none could be had.
    bool reallocateTo(std::int32_t size, std::int32_t keptBytes);

    std::uint8_t* data_ = nullptr;
    std::int32_t granularity_;
    std::int32_t allocatedSize_ = 0;
    std::int32_t usedSize_ = 0;
    std::int32_t minimumAllocation_ = 0;
};

}  // namespace larkwire

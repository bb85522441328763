// A growable byte buffer with one growth policy: large page-rounded steps,
// no shrinking unless asked, and a failed growth leaves it untouched.
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

    std::uint8_t* data_ = nullptr;
    std::int32_t granularity_;
    std::int32_t allocatedSize_ = 0;
    std::int32_t usedSize_ = 0;
    std::int32_t minimumAllocation_ = 0;
};

}  // namespace larkwire

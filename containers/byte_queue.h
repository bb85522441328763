// A HeapBuffer used as an append-only byte queue with a read position.
#pragma once

#include <cstdint>
#include <cstring>

#include "containers/heap_buffer.h"

namespace larkwire {

class ByteQueue {
public:
    void clear() {
        buffer_.resize(0);
        readPosition_ = 0;
    }

    // A failed growth writes nothing and leaves the queue unchanged.
    bool append(const void* bytes, std::int32_t n) {
        if (n <= 0) return n == 0;
        const std::int32_t old = buffer_.usedSize();
        if (n > INT32_MAX - old) return false;
        buffer_.resize(old + n);
        if (buffer_.usedSize() != old + n || buffer_.bytes() == nullptr) return false;
        std::memcpy(buffer_.bytes() + old, bytes, size_t(n));
        return true;
    }

    const std::uint8_t* readPointer() const {
        if (buffer_.usedSize() > 0 && buffer_.bytes() != nullptr && readPosition_ >= 0 &&
            readPosition_ < buffer_.usedSize())
            return buffer_.bytes() + readPosition_;
        return nullptr;
    }
    std::int32_t available() const { return buffer_.usedSize() - readPosition_; }
    void release() { buffer_.release(); readPosition_ = 0; }

private:
    HeapBuffer buffer_{4096};
    std::int32_t readPosition_ = 0;
};

}  // namespace larkwire

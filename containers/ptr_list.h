// A list of non-owned pointers stored in a HeapBuffer; owners delete the
// elements themselves. Growth failure drops the add and keeps the list.
#pragma once

#include <cstdint>
#include <cstring>

#include "containers/heap_buffer.h"

namespace larkwire {

template <typename T>
class PtrList {
public:
    std::int32_t count() const {
        return buffer_.usedSize() / static_cast<std::int32_t>(sizeof(T*));
    }
    bool empty() const { return count() == 0; }

    T* get(std::int32_t i) const {
        if (buffer_.bytes() == nullptr || i < 0 || i >= count()) return nullptr;
        return slots()[i];
    }

    // Returns false when the list could not grow (p is then not added).
    bool add(T* p) {
        const std::int32_t n = count();
        buffer_.resize((n + 1) * static_cast<std::int32_t>(sizeof(T*)));
        if (count() <= n) return false;
        slots()[n] = p;
        return true;
    }

    void deleteAt(std::int32_t i) {
        const std::int32_t n = count();
        if (buffer_.bytes() == nullptr || i < 0 || i >= n) return;
        if (i < n - 1) std::memmove(slots() + i, slots() + i + 1, sizeof(T*) * size_t(n - 1 - i));
        buffer_.resize((n - 1) * static_cast<std::int32_t>(sizeof(T*)));
    }

    T* takeLast() {
        T* p = get(count() - 1);
        deleteAt(count() - 1);
        return p;
    }

    void clear() { buffer_.resize(0); }
    void release() { buffer_.release(); }

    const HeapBuffer& storage() const { return buffer_; }

private:
    T** slots() const { return reinterpret_cast<T**>(buffer_.bytes()); }
    HeapBuffer buffer_{4096};
};

}  // namespace larkwire

// The heap functions every container grows through. Tests replace them to
// inject allocation failures; the product never changes them.
#pragma once

#include <cstddef>

namespace larkwire {

struct HeapAllocator {
    void* (*allocate)(std::size_t size);
    void* (*reallocate)(void* block, std::size_t size);
    void (*release)(void* block);
};

// [any thread] read on every growth; swapped only by single-threaded tests.
HeapAllocator& heapAllocator();

}  // namespace larkwire

#include "containers/heap_allocator.h"

#include <cstdlib>

namespace larkwire {

HeapAllocator& heapAllocator() {
    static HeapAllocator allocator{&std::malloc, &std::realloc, &std::free};
    return allocator;
}

}  // namespace larkwire

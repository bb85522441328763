// The list of this computer's own IPv4 addresses, in network byte order.
// Datagrams from any of them are dropped, so streams go between computers.
#pragma once

#include <cstdint>

#include "containers/heap_buffer.h"

namespace larkwire {

class AddressList {
public:
    std::int32_t count() const { return buffer_.usedSize() / 4; }
    std::uint32_t get(std::int32_t i) const;
    bool contains(std::uint32_t addressNetworkOrder) const;
    bool add(std::uint32_t addressNetworkOrder);
    void clear() { buffer_.resize(0, true); }
    void release() { buffer_.release(); }

private:
    HeapBuffer buffer_{4096};
};

// [ui, at network start] Appends every non-zero address; the list is not
// cleared first. Leaves it unchanged when the table cannot be read.
void collectLocalAddresses(AddressList& list);

}  // namespace larkwire

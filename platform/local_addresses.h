// This computer's own IPv4 interface addresses.
#pragma once

#include <cstdint>

namespace larkwire::platform {

// Fills out with up to capacity addresses in network byte order, in the
// platform's table order (loopback included when it is up). Returns the count,
// or -1 when the table cannot be read.
int readLocalAddresses(std::uint32_t* out, int capacity);

}  // namespace larkwire::platform

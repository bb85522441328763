#include "net/local_addresses.h"

#include <cstring>

#include "platform/local_addresses.h"

namespace larkwire {

std::uint32_t AddressList::get(std::int32_t i) const {
    if (i < 0 || i >= count() || buffer_.bytes() == nullptr) return 0;
    std::uint32_t value;
    std::memcpy(&value, buffer_.bytes() + 4 * i, 4);
    return value;
}

bool AddressList::contains(std::uint32_t addressNetworkOrder) const {
    for (std::int32_t i = 0; i < count(); ++i)
        if (get(i) == addressNetworkOrder) return true;
    return false;
}

bool AddressList::add(std::uint32_t addressNetworkOrder) {
    const std::int32_t n = count();
    buffer_.resize((n + 1) * 4);
    if (count() <= n) return false;
    std::memcpy(buffer_.bytes() + 4 * n, &addressNetworkOrder, 4);
    return true;
}

void collectLocalAddresses(AddressList& list) {
    // 8192 bytes of 24-byte rows hold at most 341 addresses.
    std::uint32_t addresses[341];
    const int count = platform::readLocalAddresses(addresses, 341);
    for (int i = 0; i < count; ++i)
        if (addresses[i] != 0) list.add(addresses[i]);
}

}  // namespace larkwire

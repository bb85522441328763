#include "platform/local_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace larkwire::platform {

int readLocalAddresses(std::uint32_t* out, int capacity) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return -1;
    int count = 0;
    for (ifaddrs* entry = list; entry != nullptr && count < capacity; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0) continue;
        out[count++] = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
    }
    freeifaddrs(list);
    return count;
}

}  // namespace larkwire::platform

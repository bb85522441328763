#include "platform/local_addresses.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

// IP Helper is loaded by name so that the module does not import it.
namespace larkwire::platform {

namespace {
using GetIpAddrTableProc = DWORD(WINAPI*)(PMIB_IPADDRTABLE, PULONG, BOOL);
HMODULE ipHelper = nullptr;
GetIpAddrTableProc getIpAddrTable = nullptr;
}  // namespace

int readLocalAddresses(std::uint32_t* out, int capacity) {
    if (ipHelper == nullptr) {
        ipHelper = LoadLibraryA("iphlpapi.dll");
        if (ipHelper == nullptr) return -1;
    }
    if (getIpAddrTable == nullptr) {
        getIpAddrTable =
            reinterpret_cast<GetIpAddrTableProc>(
            reinterpret_cast<void*>(GetProcAddress(ipHelper, "GetIpAddrTable")));
        if (getIpAddrTable == nullptr) return -1;
    }
    alignas(8) unsigned char buffer[8192];
    ULONG size = sizeof buffer;
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer);
    if (getIpAddrTable(table, &size, TRUE) != 0) return -1;
    // The row count comes from the system but must still fit the buffer.
    const DWORD fits = (sizeof buffer - offsetof(MIB_IPADDRTABLE, table)) / sizeof(MIB_IPADDRROW);
    const DWORD rows = table->dwNumEntries < fits ? table->dwNumEntries : fits;
    int count = 0;
    for (DWORD i = 0; i < rows && count < capacity; ++i) out[count++] = table->table[i].dwAddr;
    return count;
}

}  // namespace larkwire::platform

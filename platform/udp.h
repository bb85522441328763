// IPv4 datagram sockets: Winsock on Windows, BSD sockets elsewhere. Results
// are plain codes so that callers never read errno or WSAGetLastError.
#pragma once

#include <cstdint>

namespace larkwire::platform {

using SocketHandle = std::uintptr_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

// The 16-byte IPv4 socket address as Winsock lays it out.
struct Ipv4SocketAddress {
    std::uint16_t family;            // 2 for IPv4
    std::uint16_t portNetworkOrder;
    std::uint32_t addressNetworkOrder;
    std::uint8_t zero[8];
};
static_assert(sizeof(Ipv4SocketAddress) == 16);

constexpr std::uint16_t kAddressFamilyIpv4 = 2;

// Once per process; returns 1 when start-up failed, 0 otherwise.
int startSockets();

SocketHandle openDatagramSocket();  // kInvalidSocket on failure
void setSocketBufferSizes(SocketHandle handle, int bytes);
// Sends and receives that would wait fail at once instead. 0 ok, 1 failed.
int setNonBlocking(SocketHandle handle);
int setBroadcast(SocketHandle handle, bool on);  // 0 ok, 1 failed
int bindSocket(SocketHandle handle, const Ipv4SocketAddress& address);  // 0 ok, 1 failed
int boundPort(SocketHandle handle);  // host order, 0 when unknown
void shutdownAndClose(SocketHandle handle);

// 0 sent, 1 failed.
int sendDatagram(SocketHandle handle, const void* data, int length,
                 const Ipv4SocketAddress& to);
// Raw result of sending a zero-length datagram: 0, or -1 on error.
int sendEmptyDatagram(SocketHandle handle, const Ipv4SocketAddress& to);
// 0 received (*length set, *from filled when not null), 1 failed.
int receiveDatagram(SocketHandle handle, void* buffer, int* length, bool peek,
                    Ipv4SocketAddress* from);

// One datagram of a batch receive: the caller's buffer in, what arrived out.
struct DatagramSlot {
    void* buffer;
    int capacity;  // bytes; a longer datagram is cut to it
    int length;
    Ipv4SocketAddress from;
};
// Takes up to COUNT waiting datagrams in arrival order, one per slot, without
// waiting; returns how many (0 when none was waiting or on error). One system
// call per batch where the system has one, else one per datagram.
int receiveDatagrams(SocketHandle handle, DatagramSlot* slots, int count);

// Waits until one of the handles is readable or the time-out passes. Sets
// ready[i] for each readable handle. Returns 0 on time-out or error, 1 when
// at least one handle is readable.
int waitReadable(const SocketHandle* handles, int count, int timeoutMilliseconds, bool* ready);

// inet_addr semantics: the address in network order, or 0xFFFFFFFF on failure.
std::uint32_t parseDottedAddress(const char* text);

std::uint16_t hostToNetwork16(std::uint16_t value);
std::uint16_t networkToHost16(std::uint16_t value);

}  // namespace larkwire::platform

#include "platform/udp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace larkwire::platform {

namespace {
sockaddr_in toNative(const Ipv4SocketAddress& address) {
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = address.portNetworkOrder;
    native.sin_addr.s_addr = address.addressNetworkOrder;
    return native;
}
SOCKET sock(SocketHandle handle) { return static_cast<SOCKET>(handle); }
bool started = false;
int startResult = 0;
}  // namespace

int startSockets() {
    if (started) return startResult;
    started = true;
    WSADATA data;
    startResult = WSAStartup(MAKEWORD(1, 1), &data) != 0 ? 1 : 0;
    return startResult;
}

SocketHandle openDatagramSocket() {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    // An ICMP port-unreachable from an earlier sendto must not fail the next recvfrom.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
             nullptr);
    return SocketHandle(s);
}

void setSocketBufferSizes(SocketHandle handle, int bytes) {
    ::setsockopt(sock(handle), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
    ::setsockopt(sock(handle), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
}

int setNonBlocking(SocketHandle handle) {
    u_long on = 1;
    return ::ioctlsocket(sock(handle), FIONBIO, &on) == 0 ? 0 : 1;
}

int setBroadcast(SocketHandle handle, bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(sock(handle), SOL_SOCKET, SO_BROADCAST,
                        reinterpret_cast<const char*>(&value), sizeof value) == 0
               ? 0
               : 1;
}

int bindSocket(SocketHandle handle, const Ipv4SocketAddress& address) {
    const sockaddr_in native = toNative(address);
    return ::bind(sock(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0
               ? 0
               : 1;
}

int boundPort(SocketHandle handle) {
    sockaddr_in native{};
    int length = sizeof native;
    if (::getsockname(sock(handle), reinterpret_cast<sockaddr*>(&native), &length) != 0) return 0;
    return ntohs(native.sin_port);
}

void shutdownAndClose(SocketHandle handle) {
    ::shutdown(sock(handle), SD_BOTH);
    ::closesocket(sock(handle));
}

int sendDatagram(SocketHandle handle, const void* data, int length, const Ipv4SocketAddress& to) {
    if (length < 0) return 1;
    const sockaddr_in native = toNative(to);
    const int sent = ::sendto(sock(handle), static_cast<const char*>(data), length, 0,
                              reinterpret_cast<const sockaddr*>(&native), sizeof native);
    return sent == SOCKET_ERROR ? 1 : 0;
}

int sendEmptyDatagram(SocketHandle handle, const Ipv4SocketAddress& to) {
    const sockaddr_in native = toNative(to);
    const int sent = ::sendto(sock(handle), "", 0, 0, reinterpret_cast<const sockaddr*>(&native),
                              sizeof native);
    return sent == SOCKET_ERROR ? -1 : 0;
}

int receiveDatagram(SocketHandle handle, void* buffer, int* length, bool peek,
                    Ipv4SocketAddress* from) {
    if (length == nullptr || *length < 0) return 1;
    sockaddr_in source{};
    int sourceLength = sizeof source;
    const int received = ::recvfrom(sock(handle), static_cast<char*>(buffer), *length,
                                    peek ? MSG_PEEK : 0, reinterpret_cast<sockaddr*>(&source),
                                    &sourceLength);
    if (received == SOCKET_ERROR) return 1;
    *length = received;
    if (from != nullptr) {
        std::memset(from, 0, sizeof *from);
        from->family = kAddressFamilyIpv4;
        from->portNetworkOrder = source.sin_port;
        from->addressNetworkOrder = source.sin_addr.s_addr;
    }
    return 0;
}

// Winsock has no batch receive: one recvfrom per datagram.
int receiveDatagrams(SocketHandle handle, DatagramSlot* slots, int count) {
    int total = 0;
    for (; total < count; ++total) {
        DatagramSlot& slot = slots[total];
        sockaddr_in source{};
        int sourceLength = sizeof source;
        int received = ::recvfrom(sock(handle), static_cast<char*>(slot.buffer),
                                  slot.capacity < 0 ? 0 : slot.capacity, 0,
                                  reinterpret_cast<sockaddr*>(&source), &sourceLength);
        // Winsock fails a datagram longer than the buffer; it still fills it.
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) received = slot.capacity;
        if (received == SOCKET_ERROR) break;
        slot.length = received;
        slot.from = Ipv4SocketAddress{kAddressFamilyIpv4, source.sin_port, source.sin_addr.s_addr, {}};
    }
    return total;
}

int waitReadable(const SocketHandle* handles, int count, int timeoutMilliseconds, bool* ready) {
    if (count > 64) count = 64;
    fd_set set;
    FD_ZERO(&set);
    for (int i = 0; i < count; ++i) FD_SET(sock(handles[i]), &set);
    if (count == 0) {
        // Winsock's select refuses empty sets; wait the time-out anyway.
        Sleep(DWORD(timeoutMilliseconds));
        return 0;
    }
    timeval timeout{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
    const int result = ::select(0, &set, nullptr, nullptr, &timeout);
    if (result <= 0) return 0;
    for (int i = 0; i < count; ++i) ready[i] = FD_ISSET(sock(handles[i]), &set) != 0;
    return 1;
}

std::uint32_t parseDottedAddress(const char* text) {
    if (text == nullptr) return 0xFFFFFFFFu;
    return ::inet_addr(text);
}

std::uint16_t hostToNetwork16(std::uint16_t value) { return htons(value); }
std::uint16_t networkToHost16(std::uint16_t value) { return ntohs(value); }

}  // namespace larkwire::platform

#include "platform/udp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace larkwire::platform {

namespace {
sockaddr_in toNative(const Ipv4SocketAddress& address) {
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_port = address.portNetworkOrder;
    native.sin_addr.s_addr = address.addressNetworkOrder;
    return native;
}
int fd(SocketHandle handle) { return static_cast<int>(handle); }
}  // namespace

int startSockets() { return 0; }

SocketHandle openDatagramSocket() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return s < 0 ? kInvalidSocket : SocketHandle(s);
}

void setSocketBufferSizes(SocketHandle handle, int bytes) {
    ::setsockopt(fd(handle), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    ::setsockopt(fd(handle), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int setNonBlocking(SocketHandle handle) {
    const int flags = ::fcntl(fd(handle), F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd(handle), F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : 1;
}

int setBroadcast(SocketHandle handle, bool on) {
    const int value = on ? 1 : 0;
    return ::setsockopt(fd(handle), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0 ? 0 : 1;
}

int bindSocket(SocketHandle handle, const Ipv4SocketAddress& address) {
    const sockaddr_in native = toNative(address);
    return ::bind(fd(handle), reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0 ? 0
                                                                                               : 1;
}

int boundPort(SocketHandle handle) {
    sockaddr_in native{};
    socklen_t length = sizeof native;
    if (::getsockname(fd(handle), reinterpret_cast<sockaddr*>(&native), &length) != 0) return 0;
    return ntohs(native.sin_port);
}

void shutdownAndClose(SocketHandle handle) {
    ::shutdown(fd(handle), SHUT_RDWR);
    ::close(fd(handle));
}

int sendDatagram(SocketHandle handle, const void* data, int length, const Ipv4SocketAddress& to) {
    if (length < 0) return 1;
    const sockaddr_in native = toNative(to);
    ssize_t sent;
    do {
        sent = ::sendto(fd(handle), data, size_t(length), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&native), sizeof native);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? 1 : 0;
}

int sendEmptyDatagram(SocketHandle handle, const Ipv4SocketAddress& to) {
    const sockaddr_in native = toNative(to);
    const ssize_t sent = ::sendto(fd(handle), "", 0, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&native), sizeof native);
    return sent < 0 ? -1 : 0;
}

int receiveDatagram(SocketHandle handle, void* buffer, int* length, bool peek,
                    Ipv4SocketAddress* from) {
    if (length == nullptr || *length < 0) return 1;
    sockaddr_in source{};
    socklen_t sourceLength = sizeof source;
    ssize_t received;
    do {
        received = ::recvfrom(fd(handle), buffer, size_t(*length), peek ? MSG_PEEK : 0,
                              reinterpret_cast<sockaddr*>(&source), &sourceLength);
    } while (received < 0 && errno == EINTR);
    if (received < 0) return 1;
    *length = static_cast<int>(received);
    if (from != nullptr) {
        std::memset(from, 0, sizeof *from);
        from->family = kAddressFamilyIpv4;
        from->portNetworkOrder = source.sin_port;
        from->addressNetworkOrder = source.sin_addr.s_addr;
    }
    return 0;
}

int receiveDatagrams(SocketHandle handle, DatagramSlot* slots, int count) {
    int total = 0;
#if defined(__linux__)
    // recvmmsg: a flood of small datagrams costs one system call per batch.
    constexpr int kChunk = 64;
    while (total < count) {
        const int n = count - total < kChunk ? count - total : kChunk;
        mmsghdr messages[kChunk];
        iovec pieces[kChunk];
        sockaddr_in sources[kChunk];
        for (int i = 0; i < n; ++i) {
            DatagramSlot& slot = slots[total + i];
            pieces[i] = iovec{slot.buffer, size_t(slot.capacity < 0 ? 0 : slot.capacity)};
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &sources[i];
            messages[i].msg_hdr.msg_namelen = sizeof sources[i];
            messages[i].msg_hdr.msg_iov = &pieces[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        int got;
        do {
            got = ::recvmmsg(fd(handle), messages, unsigned(n), MSG_DONTWAIT, nullptr);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) break;
        for (int i = 0; i < got; ++i) {
            DatagramSlot& slot = slots[total + i];
            slot.length = int(messages[i].msg_len);
            slot.from = Ipv4SocketAddress{kAddressFamilyIpv4, sources[i].sin_port,
                                          sources[i].sin_addr.s_addr, {}};
        }
        total += got;
        if (got < n) break;
    }
#else
    for (; total < count; ++total) {
        DatagramSlot& slot = slots[total];
        slot.length = slot.capacity;
        if (receiveDatagram(handle, slot.buffer, &slot.length, false, &slot.from) != 0) break;
    }
#endif
    return total;
}

// poll, not select: a DAW may hold more descriptors than an fd_set can name.
int waitReadable(const SocketHandle* handles, int count, int timeoutMilliseconds, bool* ready) {
    pollfd fds[64];
    if (count > 64) count = 64;
    for (int i = 0; i < count; ++i) fds[i] = pollfd{fd(handles[i]), POLLIN, 0};
    const int result = ::poll(fds, nfds_t(count), timeoutMilliseconds);
    if (result <= 0) return 0;
    for (int i = 0; i < count; ++i)
        ready[i] = (fds[i].revents & (POLLIN | POLLERR)) != 0;
    return 1;
}

std::uint32_t parseDottedAddress(const char* text) {
    if (text == nullptr) return 0xFFFFFFFFu;
    return ::inet_addr(text);
}

std::uint16_t hostToNetwork16(std::uint16_t value) { return htons(value); }
std::uint16_t networkToHost16(std::uint16_t value) { return ntohs(value); }

}  // namespace larkwire::platform

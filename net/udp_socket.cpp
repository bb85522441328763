#include "net/udp_socket.h"

#include <cstdio>
#include <cstring>

#include "containers/never_destroyed.h"
#include "containers/ptr_list.h"

namespace larkwire {

namespace {

struct SocketBookkeeping {
    PtrList<UdpSocket> registry;
    platform::SocketHandle watched[UdpSocket::kMaxWatched] = {};
    int watchedCount = 0;
    HeapBuffer handleList{4096};
    platform::SocketHandle maxHandle = 0;
    bool started = false;
};

SocketBookkeeping& bookkeeping() {
    static NeverDestroyed<SocketBookkeeping> state;
    return state.get();
}

platform::SocketHandle* handles(SocketBookkeeping& s) {
    return reinterpret_cast<platform::SocketHandle*>(s.handleList.bytes());
}
int handleCount(SocketBookkeeping& s) {
    return s.handleList.usedSize() / int(sizeof(platform::SocketHandle));
}

void forget(platform::SocketHandle handle) {
    SocketBookkeeping& s = bookkeeping();
    for (int i = 0; i < s.watchedCount; ++i) {
        if (s.watched[i] != handle) continue;
        std::memmove(s.watched + i, s.watched + i + 1,
                     sizeof(platform::SocketHandle) * size_t(s.watchedCount - i - 1));
        --s.watchedCount;
        break;
    }
    const int n = handleCount(s);
    for (int i = 0; i < n; ++i) {
        if (handles(s)[i] != handle) continue;
        std::memmove(handles(s) + i, handles(s) + i + 1,
                     sizeof(platform::SocketHandle) * size_t(n - i - 1));
        s.handleList.resize((n - 1) * int(sizeof(platform::SocketHandle)));
        break;
    }
    s.maxHandle = 0;
    for (int i = 0; i < handleCount(s); ++i)
        if (handles(s)[i] > s.maxHandle) s.maxHandle = handles(s)[i];
}

platform::Ipv4SocketAddress ipv4(std::uint32_t addressNetworkOrder, std::int32_t port) {
    platform::Ipv4SocketAddress address{};
    address.family = platform::kAddressFamilyIpv4;
    address.portNetworkOrder = platform::hostToNetwork16(std::uint16_t(port & 0xFFFF));
    address.addressNetworkOrder = addressNetworkOrder;
    return address;
}

}  // namespace

UdpSocket::UdpSocket() {
    SocketBookkeeping& s = bookkeeping();
    s.registry.add(this);
    if (s.maxHandle == 0 && handleCount(s) == 0) s.watchedCount = 0;
}

UdpSocket::~UdpSocket() {
    if (hasHandle_) {
        platform::shutdownAndClose(handle_);
        forget(handle_);
    }
    SocketBookkeeping& s = bookkeeping();
    for (int i = 0; i < s.registry.count(); ++i) {
        if (s.registry.get(i) == this) {
            s.registry.deleteAt(i);
            break;
        }
    }
}

int UdpSocket::shareHandle(const UdpSocket& other) {
    port_ = other.port_;
    handle_ = other.handle_;
    hasHandle_ = other.hasHandle_;
    return 0;
}

int UdpSocket::open(std::int32_t port) {
    port_ = port;
    const platform::Ipv4SocketAddress bindAddress = ipv4(0, port);
    const platform::SocketHandle handle = platform::openDatagramSocket();
    if (handle == platform::kInvalidSocket) {
        std::printf("ick. socket() returned -1!\n");
        std::fflush(stdout);
        return 1;
    }
    handle_ = handle;
    hasHandle_ = true;
    // The audio thread sends on this socket: a full send buffer must fail the
    // send, never hold the processing call.
    platform::setNonBlocking(handle);
    platform::setSocketBufferSizes(handle, kBufferBytes);
    if (platform::bindSocket(handle, bindAddress) != 0) return 1;

    SocketBookkeeping& s = bookkeeping();
    if (s.watchedCount < kMaxWatched) s.watched[s.watchedCount++] = handle;
    if (handle > s.maxHandle) s.maxHandle = handle;
    const int n = handleCount(s);
    s.handleList.resize((n + 1) * int(sizeof(platform::SocketHandle)));
    if (handleCount(s) > n) handles(s)[n] = handle;
    if (port_ == 0) port_ = platform::boundPort(handle);
    return 0;
}

int UdpSocket::setDestination(const platform::Ipv4SocketAddress& address) {
    remoteAddress_ = address;
    return 0;
}

int UdpSocket::setDestinationAddress(const char* text, std::int32_t port) {
    remoteAddress_ = ipv4(0, port);
    if ((port & 0xFFFF) == 0) return 1;
    const std::uint32_t address = platform::parseDottedAddress(text);
    remoteAddress_.addressNetworkOrder = address;
    return address == 0xFFFFFFFFu ? 1 : 0;
}

int UdpSocket::setDestinationPort(std::int32_t port) {
    remoteAddress_.portNetworkOrder = platform::hostToNetwork16(std::uint16_t(port & 0xFFFF));
    return (port & 0xFFFF) == 0 ? 1 : 0;
}

int UdpSocket::send(const void* data, std::int32_t length) {
    if (!hasHandle_) return 1;
    return platform::sendDatagram(handle_, data, length, remoteAddress_);
}

int UdpSocket::receive(void* buffer, std::int32_t* length, int peek,
                       platform::Ipv4SocketAddress* source) {
    readable_ = 0;
    if (!hasHandle_ || length == nullptr) return 1;
    int received = *length;
    platform::Ipv4SocketAddress from{};
    if (platform::receiveDatagram(handle_, buffer, &received, (peek & 0xFF) != 0, &from) != 0)
        return 1;
    *length = received;
    if (source != nullptr) *source = from;
    return 0;
}

std::int32_t UdpSocket::receiveMany(platform::DatagramSlot* slots, std::int32_t count) {
    readable_ = 0;
    if (!hasHandle_ || slots == nullptr || count <= 0) return 0;
    return platform::receiveDatagrams(handle_, slots, count);
}

int UdpSocket::sendEmpty() {
    if (!hasHandle_) return -1;
    return platform::sendEmptyDatagram(handle_, remoteAddress_);
}

int UdpSocket::waitForReadable(std::int32_t seconds, std::int32_t milliseconds) {
    SocketBookkeeping& s = bookkeeping();
    platform::SocketHandle scratch[kMaxWatched];
    bool ready[kMaxWatched] = {};
    const int count = s.watchedCount;
    std::memcpy(scratch, s.watched, sizeof(platform::SocketHandle) * size_t(count));
    const int timeout = seconds * 1000 + milliseconds;
    if (platform::waitReadable(scratch, count, timeout, ready) == 0) return 0;
    for (int i = 0; i < s.registry.count(); ++i) {
        UdpSocket* socket = s.registry.get(i);
        for (int k = 0; k < count; ++k)
            if (ready[k] && socket->hasHandle_ && socket->handle_ == scratch[k])
                socket->readable_ = 1;
    }
    return 1;
}

int UdpSocket::ensureSocketsStarted() {
    SocketBookkeeping& s = bookkeeping();
    if (s.started) return 1;
    s.started = true;
    return platform::startSockets();
}

int UdpSocket::watchedCount() { return bookkeeping().watchedCount; }

void UdpSocket::releaseBookkeeping() {
    SocketBookkeeping& s = bookkeeping();
    if (!s.registry.empty()) return;
    s.registry.release();
    s.handleList.release();
}

}  // namespace larkwire

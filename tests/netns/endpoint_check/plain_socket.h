// A bare datagram socket for the checker's own traffic. It bypasses UdpSocket
// on purpose: sockets of that class join the set the network thread waits
// on, and the checker must leave the endpoint exactly as the product runs it.
#pragma once

#include <cstdint>

#include "platform/udp.h"

namespace larkwire::endpoint_check {

inline std::uint32_t loopbackAddress() { return platform::parseDottedAddress("127.0.0.1"); }

// [main] Everything here runs on the checker's main thread.
class PlainSocket {
public:
    // Port 0 binds an ephemeral port. Check ok() before use.
    explicit PlainSocket(std::uint16_t port) {
        handle_ = platform::openDatagramSocket();
        if (handle_ == platform::kInvalidSocket) return;
        platform::Ipv4SocketAddress any{};
        any.family = platform::kAddressFamilyIpv4;
        any.portNetworkOrder = platform::hostToNetwork16(port);
        bound_ = platform::bindSocket(handle_, any) == 0;
        platform::setBroadcast(handle_, true);
    }
    ~PlainSocket() {
        if (handle_ != platform::kInvalidSocket) platform::shutdownAndClose(handle_);
    }
    PlainSocket(const PlainSocket&) = delete;
    PlainSocket& operator=(const PlainSocket&) = delete;

    bool ok() const { return handle_ != platform::kInvalidSocket && bound_; }
    std::uint16_t port() const { return std::uint16_t(platform::boundPort(handle_)); }

    bool sendTo(std::uint32_t addressNetworkOrder, std::uint16_t port, const void* data,
                int length) const {
        platform::Ipv4SocketAddress to{};
        to.family = platform::kAddressFamilyIpv4;
        to.portNetworkOrder = platform::hostToNetwork16(port);
        to.addressNetworkOrder = addressNetworkOrder;
        return platform::sendDatagram(handle_, data, length, to) == 0;
    }

    // The datagram's length, or -1 when none came within the time-out.
    int receive(void* buffer, int capacity, int timeoutMilliseconds,
                platform::Ipv4SocketAddress* from) const {
        bool ready = false;
        if (platform::waitReadable(&handle_, 1, timeoutMilliseconds, &ready) == 0 || !ready)
            return -1;
        int length = capacity;
        if (platform::receiveDatagram(handle_, buffer, &length, false, from) != 0) return -1;
        return length;
    }

private:
    platform::SocketHandle handle_ = platform::kInvalidSocket;
    bool bound_ = false;
};

}  // namespace larkwire::endpoint_check

// An IPv4 datagram socket with one remembered destination, plus process-wide
// bookkeeping of every bound socket so one call can wait on all of them.
// Operations return 0 for success and 1 for failure and never throw. The
// socket never waits: a send or receive that would block fails instead.
// No lock of its own: the network endpoint serialises every use.
#pragma once

#include <cstdint>

#include "platform/udp.h"

namespace larkwire {

class UdpSocket {
public:
    static constexpr int kMaxWatched = 64;
    static constexpr int kBufferBytes = 4 * 1024 * 1024;

    UdpSocket();
    virtual ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    virtual int shareHandle(const UdpSocket& other);
    virtual int open(std::int32_t port);
    virtual std::int32_t getPort() const { return port_; }
    virtual int setDestination(const platform::Ipv4SocketAddress& address);
    virtual int setDestinationAddress(const char* text, std::int32_t port);
    virtual int setDestinationPort(std::int32_t port);
    virtual int send(const void* data, std::int32_t length);
    virtual int receive(void* buffer, std::int32_t* length, int peek,
                        platform::Ipv4SocketAddress* source);
    // Up to COUNT waiting datagrams, one per slot; returns how many.
    virtual std::int32_t receiveMany(platform::DatagramSlot* slots, std::int32_t count);
    virtual std::int32_t isReadable() const { return readable_; }
    virtual int sendEmpty();

    // [network thread] Waits on every bound socket; marks the readable ones.
    // Returns 0 on time-out, 1 otherwise.
    static int waitForReadable(std::int32_t seconds, std::int32_t milliseconds);
    // Returns 1 when the one-time sockets start-up failed, else 0.
    static int ensureSocketsStarted();

    static int watchedCount();
    // [module unload] Frees the registry's storage when no socket is left.
    static void releaseBookkeeping();
    bool hasHandle() const { return hasHandle_; }
    platform::SocketHandle handle() const { return handle_; }
    const platform::Ipv4SocketAddress& remoteAddress() const { return remoteAddress_; }

private:
    std::int32_t port_ = 0;
    platform::SocketHandle handle_ = platform::kInvalidSocket;
    bool hasHandle_ = false;
    std::int32_t readable_ = 0;
    platform::Ipv4SocketAddress remoteAddress_{};
};

}  // namespace larkwire

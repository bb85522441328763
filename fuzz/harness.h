// Helpers the fuzz targets share: reading an input piece by piece, the
// network kept up for the whole run, and poisoning the unused tail of queued
// records so that a read past a datagram's length is caught, not hidden by
// the page-rounded allocation behind it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/network_endpoint.h"
#include "platform/udp.h"

namespace larkwire::fuzz {

#define LARKWIRE_FUZZ_CHECK(condition)                                              \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,   \
                         #condition);                                               \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}
    bool empty() const { return left_ == 0; }
    std::size_t left() const { return left_; }
    std::uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }
    std::uint16_t u16() { return std::uint16_t(byte() | byte() << 8); }
    std::uint32_t u32() { return std::uint32_t(u16()) | std::uint32_t(u16()) << 16; }
    // Up to n bytes, fewer when the input ends.
    std::vector<std::uint8_t> take(std::size_t n) {
        if (n > left_) n = left_;
        std::vector<std::uint8_t> out(data_, data_ + n);
        data_ += n;
        left_ -= n;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// A source that is never one of this computer's addresses.
inline platform::Ipv4SocketAddress foreignSource() {
    platform::Ipv4SocketAddress source{};
    source.family = platform::kAddressFamilyIpv4;
    source.addressNetworkOrder = 0x0B0AE70A;  // 10.231.10.11, a test subnet
    return source;
}

// Starts the network once for the process and keeps it up.
void keepNetworkUp();

// [packetListLock free] Marks the bytes behind every queued record's used
// length as unreadable; unmarkAll() undoes it before records are reused.
void markQueuedTails();
void unmarkAll();

// Queues bytes as the network thread would, copied into an exact block first.
void queueExact(const std::vector<std::uint8_t>& bytes);

// Empties the queue; its records go to the spare list.
void drainQueue();

}  // namespace larkwire::fuzz

// Network-thread ingest, run by bench/ingest.sh inside network namespaces.
//   larkwire_ingest send ADDRESS RATE SECONDS  paced 1247-byte audio datagrams
//   larkwire_ingest endpoint SECONDS           the plug-in's endpoint, drained by
//                                              a receiving instance in real time
//   larkwire_ingest plain SECONDS              a bare select + recvfrom loop on a
//                                              socket set up like the endpoint's
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "net/udp_socket.h"
#include "platform/udp.h"

using namespace larkwire;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kIdentifier = "ingest";

double cpuSeconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

// CPU seconds of every thread but the calling one: the endpoint's network
// thread, measured where wall-clock rates scatter with the machine's load.
double otherThreadsCpuSeconds() {
    rusage all{}, self{};
    getrusage(RUSAGE_SELF, &all);
    getrusage(RUSAGE_THREAD, &self);
    return cpuSeconds(all.ru_utime) + cpuSeconds(all.ru_stime) - cpuSeconds(self.ru_utime) -
           cpuSeconds(self.ru_stime);
}

double processCpuSeconds() {
    rusage all{};
    getrusage(RUSAGE_SELF, &all);
    return cpuSeconds(all.ru_utime) + cpuSeconds(all.ru_stime);
}

int send(const char* address, double rate, double seconds) {
    platform::startSockets();
    const platform::SocketHandle handle = platform::openDatagramSocket();
    platform::setSocketBufferSizes(handle, UdpSocket::kBufferBytes);
    platform::Ipv4SocketAddress to{};
    to.family = platform::kAddressFamilyIpv4;
    to.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
    to.addressNetworkOrder = platform::parseDottedAddress(address);
    // Two channels of 150 frames: 47 + 1200 bytes.
    const bench::StreamFeed feed(kIdentifier, 2, 48000, 150, false);
    const std::vector<std::uint8_t>& datagram = feed.datagrams.at(0);
    if (datagram.size() != 1247) return 1;

    const long total = long(rate * seconds);
    long sent = 0, failed = 0;
    const auto start = Clock::now();
    // Paced in 1 ms slices: send what the rate owes by now, then sleep.
    while (sent + failed < total) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        long due = long(elapsed * rate) + 1;
        if (due > total) due = total;
        while (sent + failed < due) {
            if (platform::sendDatagram(handle, datagram.data(), int(datagram.size()), to) == 0) ++sent;
            else ++failed;
        }
        if (elapsed > seconds * 3) break;  // bounded even when the sender cannot keep up
        std::this_thread::sleep_until(start + std::chrono::microseconds(
                                                  long(1e6 * double(sent + failed + 1) / rate)));
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sent %ld failed %ld seconds %.3f rate %.0f\n", sent, failed, took, sent / took);
    platform::shutdownAndClose(handle);
    return 0;
}

// The endpoint as the plug-in runs it, drained by a 2-channel receiving
// instance at the real-time cadence of 512-frame blocks at 48 kHz.
int endpoint(double seconds) {
    bench::InstancePtr instance = bench::makeInstance(2, 48000.0f, kIdentifier);
    if (!network::threadRunning()) {
        std::printf("the stream port is taken\n");
        return 1;
    }
    bench::HostBuffers host(2, 512);
    std::printf("ready\n");
    std::fflush(stdout);
    const auto period = std::chrono::microseconds(10667);
    const auto start = Clock::now();
    long blocks = 0, played = 0;
    for (auto next = start; Clock::now() - start < std::chrono::duration<double>(seconds);) {
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), 512);
        ++blocks;
        played += instance->prebufferBlocks == 0;
        next += period;
        std::this_thread::sleep_until(next);
    }
    std::int32_t left;
    {
        platform::LockGuard guard(*network::packetListLock.load());
        left = network::receivedPackets().count();
    }
    std::printf("blocks %ld played %ld left_queued %d network_cpu_s %.3f\n", blocks, played, left,
                otherThreadsCpuSeconds());
    return 0;
}

int plain(double seconds) {
    platform::startSockets();
    const platform::SocketHandle handle = platform::openDatagramSocket();
    platform::setSocketBufferSizes(handle, UdpSocket::kBufferBytes);
    platform::Ipv4SocketAddress any{};
    any.family = platform::kAddressFamilyIpv4;
    any.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
    if (platform::bindSocket(handle, any) != 0) {
        std::printf("the stream port is taken\n");
        return 1;
    }
    platform::setBroadcast(handle, true);
    std::printf("ready\n");
    std::fflush(stdout);
    static std::uint8_t buffer[65536];
    long received = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        bool ready = false;
        if (platform::waitReadable(&handle, 1, 100, &ready) == 0 || !ready) continue;
        int length = wire::kMaxDatagram;
        platform::Ipv4SocketAddress from{};
        if (platform::receiveDatagram(handle, buffer, &length, false, &from) == 0) ++received;
    }
    std::printf("received %ld cpu_s %.3f\n", received, processCpuSeconds());
    platform::shutdownAndClose(handle);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "send") == 0)
        return send(argv[2], std::atof(argv[3]), std::atof(argv[4]));
    if (argc == 3 && std::strcmp(argv[1], "endpoint") == 0) return endpoint(std::atof(argv[2]));
    if (argc == 3 && std::strcmp(argv[1], "plain") == 0) return plain(std::atof(argv[2]));
    std::fprintf(stderr, "usage: larkwire_ingest send ADDRESS RATE SECONDS | endpoint SECONDS | plain SECONDS\n");
    return 2;
}

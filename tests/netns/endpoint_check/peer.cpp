// The plain-socket sides: the sender on the other computer and the process
// that holds the stream port on the receiver's computer.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "net/udp_socket.h"
#include "tests/netns/endpoint_check/datagrams.h"
#include "tests/netns/endpoint_check/plain_socket.h"
#include "tests/netns/endpoint_check/roles.h"

namespace larkwire::endpoint_check {

namespace {

constexpr const char* kEchoPrefix = "echo:";

struct Received {
    std::vector<std::uint8_t> bytes;
    platform::Ipv4SocketAddress from{};
};

// [main] False after idleSeconds without a datagram.
bool receiveNext(const PlainSocket& socket, int idleSeconds, Received& out) {
    static std::vector<std::uint8_t> buffer(65536);
    const int length = socket.receive(buffer.data(), int(buffer.size()), idleSeconds * 1000, &out.from);
    if (length < 0) return false;
    out.bytes.assign(buffer.begin(), buffer.begin() + length);
    return true;
}

// [main] The identifier text of a stream datagram, or "" for anything else.
std::string streamOf(const std::vector<std::uint8_t>& bytes) {
    if (!wire::hasStreamMagic(bytes.data(), std::int32_t(bytes.size())) ||
        bytes.size() < size_t(wire::kHeaderBytes))
        return "";
    const char* id = reinterpret_cast<const char*>(bytes.data() + wire::kIdentifierOffset);
    return std::string(id, std::find(id, id + wire::kIdentifierBytes, '\0'));
}

void send(const PlainSocket& socket, std::uint32_t address, std::uint16_t port,
          const std::vector<std::uint8_t>& bytes) {
    if (!socket.sendTo(address, port, bytes.data(), int(bytes.size())))
        std::printf("sender: a send to %s failed\n", dotted(address).c_str());
}

void sendCrafted(const PlainSocket& socket, std::uint32_t to) {
    for (const Crafted& c : craftedBatch()) send(socket, to, wire::kStreamPort, c.bytes);
    send(socket, to, wire::kStreamPort, marker("batch"));
}

void sendFloodChunk(const PlainSocket& socket, std::uint32_t to, const std::string& tag) {
    const auto datagram = streamDatagram("unclaimed");
    for (int i = 0; i < kFloodChunk; ++i) send(socket, to, wire::kStreamPort, datagram);
    send(socket, to, wire::kStreamPort, marker(tag));
}

}  // namespace

int runSender(int idleSeconds) {
    UdpSocket::ensureSocketsStarted();
    PlainSocket socket(wire::kStreamPort);
    if (!socket.ok()) {
        std::printf("FAIL: sender: cannot bind port %d\n", wire::kStreamPort);
        return 1;
    }
    std::printf("sender: listening on port %d\n", wire::kStreamPort);
    std::fflush(stdout);
    std::map<std::string, int> streams;
    Received in;
    while (receiveNext(socket, idleSeconds, in)) {
        const std::uint32_t from = in.from.addressNetworkOrder;
        const std::string text = command(in.bytes);
        const std::string stream = streamOf(in.bytes);
        if (!stream.empty()) {
            if (streams[stream]++ == 0)
                std::printf("sender: stream \"%s\" arrives from %s\n", stream.c_str(),
                            dotted(from).c_str());
            // Answered at the stream port, wherever the datagram came from.
            if (stream.rfind(kEchoPrefix, 0) == 0) send(socket, from, wire::kStreamPort, marker(stream));
        } else if (text == "batch") {
            sendCrafted(socket, from);
        } else if (text.rfind("flood:", 0) == 0) {
            sendFloodChunk(socket, from, text);
        } else if (text.rfind("ping:", 0) == 0) {
            send(socket, from, wire::kStreamPort, marker(text.substr(5)));
        } else if (text.rfind("done:", 0) == 0) {
            const std::string expected = text.substr(5);
            const int count = streams[expected];
            std::printf("%s: sender: %d datagram(s) of stream \"%s\" arrived\n",
                        count > 0 ? "ok  " : "FAIL", count, expected.c_str());
            return count > 0 ? 0 : 1;
        }
        std::fflush(stdout);
    }
    std::printf("FAIL: sender: nothing for %d s, the receiver never said done\n", idleSeconds);
    return 1;
}

int runHolder(int idleSeconds) {
    UdpSocket::ensureSocketsStarted();
    PlainSocket socket(wire::kStreamPort);
    if (!socket.ok()) {
        std::printf("FAIL: holder: cannot bind port %d\n", wire::kStreamPort);
        return 1;
    }
    std::printf("holder: holding port %d\n", wire::kStreamPort);
    std::fflush(stdout);
    platform::Ipv4SocketAddress reporter{};
    Received in;
    int streamDatagrams = 0;
    while (receiveNext(socket, idleSeconds, in)) {
        const std::string text = command(in.bytes);
        const std::string stream = streamOf(in.bytes);
        const std::uint16_t reporterPort = platform::networkToHost16(reporter.portNetworkOrder);
        if (!stream.empty()) {
            ++streamDatagrams;
            const std::string seen = "seen:" + stream;
            if (reporterPort != 0)
                socket.sendTo(reporter.addressNetworkOrder, reporterPort, seen.data(), int(seen.size()));
        } else if (text == "hello") {
            reporter = in.from;
            socket.sendTo(reporter.addressNetworkOrder,
                          platform::networkToHost16(reporter.portNetworkOrder), "ready", 5);
        } else if (text == "release") {
            std::printf("holder: %d stream datagram(s) reached the port\n", streamDatagrams);
            return 0;
        }
    }
    std::printf("FAIL: holder: nothing for %d s, never released\n", idleSeconds);
    return 1;
}

}  // namespace larkwire::endpoint_check

// Another process holds the stream port on this computer: the endpoint
// cannot bind, yet the instance sends, and the network stops cleanly.
#include <cstdio>
#include <string>

#include "editor/recent_destinations.h"
#include "net/udp_socket.h"
#include "platform/clock.h"
#include "stream/packet_format.h"
#include "tests/netns/endpoint_check/datagrams.h"
#include "tests/netns/endpoint_check/endpoint_view.h"
#include "tests/netns/endpoint_check/plain_socket.h"
#include "tests/netns/endpoint_check/report.h"
#include "tests/netns/endpoint_check/roles.h"

namespace larkwire::endpoint_check {

namespace {

void tell(const PlainSocket& socket, std::uint32_t to, const std::string& what) {
    const std::string text = kCommandPrefix + what;
    socket.sendTo(to, wire::kStreamPort, text.data(), int(text.size()));
}

// [main] The next text that reaches the socket within the time-out, or "".
std::string nextText(const PlainSocket& socket, int waitSeconds) {
    char buffer[256];
    const int length = socket.receive(buffer, sizeof buffer, waitSeconds * 1000, nullptr);
    return length < 0 ? "" : std::string(buffer, size_t(length));
}

// [main] Whether EXPECTED reaches the socket before a time-out, reading past other texts.
bool awaitText(const PlainSocket& socket, const std::string& expected, int waitSeconds) {
    for (std::string text = nextText(socket, waitSeconds); !text.empty();
         text = nextText(socket, waitSeconds))
        if (text == expected) return true;
    return false;
}

}  // namespace

int runHeldPort(const char* peerAddress, int waitSeconds) {
    Report report;
    UdpSocket::ensureSocketsStarted();
    const std::uint32_t peer = platform::parseDottedAddress(peerAddress);
    PlainSocket control(0);
    if (!report.check(control.ok(), "a control socket")) return 1;
    tell(control, loopbackAddress(), "hello");
    if (!report.check(nextText(control, waitSeconds) == "ready", "another process holds port %d here",
                      wire::kStreamPort))
        return 1;

    Instance sender = startedInstance("echo:held", 1, peerAddress);
    report.check(!network::threadRunning(), "the endpoint could not bind, so no thread runs");
    report.check(network::sharedSocket.load() != nullptr && network::packetListLock.load() != nullptr,
                 "the shared socket and the locks are there for sending");
    for (int block = 0; block < 4; ++block) runBlock(*sender);
    report.check(sender->sendBackoff == 0, "four blocks sent to %s without a failure", peerAddress);
    // The peer answers each block at this computer's stream port, which
    // belongs to the holder: it tells us, and nothing may reach our queue.
    report.check(nextText(control, waitSeconds) == "seen:" + markerIdentifier("echo:held"),
                 "the peer got the stream, and its answer to port %d reached the holder", wire::kStreamPort);
    report.check(queuedRecords().empty(), "the endpoint queued nothing");

    // Broadcast needs no port of our own either.
    Instance broadcaster = startedInstance("echo:held-broadcast", 1, kBroadcastEntry);
    for (int block = 0; block < 4; ++block) runBlock(*broadcaster);
    report.check(broadcaster->sendBackoff == 0, "four blocks broadcast without a failure");
    report.check(awaitText(control, "seen:" + markerIdentifier("echo:held-broadcast"), waitSeconds),
                 "the peer got the broadcast stream");
    broadcaster.reset();

    sender.reset();
    report.check(network::sharedSocket.load() == nullptr && network::packetListLock.load() == nullptr &&
                     network::startedInstanceCount() == 0,
                 "closing the instance stops the network cleanly");
    tell(control, loopbackAddress(), "release");
    tell(control, peer, "done:echo:held");
    std::printf("%d check(s) failed\n", report.failures());
    return report.exitCode();
}

}  // namespace larkwire::endpoint_check

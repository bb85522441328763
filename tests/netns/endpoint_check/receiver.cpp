// The receiving computer: the endpoint started as the product starts it,
// checked through its real thread against datagrams from the other side.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

struct Peer {
    const PlainSocket& control;
    std::uint32_t address;
    void tell(const std::string& what) const {
        const std::string text = kCommandPrefix + what;
        control.sendTo(address, wire::kStreamPort, text.data(), int(text.size()));
    }
};

// The queue must hold exactly what the rules keep of the batch, in order,
// byte for byte as it was sent, and then the marker.
void checkCraftedBatch(Report& report) {
    const std::vector<QueuedRecord> queued = queuedRecords();
    std::vector<const Crafted*> kept;
    const std::vector<Crafted> batch = craftedBatch();
    for (const Crafted& c : batch)
        if (c.stored >= 0) kept.push_back(&c);
    report.check(queued.size() == kept.size() + 1, "%d records queued of %d crafted datagrams (%d kept by the rules, and the marker)",
                 int(queued.size()), int(batch.size()), int(kept.size()));
    for (size_t i = 0; i < kept.size() && i < queued.size(); ++i) {
        const Crafted& c = *kept[i];
        const std::vector<std::uint8_t>& got = queued[i].bytes;
        const bool sameBytes = got.size() <= c.bytes.size() &&
                               std::memcmp(got.data(), c.bytes.data(), got.size()) == 0;
        report.check(int(got.size()) == c.stored && sameBytes, "%s: stored %d bytes%s (want %d)",
                     c.what, int(got.size()), sameBytes ? "" : " that differ from those sent", c.stored);
    }
    if (!queued.empty())
        report.check(hasIdentifier(queued.back().bytes.data(), std::int32_t(queued.back().bytes.size()),
                                   markerIdentifier("batch")),
                     "the marker comes last");
}

// Leaves a second counted instance (the broadcaster) and an uncounted one.
void checkOwnAddresses(Report& report, const Peer& peer, std::uint32_t own, int waitSeconds,
                       Instance& broadcaster, Instance& uncounted) {
    // A broadcast from the shared socket to a port of our own proves that
    // broadcasts come back to this computer, so the drop below is no accident.
    PlainSocket probe(0);
    report.check(probe.ok(), "a probe socket on port %d", probe.port());
    {
        platform::LockGuard guard(*network::socketLock.load());
        platform::Ipv4SocketAddress broadcast{};
        broadcast.family = platform::kAddressFamilyIpv4;
        broadcast.portNetworkOrder = platform::hostToNetwork16(probe.port());
        broadcast.addressNetworkOrder = 0xFFFFFFFFu;
        UdpSocket* socket = network::sharedSocket.load();
        socket->setDestination(broadcast);
        socket->send("probe", 5);
    }
    char buffer[16];
    platform::Ipv4SocketAddress from{};
    const int length = probe.receive(buffer, sizeof buffer, waitSeconds * 1000, &from);
    report.check(length == 5 && network::localAddresses().contains(from.addressNetworkOrder),
                 "a broadcast from the shared socket comes back here, from %s, one of our addresses",
                 length < 0 ? "nowhere" : dotted(from.addressNetworkOrder).c_str());

    // The product's own send path: an instance sending to broadcast.
    broadcaster = startedInstance("echo:own-broadcast", 1, "*");
    uncounted = uncountedInstance();
    report.check(network::startedInstanceCount() == 2, "a second started instance is counted, an uncounted one not (%d)",
                 network::startedInstanceCount());
    runBlock(*broadcaster);
    report.check(broadcaster->sendBackoff == 0, "the broadcast block was sent");
    // The other side answers only once it has the broadcast; by then the copy
    // that came back here was read before the answer.
    report.check(waitForMarker("echo:own-broadcast", waitSeconds),
                 "the other computer received the broadcast and answered");
    report.check(queuedWithIdentifier("echo:own-broadcast") == 0,
                 "the broadcast's own copy, back from %s, was dropped", dotted(own).c_str());

    PlainSocket local(0);
    const auto fromLoopback = streamDatagram("from-loopback");
    local.sendTo(loopbackAddress(), wire::kStreamPort, fromLoopback.data(), int(fromLoopback.size()));
    peer.tell("ping:after-loopback");
    report.check(waitForMarker("after-loopback", waitSeconds), "the marker after a datagram from 127.0.0.1 arrived");
    const bool loopbackIsOurs = network::localAddresses().contains(loopbackAddress());
    const int queued = queuedWithIdentifier("from-loopback");
    if (loopbackIsOurs)
        report.check(queued == 0, "127.0.0.1 is in the table, and its datagram was dropped");
    else
        report.check(queued == 1, "127.0.0.1 is not in the table, and its datagram was queued");

    clearQueue();
}

// Unclaimed records go after about two seconds; the spare list stays bounded.
void checkExpiry(Report& report, const Peer& peer, int waitSeconds) {
    std::string lastTag;
    int chunk = 0;
    for (bool answered = true; answered && chunk < kFloodChunks; ++chunk) {
        lastTag = "flood:" + std::to_string(chunk);
        peer.tell(lastTag);
        answered = waitForMarker(lastTag, waitSeconds);
    }
    if (!report.check(chunk == kFloodChunks && queuedWithIdentifier(markerIdentifier(lastTag)) == 1,
                      "%d chunks of %d unclaimed datagrams arrived", chunk, kFloodChunk))
        return;
    const int flood = queuedWithIdentifier("unclaimed");
    // Only more than the spare list holds, expiring together, shows its bound;
    // a machine too slow to queue them all within the expiry time cannot.
    // UDP may drop some of a burst, and on a slow machine the first chunks can
    // expire before the last one lands; what matters here is that more than
    // the spare list holds expire together.
    const bool boundShows = flood > network::kMaxSparePackets;
    if (boundShows && flood == kFloodChunk * kFloodChunks)
        report.check(true, "%d unclaimed datagrams queued", flood);
    else if (boundShows)
        report.note("%d of %d unclaimed datagrams were queued at once; the rest were dropped or had expired",
                    flood, kFloodChunk * kFloodChunks);
    else
        report.note("only %d unclaimed datagrams were queued at once: too slow here to fill the spare list", flood);
    std::int32_t markerTime = 0;
    for (const QueuedRecord& record : queuedRecords())
        if (hasIdentifier(record.bytes.data(), std::int32_t(record.bytes.size()), markerIdentifier(lastTag)))
            markerTime = record.time;

    // A record stamped in second T goes with the first pass in second T + 3;
    // a busy thread may come late, so one second more before calling it stale.
    const std::int32_t staleAge = network::kExpirySeconds + 2;
    const std::int64_t end = platform::monotonicMilliseconds() + std::int64_t(waitSeconds + 4) * 1000;
    int oldestSeen = 0, mostSpares = 0;
    std::vector<QueuedRecord> queued = queuedRecords();
    while (!queued.empty() && platform::monotonicMilliseconds() < end) {
        const std::int32_t now = platform::monotonicSeconds();
        for (const QueuedRecord& record : queued)
            if (now - record.time > oldestSeen) oldestSeen = now - record.time;
        if (spareCount() > mostSpares) mostSpares = spareCount();
        platform::sleepMilliseconds(50);
        queued = queuedRecords();
    }
    const std::int32_t emptiedAt = platform::monotonicSeconds();
    report.check(queued.empty(), "every unclaimed record expired (%d left)", int(queued.size()));
    report.check(oldestSeen <= staleAge, "no record stayed queued longer than the rule allows (oldest seen %d s)",
                 oldestSeen);
    report.check(emptiedAt >= markerTime + network::kExpirySeconds + 1,
                 "the last record stayed until second T + 3 (stamped %d, queue empty at %d)", int(markerTime),
                 int(emptiedAt));
    if (spareCount() > mostSpares) mostSpares = spareCount();
    if (boundShows)
        report.check(spareCount() == network::kMaxSparePackets && mostSpares == network::kMaxSparePackets,
                     "the spare list kept %d records for reuse and never more (at most %d)", spareCount(),
                     network::kMaxSparePackets);
    else
        report.check(mostSpares <= network::kMaxSparePackets, "the spare list never held more than %d (%d)",
                     network::kMaxSparePackets, mostSpares);
}

void checkStopAndRestart(Report& report, const Peer& peer, int waitSeconds, Instance& first,
                         Instance& broadcaster, Instance& uncounted) {
    const int tableSize = network::localAddresses().count();
    uncounted.reset();
    report.check(network::startedInstanceCount() == 2 && network::threadRunning(),
                 "closing the uncounted instance leaves the network alone");
    broadcaster.reset();
    report.check(network::startedInstanceCount() == 1 && network::threadRunning(),
                 "closing one of two started instances leaves the thread running");
    peer.tell("ping:one-left");
    report.check(waitForMarker("one-left", waitSeconds), "with one instance left it still receives");

    first.reset();  // with the marker still queued
    report.check(network::startedInstanceCount() == 0 && !network::threadRunning() &&
                     network::sharedSocket.load() == nullptr && network::socketLock.load() == nullptr &&
                     network::packetListLock.load() == nullptr,
                 "closing the last started instance stops the thread and frees the endpoint");

    first = startedInstance("default", 0, "");
    report.check(network::startedInstanceCount() == 1 && network::threadRunning(), "a new first instance starts it again");
    report.check(queuedRecords().empty(), "the restarted endpoint begins with an empty queue");
    report.check(network::localAddresses().count() == tableSize, "the own-address table is filled afresh (%d entries)",
                 network::localAddresses().count());
    peer.tell("ping:restarted");
    report.check(waitForMarker("restarted", waitSeconds), "the thread receives again after the restart");
}

}  // namespace

int runReceiver(const char* ownAddress, const char* peerAddress, int waitSeconds) {
    Report report;
    UdpSocket::ensureSocketsStarted();
    const std::uint32_t own = platform::parseDottedAddress(ownAddress);
    PlainSocket control(0);
    const Peer peer{control, platform::parseDottedAddress(peerAddress)};
    if (!report.check(control.ok(), "a control socket for commands to %s", peerAddress)) return 1;

    Instance first = startedInstance("default", 0, "");
    if (!report.check(network::threadRunning() && network::startedInstanceCount() == 1,
                      "the first instance's sample rate starts the endpoint and its thread"))
        return 1;
    std::printf("own addresses: %s\n", ownAddressTable().c_str());
    report.check(network::localAddresses().contains(own), "the own-address table holds %s", ownAddress);

    peer.tell("batch");
    if (report.check(waitForMarker("batch", waitSeconds), "the crafted batch arrived")) checkCraftedBatch(report);
    clearQueue();

    Instance broadcaster, uncounted;
    checkOwnAddresses(report, peer, own, waitSeconds, broadcaster, uncounted);
    checkExpiry(report, peer, waitSeconds);
    checkStopAndRestart(report, peer, waitSeconds, first, broadcaster, uncounted);

    peer.tell("done:echo:own-broadcast");
    first.reset();
    report.check(network::sharedSocket.load() == nullptr && !network::threadRunning(), "the last close stops cleanly");
    std::printf("%d check(s) failed\n", report.failures());
    return report.exitCode();
}

}  // namespace larkwire::endpoint_check

#include "tests/support/instance_fixture.h"

#include "platform/clock.h"

using namespace larkwire;
using namespace larkwire::testing;

class NetworkEndpoint : public InstanceFixture {
protected:
    static std::int32_t storedLength() {
        platform::LockGuard guard(*network::packetListLock.load());
        auto& queued = network::receivedPackets();
        return queued.empty() ? -1 : queued.newest()->bytes.usedSize();
    }
    static std::vector<std::uint8_t> withLength(std::int32_t field, size_t size) {
        std::vector<std::uint8_t> bytes(size < 8 ? 8 : size, 0);
        std::memcpy(bytes.data(), "MLWR", 4);
        wire::writeU32(bytes.data() + 4, std::uint32_t(field));
        bytes.resize(size);
        return bytes;
    }
};

TEST_F(NetworkEndpoint, AcceptanceAndLengthClamping) {
    queueDatagram(withLength(8, 7));
    EXPECT_EQ(queuedCount(), 0);  // 7 bytes are dropped

    struct Case {
        std::int32_t field;
        size_t received;
        std::int32_t stored;
    };
    for (Case c : {Case{8, 8, 8}, Case{0, 100, 8}, Case{-5, 100, 8}, Case{3, 100, 8},
                   Case{100000, 65535, 65535}, Case{60, 100, 60},
                   // A length beyond what arrived keeps only what arrived.
                   Case{1247, 100, 100}}) {
        queueDatagram(withLength(c.field, c.received));
        EXPECT_EQ(storedLength(), c.stored) << c.field;
    }

    auto foreign = withLength(8, 8);
    std::memcpy(foreign.data(), "XLWR", 4);
    const std::int32_t before = queuedCount();
    queueDatagram(foreign);
    EXPECT_EQ(queuedCount(), before);

    // Our own addresses are dropped.
    network::localAddresses().add(0x0100007F);
    platform::Ipv4SocketAddress loopback{2, 0, 0x0100007F, {}};
    const auto valid = audioDatagram("x", 1, 44100, 4);
    network::acceptDatagram(valid.data(), std::int32_t(valid.size()), loopback, 0);
    EXPECT_EQ(queuedCount(), before);
}

TEST_F(NetworkEndpoint, UnclaimedRecordsExpireAndSparesStayBounded) {
    // Stamped in the future, so the running thread's own pass leaves them be.
    const std::int32_t t = platform::monotonicSeconds() + 1000;
    const auto bytes = audioDatagram("nobody", 1, 44100, 4);
    for (int i = 0; i < 1500; ++i) queueDatagram(bytes, t);
    queueDatagram(bytes, t + 2);
    network::expireOldPackets(t + 2);
    EXPECT_EQ(queuedCount(), 1501);  // stamped t, kept through second t + 2
    network::expireOldPackets(t + 3);
    EXPECT_EQ(queuedCount(), 1);
    platform::LockGuard guard(*network::packetListLock.load());
    EXPECT_LE(network::sparePackets().count(), 1024);
}

TEST_F(NetworkEndpoint, AFloodCannotGrowTheQueueWithoutBound) {
    const auto bytes = audioDatagram("nobody", 1, 44100, 4);
    for (int i = 0; i < network::kMaxQueuedPackets + 500; ++i)
        queueDatagram(bytes, platform::monotonicSeconds() + 1000);
    EXPECT_EQ(queuedCount(), network::kMaxQueuedPackets);
    clearQueue();

    // Whole-size datagrams meet the memory bound first; the newest are kept.
    auto large = withLength(65535, 65535);
    for (int i = 0; i < 2000; ++i) {
        wire::writeU32(large.data() + 8, std::uint32_t(i));
        queueDatagram(large, platform::monotonicSeconds() + 1000);
    }
    platform::LockGuard guard(*network::packetListLock.load());
    auto& queued = network::receivedPackets();
    const std::int64_t each = queued.newest()->bytes.allocatedSize();
    EXPECT_LT(each, 65535 + HeapBuffer::kFitRounding);
    EXPECT_EQ(std::int64_t(queued.count()), network::kMaxQueuedBytes / each);
    EXPECT_EQ(network::queuedByteCount(), std::int64_t(queued.count()) * each);
    EXPECT_EQ(wire::readU32(queued.newest()->bytes.bytes() + 8), 1999u);
}

TEST_F(NetworkEndpoint, AtTheCapTheOldestOfAnyStreamGoes) {
    std::vector<std::vector<std::uint8_t>> others;
    for (int i = 0; i < 500; ++i)
        others.push_back(audioDatagram(("other " + std::to_string(i)).c_str(), 1, 44100, 4));
    const std::int32_t t = platform::monotonicSeconds() + 1000;
    for (int i = 0; i < network::kMaxQueuedPackets; ++i) queueDatagram(others[size_t(i % 500)], t);
    queueDatagram(audioDatagram("default", 2, 44100, 150), t);
    EXPECT_EQ(queuedCount(), network::kMaxQueuedPackets);
    runBlock(64);  // takes ours, and only ours
    EXPECT_EQ(queuedCount(), network::kMaxQueuedPackets - 1);
    platform::LockGuard guard(*network::packetListLock.load());
    const ReceivedPacket* oldest = network::receivedPackets().oldest();
    EXPECT_STREQ(reinterpret_cast<const char*>(oldest->bytes.bytes() + 8), "other 1");
    const char first[32] = "other 0";
    EXPECT_EQ(network::receivedPackets().find(first, StreamKind::audio)->count,
              network::kMaxQueuedPackets / 500 - 1 + (network::kMaxQueuedPackets % 500 > 0));
}

// A receive batch queues what one-at-a-time would: in order, the rejects
// left out, the cap applied per datagram.
TEST_F(NetworkEndpoint, ABatchQueuesAsOneAtATime) {
    const std::int32_t t = platform::monotonicSeconds() + 1000;
    const auto filler = audioDatagram("filler", 1, 44100, 4);
    queueDatagram(filler, t);
    std::uint64_t firstArrival;
    {
        platform::LockGuard guard(*network::packetListLock.load());
        firstArrival = network::receivedPackets().newest()->arrival;
    }
    for (int i = 1; i < network::kMaxQueuedPackets - 2; ++i) queueDatagram(filler, t);

    std::vector<std::vector<std::uint8_t>> bytes;
    for (const char* id : {"batch 0", "batch 1", "batch 2", "batch 3"})
        bytes.push_back(audioDatagram(id, 2, 44100, 150));
    auto junk = bytes[0];
    std::memcpy(junk.data(), "XLWR", 4);
    network::localAddresses().add(0x0100007F);
    const platform::Ipv4SocketAddress foreign{2, 0, 0x0A0A0A0A, {}}, ours{2, 0, 0x0100007F, {}};
    std::vector<platform::DatagramSlot> slots;
    for (auto* d : {&bytes[0], &junk, &bytes[1], &bytes[2], &bytes[3]})
        slots.push_back({d->data(), int(d->size()), int(d->size()), foreign});
    slots.insert(slots.begin() + 3, {bytes[0].data(), int(bytes[0].size()), int(bytes[0].size()), ours});
    network::acceptDatagrams(slots.data(), std::int32_t(slots.size()), t);

    platform::LockGuard guard(*network::packetListLock.load());
    auto& queued = network::receivedPackets();
    EXPECT_EQ(queued.count(), network::kMaxQueuedPackets);
    EXPECT_EQ(queued.oldest()->arrival, firstArrival + 2);  // two fillers made room
    const ReceivedPacket* p = queued.newest();
    for (const char* id : {"batch 3", "batch 2", "batch 1", "batch 0"}) {
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char*>(p->bytes.bytes() + 8), id);
        EXPECT_EQ(p->bytes.usedSize(), std::int32_t(bytes[0].size()));
        EXPECT_EQ(p->arrival, p->olderArrival->arrival + 1);
        p = p->olderArrival;
    }
}

// The thread's expiry pass and the arrival stamps share one clock, which the
// wall clock's steps do not move.
TEST_F(NetworkEndpoint, ExpiryJudgesStampsByTheMonotonicClock) {
    const auto bytes = audioDatagram("stamped", 1, 44100, 4);
    const std::int32_t now = platform::monotonicSeconds();
    queueDatagram(bytes, now - network::kExpirySeconds - 1);
    queueDatagram(bytes, now + 1000);
    std::int32_t lastExpiry = 0;
    network::receiveOnePass(lastExpiry);
    EXPECT_GE(lastExpiry, now);
    platform::LockGuard guard(*network::packetListLock.load());
    const char identifier[32] = "stamped";
    const StreamRecords* left = network::receivedPackets().find(identifier, StreamKind::audio);
    ASSERT_NE(left, nullptr);
    ASSERT_EQ(left->count, 1);
    EXPECT_EQ(left->oldest->time, now + 1000);
}

TEST_F(NetworkEndpoint, StartAndStopWithSeveralInstances) {
    EXPECT_EQ(network::startedInstanceCount(), 1);
    std::unique_ptr<StreamEffect, InstanceDeleter> second(createStreamEffect(&hostCallback));
    std::unique_ptr<StreamEffect, InstanceDeleter> uncounted(createStreamEffect(&hostCallback));
    dispatcher(&second->effect, vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatcher(&second->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_EQ(network::startedInstanceCount(), 2);
    EXPECT_EQ(second->sampleRate, 44100.0);

    uncounted.reset();  // never counted: leaves the network alone
    EXPECT_EQ(network::startedInstanceCount(), 2);
    queueDatagram(audioDatagram("waiting", 1, 44100, 4));
    instance.reset();
    EXPECT_EQ(network::startedInstanceCount(), 1);
    EXPECT_NE(network::packetListLock.load(), nullptr);
    EXPECT_EQ(queuedCount(), 1);

    second.reset();  // the last one stops everything
    EXPECT_EQ(network::startedInstanceCount(), 0);
    EXPECT_EQ(network::packetListLock.load(), nullptr);
    EXPECT_EQ(network::sharedSocket.load(), nullptr);
    EXPECT_FALSE(network::threadRunning());

    // A new first instance starts afresh with empty lists.
    instance.reset(createStreamEffect(&hostCallback));
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_EQ(network::startedInstanceCount(), 1);
    EXPECT_EQ(queuedCount(), 0);
}

TEST(UdpSocketLoopback, OpenSendReceiveAndWait) {
    UdpSocket receiver, sender;
    ASSERT_EQ(receiver.open(0), 0);
    EXPECT_NE(receiver.getPort(), 0);
    ASSERT_EQ(sender.open(0), 0);

    EXPECT_EQ(sender.setDestinationAddress("255.255.255.255", 58710), 1);
    EXPECT_EQ(sender.setDestinationAddress("127.0.0.1", 0), 1);
    EXPECT_EQ(sender.setDestinationAddress("127.0.0.1", 65536), 1);
    EXPECT_EQ(sender.setDestinationPort(65536), 1);
    EXPECT_EQ(sender.setDestinationAddress("not an address", 5000), 1);
    ASSERT_EQ(sender.setDestinationAddress("127.0.0.1", receiver.getPort()), 0);

    const std::int64_t start = platform::monotonicMilliseconds();
    EXPECT_EQ(UdpSocket::waitForReadable(0, 100), 0);
    EXPECT_GE(platform::monotonicMilliseconds() - start, 90);
    EXPECT_EQ(receiver.isReadable(), 0);

    ASSERT_EQ(sender.send("hello", 5), 0);
    EXPECT_EQ(UdpSocket::waitForReadable(1, 0), 1);
    EXPECT_EQ(receiver.isReadable(), 1);
    EXPECT_EQ(sender.isReadable(), 0);
    char buffer[64];
    std::int32_t length = sizeof buffer;
    EXPECT_EQ(receiver.receive(buffer, &length, 1, nullptr), 0);  // peek, no source
    EXPECT_EQ(length, 5);
    EXPECT_EQ(receiver.isReadable(), 0);
    platform::Ipv4SocketAddress source{};
    length = sizeof buffer;
    EXPECT_EQ(receiver.receive(buffer, &length, 0, &source), 0);
    EXPECT_EQ(std::memcmp(buffer, "hello", 5), 0);
    EXPECT_EQ(source.addressNetworkOrder, 0x0100007Fu);
    EXPECT_EQ(platform::networkToHost16(source.portNetworkOrder), sender.getPort());
}

TEST(UdpSocketLoopback, ReceiveManyTakesWhatWaitsInOrder) {
    UdpSocket receiver, sender;
    ASSERT_EQ(receiver.open(0), 0);
    ASSERT_EQ(sender.open(0), 0);
    ASSERT_EQ(sender.setDestinationAddress("127.0.0.1", receiver.getPort()), 0);
    const std::string sent[3] = {"one", "three33", std::string(100, 'x')};
    for (const std::string& d : sent) ASSERT_EQ(sender.send(d.data(), std::int32_t(d.size())), 0);

    char buffers[4][64];
    platform::DatagramSlot slots[4];
    for (int i = 0; i < 4; ++i) slots[i] = {buffers[i], 64, -1, {}};
    std::int32_t got = 0;
    for (int tries = 0; got < 3 && tries < 100; ++tries) {
        UdpSocket::waitForReadable(0, 10);
        got += receiver.receiveMany(slots + got, 4 - got);
    }
    ASSERT_EQ(got, 3);
    for (int i = 0; i < 3; ++i) {
        const std::size_t kept = std::min<std::size_t>(sent[i].size(), 64);  // the long one is cut
        EXPECT_EQ(slots[i].length, std::int32_t(kept));
        EXPECT_EQ(std::string(buffers[i], kept), sent[i].substr(0, kept));
        EXPECT_EQ(slots[i].from.addressNetworkOrder, 0x0100007Fu);
        EXPECT_EQ(platform::networkToHost16(slots[i].from.portNetworkOrder), sender.getPort());
    }
    EXPECT_EQ(receiver.receiveMany(slots, 4), 0);  // nothing left, and no wait
}

TEST(UdpSocketLoopback, BindFailureLeavesTheSocketUnwatched) {
    UdpSocket first;
    ASSERT_EQ(first.open(0), 0);
    const int watched = UdpSocket::watchedCount();
    {
        UdpSocket second;
        EXPECT_EQ(second.open(first.getPort()), 1);
        EXPECT_TRUE(second.hasHandle());
        EXPECT_EQ(UdpSocket::watchedCount(), watched);
    }
    EXPECT_EQ(UdpSocket::watchedCount(), watched);
}

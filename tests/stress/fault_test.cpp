// Faults from outside: the stream port already taken, destinations that
// cannot be sent to, and the network stopped while its thread is receiving.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/network_endpoint.h"
#include "net/udp_socket.h"
#include "platform/udp.h"
#include "shell/dispatcher.h"
#include "shell/instance_settings.h"
#include "shell/stream_effect.h"
#include "stream/process_calls.h"
#include "stream/packet_format.h"
#include "tests/support/test_instance.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

using Instance = std::unique_ptr<StreamEffect, InstanceDeleter>;

Instance startedInstance() {
    Instance instance(createStreamEffect(nullptr));
    dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    return instance;
}

void runBlock(StreamEffect& instance, int frames = 64) {
    std::vector<float> a(size_t(frames), 0.25f), b(size_t(frames), 0.25f);
    float* channels[2] = {a.data(), b.data()};
    processReplacing(&instance.effect, channels, channels, frames);
}

}  // namespace

TEST(Faults, PortHeldElsewhereStillSendsButReceivesNothing) {
    ASSERT_EQ(network::startedInstanceCount(), 0);
    // Held by us or by someone else already: either way the plug-in cannot bind.
    // Winsock refuses socket() before its start-up, which the network start does later.
    UdpSocket::ensureSocketsStarted();
    UdpSocket holder;
    holder.open(wire::kStreamPort);
    ASSERT_TRUE(holder.hasHandle());
    Instance sender = startedInstance();
    EXPECT_FALSE(network::threadRunning());
    ASSERT_NE(network::sharedSocket.load(), nullptr);
    setSendMode(*sender, 1);
    setDestination(*sender, "127.0.0.1");
    runBlock(*sender);
    EXPECT_EQ(sender->sendBackoff, 0);  // the send went out
    sender.reset();
    EXPECT_EQ(network::sharedSocket.load(), nullptr);
}

TEST(Faults, UnsendableDestinationsBackOffThenRetry) {
    Instance sender = startedInstance();
    setSendMode(*sender, 1);
    for (const char* destination : {"255.255.255.255", "localhost", "not.an.address", ""}) {
        SCOPED_TRACE(destination);
        setDestination(*sender, destination);
        runBlock(*sender);
        if (destination[0] == '\0') {
            EXPECT_EQ(sender->sendBackoff, 0);  // nothing to send is no failure
            continue;
        }
        EXPECT_EQ(sender->sendBackoff, 100);
        for (int block = 0; block < 100; ++block) runBlock(*sender);
        EXPECT_EQ(sender->sendBackoff, 0);
        runBlock(*sender);
        EXPECT_EQ(sender->sendBackoff, 100);  // retried after the pause
        dispatcher(&sender->effect, vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
    }
}

TEST(Faults, LastInstanceClosedWhileTheThreadReceives) {
    // Datagrams keep the thread busy receiving (loopback, dropped as ours)
    // while the last user closes; the stop must neither hang nor crash.
    for (int round = 0; round < 10; ++round) {
        Instance last = startedInstance();
        if (!network::threadRunning()) GTEST_SKIP() << "port 58710 is taken on this computer";
        std::atomic<bool> stop{false};
        std::thread blaster([&] {
            // A bare socket: a UdpSocket would join the read set the network thread watches.
            const platform::SocketHandle socket = platform::openDatagramSocket();
            if (socket == platform::kInvalidSocket) return;
            platform::Ipv4SocketAddress to{platform::kAddressFamilyIpv4,
                                           platform::hostToNetwork16(wire::kStreamPort),
                                           platform::parseDottedAddress("127.0.0.1"),
                                           {}};
            const auto datagram = audioDatagram("busy", 2, 44100, 150);
            for (int i = 0; i < 200000 && !stop.load(); ++i)
                platform::sendDatagram(socket, datagram.data(), int(datagram.size()), to);
            platform::shutdownAndClose(socket);
        });
        for (int block = 0; block < 20; ++block) runBlock(*last);
        last.reset();
        EXPECT_FALSE(network::threadRunning());
        EXPECT_EQ(network::packetListLock.load(), nullptr);
        stop.store(true);
        blaster.join();
    }
}

TEST(Faults, SenderNeverWaitsForTheReceivingThreadsQueueWork) {
    Instance sender = startedInstance();
    if (!network::threadRunning()) GTEST_SKIP() << "port 58710 is taken on this computer";
    setSendMode(*sender, 1);
    setDestination(*sender, "127.0.0.1");
    // Another instance's collectAudio holds the queue while a foreign datagram arrives.
    platform::Lock* listLock = network::packetListLock.load();
    listLock->enter();
    const platform::SocketHandle foreign = platform::openDatagramSocket();
    platform::Ipv4SocketAddress from{platform::kAddressFamilyIpv4, 0,
                                     platform::parseDottedAddress("127.0.0.2"), {}};
    ASSERT_EQ(platform::bindSocket(foreign, from), 0);
    const platform::Ipv4SocketAddress to{platform::kAddressFamilyIpv4,
                                         platform::hostToNetwork16(wire::kStreamPort),
                                         platform::parseDottedAddress("127.0.0.1"),
                                         {}};
    const auto datagram = audioDatagram("foreign", 2, 44100, 150);
    platform::sendDatagram(foreign, datagram.data(), int(datagram.size()), to);
    // Once the datagram has left the socket the thread is at work on it,
    // waiting for the queue.
    const platform::SocketHandle shared = network::sharedSocket.load()->handle();
    bool ready = false;
    for (int i = 0; i < 500 && platform::waitReadable(&shared, 1, 0, &ready) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::atomic<bool> sent{false};
    std::thread audio([&] {
        runBlock(*sender);
        sent.store(true);
    });
    for (int i = 0; i < 500 && !sent.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(sent.load()) << "the send waited for the receiving thread";
    listLock->leave();
    audio.join();
    EXPECT_EQ(sender->sendBackoff, 0);
    platform::shutdownAndClose(foreign);
}

TEST(Faults, MissingConverterSlotPlaysThatChannelDirect) {
    Instance receiver = startedInstance();
    // As if allocating channel 0's converter had failed at creation.
    delete receiver->resamplers[0];
    receiver->resamplers[0] = nullptr;
    for (int i = 0; i < 40; ++i) queueDatagram(audioDatagram("default", 2, 48000, 150, 1.0f));
    std::vector<float> a(512, 0.0f), b(512, 0.0f);
    float* channels[2] = {a.data(), b.data()};
    processReplacing(&receiver->effect, channels, channels, 512);
    // The direct path, unconverted: consecutive samples of one datagram.
    EXPECT_NE(a[0], 0.0f);
    EXPECT_EQ(a[1], a[0] + 1.0f);
    // Playing starts with the newest 4 blocks in time.
    const int target = int(std::ceil(4 * 512 * 48000.0 / 44100.0));
    EXPECT_EQ(receiver->channelStates[0].queuedBytes(), (target - 512) * 4);
}

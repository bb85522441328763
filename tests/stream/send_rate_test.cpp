// A host that sets a new rate while the plug-in is resumed (Audacity sets
// 44100 Hz, resumes, then sets the project's 48000) gets that rate announced
// and streamed from the next block, with no suspend in between.
#include "tests/support/instance_fixture.h"

#include <cstring>
#include <thread>

#include "net/local_addresses.h"
#include "net/network_endpoint.h"
#include "platform/clock.h"
#include "stream/packet_format.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

class SendRate : public InstanceFixture {
protected:
    void SetUp() override {
        InstanceFixture::SetUp();
        // Without the port the socket still sends, but nothing receives.
        if (!network::threadRunning()) GTEST_SKIP() << "port 58710 is taken";
        // The endpoint ignores datagrams from this computer; here the
        // sender's own datagrams are the ones to look at.
        network::localAddresses().clear();
        instance->sendMode = 1;
        instance->sendChannels.store(2);
        std::strcpy(instance->destination, "127.0.0.1");
        std::strcpy(instance->identifier, "rate-change");
    }
    void TearDown() override {
        collectLocalAddresses(network::localAddresses());
        InstanceFixture::TearDown();
    }
    // The rate the next datagram of this stream announces (a 128-frame
    // block is one datagram); 0 if none came within two seconds.
    std::int32_t nextAnnouncedRate() {
        for (int tries = 0; tries < 200; ++tries) {
            {
                platform::LockGuard guard(*network::packetListLock.load());
                auto& queued = network::receivedPackets();
                while (ReceivedPacket* packet = queued.oldest()) {
                    queued.remove(packet);
                    const std::uint8_t* bytes = packet->bytes.bytes();
                    const std::int32_t used = packet->bytes.usedSize();
                    const bool ours = wire::matchesIdentifier(bytes, used, instance->identifier);
                    const std::int32_t rate = wire::readAudioContent(bytes, used).rate;
                    network::recyclePacket(packet);
                    if (ours) return rate;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }
};

}  // namespace

TEST_F(SendRate, RateSetWhileResumedIsStreamedFromTheNextBlock) {
    dispatch(vst2::effMainsChanged, 0, 1);
    runBlock(128);
    EXPECT_EQ(nextAnnouncedRate(), 44100);
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    runBlock(128);
    EXPECT_EQ(nextAnnouncedRate(), 48000);
    runBlock(128);
    EXPECT_EQ(nextAnnouncedRate(), 48000);
}

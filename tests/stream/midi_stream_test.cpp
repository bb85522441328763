#include "tests/support/instance_fixture.h"

#include "net/udp_socket.h"
#include "shell/instance_settings.h"
#include "stream/midi_stream.h"
#include "stream/send_path.h"

using namespace larkwire;
using namespace larkwire::testing;

class MidiDelivery : public InstanceFixture {};

TEST_F(MidiDelivery, OffsetsAreFittedIntoTheBlock) {
    queueDatagram(midiDatagram("default", {600, 100}));
    runBlock(512);
    EXPECT_EQ(lastEvents, (std::vector<std::int32_t>{511, 100}));
    queueDatagram(midiDatagram("default", {-10, -5, 3}));
    runBlock(512);
    EXPECT_EQ(lastEvents, (std::vector<std::int32_t>{0, 5, 13}));
}

TEST_F(MidiDelivery, EmptyListStillReachesTheHost) {
    const int before = deliveries;
    runBlock(64);
    EXPECT_EQ(deliveries, before + 1);
    EXPECT_TRUE(lastEvents.empty());
}

TEST_F(MidiDelivery, AtMost4000EventsAndAllDatagramsConsumed) {
    std::vector<std::int32_t> offsets(1500, 1);
    for (int i = 0; i < 3; ++i) queueDatagram(midiDatagram("default", offsets));
    runBlock(64);
    EXPECT_EQ(lastEvents.size(), 4000u);
    EXPECT_EQ(queuedCount(), 0);
}

TEST_F(MidiDelivery, HostileRecordsNeverReachTheHost) {
    // A sysex record (pointer of another process), a record with a negative
    // size, and one that overruns the datagram.
    auto bytes = midiDatagram("default", {1, 2, 3, 4});
    wire::writeU32(bytes.data() + 40, vst2::kVstSysExType);
    queueDatagram(bytes);
    runBlock(64);
    EXPECT_EQ(lastEvents, (std::vector<std::int32_t>{2, 3, 4}));

    bytes = midiDatagram("default", {1, 2, 3});
    wire::writeU32(bytes.data() + 40 + 32 + 4, std::uint32_t(-40));
    queueDatagram(bytes);
    runBlock(64);
    EXPECT_EQ(lastEvents, (std::vector<std::int32_t>{1}));

    bytes = midiDatagram("default", {1, 2});
    wire::writeU32(bytes.data() + 40 + 32 + 4, 1000);
    queueDatagram(bytes);
    runBlock(64);
    EXPECT_EQ(lastEvents, (std::vector<std::int32_t>{1}));

    // A record shorter than a whole MIDI event is not handed over.
    bytes = midiDatagram("default", {1});
    wire::writeU32(bytes.data() + 40 + 4, 8);
    bytes.resize(40 + 16);
    wire::writeU32(bytes.data() + 4, 56);
    queueDatagram(bytes);
    runBlock(64);
    EXPECT_TRUE(lastEvents.empty());
    EXPECT_EQ(queuedCount(), 0);
}

TEST_F(MidiDelivery, SendModeAndDisabledInstancesDeliverNothing) {
    instance->sendMode = 1;
    const int before = deliveries;
    queueDatagram(midiDatagram("default", {1}));
    runBlock(64);
    instance->sendMode = 0;
    instance->enabled = 0;
    runBlock(64);
    EXPECT_EQ(deliveries, before);
    EXPECT_EQ(queuedCount(), 1);
}

// Sending, observed on a socket of our own on loopback.
class MidiSend : public InstanceFixture {
protected:
    // A plain socket, outside the plug-in's own bookkeeping that its thread watches.
    void SetUp() override {
        InstanceFixture::SetUp();
        receiver = platform::openDatagramSocket();
        ASSERT_NE(receiver, platform::kInvalidSocket);
        platform::Ipv4SocketAddress any{2, 0, 0, {}};
        ASSERT_EQ(platform::bindSocket(receiver, any), 0);
        port = platform::boundPort(receiver);
    }
    void TearDown() override {
        platform::shutdownAndClose(receiver);
        InstanceFixture::TearDown();
    }
    bool readable(int milliseconds) {
        bool ready = false;
        return platform::waitReadable(&receiver, 1, milliseconds, &ready) == 1 && ready;
    }
    std::vector<std::uint8_t> receive() {
        std::vector<std::uint8_t> bytes(65536);
        int length = 65535;
        if (!readable(1000) || platform::receiveDatagram(receiver, bytes.data(), &length, false, nullptr) != 0)
            return {};
        bytes.resize(size_t(length));
        return bytes;
    }
    platform::SocketHandle receiver = platform::kInvalidSocket;
    std::int32_t port = 0;
};

namespace {
struct HostEvents {
    explicit HostEvents(int count, std::int32_t byteSize = 24) : events(size_t(count)) {
        list = static_cast<vst2::VstEvents*>(std::calloc(1, sizeof(vst2::VstEvents) + sizeof(void*) * size_t(count)));
        list->numEvents = count;
        for (int i = 0; i < count; ++i) {
            events[size_t(i)] = vst2::VstMidiEvent{1, byteSize, i, 0, 0, 0, {char(0x90), char(i), 100, 0}, 0, 0, 0, 0};
            list->events[i] = reinterpret_cast<vst2::VstEvent*>(&events[size_t(i)]);
        }
    }
    ~HostEvents() { std::free(list); }
    std::vector<vst2::VstMidiEvent> events;
    vst2::VstEvents* list;
};
}  // namespace

TEST_F(MidiSend, UnicastCarriesAllEventsAsWholeMidiRecords) {
    HostEvents host(40, 32);  // this host claims byteSize 32: we copy only the 32-byte event
    ASSERT_EQ(sendMidiPacket("127.0.0.1", port, instance->identifier, host.list), 0);
    const auto bytes = receive();
    ASSERT_EQ(bytes.size(), 40u + 40 * 32);
    EXPECT_EQ(std::memcmp(bytes.data(), "mLWR", 4), 0);
    EXPECT_EQ(wire::readI32(bytes.data() + 4), 1320);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "default", 8), 0);
    for (int i = 0; i < 40; ++i) {
        const std::uint8_t* record = bytes.data() + 40 + 32 * i;
        EXPECT_EQ(wire::readI32(record), 1);
        EXPECT_EQ(wire::readI32(record + 4), 24);
        EXPECT_EQ(wire::readI32(record + 8), i);
        EXPECT_EQ(record[25], i);
    }
}

TEST_F(MidiSend, AudioBlockIsSplitInOrder) {
    std::vector<float> left(512), right(512);
    for (int j = 0; j < 512; ++j) left[size_t(j)] = float(j), right[size_t(j)] = float(-j);
    const float* channels[2] = {left.data(), right.data()};
    ASSERT_EQ(sendAudioPacket(1, "127.0.0.1", port, instance->identifier, 2, 44100, 512, channels), 0);
    int start = 0;
    for (int expected : {150, 150, 150, 62}) {
        const auto bytes = receive();
        ASSERT_EQ(bytes.size(), size_t(47 + expected * 8));
        const wire::AudioContent c = wire::readAudioContent(bytes.data(), std::int32_t(bytes.size()));
        EXPECT_EQ(c.framesPerChannel, expected);
        float first, firstRight;
        std::memcpy(&first, c.samples, 4);
        std::memcpy(&firstRight, c.samples + expected * 4, 4);
        EXPECT_EQ(first, float(start));
        EXPECT_EQ(firstRight, float(-start));
        start += expected;
    }
    // A host name or the dotted broadcast text fails; nothing is sent.
    EXPECT_EQ(sendAudioPacket(1, "localhost", port, instance->identifier, 2, 44100, 64, channels), 1);
    EXPECT_EQ(sendAudioPacket(1, "255.255.255.255", port, instance->identifier, 2, 44100, 64, channels), 1);
    EXPECT_EQ(sendAudioPacket(1, "", port, instance->identifier, 2, 44100, 64, channels), 0);
    EXPECT_FALSE(readable(100));
}

TEST_F(MidiSend, TooManyChannelsFailWithoutSplittingForEver) {
    // 301 channels leave no whole frame in a datagram; 65 exceed the run table.
    std::vector<float> samples(512, 0.5f);
    std::vector<const float*> channels(301, samples.data());
    for (int count : {301, 65}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(sendAudioPacket(1, "127.0.0.1", port, instance->identifier, count, 44100, 512,
                                  channels.data()),
                  1);
    }
    EXPECT_FALSE(readable(100));
}

TEST_F(MidiSend, FailedSendBacksOffForHundredBlocks) {
    instance->sendMode = 1;
    std::strcpy(instance->destination, "no-such-host");
    runBlock(64);
    EXPECT_EQ(instance->sendBackoff, 100);
    for (int block = 0; block < 100; ++block) runBlock(64);
    EXPECT_EQ(instance->sendBackoff, 0);
    runBlock(64);
    EXPECT_EQ(instance->sendBackoff, 100);  // tried again, failed again
    dispatch(vst2::effMainsChanged, 0, 0);
    EXPECT_EQ(instance->sendBackoff, 0);
}

// A host may free its event list once it suspended us or changed the set-up;
// the next block must not read it (ASan reported a use after free here).
TEST_F(MidiSend, HostEventsAreForgottenWhenTheHostListMayBeGone) {
    instance->sendMode = 1;
    std::strcpy(instance->destination, "127.0.0.1");
    struct Change {
        vst2::int32 opcode;
        vst2::intptr value;
        float opt;
    };
    for (const Change change : {Change{vst2::effMainsChanged, 0, 0}, Change{vst2::effMainsChanged, 1, 0},
                                Change{vst2::effSetSampleRate, 0, 48000.0f},
                                Change{vst2::effSetBlockSize, 256, 0}}) {
        auto* host = new HostEvents(3);
        dispatch(vst2::effProcessEvents, 0, 0, host->list);
        dispatch(change.opcode, 0, change.value, nullptr, change.opt);
        EXPECT_EQ(instance->pendingEvents.load(), nullptr) << change.opcode;
        delete host;
        runBlock(64);
    }
    auto* host = new HostEvents(3);
    dispatch(vst2::effProcessEvents, 0, 0, host->list);
    setSendMode(*instance, 0);
    EXPECT_EQ(instance->pendingEvents.load(), nullptr) << "a mode switch";
    delete host;
}

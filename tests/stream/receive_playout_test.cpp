#include "tests/support/instance_fixture.h"

#include <cmath>

#include "stream/receive_playout.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {
// One stereo block of 512 frames, as four datagrams of 150, 150, 150 and 62.
void queueStereoBlock(const char* id, int rate, float base) {
    for (int start = 0; start < 512; start += 150) {
        const int frames = std::min(150, 512 - start);
        queueDatagram(audioDatagram(id, 2, rate, frames, base + float(start)));
    }
}
}  // namespace

class ReceivePlayout : public InstanceFixture {};

TEST_F(ReceivePlayout, WaitsForFourBlocksThenPlaysInOrder) {
    for (int block = 0; block < 3; ++block) {
        queueStereoBlock("default", 44100, float(block * 10000));
        const auto out = runBlock(512);
        EXPECT_EQ(out[0][0], 0.0f) << "played before the pre-buffer filled";
    }
    queueStereoBlock("default", 44100, 30000.0f);
    auto out = runBlock(512);
    // Sample j of a datagram starting at frame s of block b is b*10000 + s + j.
    EXPECT_EQ(out[0][0], 0.0f);
    EXPECT_EQ(out[0][151], 150.0f + 1.0f);
    EXPECT_EQ(out[1][0], 1000.0f);
    EXPECT_EQ(instance->prebufferBlocks, 0);
    out = runBlock(512);
    EXPECT_EQ(out[0][0], 10000.0f);
    EXPECT_EQ(queuedCount(), 0);
}

TEST_F(ReceivePlayout, AfterAShortageWaitsForTwoBlocks) {
    for (int block = 0; block < 4; ++block) queueStereoBlock("default", 44100, 1.0f);
    for (int block = 0; block < 4; ++block) EXPECT_NE(runBlock(512)[0][0], 0.0f) << block;
    EXPECT_EQ(runBlock(512)[0][0], 0.0f);  // ran dry
    EXPECT_EQ(instance->prebufferBlocks, 2);
    queueStereoBlock("default", 44100, 1.0f);
    EXPECT_EQ(runBlock(512)[0][0], 0.0f);
    queueStereoBlock("default", 44100, 1.0f);
    EXPECT_NE(runBlock(512)[0][0], 0.0f);
}

TEST_F(ReceivePlayout, AFirstBurstBeyondTheTargetPlaysOnlyItsNewestFourBlocks) {
    for (int block = 0; block < 20; ++block) queueStereoBlock("default", 44100, float(block * 10000));
    const auto out = runBlock(512);
    EXPECT_EQ(out[0][0], 160000.0f);  // block 16 of 0..19
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), 3 * 512 * 4);
}

TEST_F(ReceivePlayout, OnlyMatchingIdentifiersAndChannelsWithinTheInstance) {
    for (int block = 0; block < 4; ++block) queueStereoBlock("Default", 44100, 5.0f);  // another stream
    for (int d = 0; d < 16; ++d) queueDatagram(audioDatagram("default", 4, 44100, 75, 7.0f));
    // Room for 4 x 75 frames: a 4-channel stream into 2 channels, with a 300-frame block.
    const auto out = runBlock(300);
    EXPECT_EQ(out[0][0], 7.0f);
    EXPECT_EQ(out[1][0], 1007.0f);
    EXPECT_EQ(instance->streamChannels, 2);
    EXPECT_EQ(queuedCount(), 16);  // the other stream stays queued for its owner
    // Taking records keeps the queue's byte count, which bounds a flood.
    platform::LockGuard guard(*network::packetListLock.load());
    std::int64_t remaining = 0;
    for (const ReceivedPacket* p = network::receivedPackets().oldest(); p != nullptr; p = p->newerArrival)
        remaining += p->bytes.allocatedSize();
    EXPECT_EQ(network::queuedByteCount(), remaining);
}

TEST_F(ReceivePlayout, UnusableDatagramsAreTakenAndSetRateAndChannels) {
    auto bad = audioDatagram("default", 3, 48000, 1);
    wire::writeU16(bad.data() + 45, 8);  // 8 sample bytes over 3 channels: no frame
    queueDatagram(bad);
    runBlock(64);
    EXPECT_EQ(queuedCount(), 0);
    EXPECT_EQ(instance->streamSampleRate, 48000);
    EXPECT_EQ(instance->streamChannels, 2);
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), 0);

    auto shortOne = audioDatagram("default", 2, 48000, 10);
    shortOne.resize(44);  // rate cannot be read
    queueDatagram(shortOne);
    runBlock(64);
    EXPECT_EQ(instance->streamSampleRate, 0);
    EXPECT_EQ(instance->streamChannels, 1);
}

TEST_F(ReceivePlayout, SuspendEmptiesEverythingAndZeroFrameBlocks) {
    for (int block = 0; block < 6; ++block) queueStereoBlock("default", 44100, 1.0f);
    runBlock(512);
    dispatch(vst2::effMainsChanged, 0, 0);
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), 0);
    EXPECT_EQ(instance->prebufferBlocks, 4);
    dispatch(vst2::effMainsChanged, 0, 1);
    EXPECT_EQ(instance->prebufferBlocks, 4);

    // A zero-frame block plays nothing and keeps what arrives for the next.
    queueStereoBlock("default", 44100, 1.0f);
    runBlock(0);
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), 512 * 4);
    EXPECT_EQ(instance->prebufferBlocks, 4);
}

TEST_F(ReceivePlayout, ConvertedPathWaitsForFourBlocksInTime) {
    // A 48 kHz stream into a 44.1 kHz host: 4 host blocks are 2230 stream frames.
    int queuedFrames = 0;
    int played = -1;
    for (int block = 0; block < 12 && played < 0; ++block) {
        queueStereoBlock("default", 48000, 0.5f);
        queuedFrames += 512;
        const auto out = runBlock(512);
        if (out[0][100] != 0.0f) played = block;
    }
    const int target = int(std::ceil(4 * 512 * 48000.0 / 44100.0));
    const int need = int(std::trunc(512 * 48000.0 / 44100.0)) + 4;
    EXPECT_EQ(played, (target + 511) / 512 - 1);
    EXPECT_EQ(instance->prebufferBlocks, 0);
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), (target - need) * 4);
}

TEST_F(ReceivePlayout, ConvertedToneKeepsItsFrequencyAndLevel) {
    // 1 kHz at 48 kHz into 44.1 kHz; measure on the played output.
    constexpr double kPi = 3.14159265358979323846;
    std::vector<float> played;
    long long n = 0;
    for (int block = 0; block < 60; ++block) {
        std::vector<float> samples(480);
        for (float& s : samples) s = float(0.5 * std::sin(2 * kPi * 1000 * double(n++) / 48000));
        for (int start = 0; start < 480; start += 150) {
            const int frames = std::min(150, 480 - start);
            const float* channels[2] = {samples.data() + start, samples.data() + start};
            std::vector<std::uint8_t> bytes(2000);
            char id[32] = "default";
            bytes.resize(size_t(wire::writeAudioPacket(bytes.data(), id, 2, 48000, frames, channels)));
            queueDatagram(bytes);
        }
        const auto out = runBlock(441);
        if (block >= 20) played.insert(played.end(), out[0].begin(), out[0].end());
    }
    double re = 0, im = 0, energy = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        re += played[i] * std::cos(2 * kPi * 1000 * double(i) / 44100);
        im += played[i] * std::sin(2 * kPi * 1000 * double(i) / 44100);
        energy += double(played[i]) * played[i];
    }
    const double amplitude = 2 * std::hypot(re, im) / double(played.size());
    EXPECT_NEAR(amplitude, 0.5, 0.05);
    // Nearly all the energy is at 1 kHz: no gaps or clicks.
    EXPECT_GT(amplitude * amplitude / 2, 0.95 * energy / double(played.size()));
}

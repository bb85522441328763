// The level the receiver holds, in time: targets and caps that fit the
// sender's bursts, restarts that drop stale audio, and streams far from the
// host's rate.
#include "tests/support/instance_fixture.h"

#include <cmath>

#include "stream/playout_levels.h"
#include "stream/receive_playout.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

constexpr double kPi = 3.14159265358979323846;

// One stereo sender block whose channel 0 counts frames from FIRST on.
void queueRamp(int frames, float first) {
    for (int start = 0; start < frames; start += 150)
        queueDatagram(audioDatagram("default", 2, 44100, std::min(150, frames - start),
                                    first + float(start)));
}

}  // namespace

TEST(PlayoutLevels, FollowTheLargerOfHostBlocksAndSenderBursts) {
    const PlayoutLevels same = playoutLevels(512, 512, 4, 48000);
    EXPECT_EQ(same.target, 2048);
    EXPECT_EQ(same.cap, 16 * 512);
    EXPECT_EQ(playoutLevels(512, 512, 2, 48000).target, 1024);
    // A 2048-frame sender into 64-frame blocks: two bursts, and four fit the cap.
    const PlayoutLevels big = playoutLevels(64, 2048, 4, 48000);
    EXPECT_EQ(big.target, 4096);
    EXPECT_EQ(big.cap, 8192);
    EXPECT_EQ(big.stale, 4096 + 4800);  // 100 ms beyond the target
}

class PlayoutRules : public InstanceFixture {};

TEST_F(PlayoutRules, BigSenderBlocksIntoSmallHostBlocksLoseNothing) {
    float next = 1;  // the ramp value channel 0 must play next
    int started = -1, gaps = 0;
    for (int block = 0; block < 32 * 12; ++block) {
        if (block % 32 == 0) queueRamp(2048, float(block / 32 * 2048 + 1));
        const auto out = runBlock(64);
        if (started < 0 && out[0][0] != 0.0f) started = block;
        if (started < 0) continue;
        if (out[0][0] != next || out[0][63] != next + 63) ++gaps;
        next = out[0][63] + 1;
    }
    EXPECT_EQ(started, 32);  // two bursts queued
    EXPECT_EQ(gaps, 0);
    EXPECT_LE(instance->channelStates[0].queuedBytes(), 4096 * 4);
}

// A 64-channel sender's 2048-frame block as 512 whole datagrams of 4 frames,
// channel 0 counting from FIRST on; PART of 4 is queued, as a burst this
// long takes several of the receiver's 64-frame blocks to arrive. No short
// datagram shows where a block ends.
void queueWholeDatagramQuarter(int part, float first) {
    const int perDatagram = wire::framesPerPacket(64);
    std::vector<float> samples(size_t(64 * perDatagram), 0.0f);
    const float* channels[64];
    for (int ch = 0; ch < 64; ++ch) channels[ch] = samples.data() + ch * perDatagram;
    std::vector<std::uint8_t> bytes(2000);
    char id[32] = "default";
    for (int start = part * 512; start < part * 512 + 512; start += perDatagram) {
        for (int j = 0; j < perDatagram; ++j) samples[size_t(j)] = first + float(start + j);
        bytes.resize(2000);
        bytes.resize(size_t(wire::writeAudioPacket(bytes.data(), id, 64, 44100, perDatagram, channels)));
        queueDatagram(bytes);
    }
}

void queueWholeDatagramBlock(float first) {
    for (int part = 0; part < 4; ++part) queueWholeDatagramQuarter(part, first);
}

TEST_F(PlayoutRules, BigBlocksOfWholeDatagramsLoseNothingAndAFloodIsNoBurst) {
    float next = 0;
    int sent = 0, started = -1, gaps = 0;
    const auto play = [&](int blocks) {
        for (int block = 0; block < blocks; ++block) {
            if (block % 32 < 4) queueWholeDatagramQuarter(block % 32, float((sent + block / 32) * 2048));
            const auto out = runBlock(64);
            if (!instance->playout.clock.played) {
                if (started >= 0) ++gaps;
                continue;
            }
            if (started < 0) started = block;
            else if (out[0][0] != next || out[0][63] != next + 63) ++gaps;
            next = out[0][63] + 1;
        }
        sent += blocks / 32;
    };
    // The stream begins while the receiver plays.
    runBlock(64);
    play(32 * 6);
    EXPECT_EQ(gaps, 0);
    EXPECT_GE(instance->playout.burstFrames, 2048 - 3 * 64);
    EXPECT_LE(instance->playout.burstFrames, 2048);

    // A pause: a second of blocks waits. Play restarts at the target (two
    // bursts) with the newest audio, and the burst stays what it was.
    int burst = instance->playout.burstFrames;
    for (int b = 0; b < 22; ++b, ++sent) queueWholeDatagramBlock(float(sent * 2048));
    runBlock(64);
    EXPECT_EQ(instance->channelStates[0].queuedBytes() / 4, 2 * burst - 64);
    next = float(sent * 2048 - 2 * burst + 64);
    play(32 * 3);
    // The same after a suspend, with the blocks that waited meanwhile.
    burst = instance->playout.burstFrames;
    dispatch(vst2::effMainsChanged, 0, 0);
    for (int b = 0; b < 22; ++b, ++sent) queueWholeDatagramBlock(float(sent * 2048));
    dispatch(vst2::effMainsChanged, 0, 1);
    runBlock(64);
    EXPECT_EQ(instance->channelStates[0].queuedBytes() / 4, 2 * burst - 64);
    next = float(sent * 2048 - 2 * burst + 64);
    play(32 * 3);
    EXPECT_EQ(gaps, 0);
    EXPECT_GE(instance->playout.burstFrames, 2048 - 3 * 64);
    EXPECT_LE(instance->playout.burstFrames, 2048 + 2 * 64);
}

TEST_F(PlayoutRules, APauseRestartsAtTheTargetWithTheNewestAudio) {
    int sent = 0;
    for (; sent < 8; ++sent) {
        queueRamp(512, float(sent * 512));
        runBlock(512);
    }
    // Three seconds without processing while the sender goes on.
    for (int b = 0; b < 3 * 44100 / 512; ++b, ++sent) queueRamp(512, float(sent * 512));
    queueRamp(512, float(sent * 512));
    ++sent;
    const auto out = runBlock(512);
    EXPECT_EQ(out[0][0], float((sent - 4) * 512)) << "older than the target";
    EXPECT_EQ(instance->channelStates[0].queuedBytes(), 3 * 512 * 4);

    // The same after a suspend, and the stream goes on from there.
    dispatch(vst2::effMainsChanged, 0, 0);
    for (int b = 0; b < 100; ++b, ++sent) queueRamp(512, float(sent * 512));
    dispatch(vst2::effMainsChanged, 0, 1);
    EXPECT_EQ(runBlock(512)[0][0], float((sent - 4) * 512));
    queueRamp(512, float(sent * 512));
    EXPECT_EQ(runBlock(512)[0][0], float((sent - 3) * 512));
}

TEST_F(PlayoutRules, PlayStartsWhereASenderBlockStarts) {
    for (int b = 0; b < 8; ++b) queueRamp(512, float(b * 512));
    // Two datagrams of the next block are in; the rest is still on its way.
    queueDatagram(audioDatagram("default", 2, 44100, 150, 4096));
    queueDatagram(audioDatagram("default", 2, 44100, 150, 4246));
    const auto out = runBlock(512);
    EXPECT_EQ(out[0][0], 2048.0f);
    EXPECT_EQ(out[0][511], 2559.0f);
}

// A 1 kHz tone at RATE into a host at HOST: what arrives at 1 kHz.
class FarRates : public PlayoutRules, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(FarRates, AToneArrivesAtItsFrequency) {
    const auto [rate, host] = GetParam();
    dispatch(vst2::effSetSampleRate, 0, 0, nullptr, float(host));
    const int hostBlock = host / 100, streamBlock = rate / 100;
    std::vector<float> played;
    long long n = 0;
    for (int block = 0; block < 60; ++block) {
        std::vector<float> samples(static_cast<size_t>(streamBlock));
        for (float& s : samples) s = float(0.5 * std::sin(2 * kPi * 1000 * double(n++) / rate));
        for (int start = 0; start < streamBlock; start += 150) {
            const int frames = std::min(150, streamBlock - start);
            const float* channels[2] = {samples.data() + start, samples.data() + start};
            std::vector<std::uint8_t> bytes(2000);
            char id[32] = "default";
            const int length = wire::writeAudioPacket(bytes.data(), id, 2, rate, frames, channels);
            bytes.resize(size_t(length));
            queueDatagram(bytes);
        }
        const auto out = runBlock(hostBlock);
        if (block >= 20) played.insert(played.end(), out[0].begin(), out[0].end());
    }
    double re = 0, im = 0, energy = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        re += played[i] * std::cos(2 * kPi * 1000 * double(i) / host);
        im += played[i] * std::sin(2 * kPi * 1000 * double(i) / host);
        energy += double(played[i]) * played[i];
    }
    const double amplitude = 2 * std::hypot(re, im) / double(played.size());
    EXPECT_NEAR(amplitude, 0.5, 0.05);
    EXPECT_GT(amplitude * amplitude / 2, 0.95 * energy / double(played.size()));
}

INSTANTIATE_TEST_SUITE_P(EightTimesTheHostRate, FarRates,
                         ::testing::Values(std::pair{192000, 48000}, std::pair{176400, 44100},
                                           std::pair{8000, 64000}));

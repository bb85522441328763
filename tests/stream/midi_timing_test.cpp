// Received MIDI plays with its audio: in the block where the audio of its
// sender block plays, at the offset it had there.
#include "tests/support/instance_fixture.h"

#include <map>

#include "stream/midi_stream.h"
#include "stream/receive_playout.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

struct Delivered {
    int note;
    int offset;
};
std::vector<Delivered> delivered;

vst2::intptr VST_CALLBACK recordingHost(vst2::AEffect*, vst2::int32 opcode, vst2::int32,
                                        vst2::intptr, void* ptr, float) {
    if (opcode != vst2::audioMasterProcessEvents) return 0;
    const auto* list = static_cast<const vst2::VstEvents*>(ptr);
    for (int i = 0; i < list->numEvents; ++i) {
        const auto* event = reinterpret_cast<const vst2::VstMidiEvent*>(list->events[i]);
        delivered.push_back({std::uint8_t(event->midiData[1]), event->deltaFrames});
    }
    return 0;
}

// Frames FROM to TO of 512-frame sender block BLOCK as the sender cuts it
// (150, 150, 150, 62), counting stream frames from 1.
void queueBlockPart(int block, int from, int to) {
    for (int start = from; start < to; start += 150)
        queueDatagram(audioDatagram("default", 2, 44100, std::min(150, 512 - start),
                                    float(block * 512 + start + 1)));
}

}  // namespace

class MidiTimingRun : public InstanceFixture,
                      public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(MidiTimingRun, EachEventLandsOnItsAudio) {
    const auto [senderBlock, hostBlock] = GetParam();
    instance->hostCallback = &recordingHost;
    delivered.clear();
    std::map<int, float> soundAt;  // note -> the sample its event must land on
    int block = 0, checked = 0;
    for (int played = 0; played < 40 * 2048; played += hostBlock) {
        while (block * senderBlock < played + hostBlock) {
            // Audio counting stream frames from 1, then the block's one event.
            for (int start = 0; start < senderBlock; start += 150)
                queueDatagram(audioDatagram("default", 2, 44100, std::min(150, senderBlock - start),
                                            float(block * senderBlock + start + 1)));
            const int offset = (block * 37) % senderBlock;
            auto midi = midiDatagram("default", {offset});
            midi[40 + 25] = std::uint8_t(block % 128);
            queueDatagram(midi);
            soundAt[block % 128] = float(block * senderBlock + offset + 1);
            ++block;
        }
        const auto out = runBlock(hostBlock);
        for (const Delivered& d : delivered) {
            EXPECT_EQ(out[0][size_t(d.offset)], soundAt[d.note]) << "note " << d.note;
            ++checked;
        }
        delivered.clear();
    }
    EXPECT_EQ(checked + instance->midiTiming.pending(), block);  // none lost
    EXPECT_GT(checked, block / 2);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, MidiTimingRun,
                         ::testing::Values(std::pair{512, 512}, std::pair{2048, 64},
                                           std::pair{64, 512}));

TEST_F(MidiTimingRun, WithoutAudioEventsComeAtOnce) {
    instance->hostCallback = &recordingHost;
    delivered.clear();
    queueDatagram(midiDatagram("default", {100}));
    runBlock(512);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].offset, 100);
}

TEST_F(MidiTimingRun, ASenderBlockSplitAcrossTwoHostBlocksKeepsItsStart) {
    instance->hostCallback = &recordingHost;
    delivered.clear();
    // Block 4 arrives in two parts.
    for (int block = 0; block < 4; ++block) queueBlockPart(block, 0, 512);
    queueBlockPart(4, 0, 150);
    runBlock(512);
    queueBlockPart(4, 150, 512);
    queueDatagram(midiDatagram("default", {300}));
    for (int b = 0; b < 6 && delivered.empty(); ++b) {
        queueBlockPart(5 + b, 0, 512);
        const auto out = runBlock(512);
        if (!delivered.empty()) {
            EXPECT_EQ(out[0][size_t(delivered[0].offset)], float(4 * 512 + 301));
        }
    }
    EXPECT_EQ(delivered.size(), 1u);
}

TEST_F(MidiTimingRun, AHostileOffsetWaitsNoLongerThanTheLargestBlock) {
    instance->hostCallback = &recordingHost;
    delivered.clear();
    int block = 0;
    auto queueBlock = [&] { queueBlockPart(block++, 0, 512); };
    queueBlock();
    queueDatagram(midiDatagram("default", {0x40000000}));
    for (int b = 0; b < 40 && delivered.empty(); ++b) {
        queueBlock();
        runBlock(512);
    }
    EXPECT_EQ(delivered.size(), 1u);
    EXPECT_LE(block, 4 + 16384 / 512 + 2);
}

// A sender block whose audio and MIDI arrive after a block's audio was
// collected but before its MIDI is read: the MIDI waits for that audio
// instead of joining the block before it.
TEST_F(MidiTimingRun, MidiArrivingDuringAPlayedBlockWaitsForItsAudio) {
    instance->hostCallback = &recordingHost;
    delivered.clear();
    int block = 0;
    auto queueBlock = [&] { queueBlockPart(block++, 0, 512); };
    for (int b = 0; b < 6; ++b) {
        queueBlock();
        runBlock(512);
    }
    std::vector<std::vector<float>> out(size_t(channelCount), std::vector<float>(512, 0.0f));
    std::vector<float*> outs;
    for (auto& channel : out) outs.push_back(channel.data());
    collectAudio(*instance, 512);
    const int late = block;
    queueBlock();
    queueDatagram(midiDatagram("default", {100}));
    playOut(*instance, outs.data(), 512);
    deliverMidi(*instance, 512);
    for (int b = 0; b < 8 && delivered.empty(); ++b) {
        queueBlock();
        const auto played = runBlock(512);
        if (!delivered.empty()) EXPECT_EQ(played[0][size_t(delivered[0].offset)], float(late * 512 + 101));
    }
    EXPECT_EQ(delivered.size(), 1u);
}

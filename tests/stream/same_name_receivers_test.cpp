#include <map>

#include "shell/instance_settings.h"
#include "tests/support/instance_fixture.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

// Offset x 1000 + note of every event each instance was handed.
std::map<const vst2::AEffect*, std::vector<std::int32_t>> eventsOf;

vst2::intptr VST_CALLBACK recordingHost(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32,
                                        vst2::intptr, void* ptr, float) {
    if (opcode != vst2::audioMasterProcessEvents) return 0;
    const auto* list = static_cast<const vst2::VstEvents*>(ptr);
    for (int i = 0; i < list->numEvents; ++i) {
        const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(list->events[i]);
        eventsOf[effect].push_back(midi->deltaFrames * 1000 + midi->midiData[1]);
    }
    return 0;
}

constexpr int kFrames = 512;

// Stream block b as four stereo datagrams, whose channel 1 holds
// b * 10000 + 1000 + frame (never 0), and one MIDI datagram.
void queueBlock(int block, std::int32_t now) {
    for (int start = 0; start < kFrames; start += 150)
        queueDatagram(audioDatagram("default", 2, 44100, std::min(150, kFrames - start),
                                    float(block * 10000 + start)),
                      now);
    queueDatagram(midiDatagram("default", {block * 37 % 500, 7}), now);
}

// One block of silence through the instance; returns channel 1.
std::vector<float> runOn(StreamEffect& which) {
    std::vector<std::vector<float>> channels(size_t(channelCount), std::vector<float>(kFrames, 0.0f));
    std::vector<float*> pointers;
    for (auto& channel : channels) pointers.push_back(channel.data());
    processReplacing(&which.effect, pointers.data(), pointers.data(), kFrames);
    return channels[1];
}

}  // namespace

// A second receiver of the fixture's stream.
class SameNameReceivers : public InstanceFixture {
protected:
    void SetUp() override {
        InstanceFixture::SetUp();
        eventsOf.clear();
        instance->hostCallback = &recordingHost;
        second.reset(createStreamEffect(&recordingHost));
        dispatcher(&second->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    }
    void TearDown() override {
        second.reset();
        InstanceFixture::TearDown();
    }
    std::unique_ptr<StreamEffect, InstanceDeleter> second;
    const std::int32_t now = platform::monotonicSeconds();
};

TEST_F(SameNameReceivers, EachGetsEveryDatagramBitExact) {
    // Both run before the stream starts; then either one reads first, and the
    // second one falls two blocks behind for a while.
    std::vector<float> heard[2];
    auto play = [&](int which) {
        const auto out = runOn(which == 0 ? *instance : *second);
        heard[which].insert(heard[which].end(), out.begin(), out.end());
    };
    play(0), play(1);
    constexpr int kBlocks = 12;
    for (int block = 0; block < kBlocks; ++block) {
        queueBlock(block, now);
        if (block % 2 == 0) play(1);
        play(0);
        if (block % 2 != 0 && block != 5 && block != 7) play(1);
    }
    for (int extra = 0; extra < 5; ++extra) play(0), play(1), play(1);
    for (auto& samples : heard) {
        const auto first = std::find_if(samples.begin(), samples.end(), [](float v) { return v != 0; });
        samples.erase(samples.begin(), first);
        ASSERT_GE(samples.size(), size_t(kBlocks * kFrames));
        for (int n = 0; n < kBlocks * kFrames; ++n)
            ASSERT_EQ(samples[size_t(n)], float(n / kFrames * 10000 + 1000 + n % kFrames)) << n;
    }
    const auto& events = eventsOf[&instance->effect];
    ASSERT_EQ(events.size(), size_t(2 * kBlocks));
    EXPECT_EQ(events[22], (11 * 37 % 500) * 1000 + 60);
    EXPECT_EQ(events, eventsOf[&second->effect]);
    EXPECT_EQ(queuedCount(), 0);  // read by both, so gone
}

TEST_F(SameNameReceivers, OneThatStopsReadingHoldsNothing) {
    queueBlock(0, now);
    runOn(*instance);
    runOn(*second);
    // The second one is not called any more (an idle track, a bypassing
    // host): what the first read expires as unread records do.
    for (int block = 1; block < 4; ++block) {
        queueBlock(block, now);
        runOn(*instance);
    }
    EXPECT_EQ(queuedCount(), 15);
    network::expireOldPackets(now + 3);
    EXPECT_EQ(queuedCount(), 0);
    queueBlock(4, now + 3);
    EXPECT_NE(runOn(*instance)[0], 0.0f);
    EXPECT_EQ(queuedCount(), 5);

    // Suspended, switched to send or switched off: released at once.
    dispatcher(&second->effect, vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(queuedCount(), 0);
    auto stopsIn = [&](const char* how, auto stop, auto undo) {
        runOn(*second);  // reading again
        queueBlock(5, now + 3);
        runOn(*instance);
        stop();
        runOn(*second);
        EXPECT_EQ(queuedCount(), 0) << how;
        undo();
    };
    stopsIn("send mode", [&] { second->sendMode = 1; }, [&] { second->sendMode = 0; });
    stopsIn("off", [&] { second->enabled = 0; }, [&] { second->enabled = 1; });
}

TEST_F(SameNameReceivers, DestroyAndRenameWhileTheOtherReads) {
    for (int block = 0; block < 6; ++block) {
        queueBlock(block, now);
        runOn(*instance);
        if (block == 1) second.reset(createStreamEffect(&recordingHost));  // a new one
        if (block == 3) {
            // Renamed while behind: what it held goes, the new name's records wait.
            setIdentifier(*second, "other");
            queueDatagram(audioDatagram("other", 2, 44100, 64), now);
        }
        if (block != 2) runOn(*second);
        if (block == 2) {
            EXPECT_EQ(queuedCount(), 5);  // the new one is behind
        }
    }
    EXPECT_EQ(queuedCount(), 0);
    EXPECT_EQ(runOn(*instance)[100], float(3 * 10000 + 1000 + 100));
    EXPECT_EQ(second->channelStates[0].queuedBytes(), 64 * 4);
}

// Host threads doing everything at once: a UI thread opening and closing
// instances, audio threads processing, another thread changing rates,
// suspending, setting parameters and loading chunks, and datagrams arriving,
// all on the same instances. Meant for ThreadSanitizer; bounded by counts.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "net/network_endpoint.h"
#include "shell/dispatcher.h"
#include "shell/instance_settings.h"
#include "shell/parameters.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/process_calls.h"
#include "tests/support/test_instance.h"

using namespace larkwire;
using namespace larkwire::testing;

namespace {

std::atomic<long> hostEvents{0};

vst2::intptr VST_CALLBACK host(vst2::AEffect*, vst2::int32 opcode, vst2::int32, vst2::intptr,
                               void* ptr, float) {
    if (opcode == vst2::audioMasterProcessEvents)
        hostEvents += static_cast<const vst2::VstEvents*>(ptr)->numEvents;
    return 0;
}

vst2::intptr call(StreamEffect* instance, vst2::int32 opcode, vst2::intptr value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
    return dispatcher(&instance->effect, opcode, 0, value, ptr, opt);
}

void processBlocks(StreamEffect* instance, int blocks, bool accumulate) {
    constexpr int kFrames = 256;
    std::vector<std::vector<float>> in(size_t(channelCount), std::vector<float>(kFrames, 0.1f));
    std::vector<std::vector<float>> out = in;
    std::vector<float*> ins, outs;
    for (int ch = 0; ch < channelCount; ++ch) {
        ins.push_back(in[size_t(ch)].data());
        outs.push_back(out[size_t(ch)].data());
    }
    vst2::VstMidiEvent note{vst2::kVstMidiType, 24, 3, 0, 0, 0, {char(0x90), 60, 100, 0}, 0, 0, 0, 0};
    vst2::VstEvents events{1, 0, {reinterpret_cast<vst2::VstEvent*>(&note), nullptr}};
    for (int i = 0; i < blocks; ++i) {
        call(instance, vst2::effProcessEvents, 0, &events);
        if (accumulate) processAccumulating(&instance->effect, ins.data(), outs.data(), kFrames);
        else processReplacing(&instance->effect, ins.data(), outs.data(), kFrames);
    }
}

}  // namespace

TEST(Concurrency, HostThreadsAndTheNetworkThreadTogether) {
    StreamEffect* receiver = createStreamEffect(&host);
    StreamEffect* sender = createStreamEffect(&host);
    ASSERT_NE(receiver, nullptr);
    ASSERT_NE(sender, nullptr);
    call(receiver, vst2::effSetSampleRate, 0, nullptr, 44100.0f);
    call(sender, vst2::effSetSampleRate, 0, nullptr, 48000.0f);
    setSendMode(*sender, 1);
    // Loopback only; our own thread drops it as coming from this computer.
    setDestination(*sender, "127.0.0.1");
    setIdentifier(*receiver, "shared");
    setIdentifier(*sender, "shared");

    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] { processBlocks(receiver, 600, false); });
    threads.emplace_back([&] { processBlocks(sender, 600, true); });
    // Settings changed while the blocks run.
    threads.emplace_back([&] {
        std::uint8_t chunk[172];
        for (int i = 0; i < 300; ++i) {
            for (StreamEffect* instance : {receiver, sender}) {
                call(instance, vst2::effSetSampleRate, 0, nullptr, i % 2 ? 48000.0f : 44100.0f);
                call(instance, vst2::effMainsChanged, 0);
                call(instance, vst2::effMainsChanged, 1);
                setParameter(&instance->effect, 0, float(i % 10) / 10.0f);
                getParameter(&instance->effect, 0);
                void* saved = nullptr;
                const auto n = call(instance, vst2::effGetChunk, 0, &saved);
                if (n == 172) {
                    std::memcpy(chunk, saved, sizeof chunk);
                    call(instance, vst2::effSetChunk, 172, chunk);
                }
            }
        }
    });
    // Datagrams as the network thread would queue them, beside the real one.
    threads.emplace_back([&] {
        const auto audio = audioDatagram("shared", 2, 44100, 150, 0.5f);
        const auto midi = midiDatagram("shared", {1, 2, 3});
        for (int i = 0; i < 3000 && !done.load(); ++i) {
            queueDatagram(i % 4 == 0 ? midi : audio, 0);
            if (i % 500 == 0) network::expireOldPackets(i);
        }
    });
    // Instances opened and closed meanwhile, each a network user for a moment.
    threads.emplace_back([&] {
        for (int i = 0; i < 60; ++i) {
            StreamEffect* brief = createStreamEffect(&host);
            call(brief, vst2::effSetSampleRate, 0, nullptr, 44100.0f);
            processBlocks(brief, 2, i % 2 == 0);
            call(brief, vst2::effClose);
        }
    });
    for (size_t i = 0; i < 2; ++i) threads[i].join();
    done.store(true);
    for (size_t i = 2; i < threads.size(); ++i) threads[i].join();

    // Still streaming after all that.
    processBlocks(receiver, 1, false);  // takes what the injector left
    const long before = hostEvents.load();
    queueDatagram(midiDatagram("shared", {1, 2, 3}), 0);
    // MIDI waits for the audio queued before it; with none coming any more it
    // is delivered once the stream has had no audio for a quarter second.
    for (int block = 0; block < 80 && hostEvents.load() < before + 3; ++block)
        processBlocks(receiver, 1, false);
    EXPECT_EQ(hostEvents.load(), before + 3);
    call(sender, vst2::effClose);
    call(receiver, vst2::effClose);
    EXPECT_EQ(network::startedInstanceCount(), 0);
    EXPECT_FALSE(network::threadRunning());
}

TEST(Concurrency, NetworkStartsOnceWhenTwoHostThreadsSetRates) {
    for (int round = 0; round < 20; ++round) {
        StreamEffect* a = createStreamEffect(&host);
        StreamEffect* b = createStreamEffect(&host);
        std::thread first([&] { call(a, vst2::effSetSampleRate, 0, nullptr, 44100.0f); });
        std::thread second([&] { call(b, vst2::effSetSampleRate, 0, nullptr, 44100.0f); });
        first.join();
        second.join();
        EXPECT_EQ(network::startedInstanceCount(), 2);
        std::thread closeA([&] { call(a, vst2::effClose); });
        std::thread closeB([&] { call(b, vst2::effClose); });
        closeA.join();
        closeB.join();
        EXPECT_EQ(network::startedInstanceCount(), 0);
        EXPECT_FALSE(network::threadRunning());
    }
}

// After warm-up the audio path must not touch the heap: every operator new and
// every container growth on the counting thread is counted while many blocks
// run, in send mode and in receive mode (direct and converted, with MIDI).
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "containers/heap_allocator.h"
#include "platform/clock.h"
#include "tests/support/instance_fixture.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> heapCalls{0};
std::atomic<long> heapFrees{0};
std::thread::id countedThread;

// Only the thread that runs the blocks counts: the network thread may meet
// stray datagrams on the stream port from other processes.
void noteAllocation() {
    if (counting.load(std::memory_order_relaxed) && std::this_thread::get_id() == countedThread)
        heapCalls.fetch_add(1, std::memory_order_relaxed);
}

void noteFree(void* p) {
    if (p != nullptr && counting.load(std::memory_order_relaxed) &&
        std::this_thread::get_id() == countedThread)
        heapFrees.fetch_add(1, std::memory_order_relaxed);
}

void release(void* p) {
    noteFree(p);
    std::free(p);
}

void* allocateOrNull(std::size_t size) {
    noteAllocation();
    return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = allocateOrNull(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    void* p = allocateOrNull(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace larkwire::testing {
namespace {

void* countedMalloc(std::size_t size) {
    noteAllocation();
    return std::malloc(size);
}
void* countedRealloc(void* block, std::size_t size) {
    noteAllocation();
    return std::realloc(block, size);
}

long deliveredEvents = 0;

vst2::intptr VST_CALLBACK quietHost(vst2::AEffect*, vst2::int32 opcode, vst2::int32, vst2::intptr,
                                    void* ptr, float) {
    if (opcode == vst2::audioMasterProcessEvents)
        deliveredEvents += static_cast<const vst2::VstEvents*>(ptr)->numEvents;
    return 0;
}

constexpr int kFrames = 512;
constexpr int kWarmUpBlocks = 100;
constexpr int kConvertedFeed = 700;  // frames per block, against about 557 played

// Host-owned audio buffers and one MIDI list, built before counting starts.
struct HostBlock {
    explicit HostBlock(int channels)
        : samples(size_t(2 * channels), std::vector<float>(kFrames, 0.25f)) {
        for (int ch = 0; ch < channels; ++ch) {
            inputs.push_back(samples[size_t(ch)].data());
            outputs.push_back(samples[size_t(channels + ch)].data());
        }
        // Laid out as a host lays out a list longer than the record's two slots.
        auto* list = reinterpret_cast<vst2::VstEvents*>(eventStorage);
        auto** slots = reinterpret_cast<vst2::VstEvent**>(eventStorage + offsetof(vst2::VstEvents, events));
        list->numEvents = kNotes;
        for (int i = 0; i < kNotes; ++i) {
            notes[i] = vst2::VstMidiEvent{vst2::kVstMidiType, 24, 10 * i, 0, 0, 0,
                                          {char(0x90), char(60 + i), 100, 0}, 0, 0, 0, 0};
            slots[i] = reinterpret_cast<vst2::VstEvent*>(&notes[i]);
        }
    }
    vst2::VstEvents* events() { return reinterpret_cast<vst2::VstEvents*>(eventStorage); }

    static constexpr int kNotes = 3;
    std::vector<std::vector<float>> samples;
    std::vector<float*> inputs, outputs;
    vst2::VstMidiEvent notes[kNotes];
    alignas(vst2::VstEvents) unsigned char eventStorage[sizeof(vst2::VstEvents) +
                                                        kNotes * sizeof(void*)] = {};
};

class SteadyStateAllocation : public InstanceFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        saved = heapAllocator();
        savedChannels = channelCount;
        channelCount = GetParam();
        InstanceFixture::SetUp();
        instance->hostCallback = &quietHost;
        deliveredEvents = 0;
        countedThread = std::this_thread::get_id();
        heapAllocator() = HeapAllocator{&countedMalloc, &countedRealloc, &release};
    }
    void TearDown() override {
        counting = false;
        heapAllocator() = saved;
        InstanceFixture::TearDown();
        channelCount = savedChannels;
    }

    // Runs blocks; returns the heap calls made during the counted ones.
    template <typename Block>
    long countBlocks(Block&& block) {
        for (int i = 0; i < kWarmUpBlocks; ++i) block();
        heapCalls = 0;
        counting = true;
        for (int i = 0; i < countedBlocks(); ++i) block();
        counting = false;
        return heapCalls.load();
    }

    // Enough to cycle every queue block several times; wide streams cost more per block.
    int countedBlocks() const { return channelCount > 8 ? 150 : 500; }

    HeapAllocator saved{};
    std::int32_t savedChannels = 2;
};

// Datagrams prepared up front and queued as the network thread would queue them.
struct StreamFeed {
    StreamFeed(int channels, int rate, int framesPerBlock) {
        const int perPacket = 300 / channels;
        for (int sent = 0; sent < framesPerBlock; sent += perPacket) {
            const int run = framesPerBlock - sent < perPacket ? framesPerBlock - sent : perPacket;
            audio.push_back(audioDatagram("default", channels, rate, run, 0.001f));
        }
        midi = midiDatagram("default", {-10, 5, 600});
    }
    void queueOneBlock() const {
        const std::int32_t now = platform::monotonicSeconds();
        for (const auto& datagram : audio) queueDatagram(datagram, now);
        queueDatagram(midi, now);
    }
    std::vector<std::vector<std::uint8_t>> audio;
    std::vector<std::uint8_t> midi;
};

// A count of 0 means something only if the hooks see what they should.
TEST_P(SteadyStateAllocation, CountsOperatorNewAndContainerGrowth) {
    HeapBuffer buffer;
    const long calls = countBlocks([&] {
        int* volatile held = new int(1);  // volatile: the pair must not be elided
        delete held;
        buffer.release();
        buffer.resize(64);
    });
    EXPECT_EQ(calls, 2L * countedBlocks());
}

TEST_P(SteadyStateAllocation, SendModeAllocatesNothing) {
    HostBlock host(channelCount);
    instance->sendMode = 1;
    instance->sendChannels = channelCount;
    std::strcpy(instance->destination, "127.0.0.1");
    const long calls = countBlocks([&] {
        instance->pendingEvents.store(host.events());
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
        instance->pendingEvents.store(host.events());
        instance->effect.process(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
    });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(instance->sendBackoff, 0) << "the sends must have gone out";
}

// Direct: the stream's rate is the host's. Converted: 48000 into 44100, fed a
// little faster than it plays so the queues stay at their 16-block limit.
TEST_P(SteadyStateAllocation, ReceiveModeAllocatesNothing) {
    HostBlock host(channelCount);
    for (const int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        dispatch(vst2::effMainsChanged, 0, 0);  // suspend: empty queues, reset converters
        const StreamFeed feed(channelCount, rate, rate == 44100 ? kFrames : kConvertedFeed);
        // Events held at the suspend are still delivered, late rather than lost.
        deliveredEvents = -instance->midiTiming.pending();
        const long calls = countBlocks([&] {
            feed.queueOneBlock();
            processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
            feed.queueOneBlock();
            instance->effect.process(&instance->effect, host.inputs.data(), host.outputs.data(),
                                     kFrames);
        });
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(instance->streamSampleRate, rate);
        EXPECT_EQ(instance->prebufferBlocks, 0) << "the stream must play";
        // Events wait for their audio: the last few are still held.
        EXPECT_EQ(deliveredEvents + instance->midiTiming.pending(),
                  3L * 2 * (kWarmUpBlocks + countedBlocks()));
        EXPECT_EQ(queuedCount(), 0) << "every datagram taken";
        // The stream reached the output on top of the passed-through input.
        EXPECT_NE(host.outputs[0][kFrames - 1], 0.25f);
    }
}

// Records a block takes go back to the network thread, even when the spare
// list is full: freeing is that thread's work, never the audio thread's.
TEST_P(SteadyStateAllocation, TheAudioThreadFreesNoRecord) {
    HostBlock host(channelCount);
    const std::int32_t t = platform::monotonicSeconds() + 1000;
    const StreamFeed feed(channelCount, 44100, 4 * kFrames);
    // The spare list fills through the expiry of a foreign stream.
    const auto foreign = audioDatagram("foreign", 1, 44100, 4);
    for (int i = 0; i < network::kMaxSparePackets + 100; ++i) queueDatagram(foreign, t);
    for (const auto& datagram : feed.audio) queueDatagram(datagram, t + 10);
    queueDatagram(feed.midi, t + 10);
    network::expireOldPackets(t + 3);
    {
        platform::LockGuard guard(*network::packetListLock.load());
        ASSERT_EQ(network::sparePackets().count(), network::kMaxSparePackets);
    }
    heapFrees = 0;
    counting = true;
    processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
    counting = false;
    EXPECT_EQ(queuedCount(), 0) << "the block took its stream";
    EXPECT_EQ(heapFrees.load(), 0);
    EXPECT_EQ(deliveredEvents + instance->midiTiming.pending(), 3);
}

// At the cap a flood reuses the records it pushes out, one receive batch
// after another: queuing then neither allocates nor frees.
TEST_P(SteadyStateAllocation, AFloodAtTheCapReusesItsRecords) {
    const std::int32_t t = platform::monotonicSeconds() + 1000;
    std::vector<std::vector<std::uint8_t>> foreign;
    for (int i = 0; i < 48; ++i) {
        const int channels = i % 3 == 0 ? 2 : i % 3 == 1 ? 8 : 64;
        foreign.push_back(audioDatagram(("foreign " + std::to_string(i)).c_str(), channels, 48000,
                                        wire::framesPerPacket(channels)));
    }
    std::vector<platform::DatagramSlot> batch;
    for (int i = 0; i < 64; ++i) {
        auto& d = foreign[size_t(i % 48)];
        batch.push_back({d.data(), int(d.size()), int(d.size()), {2, 0, 0x0A0A0A0A, {}}});
    }
    for (int k = 0; k < network::kMaxQueuedPackets / 64 + 2; ++k)
        network::acceptDatagrams(batch.data(), 64, t);
    heapCalls = 0;
    heapFrees = 0;
    counting = true;
    for (int k = 0; k < 20; ++k) network::acceptDatagrams(batch.data(), 64, t);
    counting = false;
    EXPECT_EQ(queuedCount(), network::kMaxQueuedPackets);
    EXPECT_EQ(heapCalls.load(), 0);
    EXPECT_EQ(heapFrees.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Channels, SteadyStateAllocation, ::testing::Values(2, 8, 64));

}  // namespace
}  // namespace larkwire::testing

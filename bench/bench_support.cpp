#include "bench/bench_support.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "containers/heap_allocator.h"
#include "platform/udp.h"

namespace larkwire::bench {

std::atomic<long> heapCalls{0};
std::atomic<bool> countHeapCalls{false};

namespace {
void note() {
    if (countHeapCalls.load(std::memory_order_relaxed))
        heapCalls.fetch_add(1, std::memory_order_relaxed);
}
void* countedMalloc(std::size_t size) {
    note();
    return std::malloc(size);
}
void* countedRealloc(void* block, std::size_t size) {
    note();
    return std::realloc(block, size);
}
}  // namespace

void installHeapCounting() {
    heapAllocator() = HeapAllocator{&countedMalloc, &countedRealloc, &std::free};
}

vst2::intptr VST_CALLBACK silentHost(vst2::AEffect*, vst2::int32, vst2::int32, vst2::intptr,
                                     void*, float) {
    return 0;
}

InstancePtr makeInstance(int channels, float hostRate, const char* identifier) {
    channelCount = channels;
    InstancePtr instance(createStreamEffect(&silentHost));
    dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, hostRate);
    std::strncpy(instance->identifier, identifier, 31);
    return instance;
}

void keepNetworkUp() {
    static InstancePtr anchor = makeInstance(2, 48000.0f, "bench anchor");
}

void holdStreamPort() {
    static const bool held = [] {
        platform::startSockets();
        const platform::SocketHandle handle = platform::openDatagramSocket();
        platform::Ipv4SocketAddress address{};
        address.family = platform::kAddressFamilyIpv4;
        address.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
        return handle != platform::kInvalidSocket && platform::bindSocket(handle, address) == 0;
    }();
    (void)held;
}

HostBuffers::HostBuffers(int channels, int frames)
    : samples(size_t(2 * channels), std::vector<float>(size_t(frames))) {
    for (int ch = 0; ch < channels; ++ch) {
        for (int j = 0; j < frames; ++j) samples[size_t(ch)][size_t(j)] = 0.001f * float(j % 97);
        inputs.push_back(samples[size_t(ch)].data());
        outputs.push_back(samples[size_t(channels + ch)].data());
    }
}

StreamFeed::StreamFeed(const char* identifier, int channels, int rate, int framesPerBlock,
                       bool midi) {
    char id[32] = {};
    std::strncpy(id, identifier, 31);
    std::vector<float> samples(size_t(channels) * 300, 0.25f);
    const float* pointers[64];
    const int perPacket = wire::framesPerPacket(channels);
    for (int sent = 0; sent < framesPerBlock; sent += perPacket) {
        const int run = framesPerBlock - sent < perPacket ? framesPerBlock - sent : perPacket;
        for (int ch = 0; ch < channels; ++ch) pointers[ch] = samples.data() + ch * run;
        std::vector<std::uint8_t> bytes(wire::kMaxDatagram);
        bytes.resize(size_t(wire::writeAudioPacket(bytes.data(), id, channels, rate, run, pointers)));
        datagrams.push_back(std::move(bytes));
    }
    if (midi) {
        // Three note-ons, as a sender's host would hand them in one block.
        std::vector<std::uint8_t> bytes(40 + 3 * 32, 0);
        wire::writeU32(bytes.data(), wire::kMidiMagic);
        wire::writeU32(bytes.data() + 4, std::uint32_t(bytes.size()));
        std::memcpy(bytes.data() + 8, id, 32);
        for (int i = 0; i < 3; ++i) {
            std::uint8_t* record = bytes.data() + 40 + 32 * i;
            wire::writeU32(record, 1);
            wire::writeU32(record + 4, 24);
            wire::writeU32(record + 8, std::uint32_t(100 * i));
            record[24] = 0x90;
            record[25] = std::uint8_t(60 + i);
            record[26] = 100;
        }
        datagrams.push_back(std::move(bytes));
    }
}

void StreamFeed::queue(std::int32_t now) const { queueDatagrams(datagrams, now); }

void queueDatagrams(const std::vector<std::vector<std::uint8_t>>& datagrams, std::int32_t now) {
    platform::Ipv4SocketAddress source{};
    source.family = platform::kAddressFamilyIpv4;
    source.addressNetworkOrder = 0x0209E70A;  // 10.231.9.2: a foreign sender
    for (const auto& bytes : datagrams)
        network::acceptDatagram(bytes.data(), std::int32_t(bytes.size()), source, now);
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<std::vector<std::uint8_t>> foreignDatagrams(int count) {
    std::vector<std::vector<std::uint8_t>> datagrams;
    const int shapes[3] = {2, 8, 64};
    std::vector<float> samples(300, 0.5f);
    const float* pointers[64];
    for (int i = 0; i < count; ++i) {
        const int channels = shapes[i % 3];
        const int frames = wire::framesPerPacket(channels);
        for (int ch = 0; ch < channels; ++ch) pointers[ch] = samples.data() + ch * frames;
        char id[32] = {};
        std::snprintf(id, sizeof id, "foreign %d", i % 48);
        std::vector<std::uint8_t> bytes(wire::kMaxDatagram);
        bytes.resize(size_t(wire::writeAudioPacket(bytes.data(), id, channels, 48000, frames, pointers)));
        datagrams.push_back(std::move(bytes));
    }
    return datagrams;
}

}  // namespace larkwire::bench

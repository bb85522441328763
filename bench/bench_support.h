// Shared set-up for the benchmarks: in-process instances with the network up,
// host buffers, datagram feeds, and heap-call counting around timed work.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "net/network_endpoint.h"
#include "shell/dispatcher.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/packet_format.h"
#include "stream/process_calls.h"

namespace larkwire::bench {

// Heap calls (operator new, container growth) made while armed on any thread.
extern std::atomic<long> heapCalls;
extern std::atomic<bool> countHeapCalls;
void installHeapCounting();

struct InstanceDeleter {
    void operator()(StreamEffect* instance) const { destroyStreamEffect(instance); }
};
using InstancePtr = std::unique_ptr<StreamEffect, InstanceDeleter>;

vst2::intptr VST_CALLBACK silentHost(vst2::AEffect*, vst2::int32, vst2::int32, vst2::intptr,
                                     void*, float);

// A fresh instance of `channels` channels, network started at `hostRate`.
InstancePtr makeInstance(int channels, float hostRate, const char* identifier);

struct HostBuffers {
    HostBuffers(int channels, int frames);
    std::vector<std::vector<float>> samples;
    std::vector<float*> inputs, outputs;
};

// One host block's worth of a stream's datagrams, built once.
struct StreamFeed {
    StreamFeed(const char* identifier, int channels, int rate, int framesPerBlock, bool midi);
    void queue(std::int32_t now) const;  // as the network thread queues them
    std::vector<std::vector<std::uint8_t>> datagrams;
};

// Audio datagrams of other streams, as a busy network carries them: 2, 8 and
// 64 channels under 48 identifiers.
std::vector<std::vector<std::uint8_t>> foreignDatagrams(int count);
void queueDatagrams(const std::vector<std::vector<std::uint8_t>>& datagrams, std::int32_t now);

// Keeps the network up for the whole run, whatever instances come and go.
void keepNetworkUp();

// Holds the stream port before the network starts, so our own loopback sends
// land in a socket nobody reads (the kernel drops them once it is full) and no
// network thread competes for socketLock: the state of a sender whose
// datagrams leave the computer. Received datagrams come only from queueDatagrams.
void holdStreamPort();

// CPU time of the calling thread, in seconds.
double threadCpuSeconds();

}  // namespace larkwire::bench

// 16 instances in one process, each streaming 8 channels: 8 senders and 8
// receivers on each of two audio threads. Reports the send and the receive
// cost per instance block and the time spent waiting for the shared locks.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

#include "bench/bench_support.h"
#include "bench/timed_lock.h"
#include "platform/clock.h"

namespace larkwire::bench {
namespace {

constexpr int kFrames = 512;
constexpr int kChannels = 8;
constexpr int kPerThread = 8;  // of each kind
constexpr int kThreads = 2;

struct Rig {
    InstancePtr senders[kThreads * kPerThread];
    InstancePtr receivers[kThreads * kPerThread];
    std::unique_ptr<StreamFeed> feeds[kThreads * kPerThread];
    std::unique_ptr<HostBuffers> buffers[kThreads];
};

void holdStreamPortForScale() {
    // Same reasoning as the block benchmarks: our loopback sends must not feed
    // a network thread here; senders compete with each other for socketLock.
    // LARKWIRE_SCALE_RECEIVING=1 leaves the port to the endpoint instead, so
    // its thread receives every datagram the senders send (run it in a
    // network namespace of its own, where the port is free).
    if (std::getenv("LARKWIRE_SCALE_RECEIVING") != nullptr) return;
    holdStreamPort();
}

Rig* rig = nullptr;

void SixteenInstances(benchmark::State& state) {
    const int t = state.thread_index();
    if (t == 0 && rig == nullptr) {
        holdStreamPortForScale();
        keepNetworkUp();
        rig = new Rig;  // kept for the whole run: the benchmark runs several times
        for (int i = 0; i < kThreads * kPerThread; ++i) {
            char id[32];
            std::snprintf(id, sizeof id, "scale %d", i);
            rig->senders[i] = makeInstance(kChannels, 48000.0f, "scale sender");
            rig->senders[i]->sendMode = 1;
            rig->senders[i]->sendChannels = kChannels;
            std::strcpy(rig->senders[i]->destination, "127.0.0.1");
            rig->receivers[i] = makeInstance(kChannels, 48000.0f, id);
            rig->feeds[i] = std::make_unique<StreamFeed>(id, kChannels, 48000, kFrames, true);
        }
        for (auto& b : rig->buffers) b = std::make_unique<HostBuffers>(kChannels, kFrames);
        // Past the 4-block pre-buffer before anything is timed.
        const std::int32_t now = platform::monotonicSeconds();
        for (int block = 0; block < 8; ++block) {
            for (int i = 0; i < kThreads * kPerThread; ++i) {
                rig->feeds[i]->queue(now);
                processReplacing(&rig->receivers[i]->effect, rig->buffers[0]->inputs.data(),
                                 rig->buffers[0]->outputs.data(), kFrames);
            }
        }
    }
    if (t == 0) {
        trackLock(0, network::socketLock.load());
        trackLock(1, network::packetListLock.load());
    }
    double sendSeconds = 0, receiveSeconds = 0;
    const std::int32_t now = platform::monotonicSeconds();
    for (auto _ : state) {
        HostBuffers& host = *rig->buffers[t];
        const auto a = std::chrono::steady_clock::now();
        for (int i = t * kPerThread; i < (t + 1) * kPerThread; ++i)
            processReplacing(&rig->senders[i]->effect, host.inputs.data(), host.outputs.data(),
                             kFrames);
        const auto b = std::chrono::steady_clock::now();
        // What the network thread would have queued for our receivers meanwhile.
        for (int i = t * kPerThread; i < (t + 1) * kPerThread; ++i) rig->feeds[i]->queue(now);
        const auto c = std::chrono::steady_clock::now();
        for (int i = t * kPerThread; i < (t + 1) * kPerThread; ++i)
            processReplacing(&rig->receivers[i]->effect, host.inputs.data(), host.outputs.data(),
                             kFrames);
        const auto d = std::chrono::steady_clock::now();
        sendSeconds += std::chrono::duration<double>(b - a).count();
        receiveSeconds += std::chrono::duration<double>(d - c).count();
        state.SetIterationTime(std::chrono::duration<double>((b - a) + (d - c)).count());
    }
    const double blocks = double(state.iterations()) * kPerThread;
    state.counters["send_us"] =
        benchmark::Counter(sendSeconds * 1e6 / blocks, benchmark::Counter::kAvgThreads);
    state.counters["receive_us"] =
        benchmark::Counter(receiveSeconds * 1e6 / blocks, benchmark::Counter::kAvgThreads);
    if (t == 0) {
        // All threads' waits: socketLock per send block, packetListLock per
        // receive block (the queueing for that block included).
        const double kindBlocks = blocks * kThreads;
        state.counters["socketLock_wait_us"] = lockWaitNanoseconds[0].load() * 1e-3 / kindBlocks;
        state.counters["packetListLock_wait_us"] = lockWaitNanoseconds[1].load() * 1e-3 / kindBlocks;
        state.counters["socketLock_contended"] = double(lockContentions[0].load()) / kindBlocks;
        state.counters["packetListLock_contended"] = double(lockContentions[1].load()) / kindBlocks;
        bool played = true;
        for (auto& r : rig->receivers) played = played && r->prebufferBlocks == 0;
        if (!played) state.SkipWithError("a receiver did not play");
    }
}

BENCHMARK(SixteenInstances)->Threads(kThreads)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace larkwire::bench

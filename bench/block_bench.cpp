// Per-block cost of the two processing paths, against what the same work
// costs with nothing but memcpy and sendto.
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/bench_support.h"
#include "bench/timed_lock.h"
#include "platform/clock.h"
#include "platform/udp.h"
#include "stream/receive_playout.h"

namespace larkwire::bench {
namespace {

constexpr int kFrames = 512;
constexpr double kHostRate = 48000.0;

platform::Ipv4SocketAddress loopbackStreamPort() {
    platform::Ipv4SocketAddress to{};
    to.family = platform::kAddressFamilyIpv4;
    to.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
    to.addressNetworkOrder = platform::parseDottedAddress("127.0.0.1");
    return to;
}

void SendBlock(benchmark::State& state) {
    const int channels = int(state.range(0));
    holdStreamPort();
    keepNetworkUp();
    InstancePtr instance = makeInstance(channels, float(kHostRate), "bench send");
    instance->sendMode = 1;
    instance->sendChannels = channels;
    std::strcpy(instance->destination, "127.0.0.1");
    HostBuffers host(channels, kFrames);
    for (auto _ : state)
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
    if (instance->sendBackoff != 0) state.SkipWithError("a send failed");
    state.counters["datagrams"] = double((kFrames + wire::framesPerPacket(channels) - 1) /
                                         wire::framesPerPacket(channels));
}

// The floor: the pass-through copy, the datagram assembly copies and the same
// sendto calls of the same sizes, from a plain socket set up like ours.
void SendFloor(benchmark::State& state) {
    const int channels = int(state.range(0));
    holdStreamPort();
    platform::startSockets();
    const platform::SocketHandle handle = platform::openDatagramSocket();
    platform::setSocketBufferSizes(handle, 4 * 1024 * 1024);
    const platform::Ipv4SocketAddress to = loopbackStreamPort();
    HostBuffers host(channels, kFrames);
    static std::uint8_t datagram[wire::kMaxDatagram];
    std::uint8_t header[47] = {'M', 'L', 'W', 'R'};
    const int perPacket = wire::framesPerPacket(channels);
    int failures = 0;
    for (auto _ : state) {
        for (int ch = 0; ch < channels; ++ch)
            std::memcpy(host.outputs[size_t(ch)], host.inputs[size_t(ch)], kFrames * sizeof(float));
        for (int sent = 0; sent < kFrames; sent += perPacket) {
            const int run = kFrames - sent < perPacket ? kFrames - sent : perPacket;
            std::memcpy(datagram, header, sizeof header);
            for (int ch = 0; ch < channels; ++ch)
                std::memcpy(datagram + 47 + ch * run * 4, host.inputs[size_t(ch)] + sent,
                            size_t(run) * 4);
            failures += platform::sendDatagram(handle, datagram, 47 + channels * run * 4, to);
        }
        benchmark::DoNotOptimize(datagram);
    }
    if (failures != 0) state.SkipWithError("a send failed");
    platform::shutdownAndClose(handle);
}

// collectAudio + playOut + deliverMidi through processReplacing, one block's
// datagrams queued (untimed) before each block. Converted: a 44100 stream.
// Foreign: that many datagrams of other streams wait in the queue meanwhile
// (at the cap, each of ours pushes the oldest of them out).
void ReceiveBlock(benchmark::State& state) {
    const int channels = int(state.range(0));
    const bool converted = state.range(1) != 0;
    const int foreign = int(state.range(2));
    holdStreamPort();
    keepNetworkUp();
    InstancePtr instance = makeInstance(channels, float(kHostRate), "bench receive");
    const StreamFeed feed("bench receive", channels, converted ? 44100 : 48000, kFrames, true);
    HostBuffers host(channels, kFrames);
    const std::int32_t now = platform::monotonicSeconds();
    for (int i = 0; i < 200; ++i) {
        feed.queue(now);
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
    }
    network::expireOldPackets(now + 1000000);  // what earlier cases left
    queueDatagrams(foreignDatagrams(foreign), now + 1000);
    installHeapCounting();
    heapCalls = 0;
    double seconds = 0, cpuSeconds = 0;
    for (auto _ : state) {
        feed.queue(now);
        countHeapCalls = true;
        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(), kFrames);
        const auto end = std::chrono::steady_clock::now();
        cpuSeconds += threadCpuSeconds() - cpuStart;
        countHeapCalls = false;
        const double elapsed = std::chrono::duration<double>(end - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const bool playing = converted ? host.outputs[0][kFrames - 1] != host.inputs[0][kFrames - 1]
                                   : instance->prebufferBlocks == 0;
    if (!playing) state.SkipWithError("the stream did not play");
    const double period = kFrames / kHostRate;
    state.counters["period_fraction"] =
        benchmark::Counter(seconds / period, benchmark::Counter::kAvgIterations);
    // The block's own CPU time: on a shared machine the wall time also holds
    // the time other processes ran.
    state.counters["cpu_us"] = benchmark::Counter(cpuSeconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["cpu_period_fraction"] =
        benchmark::Counter(cpuSeconds / period, benchmark::Counter::kAvgIterations);
    state.counters["heap_calls"] = double(heapCalls.load());
}

// One expiry pass with 8192 foreign records queued: all of them expiring
// (1024 become spare, the rest are freed), or none. hold_us: how long the
// pass held packetListLock (its longest stretch, averaged over the passes),
// which is what a receiving block may have to wait; hold_cpu_us: the same
// stretch in the pass's own CPU time, without the time other processes ran.
void ExpiryPass(benchmark::State& state) {
    const bool expiring = state.range(0) != 0;
    holdStreamPort();
    keepNetworkUp();
    const auto datagrams = foreignDatagrams(network::kMaxQueuedPackets);
    std::int32_t stamp = platform::monotonicSeconds() + 1000;
    std::int64_t holdNanoseconds = 0, holdCpuNanoseconds = 0;
    // A pass that expires nothing leaves the queue as it was: queued once. Queued
    // afresh for every pass of well under a microsecond, the untimed queueing
    // would make the run last for hours before the timed part adds up.
    network::expireOldPackets(stamp + 1000000);
    queueDatagrams(datagrams, stamp);
    for (auto _ : state) {
        if (expiring) {
            stamp += 10;
            network::expireOldPackets(stamp + 1000000);
            queueDatagrams(datagrams, stamp);
        }
        trackLock(1, network::packetListLock.load());
        const auto start = std::chrono::steady_clock::now();
        network::expireOldPackets(expiring ? stamp + 3 : stamp);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        holdNanoseconds += lockLongestHoldNanoseconds[1].load();
        holdCpuNanoseconds += lockLongestHoldCpuNanoseconds[1].load();
        trackLock(1, nullptr);  // the untimed queueing runs at full speed
    }
    trackLock(1, nullptr);
    network::expireOldPackets(stamp + 1000000);
    const double passes = double(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["hold_us"] = double(holdNanoseconds) / 1000.0 / passes;
    state.counters["hold_cpu_us"] = double(holdCpuNanoseconds) / 1000.0 / passes;
}

BENCHMARK(SendBlock)->Arg(2)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(SendFloor)->Arg(2)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReceiveBlock)
    ->ArgNames({"channels", "converted", "foreign"})
    ->ArgsProduct({{2, 8, 64}, {0, 1}, {0}})
    ->Args({2, 0, network::kMaxQueuedPackets})
    ->Args({64, 0, network::kMaxQueuedPackets})
    ->Args({64, 0, network::kMaxQueuedPackets - 256})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
// The same cases as one fixed run, for bench/foreign_ratio.sh: a process
// that has run a case before (the library's probing runs, repetitions) lays
// the next run's instance out among what the last one left on the heap, and
// beside foreign records that layout alone costs 10 to 20 %.
void ReceiveBlockOneRun(benchmark::State& state) { ReceiveBlock(state); }
BENCHMARK(ReceiveBlockOneRun)
    ->ArgNames({"channels", "converted", "foreign"})
    ->ArgsProduct({{2, 64}, {0}, {0, network::kMaxQueuedPackets}})
    ->Args({64, 0, network::kMaxQueuedPackets - 256})
    ->Iterations(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(ExpiryPass)->ArgNames({"expiring"})->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace larkwire::bench

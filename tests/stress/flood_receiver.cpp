// The receiving side of the flood test: one instance in receive mode, run in
// real time with the core linked in-process, so the process-wide queues can
// be inspected while a foreign sender floods the port.
//   flood_receiver SECONDS IDENTIFIER
// Prints key=value lines; exits 1 when a bound was broken or nothing played.
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "net/network_endpoint.h"
#include "platform/clock.h"
#include "shell/dispatcher.h"
#include "shell/instance_settings.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/process_calls.h"

using namespace larkwire;

namespace {

constexpr int kFrames = 512;
constexpr double kRate = 44100.0;
long long midiEvents = 0;

vst2::intptr VST_CALLBACK host(vst2::AEffect*, vst2::int32 opcode, vst2::int32, vst2::intptr,
                               void* ptr, float) {
    if (opcode == vst2::audioMasterProcessEvents)
        midiEvents += static_cast<const vst2::VstEvents*>(ptr)->numEvents;
    return 0;
}

long peakRssKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const char* identifier = argc > 2 ? argv[2] : "good";
    StreamEffect* instance = createStreamEffect(&host);
    setIdentifier(*instance, identifier);
    setSendMode(*instance, 0);
    dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, float(kRate));
    if (!network::threadRunning()) {
        std::printf("error=no network thread (port taken?)\n");
        return 1;
    }

    std::vector<float> in0(kFrames, 0.0f), in1(kFrames, 0.0f), out0(kFrames), out1(kFrames);
    float* ins[2] = {in0.data(), in1.data()};
    float* outs[2] = {out0.data(), out1.data()};
    long long blocks = 0, played = 0, underruns = 0, jumps = 0, playedSinceUnderrun = 0, resumes = 0;
    int maxQueued = 0, maxSpare = 0, maxAge = 0;
    long long maxQueuedBytes = 0, maxSpareBytes = 0;
    bool broken = false;
    float last = -1.0f;
    const std::int64_t start = platform::monotonicMilliseconds();
    const std::int64_t total = std::int64_t(seconds) * 1000;
    for (std::int64_t due = start; due - start < total; due = start + (blocks * kFrames * 1000) / std::int64_t(kRate)) {
        const std::int64_t now = platform::monotonicMilliseconds();
        if (due > now) platform::sleepMilliseconds(int(due - now));
        processReplacing(&instance->effect, ins, outs, kFrames);
        ++blocks;
        // The sender's ramp never holds zero, so a silent block is an underrun.
        if (out0[0] != 0.0f) {
            if (playedSinceUnderrun == 0 && underruns > 0) ++resumes;
            ++played;
            ++playedSinceUnderrun;
            for (int j = 0; j < kFrames; ++j) {
                const float expected = last >= 0.999f ? 0.001f : last + 0.001f;
                if (last >= 0.0f && std::fabs(out0[j] - expected) > 1e-4f) ++jumps;
                last = out0[j];
            }
        } else if (played > 0) {
            ++underruns;
            playedSinceUnderrun = 0;
        }

        platform::LockGuard guard(*network::packetListLock.load());
        auto& queued = network::receivedPackets();
        const int count = queued.count();
        if (count > maxQueued) maxQueued = count;
        const int spare = network::sparePackets().count();
        if (spare > maxSpare) maxSpare = spare;
        if (network::queuedByteCount() > maxQueuedBytes) maxQueuedBytes = network::queuedByteCount();
        // Sampled: the walk over up to 1024 records holds the lock the network
        // thread needs.
        long long spareBytes = 0;
        for (int i = 0; blocks % 16 == 0 && i < spare; ++i)
            spareBytes += network::sparePackets().get(i)->bytes.allocatedSize();
        if (spareBytes > maxSpareBytes) maxSpareBytes = spareBytes;
        const std::int32_t second = platform::monotonicSeconds();
        // Stamps grow along the arrival order: the oldest record is the eldest.
        // Walking all 8192 under the lock each block would itself stall the
        // network thread at high flood rates.
        if (const ReceivedPacket* p = queued.oldest(); p != nullptr && second - p->time > maxAge)
            maxAge = second - p->time;
        if (count > network::kMaxQueuedPackets || spare > network::kMaxSparePackets || maxAge > 3 ||
            network::queuedByteCount() > network::kMaxQueuedBytes)
            broken = true;
    }
    destroyStreamEffect(instance);
    std::printf("blocks=%lld\nplayed=%lld\nunderruns=%lld\nramp_jumps=%lld\nmidi_events=%lld\n"
                "resumes_after_underrun=%lld\nmax_queued=%d\nmax_queued_bytes=%lld\nmax_spare=%d\n"
                "max_spare_bytes=%lld\nmax_age_seconds=%d\npeak_rss_kb=%ld\n",
                blocks, played, underruns, jumps, midiEvents, resumes, maxQueued, maxQueuedBytes, maxSpare,
                maxSpareBytes, maxAge,
                peakRssKilobytes());
    return broken || played == 0 ? 1 : 0;
}

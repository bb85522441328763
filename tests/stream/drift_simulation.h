// A simulated sender, network, receiving host and queue around a
// DriftEstimator and a FineResampler's arithmetic, on a simulated clock: the
// receiver's audio clock is the reference; the sender's runs ppm fast or
// slow. Deterministic: the jitter comes from a fixed-seed generator.
#pragma once

#include <cmath>
#include <cstdint>
#include <deque>

#include "stream/drift_estimator.h"
#include "stream/fine_resampler.h"

namespace larkwire::sim {

struct DriftScenario {
    double senderPpm = 0;
    double rate = 48000;
    int senderBlock = 512;
    int hostBlock = 512;
    double targetBlocks = 4;
    double networkJitterMs = 2;     // uniform extra delay of each sender block
    double senderOffsetMs = 0;      // where the sender's blocks fall against the host's
    double spikeEverySeconds = 7;   // now and then one block is held up ...
    double spikeMs = 15;            // ... this long
    bool pairedHostCalls = true;    // the host runs two blocks back to back, then waits
    double hostJitterMs = 1;
    std::uint32_t seed = 1;
};

struct DriftOutcome {
    std::int64_t underruns = 0;
    std::int64_t overflows = 0;
    std::int64_t blocksAtRatioOne = 0;
    std::int64_t blocks = 0;
    double worstLatencyDeviationBlocks = 0;  // after settleSeconds, against the latency at start
    double latencySpreadBlocks = 0;          // highest less lowest latency, after settleSeconds
    double settledAfterSeconds = -1;  // from then on within half a block of the start latency
    double finalDriftPpm = 0;
};

class DriftSimulation {
public:
    explicit DriftSimulation(const DriftScenario& s) : s_(s), random_(s.seed) {}

    DriftOutcome run(double seconds, double settleSeconds) {
        DriftOutcome out;
        const double blockSeconds = s_.hostBlock / s_.rate;
        const double senderBlockSeconds = s_.senderBlock / (s_.rate * (1 + s_.senderPpm * 1e-6));
        const double target = s_.targetBlocks * s_.hostBlock;
        const std::int64_t hostBlocks = std::int64_t(seconds / blockSeconds);
        double lastArrival = 0, startLatency = 0, lowest = 1, highest = 0;
        bool playing = false, started = false;
        std::int64_t sent = 0;
        double nextSpike = s_.spikeEverySeconds;
        for (std::int64_t k = 0; k < hostBlocks; ++k) {
            // When the host calls: in pairs, the second right after the first.
            const std::int64_t paced = s_.pairedHostCalls ? k - (k & 1) + 1 : k;
            const double call = paced * blockSeconds + uniform() * s_.hostJitterMs * 1e-3;
            for (;;) {
                double arrival = (sent + 1) * senderBlockSeconds + (1 + s_.senderOffsetMs) * 1e-3 +
                                 uniform() * s_.networkJitterMs * 1e-3;
                if (s_.spikeEverySeconds > 0 && arrival > nextSpike) {
                    arrival += s_.spikeMs * 1e-3;
                    nextSpike += s_.spikeEverySeconds;
                }
                if (arrival < lastArrival) arrival = lastArrival;  // datagrams keep their order
                if (arrival > call) break;
                lastArrival = arrival;
                queued_ += s_.senderBlock;
                ++sent;
            }
            if (queued_ > 16.0 * s_.hostBlock + target) {
                ++out.overflows;
                readIndex_ += queued_ - target;
                queued_ = target;
            }
            if (!playing) {
                if (queued_ < target) continue;
                readIndex_ += queued_ - target;  // play the newest target level only
                queued_ = target;
                position_ = 0;
                if (!started) estimator_.reset();  // a restart after a shortage keeps it
                playing = started = true;
            }
            const double ratio = estimator_.ratio();
            const double end = position_ + s_.hostBlock * ratio;
            const double need = std::floor(end);
            if (queued_ < need + FineResampler::kLookahead * (ratio != 1.0 || position_ != 0)) {
                ++out.underruns;
                playing = false;
                continue;
            }
            // The output frame at the read position left the sender when its
            // sender frame was captured: its latency, on the receiver's clock.
            const double capture = (readIndex_ + position_) / (s_.rate * (1 + s_.senderPpm * 1e-6));
            const double latency = k * blockSeconds - capture;
            if (out.blocks == 0) startLatency = latency;
            const double deviation = std::fabs(latency - startLatency) / blockSeconds;
            const double t = k * blockSeconds;
            if (t >= settleSeconds) {
                if (deviation > out.worstLatencyDeviationBlocks) out.worstLatencyDeviationBlocks = deviation;
                if (lowest > highest) lowest = highest = latency;
                lowest = std::fmin(lowest, latency);
                highest = std::fmax(highest, latency);
                out.latencySpreadBlocks = (highest - lowest) / blockSeconds;
            }
            if (deviation > 0.5) out.settledAfterSeconds = -1;
            else if (out.settledAfterSeconds < 0) out.settledAfterSeconds = t;

            queued_ -= need;
            readIndex_ += need;
            position_ = end - need;
            ++out.blocks;
            if (ratio == 1.0) ++out.blocksAtRatioOne;
            estimator_.observe(queued_ - position_, target, s_.hostBlock, s_.rate);
        }
        out.finalDriftPpm = estimator_.driftPpm();
        return out;
    }

private:
    double uniform() {
        random_ = random_ * 1664525u + 1013904223u;
        return (random_ >> 8) / double(1u << 24);
    }

    DriftScenario s_;
    std::uint32_t random_;
    DriftEstimator estimator_;
    double queued_ = 0, readIndex_ = 0, position_ = 0;
};

}  // namespace larkwire::sim

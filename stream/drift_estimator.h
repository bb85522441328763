// Estimates how much faster the sender's audio clock runs than this host's,
// from the level of the receive queue over a long window (seconds), so that
// network jitter and the host's uneven block timing do not move it, and turns
// it into the ratio the playout consumes the stream at. Within a dead band
// around equal clocks the ratio is exactly 1.
// [audio] One per receiving instance, under its stateLock; driftPpm also [any].
#pragma once

#include <atomic>
#include <cstdint>

namespace larkwire {

class DriftEstimator {
public:
    // [audio] After each block is played: the queued audio and the target
    // level, both in host-rate frames, and the frames the block played at
    // hostRate.
    void observe(double queuedFrames, double targetFrames, std::int32_t blockFrames,
                 double hostRate);
    // [audio] Input frames per output frame on top of the nominal conversion:
    // above 1 when the sender runs fast. Exactly 1.0 in the dead band.
    double ratio() const { return ratio_; }
    // [any] The estimated drift in ppm, for display and reports.
    double driftPpm() const { return driftPpm_.load(std::memory_order_relaxed); }
    // [audio or ui] Starts over: a new stream, a flush, stale audio dropped.
    void reset();
    // [audio] Playing restarted after a shortage, at a new level: that level
    // is measured again, the drift found so far stays. A level measured
    // before would count the refill as an error and drain it again.
    void remeasure();

private:
    double ratio_ = 1.0;
    double warmup_ = 0;       // seconds observed since the reset, up to the warm-up
    double warmupSum_ = 0;    // level minus target, integrated over the warm-up
    double startOffset_ = 0;  // the mean of that: the level held from then on
    double warmupTarget_ = 0; // the target the warm-up measured against
    double smoothed_ = 0;     // low-passed level error, seconds
    double integral_ = 0;     // the loop's integral: the estimated drift
    double calm_ = 0;         // seconds the release condition has held
    bool engaged_ = false;
    std::atomic<double> driftPpm_{0.0};
};

}  // namespace larkwire

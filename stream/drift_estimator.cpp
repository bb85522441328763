#include "stream/drift_estimator.h"

#include <cmath>

namespace larkwire {

namespace {

// The queue level seen after each block jumps by whole sender bursts and by
// the host's uneven calls; only its mean over a second or more follows the
// clocks. The level is held by a proportional-integral loop on that mean: the
// integral settles at the clock ratio, the drift estimate.
constexpr double kWarmupSeconds = 0.5;      // the level that playing started at is the reference
constexpr double kOffsetLimitBlocks = 2.0;  // the reference stays this near the target
constexpr double kSmoothingSeconds = 1.0;   // low-pass of the level error
constexpr double kProportionalGain = 0.3;   // ratio offset per second of level error
constexpr double kIntegralGain = 0.03;      // ratio offset per second of error, per second
// A drift moves the level by a fraction of a block per second; a host or a
// sender that stalls moves it by many blocks at once and then back. Clipping
// the error keeps such a stall from pushing the loop out of the dead band.
constexpr double kClipBlocks = 1.5;
constexpr double kMaxDrift = 0.004;
constexpr double kMaxOffset = 0.005;
// Dead band with hysteresis: equal clocks leave the ratio at exactly 1.
constexpr double kEngageBlocks = 0.6;    // mean level off by this much: follow the clocks
constexpr double kReleaseBlocks = 0.25;  // back to 1 once the level is this close ...
constexpr double kReleaseDrift = 15e-6;  // ... the drift this small ...
constexpr double kReleaseSeconds = 120; // ... for this long

}  // namespace

void DriftEstimator::observe(double queuedFrames, double targetFrames, std::int32_t blockFrames,
                             double hostRate) {
    if (blockFrames <= 0 || !(hostRate > 0) || !std::isfinite(hostRate) ||
        !std::isfinite(queuedFrames) || !std::isfinite(targetFrames))
        return;
    const double dt = blockFrames / hostRate;
    // A new target means playing restarted there (after a shortage): the
    // level is measured again; the drift found so far stays.
    if (warmup_ >= kWarmupSeconds && std::fabs(targetFrames - warmupTarget_) > 0.5) {
        warmup_ = warmupSum_ = 0;
        smoothed_ = 0;
    }
    if (warmup_ < kWarmupSeconds) {
        warmupTarget_ = targetFrames;
        warmupSum_ += (queuedFrames - targetFrames) * dt;
        warmup_ += dt;
        if (warmup_ >= kWarmupSeconds) {
            // A warm-up disturbed by a stall must not set the level far off.
            const double limit = kOffsetLimitBlocks * blockFrames;
            startOffset_ = std::fmax(-limit, std::fmin(limit, warmupSum_ / warmup_));
        }
        return;
    }
    // In seconds of audio, so that the gains hold at every rate.
    const double block = dt;
    const double error = std::fmax(-kClipBlocks * block,
                                   std::fmin(kClipBlocks * block,
                                             (queuedFrames - targetFrames - startOffset_) / hostRate));
    const double step = dt < kSmoothingSeconds ? dt / kSmoothingSeconds : 1.0;
    smoothed_ += (error - smoothed_) * step;

    if (!engaged_ && std::fabs(smoothed_) > kEngageBlocks * block) {
        engaged_ = true;
        calm_ = 0;
    }
    if (engaged_) {
        integral_ += kIntegralGain * smoothed_ * dt;
        integral_ = std::fmax(-kMaxDrift, std::fmin(kMaxDrift, integral_));
        const bool calm = std::fabs(integral_) < kReleaseDrift &&
                          std::fabs(smoothed_) < kReleaseBlocks * block;
        calm_ = calm ? calm_ + dt : 0;
        if (calm_ >= kReleaseSeconds) {
            engaged_ = false;
            integral_ = 0;
        }
    }
    const double offset = integral_ + kProportionalGain * smoothed_;
    ratio_ = engaged_ ? 1.0 + std::fmax(-kMaxOffset, std::fmin(kMaxOffset, offset)) : 1.0;
    driftPpm_.store(integral_ * 1e6, std::memory_order_relaxed);
}

void DriftEstimator::remeasure() {
    warmup_ = warmupSum_ = 0;
    smoothed_ = 0;
}

void DriftEstimator::reset() {
    ratio_ = 1.0;
    warmup_ = warmupSum_ = startOffset_ = warmupTarget_ = 0;
    smoothed_ = integral_ = calm_ = 0;
    engaged_ = false;
    driftPpm_.store(0.0, std::memory_order_relaxed);
}

}  // namespace larkwire

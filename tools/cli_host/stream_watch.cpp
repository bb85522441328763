#include "tools/cli_host/stream_watch.h"

#include <cmath>

#include "tools/cli_host/analysis.h"
#include "tools/cli_host/signals.h"

namespace larkwire::cli {

namespace {
constexpr std::int64_t kGapFrames = 64;      // exact zeros in a row: the stream stopped
constexpr std::int64_t kSettleFrames = 128;  // after the start or a gap: not judged
constexpr double kJumpOfPeak = 0.01;         // predictor residual, as a share of the peak
constexpr double kTwoPi = 6.283185307179586476925286766559;
}  // namespace

StreamWatch::StreamWatch(const WatchSettings& s) : s_(s) {
    twoCos_ = 2 * std::cos(kTwoPi * s_.toneHz / s_.rate);
}

void StreamWatch::add(const float* const* channels, int channelCount, int frames) {
    for (int j = 0; j < frames; ++j, ++frame_) {
        if (start_ < 0)
            for (int c = 0; c < channelCount; ++c)
                if (channels[c][j] != 0.0f) start_ = frame_;
        if (start_ < 0) continue;
        if (s_.toneChannel < channelCount) toneSample(channels[s_.toneChannel][j], frame_);
        if (s_.clickChannel >= 0 && s_.clickChannel < channelCount)
            clickSample(channels[s_.clickChannel][j], frame_);
    }
}

void StreamWatch::toneSample(float x, std::int64_t n) {
    // A jump, a wrong sample or a zero crossing is only counted once no gap
    // follows it: the tone breaking off into silence is an underrun.
    while (!pending_.empty() && n - pending_.front().frame > kGapFrames) {
        const Pending p = pending_.front();
        pending_.erase(pending_.begin());
        if (p.kind == Pending::jump) {
            if (firstJump_ < 0) firstJump_ = p.frame;
            ++discontinuities_;
        } else if (p.kind == Pending::mismatch) {
            ++mismatches_;
        } else {
            if (runCrossings_ == 0) firstCrossing_ = p.at;
            lastCrossing_ = p.at;
            ++runCrossings_;
        }
    }
    if (x == 0.0f) {
        if (++zeros_ == kGapFrames) {  // a gap: the run ends
            pending_.clear();
            runStart_ = -1;
            toneIndex_ = -1;
            alignBuffer_.clear();
            if (runCrossings_ >= 2) {
                periods_ += runCrossings_ - 1;
                span_ += lastCrossing_ - firstCrossing_;
            }
            runCrossings_ = 0;
        }
        if (zeros_ >= kGapFrames) return;
    } else {
        if (zeros_ >= kGapFrames && n - zeros_ > start_) ++underruns_;
        zeros_ = 0;
    }
    if (runStart_ < 0) {
        runStart_ = n;
        x1_ = x2_ = 0;
    }
    const std::int64_t inRun = n - runStart_;

    if (s_.toneHz > 0) {
        // A sine obeys x[n] = 2 cos(w) x[n-1] - x[n-2]; a jump breaks it.
        const double residual = double(x) - twoCos_ * x1_ + x2_;
        if (inRun >= kSettleFrames && std::fabs(residual) > kJumpOfPeak * s_.peak)
            pending_.push_back({n, Pending::jump, 0});
        // Sample for sample against the sender's tone, realigned after each
        // gap; given up at the first confirmed difference.
        if (mismatches_ > 0) {
        } else if (toneIndex_ < 0) {
            if (x != 0.0f || !alignBuffer_.empty()) alignBuffer_.push_back(x);
            if (alignBuffer_.size() == 32) {
                toneIndex_ = alignTone(alignBuffer_, 0, s_.toneHz, s_.peak, s_.rate);
                if (toneIndex_ < 0) {
                    pending_.push_back({n, Pending::mismatch, 0});
                    alignBuffer_.clear();
                } else {
                    toneIndex_ += 32;
                    compared_ += 32;
                }
            }
        } else {
            if (x == cli::toneSample(s_.toneHz, s_.peak, s_.rate, toneIndex_)) {
                ++compared_;
                ++toneIndex_;
            } else {
                pending_.push_back({n, Pending::mismatch, 0});
                toneIndex_ = -1;
                alignBuffer_.clear();
            }
        }
        // Rising zero crossings, between samples, away from the run's edges.
        if (inRun >= kSettleFrames && x1_ < 0 && x >= 0) {
            pending_.push_back({n, Pending::crossing, double(n - 1) + (-x1_) / (x - x1_)});
        }
    }
    x2_ = x1_;
    x1_ = x;
}

void StreamWatch::clickSample(float x, std::int64_t n) {
    const float threshold = float(0.3 * s_.peak);
    if (clickUntil_ < 0 && n >= refractoryUntil_ && std::fabs(x) >= threshold) {
        clickUntil_ = n + 64;
        clickBest_ = -1;
        bestValue_ = 0;
    }
    if (wantAfter_) {
        afterBest_ = x;
        wantAfter_ = false;
    }
    if (clickUntil_ >= 0 && n < clickUntil_ && std::fabs(x) > std::fabs(bestValue_)) {
        clickBest_ = n;
        bestValue_ = x;
        beforeBest_ = previousClick_;
        wantAfter_ = true;
    }
    if (clickUntil_ >= 0 && n == clickUntil_) {
        // The peak between samples, from a parabola through the three highest.
        const double a = beforeBest_, b = bestValue_, c = afterBest_;
        const double curve = a - 2 * b + c;
        double offset = curve != 0 ? 0.5 * (a - c) / curve : 0;
        if (!(std::fabs(offset) <= 0.5)) offset = 0;
        const double frame = double(clickBest_) + offset;
        const double seconds = frame / (s_.rate * s_.clockScale);
        const std::int64_t period = std::llround(s_.clickPeriodSeconds * 1e9);
        const std::int64_t at = s_.startWallNanoseconds + std::llround(seconds * 1e9);
        clicks_.push_back({seconds, double(at % period) / 1e6});
        clickUntil_ = -1;
        refractoryUntil_ = n + std::int64_t(s_.rate / 10);
    }
    previousClick_ = x;
}

double StreamWatch::toneDriftPpm() const {
    if (!toneMeasured()) return 0;
    std::int64_t periods = periods_;
    double span = span_;
    if (runCrossings_ >= 2) {  // the run still going
        periods += runCrossings_ - 1;
        span += lastCrossing_ - firstCrossing_;
    }
    if (!(span > 0)) return 0;
    const double hz = double(periods) * s_.rate / span;
    return (hz / s_.toneHz - 1) * 1e6;
}

double StreamWatch::latencyTrendPpm() const {
    const std::size_t n = clicks_.size();
    if (n < 3) return 0;
    double mt = 0, ml = 0;
    for (const ClickSeen& c : clicks_) mt += c.seconds, ml += c.latencyMs;
    mt /= double(n), ml /= double(n);
    double stl = 0, stt = 0;
    for (const ClickSeen& c : clicks_) {
        stl += (c.seconds - mt) * (c.latencyMs - ml);
        stt += (c.seconds - mt) * (c.seconds - mt);
    }
    return stt > 0 ? stl / stt * 1e3 : 0;  // ms per s = 1000 ppm
}

}  // namespace larkwire::cli

// What a receiving host sees of a stream over a whole run, block by block,
// without keeping the audio: gaps of silence after the start (underruns),
// jumps in the test tone (discontinuities), whether the tone arrived sample
// for sample, its frequency against the nominal one (the clock drift a
// resampling receiver follows), and the latency of each click against the
// wall clock that sender and receiver share.
#pragma once

#include <cstdint>
#include <vector>

namespace larkwire::cli {

struct WatchSettings {
    double rate = 48000;
    double toneHz = 0;       // 0: no tone expected (underruns then come from channel 0)
    double peak = 0.5;
    int toneChannel = 0;
    int clickChannel = -1;   // -1: no clicks
    double clickPeriodSeconds = 1;
    std::int64_t startWallNanoseconds = 0;  // wall-clock time of frame 0
    double clockScale = 1;   // this host's frames per nominal frame of wall time
};

struct ClickSeen {
    double seconds;    // on the wall clock, from frame 0
    double latencyMs;  // arrival against the multiple of the period it left on
};

class StreamWatch {
public:
    explicit StreamWatch(const WatchSettings& s);

    // [host] One block of output, planar.
    void add(const float* const* channels, int channelCount, int frames);

    std::int64_t startFrame() const { return start_; }
    int underruns() const { return underruns_; }
    int discontinuities() const { return discontinuities_; }
    std::int64_t firstDiscontinuity() const { return firstJump_; }
    bool bitExact() const { return compared_ > 0 && mismatches_ == 0; }
    std::int64_t comparedSamples() const { return compared_; }
    // The tone's frequency over every unbroken run, against toneHz: ppm.
    bool toneMeasured() const { return periods_ + (runCrossings_ > 1 ? runCrossings_ - 1 : 0) > 0; }
    double toneDriftPpm() const;
    const std::vector<ClickSeen>& clicks() const { return clicks_; }
    // Least-squares slope of the click latency over time, in ppm.
    double latencyTrendPpm() const;

private:
    void toneSample(float x, std::int64_t n);
    void clickSample(float x, std::int64_t n);

    WatchSettings s_;
    double twoCos_ = 0;
    std::int64_t frame_ = 0, start_ = -1;
    // The tone channel.
    std::int64_t zeros_ = 0, runStart_ = -1;
    float x1_ = 0, x2_ = 0;
    int underruns_ = 0, discontinuities_ = 0;
    std::int64_t firstJump_ = -1;
    struct Pending {
        std::int64_t frame;
        enum Kind { jump, mismatch, crossing } kind;
        double at;  // a crossing's position between frames
    };
    std::vector<Pending> pending_;
    std::vector<float> alignBuffer_;
    std::int64_t toneIndex_ = -1, compared_ = 0, mismatches_ = 0;
    double firstCrossing_ = -1, lastCrossing_ = -1, span_ = 0;
    std::int64_t runCrossings_ = 0, periods_ = 0;
    // The click channel.
    std::int64_t clickUntil_ = -1, clickBest_ = -1, refractoryUntil_ = -1;
    float bestValue_ = 0, beforeBest_ = 0, afterBest_ = 0, previousClick_ = 0;
    bool wantAfter_ = false;
    std::vector<ClickSeen> clicks_;
};

}  // namespace larkwire::cli

// Linear interpolation guarded by one second-order low-pass: before the
// interpolation when the rate goes down, after it when it goes up.
#pragma once

#include "containers/heap_buffer.h"
#include "stream/lane_kernels.h"
#include "stream/resampler.h"

namespace larkwire {

class ChannelResampler final : public Resampler {
public:
    static constexpr std::int32_t kMaxChannels = 32;
    // The most mono converters resampleInStep runs side by side.
    static constexpr std::int32_t kMaxInStep = 64;

    ChannelResampler() = default;
    ~ChannelResampler() override = default;

    void setRates(double inputRate, double outputRate) override;
    void reset() override;
    double getLatency() const override;
    std::int32_t prepareInput(std::int32_t outputFrames, std::int32_t channels,
                              double** writePosition) override;
    std::int32_t resampleBlock(double* output, std::int32_t suppliedFrames,
                               std::int32_t outputFrames, std::int32_t channels) override;

    double ratio() const { return ratio_; }
    double inputRate() const { return inputRate_; }
    double outputRate() const { return outputRate_; }
    double position() const { return position_; }
    double lastCutoff() const { return lastCutoff_; }
    std::int32_t bufferedFrames() const { return bufferedFrames_; }
    std::int32_t requestedFrames() const { return requestedFrames_; }
    double filterOutput(int channel) const { return filterState_[channel].y1; }

    // Whether this mono converter and other are at the same point: held
    // frames, read position, rates and coefficients; only samples and filter
    // memory may differ. Converters in step can be run side by side.
    bool inStepWith(const ChannelResampler& other) const;
    // Runs resampleBlock(outputs[c], suppliedFrames, outputFrames, 1) on each
    // of count mono converters, side by side when they are in step (one by
    // one otherwise), with the same bits; produced[c] gets what each returned.
    // With mixes, the output frames are then added into mixes[c] (each sample
    // m = float(m + y)); the side-by-side run does it without the outputs.
    static void resampleInStep(ChannelResampler* const* group, std::int32_t count,
                               double* const* outputs, std::int32_t suppliedFrames,
                               std::int32_t outputFrames, std::int32_t* produced,
                               float* const* mixes = nullptr);

private:
    using FilterState = lanes::FilterState;
    struct LocalBiquad;

    // The steps of resampleBlock, shared with resampleInStep.
    std::int32_t clampedSupply(std::int32_t suppliedFrames) const;
    bool preFilters(std::int32_t suppliedFrames) const { return ratio_ > 1.0 && suppliedFrames > 0; }
    bool postFilters(std::int32_t produced) const { return ratio_ < 1.0 && produced > 0; }
    double preCutoff() const { return 0.99 / ratio_ * 0.8; }
    double postCutoff() const { return ratio_ * 0.99 * 0.8; }
    void takeSupply(std::int32_t suppliedFrames, std::int32_t channels);
    bool canInterpolate(const double* output, std::int32_t outputFrames) const {
        return output != nullptr && outputFrames > 0 && inputBuffer_.bytes() != nullptr;
    }
    double consumedFrames();
    void dropConsumed(double consumedWhole, std::int32_t channels);
    static void filterInStep(ChannelResampler* const* group, std::int32_t count,
                             double* const* samples, std::int32_t n);

    void updateCoefficients(double cutoff);
    double filterStep(FilterState& s, double x) const;
    void filterFrames(double* frames, std::int32_t count, std::int32_t channels);
    std::int32_t interpolate(double* output, std::int32_t outputFrames, std::int32_t channels);
    std::int32_t interpolateFiltered(double* output, std::int32_t outputFrames);
    std::int32_t interpolatePrefiltered(double* output, std::int32_t outputFrames,
                                        std::int32_t from, std::int32_t end);
    double* frameAt(std::int32_t frame, std::int32_t channels) const {
        return reinterpret_cast<double*>(inputBuffer_.bytes()) + std::int64_t(frame) * channels;
    }

    double lastCutoff_ = -1.0;
    double a1_ = 0, a2_ = 0, b0_ = 0, b1_ = 0, b2_ = 0;
    FilterState filterState_[2];
    std::int32_t bufferedFrames_ = 0;
    HeapBuffer inputBuffer_{4096};
    double inputRate_ = 44100.0;
    double outputRate_ = 44100.0;
    double position_ = 0.0;
    double ratio_ = 1.0;
    std::int32_t requestedFrames_ = 0;
};

}  // namespace larkwire

// Linear interpolation guarded by one second-order low-pass: before the
// interpolation when the rate goes down, after it when it goes up.
#pragma once

#include "containers/heap_buffer.h"
#include "stream/resampler.h"

namespace larkwire {

class ChannelResampler final : public Resampler {
public:
    static constexpr std::int32_t kMaxChannels = 32;

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

private:
    struct FilterState {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };

    void updateCoefficients(double cutoff);
    void filterFrames(double* frames, std::int32_t count, std::int32_t channels);
    std::int32_t interpolate(double* output, std::int32_t outputFrames, std::int32_t channels);
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

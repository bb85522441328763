#include "bench/converter_drive.h"

#include <cmath>

namespace larkwire::bench {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kGroup = 16;                           // converters per side-by-side call
constexpr int kLaneStride = kConvertedFrames + 8;  // as the playout's scratch
}  // namespace

std::vector<float> tones(int rate, std::initializer_list<double> hz, double seconds) {
    std::vector<float> signal(std::size_t(rate * seconds));
    const double amplitude = 0.8 / double(hz.size());
    for (std::size_t n = 0; n < signal.size(); ++n) {
        double v = 0;
        for (double f : hz) v += amplitude * std::sin(2 * kPi * f * double(n) / rate);
        signal[n] = float(v);
    }
    return signal;
}

int MonoConversion::block(const std::vector<float>& input, std::size_t& at, float* out) {
    converter_.setRates(inputRate_, outputRate_);
    double* write = nullptr;
    const int need = converter_.prepareInput(kConvertedFrames, 1, &write);
    if (at + std::size_t(need) > input.size()) at = 0;
    const float* from = input.data() + at;
    for (int j = 0; j < need; ++j) write[j] = from[j];
    at += std::size_t(need);
    const int produced = converter_.resampleBlock(output_, need, kConvertedFrames, 1);
    for (int j = 0; j < produced; ++j) out[j] = float(output_[j]);
    return produced;
}

ChannelBank::ChannelBank(int channels, int inputRate, int outputRate)
    : channels_(channels), inputRate_(inputRate), outputRate_(outputRate),
      converters_(std::size_t(channels)), converted_(std::size_t(kGroup) * kLaneStride),
      planarOut_(std::size_t(channels) * kConvertedFrames) {
    for (auto& c : converters_) c.reset();
}

std::int64_t ChannelBank::block(const std::vector<float>& mono, std::size_t& at, bool sideBySide) {
    ChannelResampler* group[kGroup];
    double* outputs[kGroup];
    float* mixes[kGroup];
    std::int32_t made[kGroup];
    std::int64_t produced = 0;
    int need = 0;
    for (int first = 0; first < channels_; first += kGroup) {
        const int count = channels_ - first < kGroup ? channels_ - first : kGroup;
        for (int c = 0; c < count; ++c) {
            ChannelResampler& one = converters_[std::size_t(first + c)];
            one.setRates(inputRate_, outputRate_);
            double* write = nullptr;
            need = one.prepareInput(kConvertedFrames, 1, &write);
            for (int j = 0; j < need; ++j) write[j] = mono[at + std::size_t(j)];
            group[c] = &one;
            outputs[c] = converted_.data() + std::size_t(c) * kLaneStride;
            mixes[c] = planarOut_.data() + std::size_t(first + c) * kConvertedFrames;
        }
        if (sideBySide) {
            ChannelResampler::resampleInStep(group, count, outputs, need, kConvertedFrames, made,
                                             mixes);
        } else {
            // What resampleInStep does for converters that are not in step.
            for (int c = 0; c < count; ++c) {
                made[c] = group[c]->resampleBlock(outputs[c], need, kConvertedFrames, 1);
                for (int j = 0; j < made[c]; ++j)
                    mixes[c][j] = static_cast<float>(mixes[c][j] + outputs[c][j]);
            }
        }
        produced += std::int64_t(made[0]) * count;
    }
    at += std::size_t(need);
    return produced;
}

}  // namespace larkwire::bench

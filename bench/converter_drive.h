// The channel converter driven as the receive path drives it, for the
// benchmarks and the ratio probe: one channel a host block at a time, or a
// stream's channels side by side and added into the host's outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "stream/channel_resampler.h"

namespace larkwire::bench {

constexpr int kConvertedFrames = 512;  // output frames per call, as a 512-frame host block

// Sines of equal amplitude, 0.8 together at most.
std::vector<float> tones(int rate, std::initializer_list<double> hz, double seconds);

// One channel. [any] One thread at a time.
class MonoConversion {
public:
    MonoConversion(int inputRate, int outputRate) : inputRate_(inputRate), outputRate_(outputRate) {}
    // Converts input from `at` on (from the start when too little is left)
    // into out, as floats; returns the frames written.
    int block(const std::vector<float>& input, std::size_t& at, float* out);

private:
    int inputRate_, outputRate_;
    ChannelResampler converter_;
    double output_[kConvertedFrames];
};

// A stream's channels, all fed the same mono input. [any] One thread at a time.
class ChannelBank {
public:
    ChannelBank(int channels, int inputRate, int outputRate);
    // One host block of every channel from mono at `at` (advanced past what
    // was taken), added into planar float outputs: side by side, 16
    // converters per call as the playout hands them over, or each through
    // the scalar converter, the reference the lanes must match. Returns the
    // output samples of all channels together.
    std::int64_t block(const std::vector<float>& mono, std::size_t& at, bool sideBySide);
    const float* outputs() const { return planarOut_.data(); }

private:
    int channels_, inputRate_, outputRate_;
    std::vector<ChannelResampler> converters_;
    std::vector<double> converted_;  // one group's double outputs, as the playout lays them out
    std::vector<float> planarOut_;
};

}  // namespace larkwire::bench

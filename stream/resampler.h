// A sample-rate converter working on interleaved double frames.
// [audio] Each object belongs to one channel of one instance.
#pragma once

#include <cstdint>

namespace larkwire {

class Resampler {
public:
    virtual ~Resampler() = default;
    virtual void setRates(double inputRate, double outputRate) = 0;
    virtual void reset() = 0;
    virtual double getLatency() const = 0;
    // Input frames the caller must write at *writePosition before resampleBlock.
    virtual std::int32_t prepareInput(std::int32_t outputFrames, std::int32_t channels,
                                      double** writePosition) = 0;
    virtual std::int32_t resampleBlock(double* output, std::int32_t suppliedFrames,
                                       std::int32_t outputFrames, std::int32_t channels) = 0;
    virtual std::int32_t reserved() { return 0; }
};

}  // namespace larkwire

#include "stream/fine_resampler.h"

#include <cstring>

namespace larkwire {

// Placeholder until the interpolator lands: every block is a copy.
std::int32_t FineResampler::beginBlock(std::int32_t outputFrames, double ratio) {
    outputFrames_ = outputFrames > 0 ? outputFrames : 0;
    ratio_ = ratio;
    direct_ = true;
    consumed_ = outputFrames_;
    return consumed_;
}

void FineResampler::addBlock(std::int32_t channel, const float* input, float* out) {
    if (channel < 0 || channel >= kMaxChannels) return;
    for (std::int32_t j = 0; j < consumed_; ++j) out[j] += input[j];
    const std::int32_t kept = consumed_ < kHistory ? consumed_ : kHistory;
    float* history = history_[channel];
    std::memmove(history, history + kept, sizeof(float) * std::size_t(kHistory - kept));
    std::memcpy(history + kHistory - kept, input + consumed_ - kept, sizeof(float) * std::size_t(kept));
}

void FineResampler::endBlock() {}

void FineResampler::reset() {
    position_ = 0.0;
    direct_ = true;
    std::memset(history_, 0, sizeof history_);
}

}  // namespace larkwire

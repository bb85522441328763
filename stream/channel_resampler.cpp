#include "stream/channel_resampler.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace larkwire {

namespace {
constexpr double kPi = 3.14159265358979323846;

bool hasZeroExponent(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7FF0000000000000ull) == 0;
}

double raisedToMinimum(double rate) { return rate < 1.0 ? 1.0 : rate; }

// A hostile stream rate must not make the audio thread allocate without bound.
constexpr double kMaxRequest = 1 << 18;
}  // namespace

void ChannelResampler::setRates(double inputRate, double outputRate) {
    inputRate = raisedToMinimum(inputRate);
    outputRate = raisedToMinimum(outputRate);
    if (inputRate == inputRate_ && outputRate == outputRate_) return;
    inputRate_ = inputRate;
    outputRate_ = outputRate;
    ratio_ = inputRate / outputRate;
}

void ChannelResampler::reset() {
    position_ = 0.0;
    requestedFrames_ = 0;
    bufferedFrames_ = 0;
    filterState_[0] = FilterState{};
    filterState_[1] = FilterState{};
}

double ChannelResampler::getLatency() const {
    const double latency = bufferedFrames_ / inputRate_;
    return latency > 0.0 ? latency : 0.0;
}

std::int32_t ChannelResampler::prepareInput(std::int32_t outputFrames, std::int32_t channels,
                                            double** writePosition) {
    double wanted = std::trunc(double(outputFrames) * ratio_) - bufferedFrames_ + 4;
    // A NaN or absurd ratio must not turn into a huge or undefined request.
    if (!(wanted > 0)) wanted = 0;
    if (wanted > kMaxRequest) wanted = kMaxRequest;
    std::int32_t needed = static_cast<std::int32_t>(wanted);
    const std::int64_t bytes = (std::int64_t(bufferedFrames_) + needed) * channels * 8;
    if (channels < 1 || channels > kMaxChannels || bytes > INT32_MAX) needed = 0;
    else if (bytes > inputBuffer_.usedSize()) inputBuffer_.resize(std::int32_t(bytes));
    // When the buffer could not grow, ask for nothing rather than overrun it.
    if (needed > 0 && (std::int64_t(bufferedFrames_) + needed) * channels * 8 >
                          inputBuffer_.usedSize())
        needed = 0;
    if (writePosition != nullptr)
        *writePosition = inputBuffer_.get() != nullptr ? frameAt(bufferedFrames_, channels)
                                                       : nullptr;
    requestedFrames_ = needed;
    return needed;
}

void ChannelResampler::updateCoefficients(double cutoff) {
    const double difference = std::fabs(cutoff - lastCutoff_);
    if (difference < 1e-6) return;
    lastCutoff_ = cutoff;
    const double w0 = kPi * cutoff;
    const double alpha = std::sin(w0) / 2.0;
    const double g = 1.0 / (1.0 + alpha);
    b1_ = (1.0 - std::cos(w0)) * g;
    b0_ = b2_ = b1_ * 0.5;
    a1_ = -2.0 * std::cos(w0) * g;
    a2_ = (1.0 - alpha) * g;
}

// One sample through the filter: direct form I, then the denormal guard.
inline double ChannelResampler::filterStep(FilterState& s, double x) const {
    double y = b0_ * x + b1_ * s.x1 + b2_ * s.x2 - a1_ * s.y1 - a2_ * s.y2;
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    if (hasZeroExponent(s.y1)) s.y1 = y = 0.0;
    return y;
}

void ChannelResampler::filterFrames(double* frames, std::int32_t count, std::int32_t channels) {
    const int filtered = channels >= 2 ? 2 : 1;
    for (int ch = 0; ch < filtered; ++ch) {
        FilterState& s = filterState_[ch];
        double* sample = frames + ch;
        for (std::int32_t i = 0; i < count; ++i, sample += channels) {
            *sample = filterStep(s, *sample);
        }
    }
}

// The filter's memory and coefficients as plain locals for the mono loops:
// kept in a struct the compiler packs them into pairs and puts the shuffles
// that unpack them on the recurrence's path. Same operations, same order.
struct ChannelResampler::LocalBiquad {
    double b0, b1, b2, a1, a2;
    double x1, x2, y1, y2;

    LocalBiquad(const ChannelResampler& r, const FilterState& s)
        : b0(r.b0_), b1(r.b1_), b2(r.b2_), a1(r.a1_), a2(r.a2_),
          x1(s.x1), x2(s.x2), y1(s.y1), y2(s.y2) {}
    double step(double x) {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        if (hasZeroExponent(y1)) y1 = y = 0.0;
        return y;
    }
    void storeTo(FilterState& s) const { s = FilterState{x1, x2, y1, y2}; }
};

// One channel up in rate: each frame through the filter as soon as it is
// made, so the interpolation overlaps the filter's recurrence.
std::int32_t ChannelResampler::interpolateFiltered(double* output, std::int32_t outputFrames) {
    std::int32_t produced = 0;
    const double* input = frameAt(0, 1);
    const std::int32_t last = bufferedFrames_ - 1;
    double position = position_;
    const double ratio = ratio_;
    LocalBiquad q(*this, filterState_[0]);
    for (; produced < outputFrames; ++produced) {
        if (!(position < last)) break;
        const auto i = static_cast<std::int32_t>(position);
        const double f = position - i;
        output[produced] = q.step((1.0 - f) * input[i] + f * input[i + 1]);
        position += ratio;
    }
    q.storeTo(filterState_[0]);
    position_ = position;
    return produced;
}

// One channel down in rate: the supplied frames from `from` on (to `end`)
// are filtered just before the interpolation first reads them, and the rest
// after it, in the same order as filtering them all first.
std::int32_t ChannelResampler::interpolatePrefiltered(double* output, std::int32_t outputFrames,
                                                      std::int32_t from, std::int32_t end) {
    std::int32_t produced = 0;
    double* input = frameAt(0, 1);
    const std::int32_t last = bufferedFrames_ - 1;
    double position = position_;
    const double ratio = ratio_;
    LocalBiquad q(*this, filterState_[0]);
    auto filterUpTo = [&](std::int32_t upTo) {
        for (; from < upTo; ++from) input[from] = q.step(input[from]);
    };
    if (output != nullptr) {
        for (; produced < outputFrames; ++produced) {
            if (!(position < last)) break;
            const auto i = static_cast<std::int32_t>(position);
            filterUpTo(i + 2 < end ? i + 2 : end);
            const double f = position - i;
            output[produced] = (1.0 - f) * input[i] + f * input[i + 1];
            position += ratio;
        }
    }
    filterUpTo(end);
    q.storeTo(filterState_[0]);
    position_ = position;
    return produced;
}

std::int32_t ChannelResampler::interpolate(double* output, std::int32_t outputFrames,
                                           std::int32_t channels) {
    std::int32_t produced = 0;
    const double* input = frameAt(0, channels);
    const std::int32_t last = bufferedFrames_ - 1;
    double position = position_;
    const double ratio = ratio_;
    if (channels == 1) {
        for (; produced < outputFrames; ++produced) {
            if (!(position < last)) break;
            const auto i = static_cast<std::int32_t>(position);
            const double f = position - i;
            output[produced] = (1.0 - f) * input[i] + f * input[i + 1];
            position += ratio;
        }
    } else if (channels == 2) {
        for (; produced < outputFrames; ++produced) {
            if (!(position < last)) break;
            const auto i = static_cast<std::int32_t>(position);
            const double f = position - i;
            const double* a = input + 2 * i;
            output[2 * produced] = (1.0 - f) * a[0] + f * a[2];
            output[2 * produced + 1] = (1.0 - f) * a[1] + f * a[3];
            position += ratio;
        }
    } else {
        for (; produced < outputFrames; ++produced) {
            if (!(position < last)) break;
            const auto i = static_cast<std::int32_t>(position);
            const double f = position - i;
            const double* a = input + std::int64_t(i) * channels;
            double* out = output + std::int64_t(produced) * channels;
            for (std::int32_t ch = 0; ch < channels; ++ch)
                out[ch] = (1.0 - f) * a[ch] + f * a[ch + channels];
            position += ratio;
        }
    }
    position_ = position;
    return produced;
}

std::int32_t ChannelResampler::clampedSupply(std::int32_t suppliedFrames) const {
    // Never count more frames than prepareInput made room for.
    if (suppliedFrames > requestedFrames_) suppliedFrames = requestedFrames_;
    return suppliedFrames < 0 ? 0 : suppliedFrames;
}

void ChannelResampler::takeSupply(std::int32_t suppliedFrames, std::int32_t channels) {
    bufferedFrames_ += suppliedFrames;
    // A short supply is padded with twice the shortfall of silence.
    if (suppliedFrames < requestedFrames_) {
        const std::int32_t padding = 2 * (requestedFrames_ - suppliedFrames);
        const std::int64_t bytes = (std::int64_t(bufferedFrames_) + padding) * channels * 8;
        if (bytes <= INT32_MAX) {
            if (bytes > inputBuffer_.usedSize()) inputBuffer_.resize(std::int32_t(bytes));
            if (inputBuffer_.usedSize() >= bytes) {
                std::memset(frameAt(bufferedFrames_, channels), 0,
                            size_t(padding) * size_t(channels) * 8);
                bufferedFrames_ += padding;
            }
        }
    }
}

// The whole frames the read position passed, taken off it.
double ChannelResampler::consumedFrames() {
    double consumedWhole = std::trunc(position_);
    if (!(consumedWhole >= 0)) consumedWhole = 0;  // NaN position: consume nothing
    position_ -= consumedWhole;
    return consumedWhole;
}

void ChannelResampler::dropConsumed(double consumedWhole, std::int32_t channels) {
    const double remaining = double(bufferedFrames_) - consumedWhole;
    if (!(remaining > 0)) {
        bufferedFrames_ = 0;
        if (!(position_ >= 0 && position_ < 1)) position_ = 0;
    } else {
        const auto consumed = static_cast<std::int32_t>(consumedWhole);
        bufferedFrames_ = static_cast<std::int32_t>(remaining);
        std::memmove(frameAt(0, channels), frameAt(consumed, channels),
                     size_t(bufferedFrames_) * size_t(channels) * 8);
    }
}

std::int32_t ChannelResampler::resampleBlock(double* output, std::int32_t suppliedFrames,
                                             std::int32_t outputFrames, std::int32_t channels) {
    if (channels < 1 || channels > kMaxChannels) return 0;
    suppliedFrames = clampedSupply(suppliedFrames);
    if (channels == 1 && preFilters(suppliedFrames)) {
        // Filtered while interpolated: the two overlap.
        updateCoefficients(preCutoff());
        const std::int32_t from = bufferedFrames_;
        takeSupply(suppliedFrames, channels);
        const std::int32_t produced =
            interpolatePrefiltered(canInterpolate(output, outputFrames) ? output : nullptr,
                                   outputFrames, from, from + suppliedFrames);
        dropConsumed(consumedFrames(), channels);
        return produced;
    }
    if (preFilters(suppliedFrames)) {
        updateCoefficients(preCutoff());
        filterFrames(frameAt(bufferedFrames_, channels), suppliedFrames, channels);
    }
    takeSupply(suppliedFrames, channels);
    if (channels == 1 && ratio_ < 1.0 && canInterpolate(output, outputFrames) &&
        position_ < bufferedFrames_ - 1) {
        // At least one frame comes, so the filter after runs: fused.
        updateCoefficients(postCutoff());
        const std::int32_t produced = interpolateFiltered(output, outputFrames);
        dropConsumed(consumedFrames(), channels);
        return produced;
    }
    const std::int32_t produced =
        canInterpolate(output, outputFrames) ? interpolate(output, outputFrames, channels) : 0;
    const double consumedWhole = consumedFrames();
    if (postFilters(produced)) {
        updateCoefficients(postCutoff());
        filterFrames(output, produced, channels);
    }
    dropConsumed(consumedWhole, channels);
    return produced;
}

namespace {
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

bool ChannelResampler::inStepWith(const ChannelResampler& other) const {
    return bufferedFrames_ == other.bufferedFrames_ &&
           requestedFrames_ == other.requestedFrames_ && sameBits(position_, other.position_) &&
           sameBits(ratio_, other.ratio_) && sameBits(inputRate_, other.inputRate_) &&
           sameBits(outputRate_, other.outputRate_) && sameBits(lastCutoff_, other.lastCutoff_) &&
           sameBits(a1_, other.a1_) && sameBits(a2_, other.a2_) && sameBits(b0_, other.b0_) &&
           sameBits(b1_, other.b1_) && sameBits(b2_, other.b2_);
}

// Channel 0 of each converter, the lanes the kernels take first, the rest
// through the scalar filter.
void ChannelResampler::filterInStep(ChannelResampler* const* group, std::int32_t count,
                                    double* const* samples, std::int32_t n) {
    const ChannelResampler& lead = *group[0];
    const lanes::Coefficients k{lead.b0_, lead.b1_, lead.b2_, lead.a1_, lead.a2_};
    FilterState* states[kMaxInStep];
    for (std::int32_t c = 0; c < count; ++c) states[c] = &group[c]->filterState_[0];
    const int done = lanes::activeKernels().filter(k, samples, states, count, n);
    for (std::int32_t c = done; c < count; ++c) group[c]->filterFrames(samples[c], n, 1);
}

namespace {
void mixFrames(float* mix, const double* frames, std::int32_t n) {
    for (std::int32_t j = 0; j < n; ++j) mix[j] = static_cast<float>(mix[j] + frames[j]);
}
}  // namespace

void ChannelResampler::resampleInStep(ChannelResampler* const* group, std::int32_t count,
                                      double* const* outputs, std::int32_t suppliedFrames,
                                      std::int32_t outputFrames, std::int32_t* produced,
                                      float* const* mixes) {
    if (count <= 0) return;
    bool lanesFit = count <= kMaxInStep;
    for (std::int32_t c = 0; c < count && lanesFit; ++c)
        lanesFit = group[c]->inStepWith(*group[0]) &&
                   group[c]->canInterpolate(outputs[c], outputFrames);
    if (!lanesFit) {
        // Not the case the lanes are for: one by one, as the reference does it.
        for (std::int32_t c = 0; c < count; ++c) {
            produced[c] = group[c]->resampleBlock(outputs[c], suppliedFrames, outputFrames, 1);
            if (mixes != nullptr) mixFrames(mixes[c], outputs[c], produced[c]);
        }
        return;
    }

    ChannelResampler& lead = *group[0];
    suppliedFrames = lead.clampedSupply(suppliedFrames);
    double* samples[kMaxInStep];
    if (lead.preFilters(suppliedFrames)) {
        for (std::int32_t c = 0; c < count; ++c) {
            group[c]->updateCoefficients(lead.preCutoff());
            samples[c] = group[c]->frameAt(lead.bufferedFrames_, 1);
        }
        filterInStep(group, count, samples, suppliedFrames);
    }
    for (std::int32_t c = 0; c < count; ++c) group[c]->takeSupply(suppliedFrames, 1);

    const double* inputs[kMaxInStep];
    for (std::int32_t c = 0; c < count; ++c) inputs[c] = group[c]->frameAt(0, 1);
    // The filter after the interpolation runs inside it when a frame will be
    // made: the coefficients change only then, as in resampleBlock.
    const bool postFilter = lead.ratio_ < 1.0 && outputFrames > 0 &&
                            lead.position_ < lead.bufferedFrames_ - 1;
    lanes::Coefficients k{};
    FilterState* states[kMaxInStep];
    if (postFilter) {
        for (std::int32_t c = 0; c < count; ++c) {
            group[c]->updateCoefficients(lead.postCutoff());
            states[c] = &group[c]->filterState_[0];
        }
        k = {lead.b0_, lead.b1_, lead.b2_, lead.a1_, lead.a2_};
    }
    double position = lead.position_;
    std::int32_t made = 0;
    const int done = lanes::activeKernels().interpolate(
        inputs, outputs, mixes, count, outputFrames, lead.bufferedFrames_ - 1, lead.ratio_,
        &position, &made, postFilter ? &k : nullptr, states);
    for (std::int32_t c = 0; c < done; ++c) group[c]->position_ = position;
    for (std::int32_t c = done; c < count; ++c) {
        made = group[c]->interpolate(outputs[c], outputFrames, 1);
        if (postFilter) group[c]->filterFrames(outputs[c], made, 1);
        if (mixes != nullptr) mixFrames(mixes[c], outputs[c], made);
    }

    double consumedWhole = 0;
    for (std::int32_t c = 0; c < count; ++c) {
        consumedWhole = group[c]->consumedFrames();
        group[c]->dropConsumed(consumedWhole, 1);
        produced[c] = made;
    }
}

}  // namespace larkwire

#include "stream/fine_resampler.h"

#include <cmath>
#include <cstring>

namespace larkwire {

namespace {

constexpr int kTaps = 32;          // input frames read per output frame
constexpr int kHalfWidth = 15;     // the kernel is non-zero for |d| < kHalfWidth
constexpr int kPhases = 256;       // kernel rows; output between two rows is interpolated
constexpr double kKaiserBeta = 8.5;
constexpr double kMaxOffset = 0.005;    // ±5000 ppm: far past any audio clock's error
constexpr double kGlideOffset = 2e-4;   // ratio offset that brings the position to a whole sample
constexpr int kEdgeInput = 48;

static_assert(kTaps == FineResampler::kHistory + FineResampler::kLookahead,
              "the window is the history, the frame itself and the lookahead less one");

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// Windowed sinc cut off at the input's Nyquist frequency, so that at a whole
// position it is exactly one tap of 1: the converted path then agrees with
// the copy sample for sample, and engaging or leaving it shows no seam.
double kernelAt(double d) {
    if (std::fabs(d) >= kHalfWidth) return 0.0;
    const double nearest = std::nearbyint(d);
    if (d == nearest) return nearest == 0 ? 1.0 : 0.0;
    const double pi = 3.14159265358979323846;
    const double x = d / kHalfWidth;
    const double window = besselI0(kKaiserBeta * std::sqrt(1 - x * x)) / besselI0(kKaiserBeta);
    return std::sin(pi * d) / (pi * d) * window;
}

// Row q holds the taps for a read position q / kPhases past a whole frame,
// and its difference to row q + 1, for the linear step between rows. Tap i
// reads the input frame 16 - i before the whole frame (i = 16 is the frame).
struct alignas(16) KernelRow {
    float taps[kTaps];
    float slope[kTaps];
};

struct KernelTable {
    KernelRow rows[kPhases];
    KernelTable() {
        for (int q = 0; q < kPhases; ++q)
            for (int i = 0; i < kTaps; ++i) {
                const double d = double(q) / kPhases + FineResampler::kHistory - i;
                const double here = kernelAt(d), next = kernelAt(d + 1.0 / kPhases);
                rows[q].taps[i] = float(here);
                rows[q].slope[i] = float(next) - float(here);
            }
    }
};

// Built when the module loads, so that no audio thread ever builds it.
const KernelTable kTable;

// Four taps at a time in the compiler's vector type (SSE2 on every build);
// the lanes are summed in a fixed order, so each build gives the same bits.
typedef float Quad __attribute__((vector_size(16)));

inline Quad loadQuad(const float* p) {
    Quad q;
    std::memcpy(&q, p, sizeof q);
    return q;
}

// [audio] One output sample from x[0 .. kTaps), the row's taps moved the
// fraction `between` of the way to the next row's.
inline float interpolate(const KernelRow& row, float between, const float* x) {
    Quad sum = {0, 0, 0, 0};
    for (int i = 0; i < kTaps; i += 4) {
        const Quad taps = loadQuad(row.taps + i) + between * loadQuad(row.slope + i);
        sum += taps * loadQuad(x + i);
    }
    return (sum[0] + sum[1]) + (sum[2] + sum[3]);
}

}  // namespace

std::int32_t FineResampler::beginBlock(std::int32_t outputFrames, double ratio) {
    outputFrames_ = outputFrames > 0 ? outputFrames : 0;
    if (!std::isfinite(ratio)) ratio = 1.0;
    if (ratio < 1 - kMaxOffset) ratio = 1 - kMaxOffset;
    if (ratio > 1 + kMaxOffset) ratio = 1 + kMaxOffset;
    landing_ = false;
    if (ratio == 1.0 && position_ != 0.0 && outputFrames_ > 0) {
        // Back at equal clocks between two samples: glide to the nearer
        // whole sample, then copy again.
        const double toWhole = position_ < 0.5 ? -position_ : 1.0 - position_;
        const double reach = kGlideOffset * outputFrames_;
        landing_ = std::fabs(toWhole) <= reach;
        ratio = 1.0 + (landing_ ? toWhole : std::copysign(reach, toWhole)) / outputFrames_;
    }
    ratio_ = ratio;
    direct_ = ratio == 1.0 && position_ == 0.0;
    if (direct_) {
        consumed_ = outputFrames_;
        nextPosition_ = 0.0;
        return consumed_;
    }
    const double end = position_ + outputFrames_ * ratio_;
    if (landing_) {
        consumed_ = std::int32_t(std::llround(end));
        nextPosition_ = 0.0;
    } else {
        consumed_ = std::int32_t(std::floor(end));
        nextPosition_ = end - consumed_;
    }
    return consumed_;
}

void FineResampler::addBlock(std::int32_t channel, const float* input, float* out) {
    if (channel < 0 || channel >= kMaxChannels) return;
    float* history = history_[channel];
    if (direct_) {
        for (std::int32_t j = 0; j < consumed_; ++j) out[j] += input[j];
    } else {
        // The first output frames reach back into the history: give them one
        // contiguous window over the history and the first input frames.
        float edge[kHistory + kEdgeInput];
        const std::int32_t edgeInput =
            consumed_ + kLookahead < kEdgeInput ? consumed_ + kLookahead : kEdgeInput;
        std::memcpy(edge, history, sizeof(float) * kHistory);
        std::memcpy(edge + kHistory, input, sizeof(float) * std::size_t(edgeInput));
        for (std::int32_t k = 0; k < outputFrames_; ++k) {
            const double t = position_ + k * ratio_;
            const double whole = std::floor(t);
            const std::int32_t n = std::int32_t(whole);
            const double phase = (t - whole) * kPhases;
            const std::int32_t q = std::int32_t(phase);
            const float* x = n < kEdgeInput - kLookahead ? edge + n : input + n - kHistory;
            out[k] += interpolate(kTable.rows[q], float(phase - q), x);
        }
    }
    const std::int32_t kept = consumed_ < kHistory ? consumed_ : kHistory;
    std::memmove(history, history + kept, sizeof(float) * std::size_t(kHistory - kept));
    std::memcpy(history + kHistory - kept, input + consumed_ - kept, sizeof(float) * std::size_t(kept));
}

void FineResampler::endBlock() { position_ = nextPosition_; }

void FineResampler::reset() {
    position_ = 0.0;
    nextPosition_ = 0.0;
    consumed_ = 0;
    direct_ = true;
    landing_ = false;
    std::memset(history_, 0, sizeof history_);
}

}  // namespace larkwire

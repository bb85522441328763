// The kernels' body, compiled once per instruction set: the including file
// defines LANE_NAMESPACE and LANE_BYTES (16 for SSE2, 32 for AVX2). Built
// with -ffp-contract=off: a fused multiply-add would change the bits.
#include <cfloat>
#include <cstdint>
#include <cstring>

#include "stream/lane_kernels.h"

namespace larkwire::lanes::LANE_NAMESPACE {
namespace {

using V = double __attribute__((vector_size(LANE_BYTES)));
using I = long long __attribute__((vector_size(LANE_BYTES)));
constexpr int kWidth = LANE_BYTES / 8;

// Up to this many registers run at once: independent recurrences overlap.
constexpr int kRegisters = 4;

V gather(FilterState* const* states, double FilterState::*field) {
    V v{};
    for (int l = 0; l < kWidth; ++l) v[l] = states[l]->*field;
    return v;
}

// Lane l's samples at frames t..t + kWidth - 1 become frame t's lanes,
// frame t + 1's lanes, and so on: whole-vector loads and stores instead of
// one element at a time. The transpose undoes itself.
void transpose(V* m) {
#if LANE_BYTES == 16
    const V r0 = m[0], r1 = m[1];
    m[0] = __builtin_shufflevector(r0, r1, 0, 2);
    m[1] = __builtin_shufflevector(r0, r1, 1, 3);
#elif LANE_BYTES == 32
    const V t0 = __builtin_shufflevector(m[0], m[1], 0, 4, 2, 6);
    const V t1 = __builtin_shufflevector(m[0], m[1], 1, 5, 3, 7);
    const V t2 = __builtin_shufflevector(m[2], m[3], 0, 4, 2, 6);
    const V t3 = __builtin_shufflevector(m[2], m[3], 1, 5, 3, 7);
    m[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    m[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    m[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    m[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
#endif
}

V loadAt(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void storeAt(double* p, V v) { std::memcpy(p, &v, sizeof v); }

using F = float __attribute__((vector_size(LANE_BYTES / 2)));

// p[t] = float(p[t] + v[t]): the float widened, the sum in double, rounded
// back once, as the scalar playout adds a converted sample.
void mixAt(float* p, V v) {
    F m;
    std::memcpy(&m, p, sizeof m);
    m = __builtin_convertvector(__builtin_convertvector(m, V) + v, F);
    std::memcpy(p, &m, sizeof m);
}

struct Biquad {
    V x1, x2, y1, y2;

    // The feedback part of the scalar converter's step, from the inputs'
    // part ff = b0 x + b1 x1 + b2 x2, with its denormal guard.
    V feedback(const Coefficients& k, V ff) {
        const I magnitude = I{} + 0x7FFFFFFFFFFFFFFFll;
        V y = ff - k.a1 * y1 - k.a2 * y2;
        y2 = y1;
        // A zero exponent field (zero or subnormal) becomes +0.0.
        const V size = V(I(y) & magnitude);
        y = V(I(y) & ~I(size < DBL_MIN));
        y1 = y;
        return y;
    }

    V step(const Coefficients& k, V x) {
        const V ff = k.b0 * x + k.b1 * x1 + k.b2 * x2;
        x2 = x1;
        x1 = x;
        return feedback(k, ff);
    }
};

template <int R>
void filterChunk(const Coefficients& k, double* const* samples, FilterState* const* states,
                 std::int32_t n) {
    Biquad f[R];
    for (int r = 0; r < R; ++r)
        f[r] = {gather(states + r * kWidth, &FilterState::x1),
                gather(states + r * kWidth, &FilterState::x2),
                gather(states + r * kWidth, &FilterState::y1),
                gather(states + r * kWidth, &FilterState::y2)};
    std::int32_t i = 0;
    for (; i + kWidth <= n; i += kWidth) {
        // Chunk after chunk: the processor overlaps their recurrences.
        for (int r = 0; r < R; ++r) {
            double* const* lane = samples + r * kWidth;
            V m[kWidth];
            for (int l = 0; l < kWidth; ++l) m[l] = loadAt(lane[l] + i);
            transpose(m);
            // The inputs' parts first, off the recurrence; then the outputs.
            V ff[kWidth];
            ff[0] = k.b0 * m[0] + k.b1 * f[r].x1 + k.b2 * f[r].x2;
            ff[1] = k.b0 * m[1] + k.b1 * m[0] + k.b2 * f[r].x1;
            for (int t = 2; t < kWidth; ++t) ff[t] = k.b0 * m[t] + k.b1 * m[t - 1] + k.b2 * m[t - 2];
            f[r].x1 = m[kWidth - 1];
            f[r].x2 = m[kWidth - 2];
            for (int t = 0; t < kWidth; ++t) m[t] = f[r].feedback(k, ff[t]);
            transpose(m);
            for (int l = 0; l < kWidth; ++l) storeAt(lane[l] + i, m[l]);
        }
    }
    for (; i < n; ++i) {
        for (int r = 0; r < R; ++r) {
            double* const* lane = samples + r * kWidth;
            V x;
            for (int l = 0; l < kWidth; ++l) x[l] = lane[l][i];
            const V y = f[r].step(k, x);
            for (int l = 0; l < kWidth; ++l) lane[l][i] = y[l];
        }
    }
    for (int r = 0; r < R; ++r)
        for (int l = 0; l < kWidth; ++l) {
            FilterState& s = *states[r * kWidth + l];
            s.x1 = f[r].x1[l], s.x2 = f[r].x2[l], s.y1 = f[r].y1[l], s.y2 = f[r].y2[l];
        }
}

int filter(const Coefficients& k, double* const* samples, FilterState* const* states, int lanes,
           std::int32_t n) {
    int done = 0;
    for (; lanes - done >= kRegisters * kWidth; done += kRegisters * kWidth)
        filterChunk<kRegisters>(k, samples + done, states + done, n);
    for (; lanes - done >= kWidth; done += kWidth)
        filterChunk<1>(k, samples + done, states + done, n);
    return done;
}

using Pair = double __attribute__((vector_size(16)));

// Frames i and i + 1 of each lane: kWidth two-frame loads, then frame i of
// every lane in *a and frame i + 1 in *b.
void loadNeighbours(const double* const* inputs, std::int32_t i, V* a, V* b) {
    Pair p[kWidth];
    for (int l = 0; l < kWidth; ++l) std::memcpy(&p[l], inputs[l] + i, sizeof(Pair));
#if LANE_BYTES == 16
    *a = __builtin_shufflevector(p[0], p[1], 0, 2);
    *b = __builtin_shufflevector(p[0], p[1], 1, 3);
#elif LANE_BYTES == 32
    const V x = __builtin_shufflevector(p[0], p[2], 0, 1, 2, 3);
    const V y = __builtin_shufflevector(p[1], p[3], 0, 1, 2, 3);
    *a = __builtin_shufflevector(x, y, 0, 4, 2, 6);
    *b = __builtin_shufflevector(x, y, 1, 5, 3, 7);
#endif
}

// Read positions walked at most this many frames at a time.
constexpr int kSegment = 256;

// The scalar loop's read positions for up to n frames from *position: each
// frame's left input frame and weights; returns how many frames are made
// before the held input ends and leaves *position after the last of them.
int walkPositions(double* position, std::int32_t last, double ratio, int n, std::int32_t* index,
                  double* left, double* right) {
    double p = *position;
    int made = 0;
    for (; made < n; ++made) {
        if (!(p < last)) break;
        const auto i = static_cast<std::int32_t>(p);
        const double f = p - i;
        index[made] = i;
        right[made] = f;
        left[made] = 1.0 - f;
        p += ratio;
    }
    *position = p;
    return made;
}

// Frames from..from + n - 1 of R registers of lanes: interpolated from the
// walked positions, with a filter each frame through it at once (the filter
// after the interpolation, fused), then stored or mixed: the same
// operations per lane as the scalar path.
template <int R, bool Filtered, bool Mixing>
void interpolateChunk(const double* const* inputs, double* const* outputs, float* const* mixes,
                      std::int32_t from, int n, const std::int32_t* index, const double* left,
                      const double* right, const Coefficients& k, FilterState* const* states) {
    Biquad filters[R];
    if (Filtered)
        for (int r = 0; r < R; ++r)
            filters[r] = {gather(states + r * kWidth, &FilterState::x1),
                          gather(states + r * kWidth, &FilterState::x2),
                          gather(states + r * kWidth, &FilterState::y1),
                          gather(states + r * kWidth, &FilterState::y2)};
    auto frame = [&](int r, int t) {
        V a, b;
        loadNeighbours(inputs + r * kWidth, index[t], &a, &b);
        const V y = left[t] * a + right[t] * b;
        return Filtered ? filters[r].step(k, y) : y;
    };
    int t = 0;
    for (; t + kWidth <= n; t += kWidth) {
        for (int r = 0; r < R; ++r) {
            V made[kWidth];
            for (int u = 0; u < kWidth; ++u) made[u] = frame(r, t + u);
            transpose(made);
            for (int l = 0; l < kWidth; ++l) {
                if (Mixing) mixAt(mixes[r * kWidth + l] + from + t, made[l]);
                else storeAt(outputs[r * kWidth + l] + from + t, made[l]);
            }
        }
    }
    for (; t < n; ++t)
        for (int r = 0; r < R; ++r) {
            const V y = frame(r, t);
            for (int l = 0; l < kWidth; ++l) {
                if (Mixing) {
                    float& m = mixes[r * kWidth + l][from + t];
                    m = static_cast<float>(m + y[l]);
                } else {
                    outputs[r * kWidth + l][from + t] = y[l];
                }
            }
        }
    if (Filtered)
        for (int r = 0; r < R; ++r)
            for (int l = 0; l < kWidth; ++l) {
                FilterState& s = *states[r * kWidth + l];
                const Biquad& q = filters[r];
                s.x1 = q.x1[l], s.x2 = q.x2[l], s.y1 = q.y1[l], s.y2 = q.y2[l];
            }
}

template <int R>
void interpolateChunkAs(bool filtered, bool mixing, const double* const* inputs,
                        double* const* outputs, float* const* mixes, std::int32_t from, int n,
                        const std::int32_t* index, const double* left, const double* right,
                        const Coefficients& k, FilterState* const* states) {
    if (filtered && mixing)
        interpolateChunk<R, true, true>(inputs, outputs, mixes, from, n, index, left, right, k,
                                        states);
    else if (filtered)
        interpolateChunk<R, true, false>(inputs, outputs, mixes, from, n, index, left, right, k,
                                         states);
    else if (mixing)
        interpolateChunk<R, false, true>(inputs, outputs, mixes, from, n, index, left, right, k,
                                         states);
    else
        interpolateChunk<R, false, false>(inputs, outputs, mixes, from, n, index, left, right, k,
                                          states);
}

int interpolate(const double* const* inputs, double* const* outputs, float* const* mixes,
                int lanes, std::int32_t frames, std::int32_t last, double ratio,
                double* position, std::int32_t* produced, const Coefficients* k,
                FilterState* const* states) {
    const int done = lanes - lanes % kWidth;
    if (done == 0) return 0;
    const Coefficients none{};
    const Coefficients& coefficients = k != nullptr ? *k : none;
    // The positions are the same for every lane: walked once per segment.
    std::int32_t index[kSegment];
    double left[kSegment], right[kSegment];
    std::int32_t made = 0;
    while (made < frames) {
        const int wanted = frames - made < kSegment ? frames - made : kSegment;
        const int n = walkPositions(position, last, ratio, wanted, index, left, right);
        int c = 0;
        for (; done - c >= kRegisters * kWidth; c += kRegisters * kWidth)
            interpolateChunkAs<kRegisters>(k != nullptr, mixes != nullptr, inputs + c,
                                           outputs + c, mixes != nullptr ? mixes + c : nullptr,
                                           made, n, index, left, right, coefficients,
                                           states + c);
        for (; c < done; c += kWidth)
            interpolateChunkAs<1>(k != nullptr, mixes != nullptr, inputs + c, outputs + c,
                                  mixes != nullptr ? mixes + c : nullptr, made, n, index, left,
                                  right, coefficients, states + c);
        made += n;
        if (n < wanted) break;
    }
    *produced = made;
    return done;
}

}  // namespace

extern const Kernels kKernels;
const Kernels kKernels{LANE_KERNEL_NAME, kWidth, filter, interpolate};

}  // namespace larkwire::lanes::LANE_NAMESPACE

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
#else
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
#else
    const V x = __builtin_shufflevector(p[0], p[2], 0, 1, 2, 3);
    const V y = __builtin_shufflevector(p[1], p[3], 0, 1, 2, 3);
    *a = __builtin_shufflevector(x, y, 0, 4, 2, 6);
    *b = __builtin_shufflevector(x, y, 1, 5, 3, 7);
#endif
}

// With a filter, each interpolated frame goes through it at once (the
// filter after the interpolation, fused): the same operations per lane.
template <int R>
std::int32_t interpolateChunk(const double* const* inputs, double* const* outputs,
                              std::int32_t frames, std::int32_t last, double ratio,
                              double* position, const Coefficients* k,
                              FilterState* const* states) {
    Biquad filters[R];
    if (k != nullptr)
        for (int r = 0; r < R; ++r)
            filters[r] = {gather(states + r * kWidth, &FilterState::x1),
                          gather(states + r * kWidth, &FilterState::x2),
                          gather(states + r * kWidth, &FilterState::y1),
                          gather(states + r * kWidth, &FilterState::y2)};
    double p = *position;
    std::int32_t produced = 0;
    // Outputs are kept until kWidth frames are made, then stored transposed.
    V made[R][kWidth];
    int pending = 0;
    for (; produced < frames; ++produced) {
        if (!(p < last)) break;
        const auto i = static_cast<std::int32_t>(p);
        const double f = p - i;
        const double w = 1.0 - f;
        for (int r = 0; r < R; ++r) {
            V a, b;
            loadNeighbours(inputs + r * kWidth, i, &a, &b);
            const V y = w * a + f * b;
            made[r][pending] = k != nullptr ? filters[r].step(*k, y) : y;
        }
        p += ratio;
        if (++pending == kWidth) {
            for (int r = 0; r < R; ++r) {
                transpose(made[r]);
                for (int l = 0; l < kWidth; ++l)
                    storeAt(outputs[r * kWidth + l] + produced + 1 - kWidth, made[r][l]);
            }
            pending = 0;
        }
    }
    for (int t = 0; t < pending; ++t)
        for (int r = 0; r < R; ++r)
            for (int l = 0; l < kWidth; ++l)
                outputs[r * kWidth + l][produced - pending + t] = made[r][t][l];
    if (k != nullptr)
        for (int r = 0; r < R; ++r)
            for (int l = 0; l < kWidth; ++l) {
                FilterState& s = *states[r * kWidth + l];
                const Biquad& q = filters[r];
                s.x1 = q.x1[l], s.x2 = q.x2[l], s.y1 = q.y1[l], s.y2 = q.y2[l];
            }
    *position = p;
    return produced;
}

int interpolate(const double* const* inputs, double* const* outputs, int lanes,
                std::int32_t frames, std::int32_t last, double ratio, double* position,
                std::int32_t* produced, const Coefficients* k, FilterState* const* states) {
    // Every chunk walks the same positions; each starts from the same one.
    const double start = *position;
    int done = 0;
    for (; lanes - done >= kRegisters * kWidth; done += kRegisters * kWidth) {
        *position = start;
        *produced = interpolateChunk<kRegisters>(inputs + done, outputs + done, frames, last,
                                                 ratio, position, k, states + done);
    }
    for (; lanes - done >= kWidth; done += kWidth) {
        *position = start;
        *produced = interpolateChunk<1>(inputs + done, outputs + done, frames, last, ratio,
                                        position, k, states + done);
    }
    return done;
}

}  // namespace

extern const Kernels kKernels;
const Kernels kKernels{LANE_KERNEL_NAME, kWidth, filter, interpolate};

}  // namespace larkwire::lanes::LANE_NAMESPACE

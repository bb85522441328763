// Side-by-side kernels for mono converters that are in step: the same read
// position, rates and filter coefficients, different samples and filter
// states. Each vector lane carries one channel and does exactly the scalar
// converter's operations in the scalar converter's order, so every lane's
// result has the same bits as the scalar path's. [audio]
#pragma once

#include <cstdint>

namespace larkwire::lanes {

struct Coefficients {
    double b0, b1, b2, a1, a2;
};

// One filtered channel's memory: previous inputs and previous outputs.
struct FilterState {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

struct Kernels {
    const char* name;
    // Lanes one call handles at a time; a kernel handles the largest multiple
    // of this not above the lanes given and returns that count. The caller
    // runs the rest through the scalar converter.
    int width;
    // Filters n samples of each lane in place.
    int (*filter)(const Coefficients& k, double* const* samples, FilterState* const* states,
                  int lanes, std::int32_t n);
    // Linear interpolation of each lane from one shared read position; sets
    // *produced and advances *position as the scalar loop would. With k, each
    // output then goes through the lane's filter, as filter would do after.
    // With mixes, each output is not stored but added into the lane's float
    // samples (m = float(m + y)), as the playout would add it.
    int (*interpolate)(const double* const* inputs, double* const* outputs, float* const* mixes,
                       int lanes, std::int32_t frames, std::int32_t last, double ratio,
                       double* position, std::int32_t* produced, const Coefficients* k,
                       FilterState* const* states);
};

const Kernels& sse2Kernels();
// Null when the CPU (or its operating system) cannot run AVX2.
const Kernels* avx2Kernels();

// The kernels the converters use: AVX2 where it runs, otherwise SSE2.
const Kernels& activeKernels();
// For the tests and benchmarks: pins the kernels, or back to the CPU's best
// with null. [audio] Not while another thread converts.
void useKernels(const Kernels* kernels);

}  // namespace larkwire::lanes

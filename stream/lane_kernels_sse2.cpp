// Two double lanes per register: every x86 the product runs on has SSE2.
// The CPU check and the choice of kernels live here, in the baseline build.
#define LANE_NAMESPACE sse2
#define LANE_BYTES 16
#define LANE_KERNEL_NAME "sse2"
#include "stream/lane_kernels_impl.h"

#include <atomic>

namespace larkwire::lanes {

namespace avx2 {
extern const Kernels kKernels;
}

namespace {
std::atomic<const Kernels*> pinned{nullptr};
}

const Kernels& sse2Kernels() { return sse2::kKernels; }

const Kernels* avx2Kernels() {
    // The check also asks whether the operating system saves the AVX state.
    static const bool runs = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return runs ? &avx2::kKernels : nullptr;
}

const Kernels& activeKernels() {
    if (const Kernels* kernels = pinned.load(std::memory_order_relaxed)) return *kernels;
    static const Kernels* const best = avx2Kernels() != nullptr ? avx2Kernels() : &sse2Kernels();
    return *best;
}

void useKernels(const Kernels* kernels) { pinned.store(kernels, std::memory_order_relaxed); }

}  // namespace larkwire::lanes

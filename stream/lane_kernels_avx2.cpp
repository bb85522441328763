// Four double lanes per register, for CPUs with AVX2. Only this file is built
// for AVX2, and it holds nothing that runs before the CPU check elsewhere.
#define LANE_NAMESPACE avx2
#define LANE_BYTES 32
#define LANE_KERNEL_NAME "avx2"
#include "stream/lane_kernels_impl.h"

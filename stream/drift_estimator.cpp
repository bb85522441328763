#include "stream/drift_estimator.h"

namespace larkwire {

// Placeholder until the estimator lands: the clocks are taken to agree.
void DriftEstimator::observe(double, double, std::int32_t, double) {}

void DriftEstimator::reset() {
    ratio_ = 1.0;
    driftPpm_.store(0.0, std::memory_order_relaxed);
}

}  // namespace larkwire

#include "stream/playout_levels.h"

#include <algorithm>

namespace larkwire {

namespace {
constexpr double kCapBlocks = 16;
constexpr double kStaleBlocks = 8;
constexpr double kStaleSeconds = 0.1;
}  // namespace

PlayoutLevels playoutLevels(std::int32_t hostFrames, double burstFrames, std::int32_t factor,
                            double hostRate) {
    const double block = hostFrames > 0 ? double(hostFrames) : 0.0;
    const double burst = burstFrames > 0 ? burstFrames : 0.0;
    const double rate = hostRate > 0 ? hostRate : 0.0;
    PlayoutLevels levels;
    levels.target = std::max(block * (factor > 1 ? factor : 1), 2 * burst);
    levels.cap = std::max(kCapBlocks * block, 4 * burst);
    levels.stale =
        levels.target + std::max({kStaleBlocks * block, 2 * burst, kStaleSeconds * rate});
    return levels;
}

}  // namespace larkwire

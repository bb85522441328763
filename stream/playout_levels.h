// How much received audio the playout holds, in host-rate frames. Block sizes
// on the two sides may differ by a factor of hundreds (a mixing machine at
// 2048 frames, a tracking machine at 64), so the levels follow whichever is
// larger: the host's blocks or the bursts the sender's blocks arrive in.
#pragma once

#include <cstdint>

namespace larkwire {

struct PlayoutLevels {
    // Where the queue is held: playing starts (and restarts) here.
    double target = 0;
    // What a queue may hold after an append; the oldest samples beyond go.
    double cap = 0;
    // A playing queue above this holds stale audio (the instance was not
    // processing while its datagrams waited): play restarts at the target.
    double stale = 0;
};

// [any thread] factor: pre-buffer blocks (4 to start, 2 after a shortage).
// target = max(factor host blocks, 2 bursts): a burst refills the queue only
// once per sender block, so the level must last a whole burst plus margin.
// cap = max(16 host blocks, 4 bursts); stale = target + max(8 host blocks,
// 2 bursts, 100 ms).
PlayoutLevels playoutLevels(std::int32_t hostFrames, double burstFrames, std::int32_t factor,
                            double hostRate);

}  // namespace larkwire

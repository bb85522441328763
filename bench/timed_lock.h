// Wait and hold times of the process-wide locks, measured by the benchmarks'
// own lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace larkwire::bench {

constexpr int kTrackedLocks = 2;  // 0: socketLock, 1: packetListLock
extern std::atomic<std::int64_t> lockWaitNanoseconds[kTrackedLocks];
extern std::atomic<std::int64_t> lockContentions[kTrackedLocks];
// The longest stretch one thread held the lock, outermost enter to leave.
extern std::atomic<std::int64_t> lockLongestHoldNanoseconds[kTrackedLocks];
// The same stretch in the holding thread's own CPU time: what the holder
// did, without the time other processes ran while it held the lock.
extern std::atomic<std::int64_t> lockLongestHoldCpuNanoseconds[kTrackedLocks];

// Starts counting waits on lock in slot, from zero.
void trackLock(int slot, const void* lock);

}  // namespace larkwire::bench

// A drop-in for the core's lock, linked into the benchmarks only: the same
// recursive mutex, plus the time each caller spent waiting to enter it.
#include "bench/timed_lock.h"
#include "platform/lock.h"

#include <pthread.h>

#include <chrono>
#include <ctime>
#include <new>

namespace larkwire::bench {
std::atomic<std::int64_t> lockWaitNanoseconds[kTrackedLocks];
std::atomic<std::int64_t> lockContentions[kTrackedLocks];
std::atomic<std::int64_t> lockLongestHoldNanoseconds[kTrackedLocks];
std::atomic<std::int64_t> lockLongestHoldCpuNanoseconds[kTrackedLocks];
std::atomic<const void*> trackedLocks[kTrackedLocks];
// Written only by the thread holding the tracked lock.
int holdDepth[kTrackedLocks];
std::chrono::steady_clock::time_point holdStart[kTrackedLocks];
std::int64_t holdCpuStart[kTrackedLocks];

std::int64_t threadCpuNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void trackLock(int slot, const void* lock) {
    trackedLocks[slot].store(lock);
    lockWaitNanoseconds[slot].store(0);
    lockContentions[slot].store(0);
    lockLongestHoldNanoseconds[slot].store(0);
    lockLongestHoldCpuNanoseconds[slot].store(0);
}

int slotOf(const void* lock) {
    for (int slot = 0; slot < kTrackedLocks; ++slot)
        if (trackedLocks[slot].load(std::memory_order_relaxed) == lock) return slot;
    return -1;
}

void noteEntered(const void* lock) {
    const int slot = slotOf(lock);
    if (slot < 0 || holdDepth[slot]++ != 0) return;
    holdStart[slot] = std::chrono::steady_clock::now();
    holdCpuStart[slot] = threadCpuNanoseconds();
}

void noteLeaving(const void* lock) {
    const int slot = slotOf(lock);
    if (slot < 0 || holdDepth[slot] == 0 || --holdDepth[slot] != 0) return;
    const std::int64_t held = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - holdStart[slot]).count();
    if (held > lockLongestHoldNanoseconds[slot].load(std::memory_order_relaxed))
        lockLongestHoldNanoseconds[slot].store(held, std::memory_order_relaxed);
    const std::int64_t cpu = threadCpuNanoseconds() - holdCpuStart[slot];
    if (cpu > lockLongestHoldCpuNanoseconds[slot].load(std::memory_order_relaxed))
        lockLongestHoldCpuNanoseconds[slot].store(cpu, std::memory_order_relaxed);
}
}  // namespace larkwire::bench

namespace larkwire::platform {

static_assert(sizeof(pthread_mutex_t) <= 64);

namespace {
pthread_mutex_t* mutexIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}
}  // namespace

Lock::Lock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage_) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() { pthread_mutex_destroy(mutexIn(storage_)); }

void Lock::enter() {
    pthread_mutex_t* mutex = mutexIn(storage_);
    if (pthread_mutex_trylock(mutex) == 0) {
        bench::noteEntered(this);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    pthread_mutex_lock(mutex);
    const auto waited = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - start).count();
    for (int slot = 0; slot < bench::kTrackedLocks; ++slot) {
        if (bench::trackedLocks[slot].load(std::memory_order_relaxed) == this) {
            bench::lockWaitNanoseconds[slot].fetch_add(waited, std::memory_order_relaxed);
            bench::lockContentions[slot].fetch_add(1, std::memory_order_relaxed);
        }
    }
    bench::noteEntered(this);
}

void Lock::leave() {
    bench::noteLeaving(this);
    pthread_mutex_unlock(mutexIn(storage_));
}

}  // namespace larkwire::platform

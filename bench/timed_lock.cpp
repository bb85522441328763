// A drop-in for the core's lock, linked into the benchmarks only: the same
// recursive mutex, plus the time each caller spent waiting to enter it.
#include "bench/timed_lock.h"
#include "platform/lock.h"

#include <pthread.h>

#include <chrono>
#include <new>

namespace larkwire::bench {
std::atomic<std::int64_t> lockWaitNanoseconds[kTrackedLocks];
std::atomic<std::int64_t> lockContentions[kTrackedLocks];
std::atomic<const void*> trackedLocks[kTrackedLocks];

void trackLock(int slot, const void* lock) {
    trackedLocks[slot].store(lock);
    lockWaitNanoseconds[slot].store(0);
    lockContentions[slot].store(0);
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
    if (pthread_mutex_trylock(mutex) == 0) return;
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
}

void Lock::leave() { pthread_mutex_unlock(mutexIn(storage_)); }

}  // namespace larkwire::platform

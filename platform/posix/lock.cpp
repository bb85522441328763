#include "platform/lock.h"

#include <pthread.h>

#include <new>

namespace larkwire::platform {

static_assert(sizeof(pthread_mutex_t) <= 64);

namespace {
pthread_mutex_t* mutexIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}
}  // namespace

// Recursive, like the Windows critical section it stands in for.
Lock::Lock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (storage_) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() { pthread_mutex_destroy(mutexIn(storage_)); }
void Lock::enter() { pthread_mutex_lock(mutexIn(storage_)); }
void Lock::leave() { pthread_mutex_unlock(mutexIn(storage_)); }

}  // namespace larkwire::platform

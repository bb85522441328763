#include "platform/thread.h"

#include <pthread.h>

#include <new>

namespace larkwire::platform {

struct Thread {
    pthread_t id;
    ThreadProc proc;
    void* argument;
};

namespace {
void* trampoline(void* raw) {
    auto* thread = static_cast<Thread*>(raw);
    thread->proc(thread->argument);
    return nullptr;
}
}  // namespace

Thread* startThread(ThreadProc proc, void* argument) {
    auto* thread = new (std::nothrow) Thread{{}, proc, argument};
    if (thread == nullptr) return nullptr;
    if (pthread_create(&thread->id, nullptr, &trampoline, thread) != 0) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void joinThread(Thread* thread) {
    if (thread == nullptr) return;
    pthread_join(thread->id, nullptr);
    delete thread;
}

}  // namespace larkwire::platform

#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace larkwire::platform {

struct Thread {
    HANDLE handle;
    ThreadProc proc;
    void* argument;
};

namespace {
DWORD WINAPI trampoline(LPVOID raw) {
    auto* thread = static_cast<Thread*>(raw);
    return thread->proc(thread->argument);
}
}  // namespace

Thread* startThread(ThreadProc proc, void* argument) {
    auto* thread = new (std::nothrow) Thread{nullptr, proc, argument};
    if (thread == nullptr) return nullptr;
    DWORD id = 0;
    thread->handle = CreateThread(nullptr, 0, &trampoline, thread, 0, &id);
    if (thread->handle == nullptr) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void joinThread(Thread* thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}

}  // namespace larkwire::platform

// One joinable thread.
#pragma once

namespace larkwire::platform {

struct Thread;
using ThreadProc = unsigned (*)(void* argument);

// [any thread] null when the thread could not be created.
Thread* startThread(ThreadProc proc, void* argument);

// [any thread but the started one] waits without time limit, then frees it.
void joinThread(Thread* thread);

}  // namespace larkwire::platform

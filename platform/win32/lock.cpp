#include "platform/lock.h"

#include <windows.h>

#include <new>

namespace larkwire::platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64);

namespace {
CRITICAL_SECTION* sectionIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

Lock::Lock() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
Lock::~Lock() { DeleteCriticalSection(sectionIn(storage_)); }
void Lock::enter() { EnterCriticalSection(sectionIn(storage_)); }
void Lock::leave() { LeaveCriticalSection(sectionIn(storage_)); }

}  // namespace larkwire::platform

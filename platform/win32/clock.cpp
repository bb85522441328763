#include "platform/clock.h"

#include <windows.h>

namespace larkwire::platform {

std::int32_t monotonicSeconds() { return static_cast<std::int32_t>(monotonicMilliseconds() / 1000); }
std::int64_t monotonicMilliseconds() { return static_cast<std::int64_t>(GetTickCount64()); }
void sleepMilliseconds(int milliseconds) { Sleep(DWORD(milliseconds)); }

}  // namespace larkwire::platform

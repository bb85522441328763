#include "platform/clock.h"

#include <windows.h>

#include <ctime>

namespace larkwire::platform {

std::int32_t secondsNow() { return static_cast<std::int32_t>(std::time(nullptr)); }
std::int64_t monotonicMilliseconds() { return static_cast<std::int64_t>(GetTickCount64()); }
void sleepMilliseconds(int milliseconds) { Sleep(DWORD(milliseconds)); }

}  // namespace larkwire::platform

// Wall-clock time in whole seconds, as the C library's time() gives it.
#pragma once

#include <cstdint>

namespace larkwire::platform {

std::int32_t secondsNow();

// Monotonic milliseconds, for tools that pace themselves.
std::int64_t monotonicMilliseconds();
void sleepMilliseconds(int milliseconds);

}  // namespace larkwire::platform

// The monotonic clock: it never steps when the wall clock is set, so ages
// measured with it hold across clock changes.
#pragma once

#include <cstdint>

namespace larkwire::platform {

// Whole seconds, for arrival stamps and the expiry of queued datagrams.
std::int32_t monotonicSeconds();

std::int64_t monotonicMilliseconds();
void sleepMilliseconds(int milliseconds);

}  // namespace larkwire::platform

#include "platform/clock.h"

#include <time.h>

namespace larkwire::platform {

std::int32_t monotonicSeconds() { return static_cast<std::int32_t>(monotonicMilliseconds() / 1000); }

std::int64_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void sleepMilliseconds(int milliseconds) {
    timespec delay{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

}  // namespace larkwire::platform

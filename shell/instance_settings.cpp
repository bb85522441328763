#include "shell/instance_settings.h"

#include <cstring>

#include "shell/stream_effect.h"

namespace larkwire {

void setIdentifier(StreamEffect& instance, const char* text) {
    char copy[kIdentifierSize] = {};
    if (text != nullptr) std::strncpy(copy, text, kIdentifierSize - 1);
    platform::LockGuard guard(instance.stateLock);
    std::memcpy(instance.identifier, copy, kIdentifierSize);
}

void setIdentifierBytes(StreamEffect& instance, const char* bytes) {
    platform::LockGuard guard(instance.stateLock);
    std::memcpy(instance.identifier, bytes, kIdentifierSize);
    instance.identifier[kIdentifierSize - 1] = '\0';
}

void setSendMode(StreamEffect& instance, std::int32_t sendMode) {
    platform::LockGuard guard(instance.stateLock);
    // Events handed over for the other mode's block must not outlive it.
    if (instance.sendMode != sendMode) instance.pendingEvents.store(nullptr, std::memory_order_release);
    instance.sendMode = sendMode;
}

void setDestination(StreamEffect& instance, const char* text) {
    char copy[kDestinationSize] = {};
    if (text != nullptr) std::strncpy(copy, text, kDestinationSize - 1);
    platform::LockGuard guard(instance.destinationLock);
    std::memcpy(instance.destination, copy, kDestinationSize);
}

void setDestinationBytes(StreamEffect& instance, const char* bytes) {
    platform::LockGuard guard(instance.destinationLock);
    std::memcpy(instance.destination, bytes, kDestinationSize);
}

}  // namespace larkwire

// Writers of the user settings, taking the lock each one needs so the audio
// thread always sees whole values and a terminated identifier.
#pragma once

#include <cstdint>

namespace larkwire {

struct StreamEffect;

// [ui] Copies at most 31 characters, zero-filling the 32 bytes; under stateLock.
void setIdentifier(StreamEffect& instance, const char* text);
// [ui] Copies the 32 bytes as stored, then terminates them; under stateLock.
void setIdentifierBytes(StreamEffect& instance, const char* bytes);
// [ui] Under stateLock.
void setSendMode(StreamEffect& instance, std::int32_t sendMode);
// [ui] At most 127 characters, always terminated; under destinationLock.
void setDestination(StreamEffect& instance, const char* text);
// [ui] The 128 bytes as stored; under destinationLock.
void setDestinationBytes(StreamEffect& instance, const char* bytes);

}  // namespace larkwire

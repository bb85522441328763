#include "shell/save_chunk.h"

#include <cstring>

#include "shell/instance_settings.h"
#include "shell/stream_effect.h"
#include "stream/packet_format.h"

namespace larkwire {

namespace {
void appendInt(ByteQueue& queue, std::int32_t value) {
    std::uint8_t bytes[4];
    wire::writeU32(bytes, std::uint32_t(value));
    queue.append(bytes, 4);
}
}  // namespace

vst2::intptr writeSaveChunk(StreamEffect& instance, void** out) {
    ByteQueue& queue = instance.chunkBuffer;
    queue.clear();
    std::int32_t sendMode;
    char identifier[kIdentifierSize];
    {
        platform::LockGuard guard(instance.stateLock);
        sendMode = instance.sendMode;
        std::memcpy(identifier, instance.identifier, sizeof identifier);
    }
    char destination[kDestinationSize];
    {
        platform::LockGuard guard(instance.destinationLock);
        std::memcpy(destination, instance.destination, sizeof destination);
    }
    // A failed growth stops here: the host stores the shorter chunk.
    appendInt(queue, sendMode);
    if (queue.available() == 4) appendInt(queue, instance.sendChannels.load());
    if (queue.available() == 8) appendInt(queue, instance.enabled.load());
    if (queue.available() == 12) queue.append(identifier, kIdentifierSize);
    if (queue.available() == 44) queue.append(destination, kDestinationSize);
    if (out != nullptr) *out = const_cast<std::uint8_t*>(queue.readPointer());
    return queue.readPointer() != nullptr ? queue.available() : 0;
}

vst2::intptr readSaveChunk(StreamEffect& instance, const void* data, vst2::intptr count) {
    // A null chunk loads nothing, whatever count claims.
    const vst2::intptr n = data != nullptr ? count : 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (n >= 4) setSendMode(instance, wire::readI32(bytes));
    if (n >= 8) instance.sendChannels.store(wire::readI32(bytes + 4));
    if (n >= 12) instance.enabled.store(wire::readI32(bytes + 8));
    if (n >= 44) {
        setIdentifierBytes(instance, reinterpret_cast<const char*>(bytes + 12));
    } else {
        platform::LockGuard guard(instance.stateLock);
        instance.identifier[kIdentifierSize - 1] = '\0';
    }
    if (n >= 172) setDestinationBytes(instance, reinterpret_cast<const char*>(bytes + 44));
    instance.changedMask.store(0xFFFFFFFFu);
    return 1;
}

}  // namespace larkwire

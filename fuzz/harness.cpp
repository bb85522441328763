#include "fuzz/harness.h"

#include <memory>

#include "fuzz/fuzz_targets.h"
#include "platform/clock.h"
#include "shell/dispatcher.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARKWIRE_FUZZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LARKWIRE_FUZZ_ASAN 1
#endif
#if defined(LARKWIRE_FUZZ_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace larkwire::fuzz {

namespace {

void setTail(ReceivedPacket* packet, bool poisoned) {
#if defined(LARKWIRE_FUZZ_ASAN)
    HeapBuffer& b = packet->bytes;
    if (b.bytes() == nullptr) return;
    const std::int32_t tail = b.allocatedSize() - b.usedSize();
    if (tail <= 0) return;
    if (poisoned) __asan_poison_memory_region(b.bytes() + b.usedSize(), size_t(tail));
    else __asan_unpoison_memory_region(b.bytes() + b.usedSize(), size_t(tail));
#else
    (void)packet;
    (void)poisoned;
#endif
}

// Records whose tails are poisoned now. A record may be freed meanwhile (the
// spare list was full), so only those still listed are unpoisoned.
std::vector<ReceivedPacket*> marked;

bool listed(PtrList<ReceivedPacket>& list, const ReceivedPacket* packet) {
    for (std::int32_t i = 0; i < list.count(); ++i)
        if (list.get(i) == packet) return true;
    return false;
}

bool queued(const ReceivedPacket* packet) {
    for (const ReceivedPacket* p = network::receivedPackets().oldest(); p != nullptr; p = p->newerArrival)
        if (p == packet) return true;
    return false;
}

}  // namespace

int runOnExactCopy(Target target, const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size > 0 ? size : 1]);
    if (size > 0) std::memcpy(copy.get(), data, size);
    // An empty input gets a pointer that must not be read at all.
    return target(size > 0 ? copy.get() : nullptr, size);
}

void keepNetworkUp() {
    static StreamEffect* keeper = [] {
        StreamEffect* instance = createStreamEffect(nullptr);
        dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        // Disabled, so it never takes what the targets queue.
        instance->enabled.store(0);
        return instance;
    }();
    LARKWIRE_FUZZ_CHECK(keeper != nullptr && network::packetListLock.load() != nullptr);
}

void markQueuedTails() {
    platform::LockGuard guard(*network::packetListLock.load());
    for (ReceivedPacket* p = network::receivedPackets().oldest(); p != nullptr; p = p->newerArrival) {
        setTail(p, true);
        marked.push_back(p);
    }
}

void unmarkAll() {
    if (marked.empty()) return;
    platform::LockGuard guard(*network::packetListLock.load());
    // What instances took and handed back goes to the spare list first.
    network::reclaimHandedBack();
    for (ReceivedPacket* packet : marked)
        if (queued(packet) || listed(network::sparePackets(), packet))
            setTail(packet, false);
    marked.clear();
}

void queueExact(const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + 1]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    unmarkAll();
    // Stamped ahead, so the running thread's expiry pass leaves them alone.
    network::acceptDatagram(copy.get(), std::int32_t(bytes.size()), foreignSource(),
                            platform::monotonicSeconds() + 1000);
}

void drainQueue() {
    unmarkAll();
    platform::LockGuard guard(*network::packetListLock.load());
    network::recycleAllQueued();
}

}  // namespace larkwire::fuzz

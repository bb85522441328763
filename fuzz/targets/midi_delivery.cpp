// MIDI delivery on arbitrary queued records: the deltaFrames rewrite and the
// host call. The host reads every delivered event whole, as a host may.
#include "fuzz/fuzz_targets.h"
#include "fuzz/targets/stream_session.h"
#include "stream/midi_delivery_list.h"
#include "stream/midi_stream.h"
#include "stream/packet_format.h"

namespace larkwire::fuzz {

namespace {

std::int32_t blockFrames = 0;
int hostCalls = 0;

vst2::intptr VST_CALLBACK readingHost(vst2::AEffect*, vst2::int32 opcode, vst2::int32,
                                      vst2::intptr, void* ptr, float) {
    if (opcode != vst2::audioMasterProcessEvents) return 0;
    ++hostCalls;
    const auto* list = static_cast<const vst2::VstEvents*>(ptr);
    LARKWIRE_FUZZ_CHECK(list != nullptr);
    LARKWIRE_FUZZ_CHECK(list->numEvents >= 0 && list->numEvents <= kMaxDeliveredEvents);
    volatile std::uint32_t sum = 0;
    // The list is longer than the two entries its declaration shows.
    vst2::VstEvent* const* events = &list->events[0];
    for (vst2::int32 i = 0; i < list->numEvents; ++i) {
        vst2::VstMidiEvent event;
        std::memcpy(&event, events[i], sizeof event);  // all 32 bytes
        for (char c : event.midiData) sum = sum + std::uint8_t(c);
        LARKWIRE_FUZZ_CHECK(event.type == vst2::kVstMidiType);
        LARKWIRE_FUZZ_CHECK(event.byteSize >= 24);
        const std::int32_t last = blockFrames > 0 ? blockFrames - 1 : 0;
        LARKWIRE_FUZZ_CHECK(event.deltaFrames >= 0 && event.deltaFrames <= last);
    }
    return 0;
}

constexpr std::int32_t kSizes[] = {24, 24, 8, 0, -8, -40, 7, 25, 1000, 0x7FFFFFF8, -0x7FFFFFFF};

// Many copies of one event record, so a short input can carry thousands.
std::vector<std::uint8_t> repeatedEvents(InputReader& input, const StreamEffect& instance) {
    const std::int32_t count = input.u16() % 5000;
    const std::int32_t type = input.byte() % 4 == 0 ? std::int32_t(input.u32()) : 1;
    const std::int32_t byteSize = kSizes[input.byte() % (sizeof kSizes / sizeof kSizes[0])];
    const std::int32_t firstDelta = std::int32_t(input.u32());
    const std::int32_t step = std::int8_t(input.byte());
    const std::int32_t stride = 8 + (byteSize >= 0 && byteSize < 64 ? byteSize : 24);
    std::int64_t length = 40 + std::int64_t(count) * stride;
    if (length > 65535) length = 65535;
    std::vector<std::uint8_t> bytes(size_t(length), 0);
    wire::writeU32(bytes.data(), wire::kMidiMagic);
    wire::writeU32(bytes.data() + 4, std::uint32_t(length));
    std::memcpy(bytes.data() + 8, instance.identifier, 32);
    for (std::int64_t at = 40, i = 0; at + 12 <= length; at += stride, ++i) {
        wire::writeU32(bytes.data() + at, std::uint32_t(type));
        wire::writeU32(bytes.data() + at + 4, std::uint32_t(byteSize));
        wire::writeU32(bytes.data() + at + 8, std::uint32_t(firstDelta) + std::uint32_t(i) * std::uint32_t(step));
        if (at + 25 <= length) bytes[size_t(at + 24)] = 0x90;
    }
    return bytes;
}

void runBlock(StreamSession& session, std::int32_t frames) {
    StreamEffect& instance = session.instance();
    blockFrames = frames;
    const int before = hostCalls;
    markQueuedTails();
    {
        platform::LockGuard guard(instance.stateLock);
        deliverMidi(instance, frames);
    }
    unmarkAll();
    LARKWIRE_FUZZ_CHECK(hostCalls == before + 1);
}

}  // namespace

int midiDeliveryTarget(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    StreamSession session(input, &readingHost);
    for (int op = 0; !input.empty() && op < 256; ++op) {
        switch (input.byte() % 4) {
            case 0: session.queueRaw(input, wire::kMidiMagic); break;
            case 1: queueExact(repeatedEvents(input, session.instance())); break;
            case 2: runBlock(session, input.u16() % 4097); break;
            default: session.queueRaw(input, wire::kAudioMagic); break;
        }
    }
    return 0;
}

}  // namespace larkwire::fuzz

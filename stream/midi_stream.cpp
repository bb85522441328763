#include "stream/midi_stream.h"

#include <cmath>
#include <cstring>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"
#include "stream/packet_format.h"
#include "stream/send_path.h"

namespace larkwire {

namespace {

// Shared by all instances; used only while socketLock is held.
std::uint8_t midiSendBuffer[wire::kMaxDatagram];

constexpr std::int32_t kMidiEventBytes = sizeof(vst2::VstMidiEvent);

// The bytes of one host event we put on the wire, or 0 to leave it out.
// Only MIDI events travel: other kinds hold pointers into this process or
// are obsolete, and we never read more than a VstMidiEvent from the host.
std::int32_t wireLengthOf(const vst2::VstEvent* event) {
    if (event == nullptr || event->type != vst2::kVstMidiType) return 0;
    if (event->byteSize < 8) return 0;
    return kMidiEventBytes;
}

void write32(std::uint8_t* at, std::int32_t value) { wire::writeU32(at, std::uint32_t(value)); }

}  // namespace

int sendMidiPacket(const char* destination, std::int32_t port, const char* identifier,
                   const vst2::VstEvents* events) {
    if (destination[0] == '\0' || events == nullptr || events->numEvents <= 0 ||
        network::sharedSocket.load() == nullptr)
        return 0;
    platform::Lock* lock = network::socketLock.load();
    if (lock == nullptr) return 0;
    platform::LockGuard guard(*lock);

    const std::int32_t budget = aimSharedSocket(destination, port);
    if (budget == 0) return network::sharedSocket.load() == nullptr ? 0 : 1;

    std::int32_t length = wire::kHeaderBytes;
    for (std::int32_t i = 0; i < events->numEvents; ++i) {
        const vst2::VstEvent* event = events->events[i];
        if (event == nullptr) break;
        const std::int32_t bytes = wireLengthOf(event);
        if (bytes == 0) continue;
        if (length - wire::kHeaderBytes + bytes > budget) break;
        std::memcpy(midiSendBuffer + length, event, size_t(bytes));
        // The record's size says exactly what was copied.
        write32(midiSendBuffer + length + 4, bytes - wire::kEventHeaderBytes);
        length += bytes;
    }
    wire::writeU32(midiSendBuffer, wire::kMidiMagic);
    write32(midiSendBuffer + 4, length);
    std::memcpy(midiSendBuffer + wire::kIdentifierOffset, identifier, wire::kIdentifierBytes);

    UdpSocket* socket = network::sharedSocket.load();
    if (socket == nullptr) return 0;
    return socket->send(midiSendBuffer, length);
}

namespace {

// While the stream carries audio, its MIDI waits for that audio; a stream
// without audio (none for a quarter second) has its MIDI delivered at once.
bool carriesAudio(const StreamEffect& instance) {
    return double(instance.playout.framesSinceAudio) < instance.sampleRate / 4;
}

// Holds one event until its audio plays; false when there is no room.
bool holdEvent(MidiTiming& timing, const std::uint8_t* record, double at) {
    MidiTiming::TimedEvent* held = timing.hold();
    if (held == nullptr) return false;
    std::memcpy(&held->event, record, sizeof held->event);
    held->event.byteSize = kMidiEventBytes - wire::kEventHeaderBytes;
    held->at = at;
    return true;
}

// The held events whose audio plays in this block go into the list at the
// offset of that audio; late ones at 0. Without audio, all at 0.
void addDueEvents(StreamEffect& instance, bool timed, std::int32_t frames, bool* delivered) {
    MidiDeliveryList& list = instance.midiDeliveryList;
    MidiTiming& timing = instance.midiTiming;
    const PlayClock& clock = instance.playout.clock;
    for (std::int32_t i = 0; i < timing.pending(); ++i) delivered[i] = false;
    if (timed && !clock.played) return;
    for (std::int32_t i = 0; i < timing.pending() && list.numEvents < kMaxDeliveredEvents; ++i) {
        MidiTiming::TimedEvent& held = timing.event(i);
        double offset = 0;
        if (timed) {
            offset = std::floor((held.at - clock.first) / (clock.step > 0 ? clock.step : 1.0));
            if (!(offset < frames)) continue;  // its audio plays later
            if (offset < 0) offset = 0;
        }
        held.event.deltaFrames = std::int32_t(offset);
        list.events[list.numEvents++] = reinterpret_cast<vst2::VstEvent*>(&held.event);
        delivered[i] = true;
    }
}

}  // namespace

void deliverMidi(StreamEffect& instance, std::int32_t frames) {
    MidiDeliveryList& list = instance.midiDeliveryList;
    list.numEvents = 0;
    platform::Lock* listLock = network::packetListLock.load();
    if (listLock == nullptr) return;
    MidiTiming& timing = instance.midiTiming;
    const bool timed = carriesAudio(instance);

    {
        platform::LockGuard guard(*listLock);
        for (ReceivedPacket* packet =
                 network::firstUnread(instance.midiReader, instance.identifier, StreamKind::midi);
             packet != nullptr; packet = network::readPast(instance.midiReader)) {
            // Its audio may have come after this block's collection: next block.
            if (timed && packet->arrival > timing.collectedThrough()) break;
            // The sender block these events came with, by the audio before them.
            std::int64_t blockStart = 0;
            const bool placed = timed && timing.blockStartBefore(packet->arrival, &blockStart);
            if (!placed && list.numEvents >= kMaxDeliveredEvents) continue;

            std::uint8_t* bytes = packet->bytes.bytes();
            const std::int32_t used = packet->bytes.usedSize();
            std::int64_t shift = 0;  // wide: hostile offsets must not overflow
            wire::forEachEventRecord(bytes, used, [&](std::uint8_t* record, std::int32_t length) {
                const auto offset = record - bytes;
                // Only whole, aligned MIDI events reach the host: nothing else in a
                // datagram is a record this process can vouch for.
                if (wire::readI32(record) == vst2::kVstMidiType && length >= kMidiEventBytes &&
                    offset % 4 == 0) {
                    std::int64_t d = shift + wire::readI32(record + 8);
                    if (d < 0) {
                        shift -= d;
                        d = 0;
                    }
                    const std::int64_t capped =
                        d < MidiTiming::kMaxOffset ? d : MidiTiming::kMaxOffset;
                    if (placed && holdEvent(timing, record, double(blockStart) + double(capped)))
                        return true;
                    if (list.numEvents >= kMaxDeliveredEvents) return false;
                    // The host gets this instance's own copy: the datagram is
                    // shared by every receiver of the stream and goes back to
                    // the network thread once they all read it.
                    vst2::VstMidiEvent& event = list.copies[list.numEvents];
                    std::memcpy(&event, record, sizeof event);
                    event.byteSize = kMidiEventBytes - wire::kEventHeaderBytes;
                    event.deltaFrames = d < frames ? std::int32_t(d) : (frames > 0 ? frames - 1 : 0);
                    list.events[list.numEvents++] = reinterpret_cast<vst2::VstEvent*>(&event);
                }
                return placed || list.numEvents < kMaxDeliveredEvents;
            });
        }
    }

    bool delivered[kMaxDeliveredEvents];
    addDueEvents(instance, timed, frames, delivered);
    if (instance.hostCallback != nullptr)
        instance.hostCallback(&instance.effect, vst2::audioMasterProcessEvents, 0, 0,
                              list.asVstEvents(), 0.0f);
    timing.dropDelivered(delivered);
}

}  // namespace larkwire

// Received MIDI held until the audio it was sent with plays. A sender sends
// a block's audio datagrams and then its MIDI datagram, so the audio that
// arrived just before a MIDI datagram is the audio of the events' block:
// the stream frame that block began at, plus an event's offset, is when the
// event plays. [audio] Touched under the owning instance's stateLock.
#pragma once

#include <cstdint>

#include "shell/vst2.h"
#include "stream/midi_delivery_list.h"

namespace larkwire {

class MidiTiming {
public:
    // Audio datagrams remembered: more than arrive between two blocks (a
    // 64-channel stream brings 4 frames a datagram).
    static constexpr std::int32_t kArrivals = 2048;
    // No event waits longer past its block's start than the largest block.
    static constexpr std::int32_t kMaxOffset = 16383;

    struct TimedEvent {
        double at = 0;  // stream frame
        vst2::VstMidiEvent event{};
    };

    // [audio] An audio datagram that arrived as ARRIVAL, in a sender block
    // that began at stream frame BLOCKSTART.
    void noteAudio(std::uint64_t arrival, std::int64_t blockStart) {
        Arrival& slot = arrivals_[next_ % kArrivals];
        slot.arrival = arrival;
        slot.blockStart = blockStart;
        ++next_;
    }
    // [audio] The stream frame at which the sender block of a MIDI datagram
    // that arrived as ARRIVAL began; false when no remembered audio came
    // before it.
    bool blockStartBefore(std::uint64_t arrival, std::int64_t* blockStart) const {
        const std::uint64_t oldest = next_ > kArrivals ? next_ - kArrivals : 0;
        for (std::uint64_t i = next_; i > oldest; --i) {
            const Arrival& slot = arrivals_[(i - 1) % kArrivals];
            if (slot.arrival < arrival) {
                *blockStart = slot.blockStart;
                return true;
            }
        }
        return false;
    }

    // [audio] The audio of the block was collected from the records up to
    // stamp NEWEST: a MIDI datagram after it may belong to audio still
    // uncollected, so it waits for the next block's collection.
    void noteCollected(std::uint64_t newest) { collectedThrough_ = newest; }
    std::uint64_t collectedThrough() const { return collectedThrough_; }

    std::int32_t pending() const { return pending_; }
    TimedEvent& event(std::int32_t i) { return events_[i]; }
    // [audio] Room for one more held event, or null.
    TimedEvent* hold() { return pending_ < kMaxDeliveredEvents ? &events_[pending_++] : nullptr; }
    // [audio] Drops the held events that DELIVERED marks, keeping the order.
    void dropDelivered(const bool* delivered) {
        std::int32_t kept = 0;
        for (std::int32_t i = 0; i < pending_; ++i)
            if (!delivered[i]) events_[kept++] = events_[i];
        pending_ = kept;
    }

private:
    struct Arrival {
        std::uint64_t arrival = 0;
        std::int64_t blockStart = 0;
    };
    Arrival arrivals_[kArrivals];
    std::uint64_t next_ = 0;
    std::uint64_t collectedThrough_ = 0;
    TimedEvent events_[kMaxDeliveredEvents];
    std::int32_t pending_ = 0;
};

}  // namespace larkwire

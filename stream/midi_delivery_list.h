// The event list handed to the host in every receive block: laid out as a
// VstEvents record with room for 4000 events, followed by the instance's own
// copies of them (a received datagram is shared by every receiver of its
// stream and may be reused once they all read it).
#pragma once

#include <cstddef>

#include "shell/vst2.h"

namespace larkwire {

constexpr int kMaxDeliveredEvents = 4000;

struct MidiDeliveryList {
    vst2::int32 numEvents = 0;
    vst2::intptr reserved = 0;
    vst2::VstEvent* events[kMaxDeliveredEvents] = {};
    vst2::VstMidiEvent copies[kMaxDeliveredEvents] = {};

    vst2::VstEvents* asVstEvents() { return reinterpret_cast<vst2::VstEvents*>(this); }
};

static_assert(offsetof(MidiDeliveryList, reserved) == offsetof(vst2::VstEvents, reserved));
static_assert(offsetof(MidiDeliveryList, events) == offsetof(vst2::VstEvents, events));

}  // namespace larkwire

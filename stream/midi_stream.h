// MIDI beside the audio: the host's events of a block go out as one datagram;
// received events are handed to the host in the block they arrive before.
#pragma once

#include <cstdint>

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

// [audio] holds stateLock. 0 when sent or nothing to send, 1 on failure.
int sendMidiPacket(const char* destination, std::int32_t port, const char* identifier,
                   const vst2::VstEvents* events);

// [audio] holds stateLock. Reads this instance's MIDI datagrams, fits their
// offsets into the block and calls the host, also with an empty list.
void deliverMidi(StreamEffect& instance, std::int32_t frames);

}  // namespace larkwire

// Sending a block: audio cut into datagrams of at most 300 samples, and the
// block's MIDI events, to one IPv4 address or to broadcast.
#pragma once

#include <cstdint>

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

constexpr std::int32_t kSendBackoffBlocks = 100;

// [audio] Returns 0 when sent or when nothing had to be sent, 1 on failure.
// setDestination is 1 from a processing call; 0 for the runs of a split
// block, whose caller already holds socketLock and has set the destination.
int sendAudioPacket(int setDestination, const char* destination, std::int32_t port,
                    const char* identifier, std::int32_t channels, std::int32_t rate,
                    std::int32_t frames, const float* const* channelData);

// [audio] holds stateLock. The send step of one processing block.
void runSendStep(StreamEffect& instance, const float* const* inputs, std::int32_t frames);

// [audio] holds socketLock. Aims the shared socket; returns the event budget
// for the destination (broadcast or one address), or 0 when it failed.
std::int32_t aimSharedSocket(const char* destination, std::int32_t port);

}  // namespace larkwire

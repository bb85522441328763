// Receiving a stream: matching audio datagrams go into per-channel queues,
// and once channel 0 holds enough, one host block per channel is added to the
// outputs, converted when the stream's rate differs from the host's.
#pragma once

#include <cstdint>

namespace larkwire {

struct StreamEffect;
struct ReceivedPacket;

constexpr double kRateTolerance = 1.0;
constexpr std::int32_t kStartPrebufferBlocks = 4;
constexpr std::int32_t kRestartPrebufferBlocks = 2;

// [audio] holds stateLock. Takes every queued audio datagram of this stream.
void collectAudio(StreamEffect& instance, std::int32_t frames);
// [audio] holds stateLock. The most stream frames a queue keeps after an
// append, for host blocks of FRAMES: the larger of 16 host blocks and 4 of
// the sender's bursts, in time.
std::int64_t queueLimitFrames(const StreamEffect& instance, std::int32_t frames);
// [audio] holds stateLock. Appends one datagram's samples to the queues.
void appendPacket(StreamEffect& instance, const ReceivedPacket& packet, std::int32_t frames);
// [audio] holds stateLock. Adds one block of the stream to the outputs.
void playOut(StreamEffect& instance, float* const* outputs, std::int32_t frames);
// [audio or ui] holds stateLock. Empties the queues and resets the converters.
void flushQueues(StreamEffect& instance);

}  // namespace larkwire

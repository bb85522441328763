// The receive path on arbitrary queued records: collectAudio, appendPacket
// and playOut for instances of 1, 2 and 64 channels and any block length.
#include <cmath>

#include "fuzz/fuzz_targets.h"
#include "fuzz/targets/stream_session.h"
#include "net/network_endpoint.h"
#include "stream/packet_format.h"
#include "stream/receive_playout.h"

namespace larkwire::fuzz {

namespace {

constexpr std::int32_t kRates[] = {44100, 48000, 44101, 22050, 96000, 0, -1, 8000, 2000000000};

// A datagram whose lengths agree, so the fuzzer reaches the playing states.
std::vector<std::uint8_t> wellFormed(InputReader& input, const StreamEffect& instance) {
    const std::uint8_t channels = input.byte();
    const std::int32_t rate = kRates[input.byte() % (sizeof kRates / sizeof kRates[0])];
    const std::int32_t frames = input.byte() % 160;
    const std::int32_t sampleBytes = std::int32_t(std::uint16_t(std::int8_t(channels) * frames * 4));
    std::vector<std::uint8_t> bytes(size_t(47 + sampleBytes), 0);
    wire::writeU32(bytes.data(), wire::kAudioMagic);
    wire::writeU32(bytes.data() + 4, std::uint32_t(bytes.size()));
    std::memcpy(bytes.data() + 8, instance.identifier, 32);
    bytes[40] = channels;
    wire::writeU32(bytes.data() + 41, std::uint32_t(rate));
    wire::writeU16(bytes.data() + 45, std::uint16_t(sampleBytes));
    std::vector<std::uint8_t> samples = input.take(size_t(sampleBytes));
    if (!samples.empty()) std::memcpy(bytes.data() + 47, samples.data(), samples.size());
    return bytes;
}

// The largest cap seen in this input, plus what a burst still arriving
// (at most 16384 frames, at up to 16 stream frames per host frame) may add
// to it during an append: no queue may hold more.
std::int64_t largestLimit = 0;
constexpr std::int64_t kOpenBurstAllowance = 4 * 16384 * 16;

void checkQueues(StreamEffect& instance, std::int32_t channels, std::int32_t frames) {
    const std::int64_t limit = queueLimitFrames(instance, frames);
    if (limit > largestLimit) largestLimit = limit;
    for (std::int32_t ch = 0; ch < channels; ++ch) {
        const ChannelQueue& queue = instance.channelStates[ch];
        LARKWIRE_FUZZ_CHECK(queue.queuedBytes() >= 0);
        LARKWIRE_FUZZ_CHECK(queue.queuedBytes() <= 4 * (largestLimit + kOpenBurstAllowance));
        LARKWIRE_FUZZ_CHECK(queue.readOffset() >= 0 && queue.readOffset() < ChannelQueue::kBlockCapacity);
    }
    LARKWIRE_FUZZ_CHECK(instance.streamChannels >= 1);
}

void runBlock(StreamSession& session, std::int32_t frames) {
    StreamEffect& instance = session.instance();
    float* const* outputs = session.outputs(frames);
    markQueuedTails();
    platform::LockGuard guard(instance.stateLock);
    collectAudio(instance, frames);
    checkQueues(instance, session.channels(), frames);
    unmarkAll();
    playOut(instance, outputs, frames);
    const std::int32_t p = instance.prebufferBlocks;
    LARKWIRE_FUZZ_CHECK(p == 0 || p == 2 || p == 4);
}

// One record handed straight to appendPacket, outside the queue.
void appendDirect(StreamSession& session, InputReader& input) {
    const std::int32_t frames = input.u16() % 4097;
    std::vector<std::uint8_t> bytes = input.take(input.u16() % 1400);
    if (input.byte() % 2 != 0) stampLength(bytes);
    ReceivedPacket packet;
    packet.bytes.resize(std::int32_t(bytes.size()));
    if (!bytes.empty()) std::memcpy(packet.bytes.bytes(), bytes.data(), bytes.size());
    StreamEffect& instance = session.instance();
    platform::LockGuard guard(instance.stateLock);
    appendPacket(instance, packet, frames);
    checkQueues(instance, session.channels(), frames);
}

}  // namespace

int playoutTarget(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    largestLimit = 0;
    StreamSession session(input, nullptr);
    for (int op = 0; !input.empty() && op < 256; ++op) {
        switch (input.byte() % 6) {
            case 0: session.queueRaw(input, wire::kAudioMagic); break;
            case 1: queueExact(wellFormed(input, session.instance())); break;
            case 2: runBlock(session, input.u16() % 2049); break;
            case 3: appendDirect(session, input); break;
            case 4: session.suspend(); break;
            default: session.setHostRate(input); break;
        }
    }
    return 0;
}

}  // namespace larkwire::fuzz

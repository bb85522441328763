#include "stream/receive_playout.h"

#include <cmath>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"
#include "stream/packet_format.h"

namespace larkwire {

void appendPacket(StreamEffect& instance, const ReceivedPacket& packet, std::int32_t frames) {
    const wire::AudioContent content =
        wire::readAudioContent(packet.bytes.bytes(), packet.bytes.usedSize());
    if (content.samples == nullptr) return;
    const std::int32_t channelBytes = content.framesPerChannel * 4;
    const std::int64_t limit = std::int64_t(kQueueLimitBlocks) * 4 * (frames > 0 ? frames : 0);
    const std::int32_t channels =
        content.channels < channelCount ? content.channels : channelCount;
    // Keep at most 16 host blocks: drop the oldest samples.
    if (channels > 0)
        ChannelQueue::appendEach(instance.channelStates, channels, content.samples, channelBytes,
                                 limit);
}

void collectAudio(StreamEffect& instance, std::int32_t frames) {
    platform::Lock* listLock = network::packetListLock.load();
    if (listLock == nullptr) return;
    platform::LockGuard guard(*listLock);
    StreamRecords* stream = network::queuedStream(instance.identifier, StreamKind::audio);
    if (stream == nullptr) return;
    // Only this stream's records, oldest first: other traffic costs nothing here.
    while (ReceivedPacket* packet = stream->oldest) {
        network::takeQueued(packet);
        const wire::AudioContent content =
            wire::readAudioContent(packet->bytes.bytes(), packet->bytes.usedSize());
        instance.streamChannels =
            content.channels < channelCount ? content.channels : channelCount;
        instance.streamSampleRate = content.rate;
        appendPacket(instance, *packet, frames);
        network::handBackPacket(packet);
    }
}

namespace {

// Channel 0 short: hold the whole block, and wait for 2 blocks after direct play.
bool heldBack(StreamEffect& instance, std::int32_t channel, std::int32_t available,
              std::int32_t unit) {
    const std::int64_t threshold =
        instance.prebufferBlocks > 1 ? std::int64_t(unit) * instance.prebufferBlocks : unit;
    if (channel != 0 || available >= threshold) return false;
    if (instance.prebufferBlocks == 0) instance.prebufferBlocks = kRestartPrebufferBlocks;
    return true;
}

// The mixing scratch grown to at least bytes; null when it cannot be had.
void* scratchOf(StreamEffect& instance, std::int64_t bytes) {
    if (bytes > INT32_MAX) return nullptr;
    if (bytes > instance.mixScratch.usedSize()) instance.mixScratch.resize(std::int32_t(bytes));
    return instance.mixScratch.usedSize() >= bytes ? instance.mixScratch.bytes() : nullptr;
}

}  // namespace

namespace {

// Converted channels whose input is in place, waiting to run side by side.
struct InStepGroup {
    static constexpr std::int32_t kLanes = 16;
    ChannelResampler* resamplers[kLanes];
    std::int32_t channels[kLanes];
    std::int32_t count = 0;
    std::int32_t capacity = kLanes;
    std::int32_t need = 0;
};

// One lane's block of converter output, plus a cache line: lanes a power of
// two apart would share cache sets and evict each other.
std::int64_t laneStride(std::int32_t frames) { return std::int64_t(frames) + 8; }

// The scratch holds one block of converter output per lane.
bool haveGroupScratch(StreamEffect& instance, std::int32_t lanes, std::int32_t frames) {
    return scratchOf(instance, std::int64_t(lanes) * laneStride(frames) * 8) != nullptr;
}

// Takes n samples off the queue into the converter's input, widened.
void takeWidened(ChannelQueue& queue, double* input, std::int32_t n) {
    queue.takeWidened(input, n);
}

// Converts the group and adds what it made into its output channels.
void playGroup(StreamEffect& instance, InStepGroup& group, float* const* outputs,
               std::int32_t frames) {
    if (group.count == 0) return;
    auto* converted = reinterpret_cast<double*>(instance.mixScratch.bytes());
    double* lanes[InStepGroup::kLanes];
    float* mixes[InStepGroup::kLanes];
    std::int32_t produced[InStepGroup::kLanes];
    for (std::int32_t c = 0; c < group.count; ++c) {
        lanes[c] = converted + c * laneStride(frames);
        mixes[c] = outputs[group.channels[c]];
    }
    // Added straight into the outputs; the scratch serves what runs alone.
    ChannelResampler::resampleInStep(group.resamplers, group.count, lanes, group.need, frames,
                                     produced, mixes);
    group.count = 0;
    group.capacity = InStepGroup::kLanes;
}

}  // namespace

void playOut(StreamEffect& instance, float* const* outputs, std::int32_t frames) {
    if (network::packetListLock.load() == nullptr || frames < 0) return;
    const double hostRate = instance.sampleRate;
    const bool converted =
        std::fabs(double(instance.streamSampleRate) - hostRate) > kRateTolerance;
    const std::int32_t streamChannels =
        instance.streamChannels < channelCount ? instance.streamChannels : channelCount;
    InStepGroup group;

    for (std::int32_t ch = 0; ch < streamChannels; ++ch) {
        ChannelQueue& queue = instance.channelStates[ch];
        const std::int32_t available = queue.queuedBytes() / 4;
        ChannelResampler* resampler = instance.resamplers[ch];

        if (converted && resampler != nullptr) {
            resampler->setRates(double(instance.streamSampleRate), hostRate);
            double* input = nullptr;
            const std::int32_t need = resampler->prepareInput(frames, 1, &input);
            if (need <= 0 || input == nullptr) continue;
            if (heldBack(instance, ch, available, need)) return;  // channel 0: nothing pending
            if (group.count == group.capacity ||
                (group.count > 0 && !resampler->inStepWith(*group.resamplers[0])))
                playGroup(instance, group, outputs, frames);
            if (!haveGroupScratch(instance, group.capacity, frames)) {
                // No room for the lanes: what is pending, then this channel alone.
                playGroup(instance, group, outputs, frames);
                group.capacity = 1;
                // Skip rather than convert into a smaller area.
                if (!haveGroupScratch(instance, 1, frames)) continue;
            }
            const std::int32_t take = need < available ? need : available;
            takeWidened(queue, input, take);
            for (std::int32_t j = take; j < need; ++j) input[j] = 0.0;
            group.resamplers[group.count] = resampler;
            group.channels[group.count] = ch;
            group.need = need;
            ++group.count;
            continue;
        }

        if (heldBack(instance, ch, available, frames)) return;
        const std::int32_t take = available < frames ? available : frames;
        instance.prebufferBlocks = 0;
        auto* taken = static_cast<float*>(scratchOf(instance, std::int64_t(take) * 4));
        if (taken == nullptr) continue;
        queue.readSamples(taken, take * 4);
        queue.consumeBytes(take * 4);
        float* out = outputs[ch];
        for (std::int32_t j = 0; j < take; ++j) out[j] += taken[j];
    }
    playGroup(instance, group, outputs, frames);
}

void flushQueues(StreamEffect& instance) {
    instance.sendBackoff = 0;
    instance.effect.initialDelay = 0;
    for (std::int32_t ch = 0; ch < channelCount; ++ch) {
        instance.channelStates[ch].discardAll();
        if (instance.resamplers[ch] != nullptr) instance.resamplers[ch]->reset();
    }
    instance.prebufferBlocks = kStartPrebufferBlocks;
}

}  // namespace larkwire

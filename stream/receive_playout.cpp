#include "stream/receive_playout.h"

#include <algorithm>
#include <cmath>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"
#include "stream/packet_format.h"
#include "stream/playout_levels.h"

namespace larkwire {

namespace {

// The queue holds stream frames, the levels are host frames; a stream far
// off every real rate (or with none) still gets bounded levels.
constexpr double kMinRateRatio = 1.0 / 16;
constexpr double kMaxRateRatio = 16.0;
// No host block is larger: a burst still arriving counts up to this for the cap.
constexpr std::int32_t kMaxBurstFrames = 16384;

bool convertedStream(const StreamEffect& instance) {
    return std::fabs(double(instance.streamSampleRate) - instance.sampleRate) > kRateTolerance;
}

double streamFramesPerHostFrame(const StreamEffect& instance, bool converted) {
    if (!converted) return 1.0;
    const double r = double(instance.streamSampleRate) / instance.sampleRate;
    if (!(r >= kMinRateRatio)) return kMinRateRatio;  // also NaN
    return r > kMaxRateRatio ? kMaxRateRatio : r;
}

// The levels for a block of FRAMES (the last non-empty one for an empty block).
PlayoutLevels levelsOf(const StreamEffect& instance, std::int32_t frames, std::int32_t factor,
                       double perHost, std::int32_t burst) {
    const std::int32_t block = frames > 0 ? frames : instance.playout.hostBlockFrames;
    return playoutLevels(block, burst / perHost, factor, instance.sampleRate);
}

void closeBurst(PlayoutState& state, std::int32_t frames) {
    if (frames <= 0) return;
    if (frames >= state.burstFrames) state.burstFrames = frames;
    else state.burstFrames -= (state.burstFrames - frames + 15) / 16;  // down slowly
}

// A sender cuts each block into full datagrams and a shorter last one, so a
// short datagram ends a sender block.
void trackBurst(PlayoutState& state, std::int32_t channels, std::int32_t frames) {
    if (frames < wire::framesPerPacket(channels)) {
        state.sawBlockEnd = true;
        closeBurst(state, state.openBurstFrames + frames);
        state.openBurstFrames = 0;
    } else if (state.openBurstFrames + frames < kMaxBurstFrames) {
        state.openBurstFrames += frames;
    } else {
        // Longer than any block: the sender's blocks are whole datagrams now.
        state.openBurstFrames = kMaxBurstFrames;
        state.sawBlockEnd = false;
    }
}

// Learns the burst of a stream whose blocks are whole datagrams from a call
// that brought ARRIVED stream frames in FRAMES host frames. A burst may span
// a few calls; a run of calls with audio (one quiet call allowed) is one
// burst. A flood of datagrams that waited (a pause, or before playing began)
// is followed at once by the stream's usual pace, so a run's peak counts only
// as far as the quiet after it (what the stream delivers in that time) plus
// two host blocks.
void trackWholeDatagramRuns(PlayoutState& state, std::int32_t arrived, std::int32_t frames,
                            double perHost) {
    if (frames <= 0) {  // no time passed
        state.runFrames = std::min(state.runFrames + arrived, double(kMaxBurstFrames));
        state.runPeakFrames = std::max(state.runPeakFrames, state.runFrames);
        return;
    }
    const double pace = frames * perHost;
    state.quietHostFrames += frames;
    state.runFrames = std::max(0.0, state.runFrames - pace);
    if (arrived <= 0) return;
    // Heard beginning while this instance played: its bursts are worth waiting for.
    if (state.runHostFrames == 0 && state.quietHostFrames > frames) state.startedLive = true;
    if (state.quietHostFrames > 2.0 * frames || state.runHostFrames == 0) {
        if (state.runPeakFrames > 0) {
            const double heard = state.quietHostFrames * perHost + 2 * pace;
            closeBurst(state, std::int32_t(std::min(
                                  {state.runPeakFrames, heard, double(kMaxBurstFrames)})));
            state.burstKnown = true;
        }
        state.runFrames = state.runPeakFrames = state.runHostFrames = 0;
    }
    state.runFrames += arrived;
    state.runHostFrames += frames;
    state.quietHostFrames = 0;
    if (state.runHostFrames > std::max(2 * state.burstFrames / perHost, 4.0 * frames)) {
        // A run far longer than the bursts is a steady stream: each call's
        // arrivals, as at most two host blocks, are its bursts.
        state.runFrames = std::min(state.runFrames, 2 * pace);
        state.runPeakFrames = std::min(state.runPeakFrames, 2 * pace);
        closeBurst(state, std::int32_t(std::min(double(arrived), 2 * pace)));
        state.burstKnown = true;
    }
    state.runPeakFrames = std::max(state.runPeakFrames, state.runFrames);
}

std::int64_t framesFor(double hostFrames, double perHost) {
    return std::int64_t(std::ceil(hostFrames * perHost));
}

}  // namespace

std::int64_t queueLimitFrames(const StreamEffect& instance, std::int32_t frames) {
    const PlayoutState& state = instance.playout;
    const double perHost = streamFramesPerHostFrame(instance, convertedStream(instance));
    // A burst still arriving counts, over the calls it spans.
    const double arriving = std::min(
        state.openBurstFrames + (state.sawBlockEnd ? 0.0 : state.runFrames), double(kMaxBurstFrames));
    const std::int32_t burst = std::max(state.burstFrames, std::int32_t(arriving));
    return framesFor(levelsOf(instance, frames, kStartPrebufferBlocks, perHost, burst).cap,
                     perHost);
}

namespace {

// Consecutive datagrams of one shape, appended together once the run ends.
// Short, so that a queue past its cap holds little more before the trim.
struct DatagramRun {
    static constexpr std::int32_t kMaxCount = 32;
    static constexpr std::int32_t kMaxBytesEach = 1024;
    const std::uint8_t* samples[kMaxCount];
    std::int32_t count = 0;
    std::int32_t channels = 0;
    std::int32_t framesPerChannel = 0;
};

// The playout's bookkeeping for one arriving datagram, in arrival order.
void noteArrival(StreamEffect& instance, const ReceivedPacket& packet,
                 const wire::AudioContent& content) {
    PlayoutState& state = instance.playout;
    instance.midiTiming.noteAudio(packet.arrival, state.arrivedFrames - state.openBurstFrames);
    trackBurst(state, content.channels, content.framesPerChannel);
    state.arrivedFrames += content.framesPerChannel;
}

// The run's samples into the queues, against the cap as its last datagram left it.
void appendRun(StreamEffect& instance, DatagramRun& run, std::int32_t frames) {
    if (run.count == 0) return;
    const std::int64_t limitFrames = queueLimitFrames(instance, frames);
    const std::int64_t limit = limitFrames < INT32_MAX / 4 ? limitFrames * 4 : INT32_MAX;
    const std::int32_t channels = run.channels < channelCount ? run.channels : channelCount;
    // Past the cap the oldest samples go.
    if (channels > 0 && ChannelQueue::appendGathered(instance.channelStates, channels, run.samples,
                                                     run.count, run.framesPerChannel * 4, limit))
        instance.playout.overran = true;
    run.count = 0;
}

// Adds one datagram to the run, appending the run first when it cannot take it.
void addToRun(StreamEffect& instance, DatagramRun& run, const ReceivedPacket& packet,
              const wire::AudioContent& content, std::int32_t frames) {
    if (run.count == DatagramRun::kMaxCount || content.channels != run.channels ||
        content.framesPerChannel != run.framesPerChannel ||
        (run.count + 1) * content.framesPerChannel * 4 > DatagramRun::kMaxBytesEach)
        appendRun(instance, run, frames);
    noteArrival(instance, packet, content);
    run.channels = content.channels;
    run.framesPerChannel = content.framesPerChannel;
    run.samples[run.count++] = content.samples;
}

}  // namespace

void appendPacket(StreamEffect& instance, const ReceivedPacket& packet, std::int32_t frames) {
    const wire::AudioContent content =
        wire::readAudioContent(packet.bytes.bytes(), packet.bytes.usedSize());
    if (content.samples == nullptr) return;
    DatagramRun run;
    addToRun(instance, run, packet, content, frames);
    appendRun(instance, run, frames);
}

void collectAudio(StreamEffect& instance, std::int32_t frames) {
    platform::Lock* listLock = network::packetListLock.load();
    if (listLock == nullptr) return;
    PlayoutState& state = instance.playout;
    if (state.framesSinceAudio < INT64_MAX / 2) state.framesSinceAudio += frames;
    platform::LockGuard guard(*listLock);
    instance.midiTiming.noteCollected(network::newestArrival());
    // Only this stream's records, oldest first: other traffic costs nothing
    // here. Each receiver of the stream reads every record. The run points
    // into records read past, which stay as they are while the lock is held.
    DatagramRun run;
    for (ReceivedPacket* packet =
             network::firstUnread(instance.audioReader, instance.identifier, StreamKind::audio);
         packet != nullptr; packet = network::readPast(instance.audioReader)) {
        state.framesSinceAudio = 0;
        const wire::AudioContent content =
            wire::readAudioContent(packet->bytes.bytes(), packet->bytes.usedSize());
        instance.streamChannels =
            content.channels < channelCount ? content.channels : channelCount;
        instance.streamSampleRate = content.rate;
        if (content.samples != nullptr) addToRun(instance, run, *packet, content, frames);
    }
    appendRun(instance, run, frames);
    // Streams whose blocks do end are left alone: a call may come mid-burst.
    if (!state.sawBlockEnd) {
        trackWholeDatagramRuns(state, state.openBurstFrames, frames,
                               streamFramesPerHostFrame(instance, convertedStream(instance)));
        state.openBurstFrames = 0;
    }
}

namespace {

// KEEP whole sender blocks, plus the part of the next one already in, so the
// queue begins where a sender block begins: with the sender's block size
// every host block then plays one sender block, and its MIDI keeps its
// offsets. Unchanged when KEEP is not whole blocks or their ends are unknown.
std::int64_t keptFromBlockStart(const PlayoutState& state, std::int64_t keep,
                                std::int64_t available) {
    const std::int64_t burst = state.burstFrames;
    const std::int64_t open = state.openBurstFrames;
    if (!state.sawBlockEnd || burst <= 0 || open >= burst || keep % burst != 0) return keep;
    return keep + open <= available ? keep + open : keep;
}

// Keeps the newest KEEP frames of every queue, from a sender block's start.
void keepNewest(StreamEffect& instance, std::int64_t keep) {
    keep = keptFromBlockStart(instance.playout, keep, instance.channelStates[0].queuedBytes() / 4);
    for (std::int32_t ch = 0; ch < channelCount; ++ch) {
        ChannelQueue& queue = instance.channelStates[ch];
        if (queue.queuedBytes() / 4 > keep)
            queue.consumeBytes(queue.queuedBytes() - std::int32_t(keep * 4));
    }
}

// Whether this block plays, from channel 0's AVAILABLE frames and the UNIT
// one block consumes. Playing starts once the target level is queued, and
// restarts there when the queue holds stale audio (the instance was not
// processing while datagrams waited); either way only the newest target
// level is kept. A shortage holds the block and waits for 2 blocks.
bool readyToPlay(StreamEffect& instance, std::int64_t available, std::int32_t unit,
                 std::int32_t frames, double perHost, bool overran) {
    PlayoutState& state = instance.playout;
    const std::int32_t factor =
        instance.prebufferBlocks > 0 ? instance.prebufferBlocks : state.targetBlocks;
    const PlayoutLevels levels = levelsOf(instance, frames, factor, perHost, state.burstFrames);
    std::int64_t target = framesFor(levels.target, perHost);
    if (target < unit) target = unit;
    if (instance.prebufferBlocks > 0) {
        // A stream heard beginning waits until its bursts are known, or the
        // target would be too low for them. Audio that waited before the
        // first call plays at once, at the bursts known from before.
        if (available < target) return false;
        if (!state.sawBlockEnd && state.startedLive && !state.burstKnown) return false;
        state.targetBlocks = instance.prebufferBlocks;
        instance.prebufferBlocks = 0;
        keepNewest(instance, target);
        state.fine.reset();
        state.drift.remeasure();
        return true;
    }
    if (available < unit) {
        instance.prebufferBlocks = kRestartPrebufferBlocks;
        return false;
    }
    if (overran || double(available) > levels.stale * perHost) {
        keepNewest(instance, target);
        state.fine.reset();
        state.drift.reset();
    }
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

namespace {

// Adds one block of a channel played at the host's rate, through the fine
// resampler: at ratio 1 a copy of the next CONSUMED frames.
void playDirect(StreamEffect& instance, std::int32_t ch, float* out, std::int32_t consumed) {
    FineResampler& fine = instance.playout.fine;
    ChannelQueue& queue = instance.channelStates[ch];
    const std::int32_t read = consumed + fine.lookahead();
    auto* input = static_cast<float*>(scratchOf(instance, std::int64_t(read) * 4));
    if (input == nullptr) return;
    const std::int32_t got = queue.readSamples(input, read * 4) / 4;
    for (std::int32_t j = got; j < read; ++j) input[j] = 0.0f;
    fine.addBlock(ch, input, out);
    queue.consumeBytes(consumed * 4);
}

// The level the queue averages over a sender burst when it is held at
// TARGET: a burst larger than a block refills it only now and then.
double averageLevel(const StreamEffect& instance, double target, std::int32_t frames,
                    double perHost) {
    const double burst = instance.playout.burstFrames / perHost;
    return burst > frames ? target - (burst - frames) / 2 : target;
}

}  // namespace

void playOut(StreamEffect& instance, float* const* outputs, std::int32_t frames) {
    if (network::packetListLock.load() == nullptr || frames < 0) return;
    PlayoutState& state = instance.playout;
    state.clock.played = false;
    const bool overran = state.overran;
    state.overran = false;
    // An empty block plays nothing and keeps the queues for the next one.
    if (frames == 0) return;
    state.hostBlockFrames = frames;
    const double hostRate = instance.sampleRate;
    const bool converted = convertedStream(instance);
    const double perHost = streamFramesPerHostFrame(instance, converted);
    const std::int32_t streamChannels =
        instance.streamChannels < channelCount ? instance.streamChannels : channelCount;
    if (streamChannels <= 0) return;
    // Clock drift rides on top of the nominal conversion.
    const double drift = state.drift.ratio();
    const double inputRate = double(instance.streamSampleRate) * drift;

    // Channel 0 decides for the block.
    std::int32_t unit = frames;
    ChannelResampler* firstConverter = converted ? instance.resamplers[0] : nullptr;
    if (firstConverter != nullptr) {
        firstConverter->setRates(inputRate, hostRate);
        double* input = nullptr;
        unit = firstConverter->prepareInput(frames, 1, &input);
    }
    const std::int64_t available = instance.channelStates[0].queuedBytes() / 4;
    if (unit > 0 && !readyToPlay(instance, available, unit, frames, perHost, overran)) return;
    ChannelQueue& first = instance.channelStates[0];
    const std::int64_t level = first.queuedBytes() / 4;
    const std::int64_t nextFrame = state.arrivedFrames - level;
    state.clock.played = true;
    if (firstConverter != nullptr) {
        state.clock.first =
            double(nextFrame - firstConverter->bufferedFrames()) + firstConverter->position();
        state.clock.step = firstConverter->ratio();
    }

    InStepGroup group;
    std::int32_t consumed = -1;  // the fine resampler's block, once begun
    for (std::int32_t ch = 0; ch < streamChannels; ++ch) {
        ChannelQueue& queue = instance.channelStates[ch];
        const std::int32_t available = queue.queuedBytes() / 4;
        ChannelResampler* resampler = instance.resamplers[ch];

        if (converted && resampler != nullptr) {
            resampler->setRates(inputRate, hostRate);
            double* input = nullptr;
            const std::int32_t need = resampler->prepareInput(frames, 1, &input);
            if (need <= 0 || input == nullptr) continue;
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

        if (consumed < 0) {
            consumed = state.fine.beginBlock(frames, drift);
            if (ch == 0) {
                state.clock.first = double(nextFrame);
                state.clock.step = double(consumed) / frames;
            }
        }
        playDirect(instance, ch, outputs[ch], consumed);
    }
    playGroup(instance, group, outputs, frames);
    if (consumed >= 0) state.fine.endBlock();

    // The level at the block's start, against where it should average.
    const PlayoutLevels levels =
        levelsOf(instance, frames, state.targetBlocks, perHost, state.burstFrames);
    state.drift.observe(double(level) / perHost,
                        averageLevel(instance, levels.target, frames, perHost), frames, hostRate);
}

void flushQueues(StreamEffect& instance) {
    instance.sendBackoff = 0;
    instance.effect.initialDelay = 0;
    for (std::int32_t ch = 0; ch < channelCount; ++ch) {
        instance.channelStates[ch].discardAll();
        if (instance.resamplers[ch] != nullptr) instance.resamplers[ch]->reset();
    }
    instance.prebufferBlocks = kStartPrebufferBlocks;
    PlayoutState& state = instance.playout;
    state.targetBlocks = kStartPrebufferBlocks;
    state.openBurstFrames = 0;
    state.sawBlockEnd = false;
    state.runFrames = state.runPeakFrames = state.runHostFrames = state.quietHostFrames = 0;
    state.burstKnown = state.startedLive = false;
    state.overran = false;
    state.clock.played = false;
    state.fine.reset();
    state.drift.reset();
}

}  // namespace larkwire

#include "stream/process_calls.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"
#include "stream/midi_stream.h"
#include "stream/receive_playout.h"
#include "stream/send_path.h"

namespace larkwire {

namespace {

// Every channel the host promised; an empty block needs no sample memory.
bool channelsPresent(float** channels, vst2::int32 frames) {
    if (channels == nullptr) return false;
    for (std::int32_t ch = 0; ch < channelCount && frames > 0; ++ch)
        if (channels[ch] == nullptr) return false;
    return true;
}

// [audio] holds stateLock. Send or receive the block, as the instance is set.
void streamBlock(StreamEffect& instance, float** inputs, float* const* outputs,
                 vst2::int32 frames) {
    const bool enabled = instance.enabled.load(std::memory_order_relaxed) != 0;
    // Not receiving: hold no record other receivers of the stream have read.
    if (!enabled || instance.sendMode != 0) network::stopReading(instance);
    if (!enabled) return;
    if (instance.sendMode != 0) {
        runSendStep(instance, inputs, frames);
    } else {
        collectAudio(instance, frames);
        playOut(instance, outputs, frames);
        deliverMidi(instance, frames);
    }
}

void copyChannels(float* const* to, float* const* from, vst2::int32 frames) {
    if (frames <= 0) return;
    for (std::int32_t ch = 0; ch < channelCount; ++ch)
        if (to[ch] != from[ch]) std::memmove(to[ch], from[ch], size_t(frames) * sizeof(float));
}

// The largest magnitude in the block, NaNs skipped (they compare false);
// -infinity for none. Eight running maxima: one would make every sample wait
// for the comparison before it. A maximum is the same in any order, and a
// float's magnitude compares as its double does.
float blockPeak(const float* samples, vst2::int32 frames) {
    constexpr float kNone = -std::numeric_limits<float>::infinity();
    float peaks[8] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    vst2::int32 j = 0;
    for (; j + 8 <= frames; j += 8)
        for (int k = 0; k < 8; ++k) {
            const float v = std::fabs(samples[j + k]);
            peaks[k] = v > peaks[k] ? v : peaks[k];
        }
    for (; j < frames; ++j) {
        const float v = std::fabs(samples[j]);
        peaks[0] = v > peaks[0] ? v : peaks[0];
    }
    float peak = kNone;
    for (float p : peaks) peak = p > peak ? p : peak;
    return peak;
}

}  // namespace

void raiseMeters(StreamEffect& instance, float* const* channels, vst2::int32 frames) {
    const float* left = channels[0];
    const float* right = channelCount > 1 ? channels[1] : channels[0];
    double peakLeft = instance.peakLevels[0].load(std::memory_order_relaxed);
    double peakRight = instance.peakLevels[1].load(std::memory_order_relaxed);
    const double l = blockPeak(left, frames);
    const double r = right == left ? l : double(blockPeak(right, frames));
    if (l > peakLeft) peakLeft = l;
    if (r > peakRight) peakRight = r;
    instance.peakLevels[0].store(peakLeft, std::memory_order_relaxed);
    instance.peakLevels[1].store(peakRight, std::memory_order_relaxed);
}

void VST_CALLBACK processReplacing(vst2::AEffect* effect, float** inputs, float** outputs,
                                   vst2::int32 frames) {
    StreamEffect* instance = instanceOf(effect);
    if (instance == nullptr || frames < 0 || !channelsPresent(inputs, frames) ||
        !channelsPresent(outputs, frames))
        return;
    try {
        platform::LockGuard guard(instance->stateLock);
        copyChannels(outputs, inputs, frames);
        streamBlock(*instance, inputs, outputs, frames);
        raiseMeters(*instance, outputs, frames);
        instance->pendingEvents.store(nullptr, std::memory_order_release);
    } catch (...) {
    }
}

void VST_CALLBACK processAccumulating(vst2::AEffect* effect, float** inputs, float** outputs,
                                      vst2::int32 frames) {
    StreamEffect* instance = instanceOf(effect);
    if (instance == nullptr || frames < 0 || !channelsPresent(inputs, frames) ||
        !channelsPresent(outputs, frames))
        return;
    try {
        // Scratch channels hold input plus stream before they are added to the output.
        const std::int64_t bytes = std::int64_t(channelCount) * frames * 4;
        float* scratch[kMaxChannels];
        HeapBuffer& buffer = instance->processScratch;
        if (bytes <= INT32_MAX) buffer.resize(std::int32_t(bytes));
        const bool haveScratch = bytes <= INT32_MAX && buffer.usedSize() >= bytes &&
                                 (bytes == 0 || buffer.bytes() != nullptr);
        if (!haveScratch) {
            // Without scratch memory the block still passes through, untouched otherwise.
            for (std::int32_t ch = 0; ch < channelCount; ++ch)
                for (vst2::int32 j = 0; j < frames; ++j) outputs[ch][j] += inputs[ch][j];
            instance->pendingEvents.store(nullptr, std::memory_order_release);
            return;
        }
        auto* base = reinterpret_cast<float*>(buffer.bytes());
        for (std::int32_t ch = 0; ch < channelCount; ++ch)
            scratch[ch] = base + std::int64_t(ch) * frames;

        {
            platform::LockGuard guard(instance->stateLock);
            copyChannels(scratch, inputs, frames);
            streamBlock(*instance, inputs, scratch, frames);
            raiseMeters(*instance, scratch, frames);
            instance->pendingEvents.store(nullptr, std::memory_order_release);
        }
        for (std::int32_t ch = 0; ch < channelCount; ++ch)
            for (vst2::int32 j = 0; j < frames; ++j) outputs[ch][j] += scratch[ch][j];
    } catch (...) {
    }
}

}  // namespace larkwire

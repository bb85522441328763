// One plug-in instance: the record the host holds, its settings, its locks and
// its receive state. Every host entry reaches it through effect.object.
#pragma once

#include <atomic>
#include <cstdint>

#include "containers/byte_queue.h"
#include "containers/heap_buffer.h"
#include "containers/ptr_list.h"
#include "platform/lock.h"
#include "shell/module_state.h"
#include "shell/vst2.h"
#include "stream/channel_queue.h"
#include "stream/channel_resampler.h"
#include "stream/midi_delivery_list.h"
#include "stream/midi_timing.h"
#include "stream/playout_state.h"

namespace larkwire {

constexpr int kIdentifierSize = 32;
constexpr int kDestinationSize = 128;

struct StreamEffect {
    vst2::HostCallback hostCallback = nullptr;
    // Bit i: parameter i changed; all ones: a chunk was loaded. Editor clears it.
    std::atomic<std::uint32_t> changedMask{0};
    std::int32_t sendBackoff = 0;  // [audio] blocks left to skip sending
    ByteQueue chunkBuffer;
    vst2::ERect editorRect{};
    HeapBuffer processScratch{4096};  // [audio] accumulating process scratch

    std::int32_t sendMode = 0;  // guarded by stateLock; 0 receive
    char destination[kDestinationSize] = {};  // guarded by destinationLock
    char identifier[kIdentifierSize] = {};    // written under stateLock
    std::atomic<std::int32_t> sendChannels{2};
    std::atomic<std::int32_t> enabled{1};
    std::int32_t networkStarted = 0;  // [ui] guarded by the network start lock
    std::int32_t prebufferBlocks = 4;
    void* editorWindow = nullptr;  // [ui]
    double sampleRate = 44100.0;   // guarded by stateLock
    std::int32_t streamSampleRate = 44100;
    std::int32_t streamChannels = 2;

    vst2::AEffect effect{};
    double parameterValue[1] = {0.0};  // guarded by stateLock
    std::atomic<vst2::VstEvents*> pendingEvents{nullptr};

    platform::Lock stateLock;        // held by each processing call for its block
    platform::Lock destinationLock;  // guards destination only

    // Raised by the audio path, read and decayed by the editor's meter tick.
    std::atomic<double> peakLevels[2] = {0.0, 0.0};

    ChannelResampler* resamplers[kMaxChannels] = {};
    ChannelQueue channelStates[kMaxChannels];
    HeapBuffer mixScratch{4096};
    PlayoutState playout;  // [audio] under stateLock
    // One per instance, so hosts that process instances on several threads are safe.
    MidiDeliveryList midiDeliveryList;
    MidiTiming midiTiming;  // [audio] under stateLock
};

inline StreamEffect* instanceOf(vst2::AEffect* effect) {
    return effect != nullptr ? static_cast<StreamEffect*>(effect->object) : nullptr;
}

}  // namespace larkwire

#include <cstring>
#include <new>

#include "editor/editor_host.h"
#include "net/network_endpoint.h"
#include "shell/dispatcher.h"
#include "shell/parameters.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/process_calls.h"
#include "stream/receive_playout.h"

namespace larkwire {

namespace {

constexpr vst2::int32 fourCharacters(const char (&text)[5]) {
    return vst2::int32(std::uint32_t(std::uint8_t(text[0])) << 24 |
                       std::uint32_t(std::uint8_t(text[1])) << 16 |
                       std::uint32_t(std::uint8_t(text[2])) << 8 | std::uint8_t(text[3]));
}

void fillEffectRecord(StreamEffect& instance) {
    vst2::AEffect& e = instance.effect;
    std::memset(&e, 0, sizeof e);
    e.magic = vst2::kEffectMagic;
    e.dispatcher = &dispatcher;
    e.process = &processAccumulating;
    e.setParameter = &setParameter;
    e.getParameter = &getParameter;
    e.numPrograms = 1;
    e.numParams = kParameterCount;
    e.numInputs = channelCount;
    e.numOutputs = channelCount;
    e.flags = vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks |
              (editorAvailable() ? vst2::effFlagsHasEditor : 0);
    e.initialDelay = 0;
    e.ioRatio = 1.0f;
    e.object = &instance;
    e.uniqueID = fourCharacters("lkwr");
    e.version = 1100;
    e.processReplacing = &processReplacing;
    e.processDoubleReplacing = nullptr;
}

}  // namespace

StreamEffect* createStreamEffect(vst2::HostCallback hostCallback) {
    sharedHostCallback.store(hostCallback);
    auto* instance = new (std::nothrow) StreamEffect;
    if (instance == nullptr) return nullptr;
    for (std::int32_t ch = 0; ch < channelCount; ++ch)
        instance->resamplers[ch] = new (std::nothrow) ChannelResampler;  // may stay null
    std::strcpy(instance->identifier, "default");
    instance->hostCallback = hostCallback;
    instance->parameterValue[0] = normalise(parameterTable[0], parameterTable[0].defaultValue);
    fillEffectRecord(*instance);
    flushQueues(*instance);
    return instance;
}

void destroyStreamEffect(StreamEffect* instance) {
    if (instance == nullptr) return;
    closeEditor(*instance, true);
    network::stopReading(*instance);
    network::releaseNetworkUser(*instance);
    for (std::int32_t ch = 0; ch < channelCount; ++ch) {
        delete instance->resamplers[ch];
        instance->resamplers[ch] = nullptr;
    }
    delete instance;  // queues, scratch buffers and locks go with it
}

}  // namespace larkwire

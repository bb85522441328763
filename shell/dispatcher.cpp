#include "shell/dispatcher.h"

#include <cstdio>
#include <cstring>

#include "editor/editor_host.h"
#include "editor/value_format.h"
#include "net/network_endpoint.h"
#include "shell/parameters.h"
#include "shell/save_chunk.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/receive_playout.h"

namespace larkwire {

namespace {

constexpr const char* kEffectName = "Larkwire (Fernkit Edition)";
constexpr const char* kVendorName = "Tovani";
constexpr vst2::intptr kVstVersion = 2400;

void copyBounded(void* ptr, const char* text, std::size_t maxCharacters) {
    auto* out = static_cast<char*>(ptr);
    std::size_t n = std::strlen(text);
    if (n > maxCharacters) n = maxCharacters;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

bool equalsIgnoringCase(const char* a, const char* b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

vst2::intptr effectName(void* ptr) {
    if (ptr == nullptr) return 0;
    char name[64];
    if (channelCount == 2) std::snprintf(name, sizeof name, "%s", kEffectName);
    else std::snprintf(name, sizeof name, "%s:%d", kEffectName, int(channelCount));
    copyBounded(ptr, name, 31);
    return 1;
}

vst2::intptr canDo(const char* text) {
    if (text == nullptr) return 0;
    if (std::strcmp(text, "hasTovaniViewAsConfig") == 0 ||
        std::strcmp(text, "hasTovaniExtensions") == 0)
        return kVendorCapability;
    for (const char* capability : {"sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent"})
        if (equalsIgnoringCase(text, capability)) return 1;
    return 0;
}

vst2::intptr pinProperties(StreamEffect* instance, vst2::int32 index, void* ptr, bool input) {
    if (instance == nullptr || ptr == nullptr || index < 0) return 0;
    const vst2::int32 pins = input ? instance->effect.numInputs : instance->effect.numOutputs;
    if (index >= pins) return 0;
    auto* pin = static_cast<vst2::VstPinProperties*>(ptr);
    std::snprintf(pin->label, sizeof pin->label, input ? "Input %d" : "Output %d", int(index));
    pin->arrangementType = vst2::kSpeakerArrStereo;
    pin->flags = index % 2 == 0 ? vst2::kVstPinIsStereo : 0;
    return 1;
}

vst2::intptr vendorSpecific(StreamEffect* instance, vst2::int32 index, vst2::intptr value,
                            void* ptr, float opt) {
    if (instance == nullptr || ptr == nullptr) return 0;
    if (index == kVendorParameterRange) {
        if (value != 0) return 0;
        auto* range = static_cast<double*>(ptr);
        range[0] = 0.0;
        range[1] = parameterTable[0].minimum == kDecibelKind ? 2.0 : parameterTable[0].scale;
        return kVendorSuccess;
    }
    if (index == kVendorFormatValue) {
        auto* text = static_cast<char*>(ptr);
        if (value != 0) {
            text[0] = '\0';
            return 0;
        }
        // The host's buffer size is not passed; 32 bytes is what hosts give for values.
        formatParameterValue(0, opt, text, 32);
        return kVendorSuccess;
    }
    return 0;
}

// The host's event list lives only until its next processing call returns;
// after a suspend or a change of the processing set-up it may already be gone.
void forgetHostEvents(StreamEffect& instance) {
    platform::LockGuard guard(instance.stateLock);
    instance.pendingEvents.store(nullptr, std::memory_order_release);
}

void setSampleRate(StreamEffect& instance, float rate) {
    network::countNetworkUser(instance);
    platform::LockGuard guard(instance.stateLock);
    instance.pendingEvents.store(nullptr, std::memory_order_release);
    instance.sampleRate = rate;
    editorEnableSendControls(instance, instance.sendMode != 0);
}

vst2::intptr editorRect(StreamEffect& instance, void* ptr) {
    vst2::ERect rect{0, 0, 300, 400};
    editorClientRect(instance, rect);
    instance.editorRect = rect;
    if (ptr != nullptr) *static_cast<vst2::ERect**>(ptr) = &instance.editorRect;
    return 1;
}

vst2::intptr dispatch(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32 index,
                      vst2::intptr value, void* ptr, float opt) {
    StreamEffect* instance = instanceOf(effect);
    switch (opcode) {
        case vst2::effClose:
            if (instance != nullptr) destroyStreamEffect(instance);
            return 0;
        case vst2::effGetParamLabel:
        case vst2::effGetParamName:
            if (ptr == nullptr) return 0;
            copyBounded(ptr,
                        index == 0 ? (opcode == vst2::effGetParamName ? parameterTable[0].name
                                                                      : parameterTable[0].label)
                                   : "",
                        kParameterTextBytes - 1);
            return 0;
        case vst2::effGetParamDisplay:
            if (instance == nullptr || ptr == nullptr) return 0;
            if (index == 0)
                formatParameterValue(0, instance->parameterValue[0], static_cast<char*>(ptr),
                                     kParameterTextBytes);
            else static_cast<char*>(ptr)[0] = '\0';
            return 0;
        case vst2::effSetSampleRate:
            if (instance != nullptr) setSampleRate(*instance, opt);
            return 0;
        case vst2::effSetBlockSize:
            if (instance != nullptr) forgetHostEvents(*instance);
            return 0;
        case vst2::effMainsChanged:
            if (instance == nullptr) return 0;
            forgetHostEvents(*instance);
            if (value == 0) {
                platform::LockGuard guard(instance->stateLock);
                flushQueues(*instance);
                network::stopReading(*instance);
            }
            return 0;
        case vst2::effEditGetRect:
            return instance != nullptr ? editorRect(*instance, ptr) : 0;
        case vst2::effEditOpen:
            if (instance == nullptr) return 0;
            return openEditor(*instance, ptr) ? 1 : 0;
        case vst2::effEditClose:
            if (instance != nullptr) closeEditor(*instance);
            return 0;
        case vst2::effEditIdle:
            if (instance != nullptr) idleEditor(*instance);
            return 0;
        case vst2::effIdentify:
            return 0x4E764566;  // 'NvEf'
        case vst2::effGetChunk:
            return instance != nullptr ? writeSaveChunk(*instance, static_cast<void**>(ptr)) : 0;
        case vst2::effSetChunk:
            return instance != nullptr ? readSaveChunk(*instance, ptr, value) : 0;
        case vst2::effProcessEvents: {
            if (instance == nullptr) return 0;
            auto* events = static_cast<vst2::VstEvents*>(ptr);
            if (events != nullptr && events->numEvents != 0)
                instance->pendingEvents.store(events, std::memory_order_release);
            return 0;
        }
        case vst2::effCanBeAutomated:
            return index >= 0 && index < kParameterCount ? 1 : 0;
        case vst2::effGetInputProperties:
            return pinProperties(instance, index, ptr, true);
        case vst2::effGetOutputProperties:
            return pinProperties(instance, index, ptr, false);
        case vst2::effGetPlugCategory:
            return vst2::kPlugCategEffect;
        case vst2::effGetEffectName:
        case vst2::effGetProductString:
            return effectName(ptr);
        case vst2::effGetVendorString:
            // 1 tells the host the text was written; on 0 hosts show the file name.
            if (ptr == nullptr) return 0;
            copyBounded(ptr, kVendorName, 31);
            return 1;
        case vst2::effVendorSpecific:
            return vendorSpecific(instance, index, value, ptr, opt);
        case vst2::effCanDo:
            return canDo(static_cast<const char*>(ptr));
        case vst2::effGetVstVersion:
            // Hosts treat any answer below 2000 as VST 1 and then never ask
            // for the MIDI this plug-in sends.
            return kVstVersion;
        default:
            return 0;
    }
}

}  // namespace

vst2::intptr VST_CALLBACK dispatcher(vst2::AEffect* effect, vst2::int32 opcode,
                                     vst2::int32 index, vst2::intptr value, void* ptr,
                                     float opt) {
    try {
        return dispatch(effect, opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

}  // namespace larkwire

#include "shell/parameters.h"

#include <cmath>

#include "editor/editor_host.h"
#include "shell/stream_effect.h"

namespace larkwire {

const ParameterInfo parameterTable[1] = {
    {1.0, "resv", "", 0.0, 0.0, 1.0, 0, 0, 0, 5.0},
};

double normalise(const ParameterInfo& row, double value) {
    double result;
    if (row.minimum == kDecibelKind) {
        result = std::exp(value * 0.11512925464970228);
    } else if (row.minimum == kSwitchKind) {
        result = value >= 0.5 ? 1.0 : 0.0;
    } else {
        result = (value - row.minimum) / (row.maximum - row.minimum);
        if (result < 0.0) result = 0.0;
        if (result > 1.0) result = 1.0;
    }
    return result * row.scale;
}

float VST_CALLBACK getParameter(vst2::AEffect* effect, vst2::int32 index) {
    StreamEffect* instance = instanceOf(effect);
    if (instance == nullptr || index != 0) return 0.0f;
    platform::LockGuard guard(instance->stateLock);
    return static_cast<float>(instance->parameterValue[index]);
}

void VST_CALLBACK setParameter(vst2::AEffect* effect, vst2::int32 index, float value) {
    StreamEffect* instance = instanceOf(effect);
    if (instance == nullptr || index != 0) return;
    try {
        platform::LockGuard guard(instance->stateLock);
        // Stored in the host's 0..1 range, so every text of it stays short;
        // NaN becomes 0.
        instance->parameterValue[index] = value >= 0.0f ? (value <= 1.0f ? value : 1.0f) : 0.0f;
        editorEnableSendControls(*instance, instance->sendMode != 0);
        instance->changedMask.fetch_or(1u << index);
    } catch (...) {
    }
}

}  // namespace larkwire

// The one host parameter, a placeholder nothing reads, and its description.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/vst2.h"

namespace larkwire {

struct ParameterInfo {
    double scale;
    const char* name;
    const char* label;
    double defaultValue;
    double minimum;  // -10000: decibels; -1000: on/off; otherwise linear
    double maximum;
    std::uint16_t sliderControl;
    std::uint16_t textControl;
    std::int32_t decimals;
    double curve;
};

constexpr double kDecibelKind = -10000.0;
constexpr double kSwitchKind = -1000.0;

extern const ParameterInfo parameterTable[1];
// What hosts pass for the parameter name, label and display texts: 8
// characters and the terminator.
constexpr std::size_t kParameterTextBytes = 9;
constexpr std::int32_t kParameterCount = 1;

// A row's own units to the host's 0..scale range.
double normalise(const ParameterInfo& row, double value);

// [any host thread] take stateLock.
float VST_CALLBACK getParameter(vst2::AEffect* effect, vst2::int32 index);
void VST_CALLBACK setParameter(vst2::AEffect* effect, vst2::int32 index, float value);

}  // namespace larkwire

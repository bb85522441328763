// The host's requests other than processing and parameters.
#pragma once

#include "shell/vst2.h"

namespace larkwire {

// [ui, some opcodes audio] Never throws; unknown opcodes return 0.
vst2::intptr VST_CALLBACK dispatcher(vst2::AEffect* effect, vst2::int32 opcode,
                                     vst2::int32 index, vst2::intptr value, void* ptr, float opt);

constexpr vst2::intptr kVendorSuccess = 0xBEEF;
constexpr vst2::intptr kVendorCapability = 0xBEEF0000;
constexpr vst2::int32 kVendorParameterRange = vst2::int32(0xDEADBEF0u);
constexpr vst2::int32 kVendorFormatValue = 7;

}  // namespace larkwire

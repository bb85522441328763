// Values shared by every instance of the loaded module.
#pragma once

#include <atomic>
#include <cstdint>

#include "shell/vst2.h"

namespace larkwire {

constexpr int kMaxChannels = 64;

// Channels of every instance; fixed once the module is attached.
extern std::int32_t channelCount;

// The host callback most recently passed to main; the editor notifies through it.
extern std::atomic<vst2::HostCallback> sharedHostCallback;

// The channel count a module file name asks for: digits 1..64 just before the
// platform's module extension (compared ignoring case), otherwise 2.
std::int32_t channelCountFromFileName(const char* fileName, const char* extension);

}  // namespace larkwire

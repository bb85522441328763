// The 172-byte saved state: send mode, channels to send, enabled, the 32
// identifier bytes and the 128 destination bytes, integers little-endian.
// No magic and no version: its length alone tells what is present.
#pragma once

#include <cstdint>

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

constexpr std::int32_t kSaveChunkBytes = 172;

// [ui] Builds the chunk in the instance's buffer; stores its address through
// out (null when empty) and returns its size. Valid until the next request.
vst2::intptr writeSaveChunk(StreamEffect& instance, void** out);

// [ui] Loads the fields the chunk fully contains; returns 1.
vst2::intptr readSaveChunk(StreamEffect& instance, const void* bytes, vst2::intptr count);

}  // namespace larkwire

// How a typed field goes into the instance. No window types: every editor
// reads its fields through these.
#pragma once

#include <cstdint>

namespace larkwire {

struct StreamEffect;

// Leading decimal digits, 0 if none; saturates rather than overflowing.
std::int32_t leadingNumber(const char* text);

// [ui] The channel field's text, as typed, into sendChannels (the audio path
// bounds it). An empty field leaves the value alone: false, nothing to tell.
bool applySendChannelsText(StreamEffect& instance, const char* text);

}  // namespace larkwire

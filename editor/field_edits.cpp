#include "editor/field_edits.h"

#include "shell/stream_effect.h"

namespace larkwire {

std::int32_t leadingNumber(const char* text) {
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        if (value < 0x7FFFFFFF) value = value * 10 + (*text - '0');
    return static_cast<std::int32_t>(value < 0x7FFFFFFF ? value : 0x7FFFFFFF);
}

bool applySendChannelsText(StreamEffect& instance, const char* text) {
    if (text[0] == '\0') return false;
    instance.sendChannels.store(leadingNumber(text));
    return true;
}

}  // namespace larkwire

// Building and destroying instances.
#pragma once

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

// [any host thread] Builds an instance with its defaults; null on failure.
StreamEffect* createStreamEffect(vst2::HostCallback hostCallback);

// [ui] Closes the editor, leaves the network (the last user stops it) and
// frees everything the instance owns.
void destroyStreamEffect(StreamEffect* instance);

}  // namespace larkwire

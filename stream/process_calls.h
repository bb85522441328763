// The two processing callbacks the host calls for every block.
#pragma once

#include "shell/vst2.h"

namespace larkwire {

struct StreamEffect;

// [audio] Overwrite the outputs: input passed through, plus the stream.
void VST_CALLBACK processReplacing(vst2::AEffect* effect, float** inputs, float** outputs,
                                   vst2::int32 frames);
// [audio] Add the same result to what the outputs already hold.
void VST_CALLBACK processAccumulating(vst2::AEffect* effect, float** inputs, float** outputs,
                                      vst2::int32 frames);

// [audio] Raises the two peak levels from channels 0 and 1 (channel 0 twice
// when there is only one).
void raiseMeters(StreamEffect& instance, float* const* channels, vst2::int32 frames);

}  // namespace larkwire

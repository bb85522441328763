#include "editor/deferred_edit.h"

#include "shell/instance_settings.h"
#include "shell/module_state.h"
#include "shell/stream_effect.h"

namespace larkwire {

bool DeferredDestination::apply(StreamEffect& instance, const char* text) {
    if (!pending_) return false;
    pending_ = false;
    setDestination(instance, text);
    return true;
}

void notifyHostOfEdit(StreamEffect& instance) {
    // Automate would need an index in 0..numParams-1, and these settings are
    // no parameter: hosts that index their tables with it read out of bounds.
    if (vst2::HostCallback callback = sharedHostCallback.load())
        callback(&instance.effect, vst2::audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
}

}  // namespace larkwire

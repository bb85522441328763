// The host's editor window: on its own thread, as a DAW's UI thread, it
// opens a top-level window, embeds the plug-in's editor in it, calls the
// editor's idle function and closes it again.
#pragma once

#include <string>

#include "tools/cli_host/options.h"
#include "tools/host/plugin_host.h"

namespace larkwire::cli {

class HostEditor {
public:
    HostEditor() = default;
    HostEditor(const HostEditor&) = delete;
    HostEditor& operator=(const HostEditor&) = delete;
    ~HostEditor() { stop(); }

    // Returns once the editor is open (or failed: false and the reason).
    bool start(host::PluginHost& pluginHost, vst2::AEffect* effect, const Options& options, std::string* error);
    // Closes the editor and the window; returns the host's own X errors.
    int stop();

private:
    struct State;
    State* state_ = nullptr;
};

}  // namespace larkwire::cli

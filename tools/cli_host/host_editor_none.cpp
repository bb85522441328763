// Builds without X11: the host has no editor window to offer.
#include "tools/cli_host/host_editor.h"

namespace larkwire::cli {

struct HostEditor::State {};

bool HostEditor::start(host::PluginHost&, vst2::AEffect*, const Options&, std::string* error) {
    *error = "this build of larkwire-host has no editor window";
    return false;
}

int HostEditor::stop() { return 0; }

}  // namespace larkwire::cli

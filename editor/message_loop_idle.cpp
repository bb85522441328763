// Window systems that deliver the editor's messages themselves (Windows)
// need nothing from the host's idle call.
#include "editor/editor_host.h"

namespace larkwire {

void idleEditor(StreamEffect&) {}

}  // namespace larkwire

// Builds without an editor: every editor request is declined.
#include "editor/editor_host.h"

namespace larkwire {

bool openEditor(StreamEffect&, void*) { return false; }
void closeEditor(StreamEffect&, bool) {}
void idleEditor(StreamEffect&) {}
bool editorClientRect(StreamEffect&, vst2::ERect&) { return false; }
void editorEnableSendControls(StreamEffect&, bool) {}
bool editorAvailable() { return false; }
void editorResourcesAttach(void*) {}
void editorResourcesDetach() {}

}  // namespace larkwire

#include "platform/module_entry.h"
#include "platform/module_path.h"

// Load-time hooks stand in for DllMain's process attach and detach.
namespace {
__attribute__((constructor)) void attachModule() {
    larkwire::onModuleAttach(larkwire::platform::moduleHandle());
}
__attribute__((destructor)) void detachModule() { larkwire::onModuleDetach(); }
}  // namespace

// Hooks the platform calls when the plug-in module is attached to or detached
// from a process. Implemented by the shell; called by DllMain on Windows and
// by load-time constructors elsewhere.
#pragma once

namespace larkwire {

void onModuleAttach(void* moduleHandle);
void onModuleDetach();

}  // namespace larkwire

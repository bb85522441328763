#include <windows.h>

#include "platform/module_entry.h"

// Thread attach and detach do nothing; the module always reports success.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) larkwire::onModuleAttach(instance);
    if (reason == DLL_PROCESS_DETACH) larkwire::onModuleDetach();
    return TRUE;
}

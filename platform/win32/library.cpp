#include "platform/library.h"

#include <windows.h>

#include <cstdio>

namespace larkwire::platform {

void* loadLibrary(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }
void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void unloadLibrary(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}
const char* libraryError() {
    static char text[64];
    std::snprintf(text, sizeof text, "error %lu", GetLastError());
    return text;
}

}  // namespace larkwire::platform

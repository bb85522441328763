// Loading a shared library by path and finding its symbols (for hosts and tools).
#pragma once

namespace larkwire::platform {

void* loadLibrary(const char* path);  // null on failure
void* findSymbol(void* library, const char* name);
void unloadLibrary(void* library);
// The last loader error as text, for messages.
const char* libraryError();

}  // namespace larkwire::platform

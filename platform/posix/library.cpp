#include "platform/library.h"

#include <dlfcn.h>

namespace larkwire::platform {

void* loadLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* library, const char* name) { return dlsym(library, name); }
void unloadLibrary(void* library) {
    if (library != nullptr) dlclose(library);
}
const char* libraryError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

}  // namespace larkwire::platform

#include "platform/module_path.h"

#include <dlfcn.h>

#include <cstring>

namespace larkwire::platform {

namespace {
int anchor;
}

int moduleFileName(char* out, int size) {
    if (out == nullptr || size <= 0) return 0;
    out[0] = '\0';
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return 0;
    std::strncpy(out, info.dli_fname, size_t(size) - 1);
    out[size - 1] = '\0';
    return static_cast<int>(std::strlen(out));
}

const char* moduleExtension() { return ".so"; }

void* moduleHandle() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0) return nullptr;
    return info.dli_fbase;
}

}  // namespace larkwire::platform

#include "platform/module_path.h"

#include <windows.h>

#include <cstring>

namespace larkwire::platform {

namespace {
HMODULE ownModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ownModule), &module);
    return module;
}
}  // namespace

int moduleFileName(char* out, int size) {
    if (out == nullptr || size <= 0) return 0;
    out[0] = '\0';
    const DWORD length = GetModuleFileNameA(ownModule(), out, DWORD(size));
    if (length == 0 || length >= DWORD(size)) {
        out[size - 1] = '\0';
        return length == 0 ? 0 : int(std::strlen(out));
    }
    return int(length);
}

const char* moduleExtension() { return ".dll"; }

void* moduleHandle() { return ownModule(); }

}  // namespace larkwire::platform

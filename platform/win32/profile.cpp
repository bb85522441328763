#include "platform/profile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace larkwire::platform {

int readProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                      int size, const char* fileName) {
    if (out == nullptr || size <= 0) return 0;
    return int(GetPrivateProfileStringA(section, key, defaultValue, out, DWORD(size), fileName));
}

bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    return WritePrivateProfileStringA(section, key, value, fileName) != 0;
}

int profilePath(const char* fileName, char* out, int size) {
    if (fileName == nullptr || out == nullptr || size <= 0) return 0;
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::snprintf(out, size_t(size), "%s\\%s", folder, fileName);
    return int(std::strlen(out));
}

}  // namespace larkwire::platform

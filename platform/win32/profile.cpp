#include "platform/profile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace larkwire::platform {

namespace {

constexpr const char* kUserFolder = "Larkwire";

bool isBareName(const char* fileName) { return std::strpbrk(fileName, "\\/:") == nullptr; }

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// Where the profile functions put a bare name: the Windows folder.
void oldPath(const char* fileName, char* out, std::size_t size) {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::snprintf(out, size, "%s\\%s", folder, fileName);
}

// A bare name lives in %APPDATA%\Larkwire\, per user: a normal user cannot
// write to the Windows folder, and a 32-bit host with a manifest is not
// redirected. Without APPDATA the name stays bare, as it always was.
void resolve(const char* fileName, char* out, std::size_t size, char* folder, std::size_t folderSize) {
    folder[0] = '\0';
    char appData[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
    if (!isBareName(fileName) || n == 0 || n >= MAX_PATH) {
        std::snprintf(out, size, "%s", fileName);
        return;
    }
    std::snprintf(folder, folderSize, "%s\\%s", appData, kUserFolder);
    std::snprintf(out, size, "%s\\%s", folder, fileName);
}

// The first time the per-user file is missing, the file an earlier version
// kept in the Windows folder is copied there, so no entry the user had is
// lost; from then on only the new file is read and written.
void adoptOldFile(const char* fileName, const char* path, const char* folder) {
    if (folder[0] == '\0' || exists(path)) return;
    char old[MAX_PATH * 2];
    oldPath(fileName, old, sizeof old);
    if (!exists(old)) return;
    CreateDirectoryA(folder, nullptr);
    CopyFileA(old, path, TRUE);
}

struct ResolvedPath {
    char path[MAX_PATH * 2];
    char folder[MAX_PATH * 2];
    explicit ResolvedPath(const char* fileName) {
        resolve(fileName, path, sizeof path, folder, sizeof folder);
        adoptOldFile(fileName, path, folder);
    }
};

}  // namespace

int readProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                      int size, const char* fileName) {
    if (out == nullptr || size <= 0) return 0;
    const ResolvedPath resolved(fileName);
    return int(GetPrivateProfileStringA(section, key, defaultValue, out, DWORD(size), resolved.path));
}

bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    const ResolvedPath resolved(fileName);
    if (resolved.folder[0] != '\0') CreateDirectoryA(resolved.folder, nullptr);
    return WritePrivateProfileStringA(section, key, value, resolved.path) != 0;
}

int profilePath(const char* fileName, char* out, int size) {
    if (fileName == nullptr || out == nullptr || size <= 0) return 0;
    char folder[MAX_PATH * 2];
    char path[MAX_PATH * 2];
    resolve(fileName, path, sizeof path, folder, sizeof folder);
    if (folder[0] == '\0' && isBareName(fileName)) oldPath(fileName, path, sizeof path);
    std::snprintf(out, size_t(size), "%s", path);
    return int(std::strlen(out));
}

}  // namespace larkwire::platform

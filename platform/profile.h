// Private-profile (INI) files, per user: %APPDATA%\Larkwire\ on Windows (a
// file an earlier version left in the Windows folder is adopted once), the
// user's configuration folder elsewhere.
#pragma once

namespace larkwire::platform {

// Copies the value (or defaultValue) into out, at most size - 1 characters.
// Returns the characters copied.
int readProfileString(const char* section, const char* key, const char* defaultValue,
                      char* out, int size, const char* fileName);

// Returns true when the file was written.
bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName);

// Where fileName lives; for tests and tools.
int profilePath(const char* fileName, char* out, int size);

}  // namespace larkwire::platform

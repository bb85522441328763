// The file name of the loaded plug-in module.
#pragma once

namespace larkwire::platform {

// Writes the module's full path (NUL-terminated, truncated to size - 1) and
// returns its length, or 0 when it cannot be read.
int moduleFileName(char* out, int size);

// The file-name ending a plug-in module has on this platform (".dll", ".so").
const char* moduleExtension();

// The handle the OS gave the module at load (HINSTANCE on Windows).
void* moduleHandle();

}  // namespace larkwire::platform

// The platform layer on Windows, the part that only the host and the tests
// use (see platform_windows.cpp for why it is apart).
#include "platform.h"

#include <windows.h>

namespace platform {

LibraryHandle loadLibraryFile(const char *path)
{
    // A bare file name is taken from the working folder, never searched for.
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(full));
}

const char *lastLoaderError()
{
    static char message[64];
    wsprintfA(message, "system error %lu", GetLastError());
    return message;
}

} // namespace platform

// The platform layer on Windows: the system loader by its ANSI entry points,
// wsprintfA for text.
#include "platform.h"

#include <cstdarg>
#include <windows.h>

namespace platform {

LibraryHandle loadLibrary(const char *name)
{
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name));
}

LibraryHandle loadedLibrary(const char *name)
{
    return reinterpret_cast<LibraryHandle>(GetModuleHandleA(name));
}

void *entryPoint(LibraryHandle library, const char *name)
{
    if (!library)
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(LibraryHandle library)
{
    if (library)
        FreeLibrary(static_cast<HMODULE>(library));
}

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

int formatText(char *buffer, int capacity, const char *format, ...)
{
    if (!buffer || capacity <= 0)
        return 0;
    // wvsprintfA writes at most 1024 characters and knows no bound of ours:
    // format into a buffer of that size, then copy what fits.
    char formatted[1025];
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(formatted, format, arguments);
    va_end(arguments);
    if (length < 0)
        length = 0;
    if (length > capacity - 1)
        length = capacity - 1;
    for (int i = 0; i < length; ++i)
        buffer[i] = formatted[i];
    buffer[length] = '\0';
    return length;
}

} // namespace platform

// The platform layer on Windows, the part that goes into module files: the
// system loader by its ANSI entry points, and wvsprintfA for text. What only
// the host uses lives in platform_windows_host.cpp, so that a module file
// imports nothing but these five functions (an object file brings all its
// imports along, used or not).
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

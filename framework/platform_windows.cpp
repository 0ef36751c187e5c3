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
    // wvsprintfA knows no bound of ours and fills at most 1024 bytes, its
    // NUL included; for a text it had to cut, what it returns is not the
    // length it wrote. So format into a buffer of that size and copy what
    // fits, up to the NUL.
    char formatted[1025];
    formatted[0] = '\0';
    formatted[1024] = '\0';
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(formatted, format, arguments);
    va_end(arguments);
    int length = 0;
    while (length < capacity - 1 && formatted[length])
        ++length;
    for (int i = 0; i < length; ++i)
        buffer[i] = formatted[i];
    buffer[length] = '\0';
    return length;
}

} // namespace platform

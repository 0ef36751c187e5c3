// The library entry hook as the Windows loader calls it.
#include "registration.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    return gauge::libraryEntryHook(reason);
}

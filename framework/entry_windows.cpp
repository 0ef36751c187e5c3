// What a gauge module needs on Windows when it is built without the C
// runtime (see cmake/GaugeModule.cmake): its start-up code, which the loader
// enters on every load and unload notification, the library entry hook that
// the start-up code calls, and the few memory functions that the compiler may
// call on its own for copies and clears. Compiled into every module file and
// into nothing else.
#include "registration.h"

#include <cstddef>
#include <windows.h>

extern "C" {

// The library entry hook.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    return gauge::libraryEntryHook(reason);
}

// Filled by the linker: -1, the module's static constructors, then 0.
extern void (*__CTOR_LIST__[])();

// The module file's entry point. Gauge records are constant-initialised, so
// the constructor list is normally empty; should a dynamic initialiser creep
// in, it still runs, once, before the host can read a record. (A static
// destructor would need atexit, which a module without the runtime cannot
// link: that fails the build instead of being skipped.)
BOOL WINAPI GaugeModuleStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        size_t count = 0;
        while (__CTOR_LIST__[count + 1])
            ++count;
        // Last listed first, as the runtime's own start-up does.
        for (size_t i = count; i > 0; --i)
            __CTOR_LIST__[i]();
    }
    return DllMain(instance, reason, reserved);
}

// The memory functions. Kept as plain loops on purpose: the optimiser must
// not turn them back into calls to themselves.
#define GAUGE_PLAIN_LOOP __attribute__((optimize("no-tree-loop-distribute-patterns")))

GAUGE_PLAIN_LOOP void *memcpy(void *destination, const void *source, size_t size)
{
    auto *to = static_cast<unsigned char *>(destination);
    const auto *from = static_cast<const unsigned char *>(source);
    for (size_t i = 0; i < size; ++i)
        to[i] = from[i];
    return destination;
}

GAUGE_PLAIN_LOOP void *memmove(void *destination, const void *source, size_t size)
{
    auto *to = static_cast<unsigned char *>(destination);
    const auto *from = static_cast<const unsigned char *>(source);
    if (to < from) {
        for (size_t i = 0; i < size; ++i)
            to[i] = from[i];
    } else {
        for (size_t i = size; i > 0; --i)
            to[i - 1] = from[i - 1];
    }
    return destination;
}

GAUGE_PLAIN_LOOP void *memset(void *destination, int value, size_t size)
{
    auto *to = static_cast<unsigned char *>(destination);
    for (size_t i = 0; i < size; ++i)
        to[i] = static_cast<unsigned char>(value);
    return destination;
}

GAUGE_PLAIN_LOOP int memcmp(const void *left, const void *right, size_t size)
{
    const auto *a = static_cast<const unsigned char *>(left);
    const auto *b = static_cast<const unsigned char *>(right);
    for (size_t i = 0; i < size; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

} // extern "C"

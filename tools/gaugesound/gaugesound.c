/*
 * A stand-in for the outside sound library "GaugeSound", so that the
 * throttle quadrant's binding can be run and tested: it plays nothing. It
 * exports TerminateSounds, the one entry point the gauge calls, and
 * GaugeSoundTerminateCount, which tells a test how often TerminateSounds was
 * called since the library was loaded. Built without TerminateSounds
 * (GAUGESOUND_WITHOUT_TERMINATE) it stands for a library that lacks the
 * entry point.
 *
 * Written in C on purpose: a C++ library can pick up symbols that keep the
 * dynamic linker from ever unloading it, and the tests watch it unload.
 */
#if defined(_WIN32)
#define GAUGESOUND_EXPORT __declspec(dllexport)
#else
#define GAUGESOUND_EXPORT __attribute__((visibility("default")))
#endif

static int terminateCount;

#ifndef GAUGESOUND_WITHOUT_TERMINATE
/* Ends every sound the library plays; here, only counts the call. */
GAUGESOUND_EXPORT void TerminateSounds(void)
{
    ++terminateCount;
}
#endif

/* How many times TerminateSounds ran since this library was loaded. */
GAUGESOUND_EXPORT int GaugeSoundTerminateCount(void)
{
    return terminateCount;
}

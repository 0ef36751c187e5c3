// The binding to "GaugeSound", through the platform loader by bare name.
//
// Reference pairing. Every instance of the gauge shares the one handle, and
// the host tells the instances apart only by calling each one's services; a
// take-down that gave back a reference for every instance would also give
// back references the module never took (an instance whose first use found
// the handle already set took none), and could unload the library under
// another gauge or module that still holds it. So the module counts:
//  - ownedReferences: the references it took itself with loadLibrary and
//    has not given back. Only these are ever given back, so the count never
//    goes below zero and nobody else's reference is touched;
//  - shownInstances: first uses (service 4) not yet matched by a take-down
//    (service 12). The take-down that brings it to zero is the last shown
//    instance's: it ends the library's sounds and gives back every owned
//    reference. Earlier take-downs keep the library for the instances still
//    shown. A take-down without a first use counts as the last one.
// For a single instance this is the plain sequence: first use loads the
// library, each frame looks it up (loading it again only if it was unloaded
// meanwhile, which takes a reference too), take-down looks it up, calls
// TerminateSounds and frees it. A library that cannot be loaded, or one
// without TerminateSounds, is tolerated: no call goes through a missing
// entry point, and nothing else of the gauge depends on the library.
#include "sound_binding.h"

#include "platform.h"

#include <cstdint>

namespace vantrel {
namespace {

constexpr const char *SoundLibraryName = "GaugeSound";
constexpr const char *TerminateSoundsName = "TerminateSounds";

using TerminateSoundsEntry = void (*)();

platform::LibraryHandle soundLibrary = nullptr;
int32_t ownedReferences = 0;
int32_t shownInstances = 0;

// Loads the library, counting the reference when the load succeeded.
platform::LibraryHandle loadSoundLibrary()
{
    platform::LibraryHandle library = platform::loadLibrary(SoundLibraryName);
    if (library)
        ++ownedReferences;
    return library;
}

// The library as it is loaded now; loads it if nobody holds it.
void acquireSoundLibrary()
{
    soundLibrary = platform::loadedLibrary(SoundLibraryName);
    if (!soundLibrary)
        soundLibrary = loadSoundLibrary();
}

} // namespace

void bindSoundLibrary()
{
    if (shownInstances < INT32_MAX)
        ++shownInstances;
    if (!soundLibrary)
        soundLibrary = loadSoundLibrary();
}

void rebindSoundLibrary()
{
    acquireSoundLibrary();
}

void releaseSoundLibrary()
{
    acquireSoundLibrary();
    if (shownInstances > 0)
        --shownInstances;
    if (shownInstances > 0)
        return;
    // The entry point is looked up now and not kept: the library may have
    // been replaced since the last take-down.
    if (void *entry = platform::entryPoint(soundLibrary, TerminateSoundsName))
        reinterpret_cast<TerminateSoundsEntry>(entry)();
    for (; ownedReferences > 0; --ownedReferences)
        platform::freeLibrary(soundLibrary);
    soundLibrary = nullptr;
}

} // namespace vantrel

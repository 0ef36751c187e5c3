// Everything that differs between the platforms the modules and the host are
// built for, behind one small interface, so that gauge code has no #ifdefs:
// the dynamic library loader and text formatting. (The calling convention and
// export marks live in gauge_abi.h, which the host shares.)
#pragma once

#include <cstdint>

namespace platform {

using LibraryHandle = void *;

// Loads a library by bare name ("GaugeSound", no folder, no extension) and
// takes one reference on it; null when it cannot be loaded.
LibraryHandle loadLibrary(const char *name);

// The handle of a library already loaded in the process, or null; takes no
// reference.
LibraryHandle loadedLibrary(const char *name);

// An entry point of a loaded library, or null when it has none.
void *entryPoint(LibraryHandle library, const char *name);

// Gives back one reference taken by loadLibrary or loadLibraryFile.
void freeLibrary(LibraryHandle library);

// Loads a library from a file path, absolute or relative to the working
// folder (never searched for), taking one reference; null on failure.
LibraryHandle loadLibraryFile(const char *path);

// Why the last failed load failed, in the loader's own words.
const char *lastLoaderError();

// printf-style formatting that never writes more than capacity bytes,
// the terminating NUL included, whatever the arguments. Returns the number
// of characters written before the NUL.
int formatText(char *buffer, int capacity, const char *format, ...);

} // namespace platform

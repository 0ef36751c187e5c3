// The platform layer on ELF systems: the loader is libdl, and a bare library
// name means "<name>.so" found by the dynamic linker's own search
// (LD_LIBRARY_PATH, then the loading module's RUNPATH, which our modules set
// to their own folder, then the system folders).
#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace platform {
namespace {

std::string fileName(const char *name)
{
    std::string file = name;
    if (file.find('.') == std::string::npos)
        file += ".so";
    return file;
}

// The folder of the module (or program) this code is linked into, ending in
// a slash, as the loader named it; empty when it cannot tell.
std::string ownFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(&ownFolder), &info) || !info.dli_fname)
        return {};
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

LibraryHandle loadLibrary(const char *name)
{
    const std::string file = fileName(name);
    if (LibraryHandle library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL))
        return library;
    // dlopen applies the RUNPATH of its caller, which is the module only when
    // nothing stands between them; a runtime that wraps dlopen (the
    // sanitizers' does) becomes the caller instead. So a bare name not found
    // by the search is looked for beside the module explicitly too.
    if (file.find('/') != std::string::npos)
        return nullptr;
    const std::string folder = ownFolder();
    return folder.empty() ? nullptr : dlopen((folder + file).c_str(), RTLD_NOW | RTLD_LOCAL);
}

LibraryHandle loadedLibrary(const char *name)
{
    // RTLD_NOLOAD still counts a reference; hand it straight back so the
    // lookup leaves the count as it was. The handle stays valid because
    // whoever loaded the library still holds it.
    LibraryHandle handle = dlopen(fileName(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle;
}

void *entryPoint(LibraryHandle library, const char *name)
{
    return library ? dlsym(library, name) : nullptr;
}

void freeLibrary(LibraryHandle library)
{
    if (library)
        dlclose(library);
}

LibraryHandle loadLibraryFile(const char *path)
{
    // A name without a slash would make dlopen search the library folders.
    std::string file = path;
    if (file.find('/') == std::string::npos)
        file = "./" + file;
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

const char *lastLoaderError()
{
    const char *message = dlerror();
    return message ? message : "unknown loader error";
}

int formatText(char *buffer, int capacity, const char *format, ...)
{
    if (!buffer || capacity <= 0)
        return 0;
    va_list arguments;
    va_start(arguments, format);
    const int wanted = std::vsnprintf(buffer, static_cast<size_t>(capacity), format, arguments);
    va_end(arguments);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return wanted < capacity ? wanted : capacity - 1;
}

} // namespace platform

// How the host loads and runs module files. The native backend hands them to
// the system's own loader and calls their code directly; another backend (the
// x86 emulator in host/emu) may load files the machine cannot run, as long as
// the modules it returns present their records as the host reads them.
// Everything the host does with a module (evaluation, clicks, routines,
// drawing, validation) goes through those records, so it works unchanged on
// either backend.
#pragma once

#include "gauge_abi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace host {

class Module;

class ModuleBackend {
public:
    virtual ~ModuleBackend() = default;

    // A short name for messages: "native", "x86 emulator".
    virtual std::string name() const = 0;
    // Loads a module file (a path, never searched for) and stores services in
    // its ImportTable. Throws HostError saying why it cannot.
    virtual std::unique_ptr<Module> loadModule(const std::string &path, PanelServices *services) = 0;
    // Whether a library of that bare name ("GaugeSound") is loaded now, as
    // the modules' own library calls see it.
    virtual bool libraryLoaded(const std::string &name) = 0;
};

// Where the records of a module loaded by a backend other than the system
// loader lie, as that backend placed them: what a checker asks before it
// follows a pointer found in a record. Such a Module implements it too (find
// it with dynamic_cast); a native module's records are in the process's own
// memory map instead. Addresses are those of the records as the host sees
// them (Module::linkage() and what it points at).
class ModuleMemory {
public:
    virtual ~ModuleMemory() = default;
    // The size bytes at address belong to one record of the module, which
    // lies in the module's image with that access.
    virtual bool readable(const void *address, size_t size) const = 0;
    virtual bool writable(const void *address, size_t size) const = 0;
    // A callback the host took from the records leads into the module's code.
    virtual bool executable(const void *function) const = 0;
    // A NUL-terminated text of at most maxLength characters inside the
    // module's records; its length, or nothing.
    virtual std::optional<size_t> textLength(const char *text, size_t maxLength) const = 0;
    // Stores another services table into the module's ImportTable, as the
    // host stored its own at load (a checker's counting table, say).
    virtual void storeServices(PanelServices *services) = 0;
    // Whether ImportTable entry 0 already held a services address, as the
    // module was loaded, before the backend stored the host's table there;
    // nothing when the backend cannot say.
    virtual std::optional<bool> servicesHeldAtLoad() const { return std::nullopt; }
};

// A backend that runs modules in a process of its own (the x86 emulator's
// emulated process) answers for that process here: the libraries loaded in
// it and the resources a leak would make grow. Find it with dynamic_cast on
// the backend; the native backend's modules live in the host's own process.
class ModuleProcess {
public:
    virtual ~ModuleProcess() = default;

    // The library files loaded in the process now (module files and the
    // libraries they loaded, not the system libraries), by file name.
    virtual std::vector<std::string> loadedLibraries() const = 0;
    // Takes one reference on the loaded library of that name, as another
    // user of it in the process would; false when none is loaded.
    virtual bool holdLibrary(const std::string &name) = 0;
    // Gives back one reference on it; false when none is loaded.
    virtual bool releaseLibrary(const std::string &name) = 0;

    struct Usage {
        size_t libraries = 0;      // loaded library files
        uint64_t mappedBytes = 0;  // the process's mapped memory
        uint64_t heapBytes = 0;    // its heap in use
        size_t hostFunctions = 0;  // functions of the host it can call
    };
    virtual Usage usage() const = 0;
};

// The system loader of the machine the host runs on.
std::unique_ptr<ModuleBackend> makeNativeBackend();

// The backend every new Host starts with: native, unless the program chose
// another for all its hosts (gaugehost --emulate-x86).
using BackendFactory = std::unique_ptr<ModuleBackend> (*)();
void setDefaultBackend(BackendFactory factory);
std::unique_ptr<ModuleBackend> makeDefaultBackend();

} // namespace host

// The x86 emulator backend of the host: module files are 32-bit Windows
// libraries (the i686 builds that ship), loaded into one emulated process
// (process.h) and run there; the host reads their records through the record
// mirror (record_mirror.h) and reaches their callbacks through it. The host's
// services table becomes a table in emulated memory whose entries are host
// functions that forward each call to the host's own entries.
#pragma once

#include "module_backend.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host::emu {

class Process;
class LoadedModule;

class EmulatedBackend : public ModuleBackend, public ModuleProcess {
public:
    EmulatedBackend();
    ~EmulatedBackend() override;

    std::string name() const override { return "x86 emulator"; }
    std::unique_ptr<Module> loadModule(const std::string &path, PanelServices *services) override;
    bool libraryLoaded(const std::string &name) override;

    // The emulated process, for checkers (module_backend.h).
    std::vector<std::string> loadedLibraries() const override;
    bool holdLibrary(const std::string &name) override;
    bool releaseLibrary(const std::string &name) override;
    Usage usage() const override;

    Process &process() { return *process_; }

private:
    friend class LoadedModule;

    // The emulated twin of a host services table.
    uint32_t servicesTable(PanelServices *services);
    LoadedModule &activeModule();

    std::unique_ptr<Process> process_;
    std::map<PanelServices *, uint32_t> tables_;
    std::vector<LoadedModule *> active_; // modules whose code runs now, innermost last
    uint32_t mousePosition_ = 0;         // where a mouse function's position is passed
};

std::unique_ptr<ModuleBackend> makeEmulatedBackend();

} // namespace host::emu

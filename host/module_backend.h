// How the host loads and runs module files. The native backend hands them to
// the system's own loader and calls their code directly; another backend (the
// x86 emulator in host/emu) may load files the machine cannot run, as long as
// the modules it returns present their records as the host reads them.
// Everything the host does with a module (evaluation, clicks, routines,
// drawing, validation) goes through those records, so it works unchanged on
// either backend.
#pragma once

#include "gauge_abi.h"

#include <memory>
#include <string>

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

// The system loader of the machine the host runs on.
std::unique_ptr<ModuleBackend> makeNativeBackend();

// The backend every new Host starts with: native, unless the program chose
// another for all its hosts (gaugehost --emulate-x86).
using BackendFactory = std::unique_ptr<ModuleBackend> (*)();
void setDefaultBackend(BackendFactory factory);
std::unique_ptr<ModuleBackend> makeDefaultBackend();

} // namespace host

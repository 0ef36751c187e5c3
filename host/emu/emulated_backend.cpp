#include "emulated_backend.h"

#include "host.h"
#include "layout32.h"
#include "process.h"
#include "record_mirror.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace host::emu {
namespace {

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

} // namespace

// One module file loaded into the emulated process: its image, the mirror of
// its records, and the calls into it.
class LoadedModule final : public EmulatedCalls {
public:
    LoadedModule(EmulatedBackend &backend, const std::string &path, PanelServices *services);
    ~LoadedModule() override;

    ModuleLinkage *linkage() const { return linkage_; }
    ModuleImports *imports() const { return imports_; }
    RecordMirror &mirror() { return *mirror_; }
    const RecordMirror &mirror() const { return *mirror_; }
    Machine &machine() const { return machine_; }
    // The module's image: [begin, end).
    std::pair<uint32_t, uint32_t> image() const;
    void storeServices(PanelServices *services);
    // Whether ImportTable entry 0 held a word before the host's table was stored.
    bool servicesHeldAtLoad() const { return servicesHeldAtLoad_; }
    void push() { mirror_->pushTo(allocator()); }
    void pull() { mirror_->pullFrom(); }

    void callGauge(uint32_t function, GaugeHeader *gauge, int32_t service, uint32_t extra) override;
    double callValue(uint32_t function, ElementHeader *element) override;
    int32_t callMouse(uint32_t function, MousePosition *position, uint32_t flags) override;
    void callRoutine(uint32_t function) override;
    void callRoutineWithArgument(uint32_t function, uint32_t argument) override;

private:
    std::function<uint32_t(uint32_t)> allocator()
    {
        return [this](uint32_t size) {
            const uint32_t block = backend_.process().allocate(size);
            if (!block)
                throw HostError("x86 emulator: the emulated heap is full");
            return block;
        };
    }
    // Runs emulated code with the records carried across around it.
    template <typename Run>
    auto enter(Run &&run) -> decltype(run());
    std::string what(const char *role, uint32_t function) const
    {
        return std::string("the ") + role + " at " + backend_.process().describe(function);
    }

    EmulatedBackend &backend_;
    Machine &machine_;
    std::string path_;
    uint32_t handle_ = 0;
    uint32_t importTable_ = 0;
    bool servicesHeldAtLoad_ = false;
    std::unique_ptr<RecordMirror> mirror_;
    ModuleLinkage *linkage_ = nullptr;
    ModuleImports *imports_ = nullptr;
};

namespace {

// The host's Module for a file loaded into the emulated process, and where
// its records lie there.
class EmulatedModule final : public Module, public ModuleMemory {
public:
    EmulatedModule(const std::string &path, std::unique_ptr<LoadedModule> loaded)
        : Module(path, loaded->linkage(), loaded->imports()), loaded_(std::move(loaded))
    {
    }

    bool readable(const void *address, size_t size) const override { return holds(address, size, PermissionRead); }
    bool writable(const void *address, size_t size) const override
    {
        return holds(address, size, PermissionRead | PermissionWrite);
    }
    bool executable(const void *function) const override
    {
        const uint32_t address = loaded_->mirror().emulatedFunction(function);
        const auto [begin, end] = loaded_->image();
        return address >= begin && address < end && loaded_->machine().mapped(address, 1, PermissionExecute);
    }
    std::optional<size_t> textLength(const char *text, size_t maxLength) const override
    {
        if (!readable(text, 1))
            return std::nullopt;
        const auto range = loaded_->mirror().emulatedRange(text, 1);
        const size_t length = strnlen(text, maxLength + 1);
        if (length > maxLength || !readable(text, length + 1) || !range)
            return std::nullopt;
        return length;
    }
    void storeServices(PanelServices *services) override { loaded_->storeServices(services); }
    std::optional<bool> servicesHeldAtLoad() const override { return loaded_->servicesHeldAtLoad(); }

private:
    // The native bytes are those of a record read from the module's image,
    // whose pages allow that access.
    bool holds(const void *address, size_t size, uint32_t permissions) const
    {
        const auto range = loaded_->mirror().emulatedRange(address, size);
        if (!range)
            return false;
        const auto [begin, end] = loaded_->image();
        return range->first >= begin && range->first + range->second <= end &&
               loaded_->machine().mapped(range->first, range->second, permissions);
    }

    std::unique_ptr<LoadedModule> loaded_;
};

} // namespace

LoadedModule::LoadedModule(EmulatedBackend &backend, const std::string &path, PanelServices *services)
    : backend_(backend), machine_(backend.process().machine()), path_(path)
{
    Process &process = backend.process();
    Image *image = nullptr;
    try {
        image = &process.loadFile(path);
    } catch (const HostError &error) {
        throw HostError("cannot load module " + path + ": " + error.what());
    }
    handle_ = image->base;
    try {
        const uint32_t linkage = process.procAddress(*image, "Linkage");
        const uint32_t imports = process.procAddress(*image, "ImportTable");
        std::string problem;
        if (!linkage)
            problem = "exports no Linkage";
        else if (!imports)
            problem = "exports no ImportTable";
        else if (!machine_.mapped(linkage, abi32::ModuleLinkage.size) ||
                 !machine_.mapped(imports, abi32::ModuleImportsSize))
            problem = "exports Linkage or ImportTable outside its memory";
        else if (const int32_t id = static_cast<int32_t>(machine_.read32(linkage + abi32::ModuleLinkage.moduleId));
                 id != ModuleIdentifier)
            problem = "Linkage has module id " + std::to_string(id) + ", not 19";
        else if (machine_.read32(imports + abi32::ImportEntry.id) != PanelServicesImportId)
            problem = "ImportTable entry 0 is not the panel services entry";
        else if (!machine_.mapped(imports + abi32::ImportEntry.services, 4, PermissionWrite))
            problem = "keeps ImportTable in read-only memory, where the host cannot store its services";
        if (!problem.empty())
            throw HostError("module " + path + " " + problem);
        // The host stores its services, as it does into a native module.
        importTable_ = imports;
        servicesHeldAtLoad_ = machine_.read32(imports + abi32::ImportEntry.services) != 0;
        machine_.write32(imports + abi32::ImportEntry.services, backend.servicesTable(services));
        mirror_ = std::make_unique<RecordMirror>(machine_, *this, path);
        linkage_ = mirror_->readLinkage(linkage);
        imports_ = mirror_->readImports(imports, services);
    } catch (...) {
        mirror_.reset();
        try {
            process.freeLibrary(handle_);
        } catch (const std::exception &error) {
            std::cerr << "gaugehost: " << error.what() << "\n";
        }
        throw;
    }
}

LoadedModule::~LoadedModule()
{
    // The text buffers the host's strings had in emulated memory go with the
    // module; each load would otherwise leave its own behind.
    if (mirror_)
        for (uint32_t buffer : mirror_->textBuffers())
            backend_.process().release(buffer);
    mirror_.reset();
    try {
        backend_.process().freeLibrary(handle_);
    } catch (const std::exception &error) {
        std::cerr << "gaugehost: " << error.what() << "\n";
    }
}

std::pair<uint32_t, uint32_t> LoadedModule::image() const
{
    const Image *image = backend_.process().imageAt(handle_);
    return image ? std::pair{image->base, image->base + image->size} : std::pair{0u, 0u};
}

void LoadedModule::storeServices(PanelServices *services)
{
    machine_.write32(importTable_ + abi32::ImportEntry.services, backend_.servicesTable(services));
    imports_->entries[0].services = services;
}

template <typename Run>
auto LoadedModule::enter(Run &&run) -> decltype(run())
{
    push();
    backend_.active_.push_back(this);
    struct Leave {
        EmulatedBackend &backend;
        ~Leave() { backend.active_.pop_back(); }
    } leave{backend_};
    try {
        if constexpr (std::is_void_v<decltype(run())>) {
            run();
            pull();
        } else {
            auto result = run();
            pull();
            return result;
        }
    } catch (...) {
        // Whatever the program wrote before it failed is still the host's to see.
        try {
            pull();
        } catch (...) {
        }
        throw;
    }
}

void LoadedModule::callGauge(uint32_t function, GaugeHeader *gauge, int32_t service, uint32_t extra)
{
    enter([&] {
        machine_.call(function, {mirror_->emulatedAddress(gauge), static_cast<uint32_t>(service), extra},
                      Convention::Stdcall, what("gauge callback", function));
    });
}

double LoadedModule::callValue(uint32_t function, ElementHeader *element)
{
    return enter([&] {
        return machine_.callReturningDouble(function, {mirror_->emulatedAddress(element)}, Convention::Stdcall,
                                            what("value callback", function));
    });
}

int32_t LoadedModule::callMouse(uint32_t function, MousePosition *position, uint32_t flags)
{
    return enter([&] {
        // The position is the host's record: it lives in emulated memory for
        // the call, and comes back as the function left it.
        uint32_t &at = backend_.mousePosition_;
        if (!at && !(at = backend_.process().allocate(abi32::MousePosition.size)))
            throw HostError("x86 emulator: the emulated heap is full");
        if (position)
            machine_.write(at, position, sizeof *position);
        const uint32_t result = machine_.call(function, {position ? at : 0, flags}, Convention::Stdcall,
                                              what("mouse function", function));
        if (position)
            machine_.read(at, position, sizeof *position);
        return static_cast<int32_t>(result);
    });
}

void LoadedModule::callRoutine(uint32_t function)
{
    enter([&] { machine_.call(function, {}, Convention::Stdcall, what("routine", function)); });
}

void LoadedModule::callRoutineWithArgument(uint32_t function, uint32_t argument)
{
    enter([&] { machine_.call(function, {argument}, Convention::Stdcall, what("routine", function)); });
}

// ---------------------------------------------------------------- backend

EmulatedBackend::EmulatedBackend() : process_(std::make_unique<Process>())
{
}

EmulatedBackend::~EmulatedBackend() = default;

std::unique_ptr<Module> EmulatedBackend::loadModule(const std::string &path, PanelServices *services)
{
    return std::make_unique<EmulatedModule>(path, std::make_unique<LoadedModule>(*this, path, services));
}

bool EmulatedBackend::libraryLoaded(const std::string &name)
{
    return process_->loadedLibrary(name) != nullptr;
}

std::vector<std::string> EmulatedBackend::loadedLibraries() const
{
    std::vector<std::string> names;
    for (const Image *image : process_->images())
        if (!image->system)
            names.push_back(image->name);
    return names;
}

bool EmulatedBackend::holdLibrary(const std::string &name)
{
    Image *image = process_->loadedLibrary(name);
    if (!image || image->system)
        return false;
    ++image->references;
    return true;
}

bool EmulatedBackend::releaseLibrary(const std::string &name)
{
    Image *image = process_->loadedLibrary(name);
    return image && !image->system && process_->freeLibrary(image->base);
}

ModuleProcess::Usage EmulatedBackend::usage() const
{
    Usage usage;
    usage.libraries = loadedLibraries().size();
    usage.mappedBytes = process_->machine().mappedBytes();
    usage.heapBytes = process_->heapInUse();
    usage.hostFunctions = process_->machine().hostFunctionCount();
    return usage;
}

LoadedModule &EmulatedBackend::activeModule()
{
    if (active_.empty())
        process_->machine().fail("x86 emulator: a host service was called from outside a module's call");
    return *active_.back();
}

uint32_t EmulatedBackend::servicesTable(PanelServices *services)
{
    if (auto found = tables_.find(services); found != tables_.end())
        return found->second;
    Process &process = *process_;
    Machine &machine = process.machine();
    const uint32_t table = process.allocate(abi32::PanelServicesSize);
    if (!table)
        throw HostError("x86 emulator: the emulated heap is full");
    machine.write(table, std::vector<unsigned char>(abi32::PanelServicesSize, 0).data(), abi32::PanelServicesSize);

    // Each entry: the module's records as the host sees them now, the host's
    // own entry called with the native records, and the host's changes back.
    auto entry = [&](uint32_t index, const char *name, uint32_t arguments, auto forward) {
        const uint32_t address = machine.addHostFunction(
            std::string("host service ") + name, Convention::Stdcall, arguments, [this, services, name, forward](HostCall &call) {
                LoadedModule &module = activeModule();
                module.pull();
                forward(module, call, services, name);
                module.push();
            });
        machine.write32(table + abi32::panelServicesEntry(index), address);
    };
    auto missing = [this](const char *name) {
        process_->machine().fail(std::string("x86 emulator: the host's services table has no ") + name);
    };
    auto elementService = [missing](auto member) {
        return [missing, member](LoadedModule &module, HostCall &call, PanelServices *services, const char *name) {
            auto function = services->*member;
            if (!function)
                missing(name);
            function(module.mirror().element(call.argument(0)));
        };
    };
    auto elementServiceWithArgument = [missing](auto member) {
        return [missing, member](LoadedModule &module, HostCall &call, PanelServices *services, const char *name) {
            auto function = services->*member;
            if (!function)
                missing(name);
            function(module.mirror().element(call.argument(0)), call.argument(1));
        };
    };
    entry(24, "queryElements", 1, elementService(&PanelServices::queryElements));
    entry(25, "installElements", 2, elementServiceWithArgument(&PanelServices::installElements));
    entry(26, "initializeElements", 1, elementService(&PanelServices::initializeElements));
    entry(27, "updateElements", 1, elementService(&PanelServices::updateElements));
    entry(28, "generateElements", 2, elementServiceWithArgument(&PanelServices::generateElements));
    entry(29, "drawElements", 1, elementService(&PanelServices::drawElements));
    entry(31, "killElements", 1, elementService(&PanelServices::killElements));
    entry(36, "sendKeyEvent", 2, [missing](LoadedModule &, HostCall &call, PanelServices *services, const char *name) {
        if (!services->sendKeyEvent)
            missing(name);
        services->sendKeyEvent(call.argument(0), call.argument(1));
    });
    entry(40, "readVariable", 1,
          [missing, &machine](LoadedModule &module, HostCall &call, PanelServices *services, const char *name) {
              if (!services->readVariable)
                  missing(name);
              const uint32_t address = call.argument(0);
              if (address == 0) {
                  services->readVariable(nullptr);
                  return;
              }
              // An element's own variable is handed over as the record the
              // host knows; a module-level one as a copy written back.
              if (ModuleVar *known = module.mirror().moduleVar(address)) {
                  services->readVariable(known);
                  return;
              }
              if (!machine.mapped(address, abi32::ModuleVar.size, PermissionWrite))
                  machine.fail("x86 emulator: readVariable was given the variable at " + hex(address) +
                               ", which is not writable memory");
              ModuleVar variable{};
              machine.read(address, &variable, sizeof variable);
              services->readVariable(&variable);
              machine.write(address, &variable, sizeof variable);
          });
    // The reserved entries reach the host's entry in the same slot, where it
    // has one (a checker's counting table fills every slot); the host's own
    // table has none there, and a call stops the run naming the entry. Their
    // arguments are unknown, so the stub takes none: a call that passes some
    // in stdcall also breaks the convention, which the call's end reports.
    for (uint32_t index = 0; index < abi32::PanelServicesEntries; ++index) {
        if (machine.read32(table + abi32::panelServicesEntry(index)))
            continue;
        const uint32_t address = machine.addHostFunction(
            "host services entry " + std::to_string(index) + " (reserved)", Convention::Cdecl, 0,
            [this, services, index](HostCall &) {
                using Reserved = void(GAUGE_CALL *)();
                const Reserved entry = reinterpret_cast<Reserved *>(services)[index];
                if (!entry)
                    process_->machine().fail("x86 emulator: the module called services entry " +
                                             std::to_string(index) + ", which is reserved");
                LoadedModule &module = activeModule();
                module.pull();
                entry();
                module.push();
            });
        machine.write32(table + abi32::panelServicesEntry(index), address);
    }
    tables_[services] = table;
    return table;
}

std::unique_ptr<ModuleBackend> makeEmulatedBackend()
{
    return std::make_unique<EmulatedBackend>();
}

} // namespace host::emu

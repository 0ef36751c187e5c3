// The behaviour checks: a gauge driven by seeded random host actions (values
// at the edges of float64 and int32, every service number, clicks around
// every area, several instances at once) with invariants checked after every
// action; and a module loaded, used and unloaded many times over.
#include "validate_internal.h"

#include "platform.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <optional>

namespace host::validate {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t LightingVariables[] = {0x0a, 0x16c};
constexpr int32_t MaxServiceNumber = 20;

uint64_t mix(uint64_t value)
{
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

uint64_t hashText(uint64_t hash, const std::string &text)
{
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

std::string number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// Values at the edges of what a host variable can hold.
std::vector<double> edgeValues()
{
    using limits = std::numeric_limits<double>;
    return {
        limits::quiet_NaN(), -limits::quiet_NaN(), limits::infinity(), -limits::infinity(), 0.0, -0.0,
        limits::denorm_min(), -limits::denorm_min(), limits::min() / 2, limits::min(), 1e308, -1e308, limits::max(),
        -limits::max(), 2147483647.0, -2147483648.0, 2147483648.0, -2147483649.0, 4294967296.0, 9.2233720368547758e18,
        -9.2233720368547758e18, 1.8446744073709552e19, 1.0, -1.0, 2.0, 3.0, 4.0, 5.0, 0.5, -0.5, 0.9999999999999999,
        100.0, 99.999, 25000.0, 25000.5, 16384.0, 65536.0, 1e6, -1e6,
    };
}

Check &addCheck(std::deque<Check> &checks, const std::string &gauge, const std::string &name)
{
    checks.push_back(Check{.gauge = gauge, .name = name});
    return checks.back();
}

// Whether each caller may use each services entry: routines their element
// services, mouse functions sendKeyEvent and readVariable, gauge and value
// callbacks readVariable; module hooks nothing.
bool allowed(Caller caller, int slot)
{
    switch (caller) {
    case Caller::Routine: return (slot >= 24 && slot <= 29) || slot == 31;
    case Caller::MouseFunction: return slot == 36 || slot == 40;
    case Caller::GaugeCallback:
    case Caller::ValueCallback: return slot == 40;
    default: return false;
    }
}

uint64_t disallowedCalls(const ServiceProbe::Counts &counts)
{
    uint64_t sum = 0;
    for (int caller = 0; caller < static_cast<int>(Caller::Count); ++caller)
        for (int slot = 0; slot < ServiceProbe::SlotCount; ++slot)
            if (!allowed(static_cast<Caller>(caller), slot))
                sum += counts.calls[caller][slot];
    return sum;
}

std::string describeDisallowed(const ServiceProbe::Counts &now, const ServiceProbe::Counts &before)
{
    for (int caller = 0; caller < static_cast<int>(Caller::Count); ++caller)
        for (int slot = 0; slot < ServiceProbe::SlotCount; ++slot)
            if (!allowed(static_cast<Caller>(caller), slot) && now.calls[caller][slot] != before.calls[caller][slot])
                return std::string(callerName(static_cast<Caller>(caller))) + " called " + slotName(slot) +
                       " (services entry " + std::to_string(slot) + ")";
    return "";
}

// One gauge under test: its host, its records and the checks it feeds.
class GaugeBench {
public:
    GaugeBench(Host &host, Module &module, const GaugeMap &map, const Options &options, uint64_t seed,
               std::deque<Check> &checks)
        : host_(host), module_(module), map_(map), options_(options), random_(seed),
          records_(addCheck(checks, map.name, "stress: records unchanged")),
          strings_(addCheck(checks, map.name, "stress: string buffers")),
          icons_(addCheck(checks, map.name, "stress: icon pictures")),
          entries_(addCheck(checks, map.name, "stress: host entries")), values_(edgeValues())
    {
        addGaugeRecords(snapshot_, map);
        snapshot_.add(&module.linkage(), sizeof(ModuleLinkage), "Linkage");
        snapshot_.add(&module.imports(), sizeof(ModuleImports), "ImportTable");
        snapshot_.allow(offsetof(ModuleImports, entries[0].services), sizeof(PanelServices *));
        snapshot_.take();
        for (int32_t id : map.variableIds)
            variables_.push_back(id);
        for (int32_t id : LightingVariables)
            variables_.push_back(id);
        variables_.push_back(0x7fff); // one no gauge reads
    }

    // Adds the variables the gauge was seen to read for itself.
    void learnVariables()
    {
        for (int32_t id : ServiceProbe::variablesRead)
            if (id && std::find(variables_.begin(), variables_.end(), id) == variables_.end())
                variables_.push_back(id);
    }

    GaugeInstance &addInstance()
    {
        GaugeInstance &instance = host_.createGauge(module_, map_.name);
        instances_.push_back(&instance);
        guardSeen_.push_back(false);
        return instance;
    }

    size_t instanceCount() const { return instances_.size(); }

    void service(size_t instance, int32_t number)
    {
        run("service " + std::to_string(number) + " on instance " + std::to_string(instance), [&] {
            CallerScope scope(Caller::GaugeCallback);
            host_.service(*instances_[instance], number);
        });
    }

    void evaluate(size_t instance)
    {
        GaugeInstance &gauge = *instances_[instance];
        std::vector<bool> shown;
        for (const ElementState &state : gauge.elements())
            shown.push_back(!(state.element->imageFlags & HiddenFlag));
        run("eval on instance " + std::to_string(instance), [&] {
            CallerScope scope(Caller::ValueCallback);
            host_.evaluate(gauge);
        });
        checkEvaluation(instance, shown);
    }

    void click(size_t instance, int32_t x, int32_t y)
    {
        run("click " + std::to_string(x) + " " + std::to_string(y) + " on instance " + std::to_string(instance), [&] {
            CallerScope scope(Caller::MouseFunction);
            host_.click(*instances_[instance], x, y);
        });
    }

    void set(int32_t id, double value)
    {
        run("set " + std::to_string(id) + " " + number(value), [&] { host_.variables().set(id, value); });
    }

    // One random action; services limited to those allowed.
    void randomAction(bool lifecycleServices)
    {
        const size_t instance = random_() % instances_.size();
        const unsigned pick = random_() % 100;
        if (pick < 30) {
            set(variables_[random_() % variables_.size()], randomValue());
        } else if (pick < 55) {
            evaluate(instance);
        } else if (pick < 75) {
            int32_t number = static_cast<int32_t>(random_() % (MaxServiceNumber + 1));
            if (!lifecycleServices && (number == ServiceFirstUse || number == ServiceTakeDown))
                number = ServiceFrame;
            service(instance, number);
        } else if (pick < 97) {
            const auto [x, y] = randomPoint();
            click(instance, x, y);
        } else {
            static const char *names[] = {"query", "install", "initialize", "update", "generate", "draw", "kill"};
            const char *name = names[random_() % 7];
            const uint32_t argument = static_cast<uint32_t>(random_());
            run(std::string("routine ") + name + " " + std::to_string(argument), [&] {
                CallerScope scope(Caller::Routine);
                host_.routine(*instances_[instance], name, argument);
            });
        }
    }

    size_t actions() const { return actions_; }
    std::mt19937_64 &random() { return random_; }

private:
    template <typename Action>
    void run(const std::string &description, Action &&action)
    {
        ++actions_;
        description_ = "action " + std::to_string(actions_) + " (" + description + ")";
        noteAction(map_.name + " " + description_);
        action();
        checkInvariants();
    }

    double randomValue()
    {
        const unsigned pick = random_() % 10;
        if (pick < 5)
            return values_[random_() % values_.size()];
        if (pick < 7) {
            const uint64_t bits = random_();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        if (pick < 9)
            return std::uniform_real_distribution<double>(-40000.0, 40000.0)(random_);
        return static_cast<double>(static_cast<int64_t>(random_() % 21) - 5);
    }

    // A point inside, on the edges of, or outside one of the click areas.
    std::pair<int32_t, int32_t> randomPoint()
    {
        constexpr int32_t Far[] = {std::numeric_limits<int32_t>::min(), -100000, -1, 0, 1, 100000,
                                   std::numeric_limits<int32_t>::max()};
        if (map_.clickAreas.empty() || random_() % 8 == 0)
            return {Far[random_() % 7], Far[random_() % 7]};
        const Box &box = map_.clickAreas[random_() % map_.clickAreas.size()].box;
        auto along = [&](int32_t start, int32_t size) -> int32_t {
            const int64_t last = int64_t(start) + std::max(size, 1) - 1;
            int64_t at;
            switch (random_() % 6) {
            case 0: at = start - 1; break;
            case 1: at = start; break;
            case 2: at = last; break;
            case 3: at = last + 1; break;
            default: at = start + int64_t(random_() % uint64_t(std::max(size, 1))); break;
            }
            return static_cast<int32_t>(std::clamp<int64_t>(at, INT32_MIN, INT32_MAX));
        };
        return {along(box.x, box.width), along(box.y, box.height)};
    }

    void checkInvariants()
    {
        const auto changed = snapshot_.changes();
        if (!changed.empty()) {
            for (const std::string &change : changed)
                records_.fail("after " + description_ + ": " + change);
            snapshot_.take();
        }
        const ServiceProbe::Counts &now = ServiceProbe::counts(activeTable_);
        const uint64_t disallowed = disallowedCalls(now);
        if (disallowed != disallowedBefore_) {
            entries_.fail("after " + description_ + ": " + describeDisallowed(now, countsBefore_));
            disallowedBefore_ = disallowed;
        }
        countsBefore_ = now;
    }

    void checkEvaluation(size_t instance, const std::vector<bool> &shown)
    {
        GaugeInstance &gauge = *instances_[instance];
        for (size_t i = 0; i < gauge.elements().size(); ++i) {
            const ElementState &state = gauge.elements()[i];
            ElementHeader *element = state.element;
            if (!shown[i])
                continue;
            if (element->kind == KindString) {
                const auto *string = reinterpret_cast<const StringElement *>(element);
                const std::vector<char> &buffer = *gauge.textBuffer(i);
                const size_t capacity = buffer.size() - StringGuardBytes;
                const size_t length = strnlen(buffer.data(), capacity);
                if (length == capacity)
                    strings_.fail("after " + description_ + ": " + elementName(i, element) +
                                  ": text has no NUL within maxLength + 1 bytes");
                else if (length > static_cast<size_t>(std::max(string->maxLength, 0)))
                    strings_.fail("after " + description_ + ": " + elementName(i, element) + ": text of " +
                                  std::to_string(length) + " characters, more than maxLength " +
                                  std::to_string(string->maxLength));
                if (gauge.guardOverwritten() && !guardSeen_[instance]) {
                    guardSeen_[instance] = true;
                    strings_.fail("after " + description_ + ": " + elementName(i, element) +
                                  ": wrote past maxLength + 1 bytes of its text buffer (maxLength " +
                                  std::to_string(string->maxLength) + ", text \"" +
                                  std::string(buffer.data(), strnlen(buffer.data(), buffer.size())) + "\")");
                }
            } else if (element->kind == KindIcon) {
                const auto *icon = reinterpret_cast<const Icon *>(element);
                const bool hidden = element->imageFlags & HiddenFlag;
                const double value = state.value;
                if (!hidden && !(std::isfinite(value) && value > -1.0 && value < icon->iconCount))
                    icons_.fail("after " + description_ + ": " + elementName(i, element) + ": picture " +
                                number(value) + " of " + std::to_string(icon->iconCount) +
                                " pictures, and the element is shown");
            }
        }
    }

    Host &host_;
    Module &module_;
    const GaugeMap &map_;
    const Options &options_;
    std::mt19937_64 random_;
    Check &records_;
    Check &strings_;
    Check &icons_;
    Check &entries_;
    std::vector<double> values_;
    std::vector<int32_t> variables_;
    std::vector<GaugeInstance *> instances_;
    std::vector<bool> guardSeen_;
    RecordSnapshot snapshot_;
    size_t actions_ = 0;
    std::string description_;
    uint64_t disallowedBefore_ = 0;
    ServiceProbe::Counts countsBefore_{};

    int activeTable_ = 0; // which probe table ImportTable points at

public:
    // The host moves its services table: the module is handed the other
    // counting table, and counting goes on there.
    void switchTable(Module &module, int table)
    {
        storeServices(module, ServiceProbe::table(table));
        activeTable_ = table;
        countsBefore_ = ServiceProbe::counts(table);
        disallowedBefore_ = disallowedCalls(countsBefore_);
    }
    int activeTable() const { return activeTable_; }
};

// The seven routines, each with several arguments: one call into the host,
// to its own entry, with the first gauge's root and the argument unchanged.
void checkRoutines(Host &host, Module &module, GaugeInstance &instance, std::mt19937_64 &random, Check &check)
{
    const GaugeHeader &header = instance.header();
    if (!header.queryRoutine) {
        check.detail = "the gauge has no routines";
        return;
    }
    GaugeHeader *first = module.linkage().gauges[0];
    ElementHeader *firstRoot = first && first->elements ? first->elements[0] : nullptr;
    const struct {
        const char *name;
        const char *entry;
        bool argument;
    } routines[] = {{"query", "queryElements", false},   {"install", "installElements", true},
                    {"initialize", "initializeElements", false}, {"update", "updateElements", false},
                    {"generate", "generateElements", true}, {"draw", "drawElements", false},
                    {"kill", "killElements", false}};
    const uint32_t arguments[] = {0, 1, 0x7fffffff, 0x80000000, 0xffffffff, static_cast<uint32_t>(random())};
    size_t calls = 0;
    for (const auto &routine : routines) {
        for (uint32_t argument : arguments) {
            noteAction(instance.name() + " routine " + routine.name + " " + std::to_string(argument));
            std::vector<ElementCall> made;
            {
                CallerScope scope(Caller::Routine);
                made = host.routine(instance, routine.name, argument);
            }
            ++calls;
            const std::string what = std::string(routine.name) + " routine" +
                                     (routine.argument ? " (argument " + std::to_string(argument) + ")" : "");
            if (made.size() != 1) {
                check.fail(what + ": made " + std::to_string(made.size()) + " calls into the host, not 1");
                continue;
            }
            if (made[0].entry != routine.entry)
                check.fail(what + ": called " + made[0].entry + ", not " + routine.entry);
            if (made[0].root != firstRoot)
                check.fail(what + ": passed a root element other than the module's first gauge's root");
            if (routine.argument && (!made[0].hasArgument || made[0].argument != argument))
                check.fail(what + ": passed the argument as " + std::to_string(made[0].argument));
            if (!routine.argument)
                break;
        }
    }
    check.detail = std::to_string(calls) + " routine calls";
}

bool libraryLoaded(const std::string &path)
{
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

std::set<std::string> difference(const std::set<std::string> &after, const std::set<std::string> &before)
{
    std::set<std::string> added;
    for (const std::string &object : after)
        if (!before.count(object))
            added.insert(object);
    return added;
}

} // namespace

uint64_t derivedSeed(uint64_t seed, const std::string &moduleFile, const std::string &gauge)
{
    return mix(hashText(hashText(mix(seed), moduleFile) * 31, gauge));
}

// ---------------------------------------------------------------- structure

namespace {

// The checks of a loaded module's records and of its two hooks, the module
// not yet called.
void checkLoadedModule(const std::string &path, ModuleLinkage *linkage, ModuleImports *imports,
                       const ModuleImage &image, const std::function<void(PanelServices *)> &store,
                       ChildResult &result)
{
    noteAction("walking the records of " + path);
    const ModuleMap map = checkStructure(linkage, imports, image, result.checks);
    noteAction("reading the bitmaps of " + path);
    checkBitmaps(path, map, result.checks);

    // The module has been loaded and its records read; nothing of it has
    // been called. Hand it the counting table, then run its two hooks: no
    // host service may be called by either.
    Check quiet{.name = "no host calls before the host calls in"};
    ServiceProbe::reset();
    store(ServiceProbe::table(0));
    for (auto [hook, name] : {std::pair{linkage->moduleInit, "module init"}, {linkage->moduleDeinit, "module deinit"}}) {
        if (!hook || !image.executable(reinterpret_cast<const void *>(hook)))
            continue;
        noteAction("calling " + std::string(name) + " of " + path);
        CallerScope scope(Caller::ModuleHook);
        hook();
    }
    const auto &counts = ServiceProbe::counts(0);
    for (int slot = 0; slot < ServiceProbe::SlotCount; ++slot)
        if (uint64_t calls = counts.calls[static_cast<int>(Caller::ModuleHook)][slot])
            quiet.fail(std::string("module init or deinit called ") + slotName(slot) + " (services entry " +
                       std::to_string(slot) + ") " + std::to_string(calls) + " times");
    quiet.detail = "loading, module init and module deinit";
    result.checks.push_back(quiet);
}

// A module of a backend that runs modules in a process of its own (the x86
// emulator): loaded through a host on that backend, whose account of the
// module's memory stands in for the program headers.
void emulatedStructureChild(const std::string &path, std::unique_ptr<ModuleBackend> backend, ChildResult &result)
{
    Check load{.name = "load"};
    load.detail = "loaded by the " + backend->name() + " through the host";
    Host host;
    host.setBackend(std::move(backend));
    Module *module = nullptr;
    try {
        module = &host.loadModule(path);
    } catch (const HostError &error) {
        load.fail(error.what());
        result.checks.push_back(load);
        return;
    }
    const auto image = ModuleImage::of(*module);
    if (!image || !image->emulated())
        load.fail("the " + host.backend().name() + " does not say where the module's records lie");
    else if (!image->readable(&module->linkage(), sizeof(ModuleLinkage)) ||
             !image->readable(&module->imports(), sizeof(ModuleImports)))
        load.fail("Linkage or ImportTable is not wholly inside the module");
    result.checks.push_back(load);
    if (load.level == Level::Fail)
        return;
    checkLoadedModule(path, &module->linkage(), &module->imports(), *image,
                      [&](PanelServices *services) { storeServices(*module, services); }, result);
}

} // namespace

void structureChild(const std::string &path, ChildResult &result)
{
    noteAction("loading " + path);
    if (std::unique_ptr<ModuleBackend> backend = makeDefaultBackend(); dynamic_cast<ModuleProcess *>(backend.get())) {
        emulatedStructureChild(path, std::move(backend), result);
        return;
    }
    Check load{.name = "load"};
    platform::LibraryHandle library = platform::loadLibraryFile(path.c_str());
    if (!library) {
        load.fail("cannot load the module: " + std::string(platform::lastLoaderError()));
        result.checks.push_back(load);
        return;
    }
    auto *linkage = static_cast<ModuleLinkage *>(platform::entryPoint(library, "Linkage"));
    auto *imports = static_cast<ModuleImports *>(platform::entryPoint(library, "ImportTable"));
    if (!linkage)
        load.fail("the module exports no Linkage");
    if (!imports)
        load.fail("the module exports no ImportTable");
    const auto image = linkage ? ModuleImage::containing(linkage) : std::nullopt;
    if (linkage && imports && (!image || !image->readable(linkage, sizeof *linkage) ||
                               !image->readable(imports, sizeof *imports)))
        load.fail("Linkage or ImportTable is not wholly inside the module");
    result.checks.push_back(load);
    if (load.level == Level::Fail)
        return;
    checkLoadedModule(path, linkage, imports, *image,
                      [&](PanelServices *services) { imports->entries[0].services = services; }, result);
}

// ---------------------------------------------------------------- behaviour

void behaviourChild(const std::string &path, const std::string &gaugeName, const Options &options,
                    ChildResult &result)
{
    std::deque<Check> checks;
    Check &crash = addCheck(checks, gaugeName, "stress: no crash");
    auto finish = [&] {
        result.checks.insert(result.checks.end(), checks.begin(), checks.end());
    };

    noteAction("loading " + path);
    Host host;
    Module &module = host.loadModule(path);
    const auto image = ModuleImage::of(module);
    if (!image) {
        crash.fail("the module's records lie in no loaded object that the validator can see");
        finish();
        return;
    }
    std::vector<Check> scratch;
    const ModuleMap map = checkStructure(&module.linkage(), &module.imports(), *image, scratch);
    const GaugeMap *gauge = nullptr;
    for (const GaugeMap &candidate : map.gauges)
        if (candidate.name == gaugeName)
            gauge = &candidate;
    if (!gauge || !gauge->chainSound || !gauge->mouseSound) {
        crash.level = Level::Warn;
        crash.detail = "skipped: the gauge's chain or mouse list has faults, see above";
        finish();
        return;
    }

    ServiceProbe::reset();
    storeServices(module, ServiceProbe::table(0));
    GaugeBench bench(host, module, *gauge, options, derivedSeed(options.seed, baseName(path), gaugeName), checks);
    Check &routines = addCheck(checks, gaugeName, "routines");
    Check &fresh = addCheck(checks, gaugeName, "services table read afresh");
    Check &references = addCheck(checks, gaugeName, "library references");

    const auto started = Clock::now();
    const size_t instances = std::max<size_t>(options.instances, 1);
    // The libraries loaded where the module runs: this process, or the
    // backend's own (the x86 emulator's emulated process).
    ModuleProcess *process = moduleProcess(host);
    const std::set<std::string> objectsAtStart = loadedLibraries(host);

    // Pass 1, a well-formed life: first use, reset, random actions without
    // first use and take-down, then a take-down for every instance.
    for (size_t i = 0; i < instances; ++i)
        bench.addInstance();
    checkRoutines(host, module, *host.instances().front(), bench.random(), routines);
    for (size_t i = 0; i < instances; ++i) {
        bench.service(i, ServiceFirstUse);
        bench.service(i, ServiceReset);
    }
    const std::set<std::string> loadedByGauge = difference(loadedLibraries(host), objectsAtStart);
    // Learn the variables the gauge reads for itself, so they are varied too.
    for (size_t i = 0; i < instances; ++i) {
        bench.service(i, ServiceFrame);
        bench.evaluate(i);
    }
    bench.learnVariables();
    for (size_t n = 0; n < options.actions; ++n)
        bench.randomAction(false);
    for (size_t i = 0; i < instances; ++i)
        bench.service(i, ServiceTakeDown);
    for (const std::string &object : difference(loadedLibraries(host), objectsAtStart))
        references.fail(baseName(object) + " is still loaded after every instance's take-down (service 12)");

    // Pass 2: any service in any order, more instances, and the host moves
    // its services table half-way. The validator holds its own reference on
    // every library the gauge loaded; the gauge must never give that back.
    std::map<std::string, void *> held;
    for (const std::string &object : loadedByGauge) {
        if (process) {
            if (process->holdLibrary(object))
                held[object] = nullptr;
        } else if (void *handle = dlopen(object.c_str(), RTLD_NOW)) {
            held[object] = handle;
        }
    }
    for (size_t i = 0; i < instances; ++i)
        bench.addInstance();
    const size_t total = bench.instanceCount();
    for (size_t n = 0; n < options.actions; ++n) {
        if (n == options.actions / 2)
            bench.switchTable(module, 1);
        const uint64_t oldTableCalls = ServiceProbe::counts(0).total();
        bench.randomAction(true);
        if (bench.activeTable() == 1 && ServiceProbe::counts(0).total() != oldTableCalls)
            fresh.fail("after the host moved its services table, a call still reached the old one (action " +
                       std::to_string(bench.actions()) + ")");
    }
    for (size_t i = 0; i < total; ++i)
        bench.service(i, ServiceTakeDown);
    for (auto &[object, handle] : held) {
        if (!(process ? host.backend().libraryLoaded(object) : libraryLoaded(object))) {
            references.fail("the gauge gave back a reference on " + baseName(object) +
                            " that it did not take; the library was unloaded under its other user");
            continue;
        }
        if (process)
            process->releaseLibrary(object);
        else
            dlclose(handle);
    }
    fresh.detail = std::to_string(ServiceProbe::counts(1).total()) + " calls reached the new table";
    if (loadedByGauge.empty())
        references.detail = "the gauge loaded no library";
    else if (references.level == Level::Pass)
        references.detail = std::to_string(loadedByGauge.size()) + " library loaded by the gauge, references balanced";

    result.stressActions += bench.actions();
    result.stressSeconds += std::chrono::duration<double>(Clock::now() - started).count();
    crash.detail = std::to_string(bench.actions()) + " actions on " + std::to_string(total) + " instances";
    finish();
}

// ---------------------------------------------------------------- load cycling

namespace {

// One life of the module in host: loaded, every gauge shown twice and used,
// then taken down; the module is unloaded when the host goes.
void loadCycle(Host &host, const std::string &path)
{
    Module &module = host.loadModule(path);
    for (GaugeHeader *header : module.gauges()) {
        std::vector<GaugeInstance *> instances;
        for (int i = 0; i < 2; ++i)
            instances.push_back(&host.createGauge(module, header->name));
        for (GaugeInstance *instance : instances) {
            host.service(*instance, ServiceFirstUse);
            host.service(*instance, ServiceReset);
            for (int32_t id : LightingVariables)
                host.variables().set(id, 1.0);
            host.service(*instance, ServiceFrame);
            host.evaluate(*instance);
            for (const ClickArea &area : clickAreas(header->mouseRects, MaxMouseRecords))
                host.click(*instance, area.box.x + area.box.width / 2, area.box.y + area.box.height / 2);
            host.routine(*instance, "update", 0);
        }
        for (GaugeInstance *instance : instances)
            host.service(*instance, ServiceTakeDown);
    }
}

// A backend lent to one host after another, so that their modules all run in
// one process of the backend's own.
class LentBackend : public ModuleBackend {
public:
    explicit LentBackend(ModuleBackend &backend) : backend_(backend) {}
    std::string name() const override { return backend_.name(); }
    std::unique_ptr<Module> loadModule(const std::string &path, PanelServices *services) override
    {
        return backend_.loadModule(path, services);
    }
    bool libraryLoaded(const std::string &name) override { return backend_.libraryLoaded(name); }

private:
    ModuleBackend &backend_;
};

std::string usageText(const ProcessUsage &usage)
{
    return std::to_string(usage.openFiles) + " files, " + std::to_string(usage.mappings) + " file mappings, " +
           std::to_string(usage.loadedObjects) + " objects, " +
           (usage.heapBytes >= 0 ? std::to_string(usage.heapBytes) + " heap bytes, " : std::string()) +
           std::to_string(usage.residentKiB) + " KiB resident";
}

std::string usageText(const ModuleProcess::Usage &usage)
{
    return std::to_string(usage.libraries) + " libraries, " + std::to_string(usage.mappedBytes / 1024) +
           " KiB mapped, " + std::to_string(usage.heapBytes) + " heap bytes, " + std::to_string(usage.hostFunctions) +
           " host functions";
}

// What grew in the module process between two looks; any growth is a leak,
// since nothing but the cycles runs there.
void compare(Check &check, const ModuleProcess::Usage &start, const ModuleProcess::Usage &end)
{
    const struct {
        const char *what;
        uint64_t before, after;
    } measures[] = {
        {"loaded libraries", start.libraries, end.libraries},
        {"mapped bytes", start.mappedBytes, end.mappedBytes},
        {"heap bytes in use", start.heapBytes, end.heapBytes},
        {"host functions", start.hostFunctions, end.hostFunctions},
    };
    for (const auto &measure : measures)
        if (measure.after > measure.before)
            check.fail(std::string("emulated process: ") + measure.what + " grew from " +
                       std::to_string(measure.before) + " to " + std::to_string(measure.after));
}

} // namespace

void loadCycleChild(const std::string &path, const Options &options, ChildResult &result)
{
    Check check{.name = "load cycling"};
    Check unload{.name = "unloads"};
    constexpr size_t WarmUp = 5;
    // A leak grows the heap in both halves of the run; noise does not.
    constexpr long HeapSlackBytes = 16 * 1024;
    constexpr long ResidentSlackKiB = 1024;
    const size_t half = std::max<size_t>(options.loadCycles / 2, 1);

    // A backend with a process of its own (the x86 emulator) serves every
    // cycle's host, so that what a cycle leaves behind there adds up. Every
    // cycle's host lives at one address, so the backend's twin of its
    // services table is made once and found again.
    std::unique_ptr<ModuleBackend> shared = makeDefaultBackend();
    ModuleProcess *process = dynamic_cast<ModuleProcess *>(shared.get());
    if (!process)
        shared.reset();
    std::optional<Host> host;

    size_t cycles = 0;
    auto run = [&](size_t count) {
        for (size_t i = 0; i < count; ++i) {
            noteAction("load cycle " + std::to_string(++cycles) + " of " + path);
            host.emplace();
            if (shared)
                host->setBackend(std::make_unique<LentBackend>(*shared));
            loadCycle(*host, path);
            host.reset();
            const bool stays = shared ? shared->libraryLoaded(path)
                                      : libraryLoaded(path.find('/') == std::string::npos ? "./" + path : path);
            if (stays && unload.findingCount == 0)
                unload.warn("the module stays loaded after the host unloads it: its module-level state survives "
                            "into the next load");
        }
    };
    run(WarmUp);
    const ProcessUsage start = processUsage();
    const ModuleProcess::Usage emulatedStart = process ? process->usage() : ModuleProcess::Usage{};
    run(half);
    const ProcessUsage middle = processUsage();
    run(half);
    const ProcessUsage end = processUsage();
    const ModuleProcess::Usage emulatedEnd = process ? process->usage() : ModuleProcess::Usage{};

    if (end.openFiles > start.openFiles)
        check.fail("open files grew from " + std::to_string(start.openFiles) + " to " + std::to_string(end.openFiles));
    if (process) {
        // The module's libraries, mappings and heap are the module process's.
        // This process's heap and resident memory hold the x86 engine's cache
        // of code it translated, which grows with every load until the engine
        // flushes it: they say nothing about the module.
        compare(check, emulatedStart, emulatedEnd);
        check.detail = std::to_string(cycles) + " cycles in one emulated process; before: " +
                       usageText(emulatedStart) + "; after: " + usageText(emulatedEnd) + "; open files " +
                       std::to_string(start.openFiles) + " before, " + std::to_string(end.openFiles) +
                       " after; this process's heap, resident memory, file mappings and loaded objects: skipped "
                       "(emulated)";
        result.loadCycles += cycles;
        result.checks.push_back(check);
        result.checks.push_back(unload);
        return;
    }
    if (end.mappings > start.mappings)
        check.fail("file mappings grew from " + std::to_string(start.mappings) + " to " +
                   std::to_string(end.mappings));
    if (end.loadedObjects > start.loadedObjects)
        check.fail("loaded objects grew from " + std::to_string(start.loadedObjects) + " to " +
                   std::to_string(end.loadedObjects));
    if (start.heapBytes >= 0 && middle.heapBytes - start.heapBytes > HeapSlackBytes &&
        end.heapBytes - middle.heapBytes > HeapSlackBytes)
        check.fail("heap in use grew by " + std::to_string(end.heapBytes - start.heapBytes) + " bytes over " +
                   std::to_string(2 * half) + " cycles");
    if (middle.residentKiB - start.residentKiB > ResidentSlackKiB && end.residentKiB - middle.residentKiB > ResidentSlackKiB)
        check.warn("resident memory grew by " + std::to_string(end.residentKiB - start.residentKiB) + " KiB over " +
                   std::to_string(2 * half) + " cycles");
    check.detail = std::to_string(cycles) + " cycles; before: " + usageText(start) + "; after: " + usageText(end);
    result.loadCycles += cycles;
    result.checks.push_back(check);
    result.checks.push_back(unload);
}

} // namespace host::validate

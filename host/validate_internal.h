// The validator's parts, shared by its source files: where a loaded module
// lies in memory, the map of a gauge's records, the counting services table,
// and running a piece of work in a child process.
#pragma once

#include "host.h"
#include "module_backend.h"
#include "validate.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace host::validate {

// Bounds on every walk through module records, so that a record that never
// ends cannot hang the validator.
constexpr size_t MaxChainElements = 1024;
constexpr size_t MaxMouseRecords = 256;
constexpr size_t MaxFailureRecords = 64;
constexpr int32_t MaxTablePoints = 1024;
constexpr int32_t MaxIconCount = 4096;
constexpr int32_t MaxStringLength = 4096;
constexpr size_t MaxNameLength = 256;
constexpr int64_t MaxCoordinate = 1 << 20; // pixels, any box field

// ---------------------------------------------------------------- memory

// The address ranges of one loaded module, from its program headers, so that
// a pointer found in a record can be checked before it is followed. For a
// module of another backend (the x86 emulator), the backend's own account of
// where the records lie.
class ModuleImage {
public:
    // The loaded object that holds address, or nothing.
    static std::optional<ModuleImage> containing(const void *address);
    // A module loaded through a host: the backend's account when it gives
    // one, else the loaded object that holds its Linkage.
    static std::optional<ModuleImage> of(const Module &module);

    bool readable(const void *address, size_t size) const;
    // Writable after relocation: outside the read-only-after-relocation part.
    bool writable(const void *address, size_t size) const;
    bool executable(const void *address) const;
    // A NUL-terminated text of at most maxLength characters, wholly inside
    // the module; its length, or nothing.
    std::optional<size_t> textLength(const char *text, size_t maxLength) const;
    const std::string &fileName() const { return fileName_; }
    // Records that a backend mirrors from a process of its own. Such a
    // module comes loaded through a host, whose services table is already
    // stored in ImportTable; whether entry 0 held an address before that
    // store is the backend's to say, if it can.
    bool emulated() const { return memory_ != nullptr; }
    std::optional<bool> servicesHeldAtLoad() const;

private:
    const ModuleMemory *memory_ = nullptr; // the backend's account, if any
    struct Range {
        uintptr_t begin, end;
        bool write, execute;
    };
    std::vector<Range> ranges_;
    std::vector<std::pair<uintptr_t, uintptr_t>> readOnlyAfterRelocation_;
    std::string fileName_;
};

// The shared objects loaded in the process now, by path.
std::set<std::string> loadedObjects();

// The process the host's modules run in, when it is not this one (the x86
// emulator's), or null.
ModuleProcess *moduleProcess(Host &host);
// The libraries loaded now where the host's modules run: this process's
// shared objects by path, or the module process's library files by name.
std::set<std::string> loadedLibraries(Host &host);
// Hands the module another services table, as the host moving its own.
void storeServices(Module &module, PanelServices *services);

// ---------------------------------------------------------------- records

// What a structure walk found of one gauge: only records it could follow
// safely. The behaviour checks drive the gauge from this map.
struct GaugeMap {
    GaugeHeader *header = nullptr;
    std::string name;
    std::vector<ElementHeader *> chain; // index 0 the root; ends early on a fault
    bool chainSound = false;            // ended, no loop, every record followed
    const MouseRect *mouseRects = nullptr;
    size_t mouseRecordCount = 0;        // up to and including the end record
    bool mouseSound = false;
    std::vector<ClickArea> clickAreas;  // resolved to gauge pixels
    struct NamedRecord {
        const void *address;
        size_t size;
        std::string name;
    };
    std::vector<NamedRecord> otherRecords; // tables, failure lists, texts, the mouse list
    std::set<int32_t> variableIds;      // every source variable of the chain
};

// Size of an element record of that kind, or 0 for an unknown kind.
size_t elementSize(int32_t kind);

// A readable name of chain index i: `element 3 (Needle)`.
std::string elementName(size_t index, const ElementHeader *element);

struct ModuleMap {
    ModuleLinkage *linkage = nullptr;
    ModuleImports *imports = nullptr;
    std::vector<GaugeMap> gauges;
};

// The structure checks: walks the module's records from Linkage, adding
// its findings to checks, and returns the map of what it could follow.
// Runs no module code.
ModuleMap checkStructure(ModuleLinkage *linkage, ModuleImports *imports, const ModuleImage &image,
                         std::vector<Check> &checks);

// The checks that need the module file's bitmaps (present, twins of one
// size, click areas on the gauge).
void checkBitmaps(const std::string &path, const ModuleMap &map, std::vector<Check> &checks);

// ---------------------------------------------------------------- bytes

// A copy of record bytes that the module must leave alone, with a mask of
// the bits it may change (the HiddenFlag bit, a ModuleVar's value, ...).
class RecordSnapshot {
public:
    void add(const void *address, size_t size, std::string name);
    // Marks bits of the last record added as free to change.
    void allow(size_t offset, size_t size, uint8_t bits = 0xFF);
    // Takes the bytes as they are now.
    void take();
    // The names of the records whose guarded bits changed since take(),
    // with the offset of the first changed byte.
    std::vector<std::string> changes() const;

private:
    struct Record {
        const unsigned char *address;
        std::vector<unsigned char> bytes;
        std::vector<unsigned char> guard; // bits that must not change
        std::string name;
    };
    std::vector<Record> records_;
};

// Fills snapshot with every record of the gauge, marking what may change.
void addGaugeRecords(RecordSnapshot &snapshot, const GaugeMap &gauge);

// ---------------------------------------------------------------- services

// Who was running when a call came into the host.
enum class Caller { None, ModuleHook, GaugeCallback, ValueCallback, MouseFunction, Routine, Count };
const char *callerName(Caller caller);

// Two services tables (A and B) that count every call by entry and caller
// and forward the nine services to the active host. Every slot, reserved
// ones included, is filled, so a call through a wrong slot is seen too.
struct ServiceProbe {
    static constexpr int SlotCount = 41;
    struct Counts {
        uint64_t calls[static_cast<int>(Caller::Count)][SlotCount] = {};
        uint64_t total() const;
    };
    static PanelServices *table(int which); // 0 = A, 1 = B
    static Counts &counts(int which);
    static void reset();
    static Caller caller;
    // The module-level variables read through readVariable, by id.
    static std::set<int32_t> variablesRead;
};

// Sets the caller for the lifetime of the scope.
class CallerScope {
public:
    explicit CallerScope(Caller caller) : previous_(ServiceProbe::caller) { ServiceProbe::caller = caller; }
    ~CallerScope() { ServiceProbe::caller = previous_; }

private:
    Caller previous_;
};

const char *slotName(int slot);

// ---------------------------------------------------------------- processes

// Process resources that a leak would make grow.
struct ProcessUsage {
    long residentKiB = 0;
    long heapBytes = -1; // in use by malloc, -1 when the allocator does not say
    long openFiles = 0;
    long mappings = 0;
    long loadedObjects = 0;
};
ProcessUsage processUsage();

// What a child sends back: checks and counters, as text lines.
struct ChildResult {
    std::vector<Check> checks;
    size_t stressActions = 0;
    double stressSeconds = 0.0;
    size_t loadCycles = 0;
};

// The action a child is carrying out, kept where the parent can read it
// after the child died.
void noteAction(const std::string &action);

// Runs work in a child process (or in this one when isolate is false).
// A child that crashes, exits early or hangs adds a FAIL check named
// crashName for gauge, with the last noted action and how to replay.
ChildResult runIsolated(const std::function<void(ChildResult &)> &work, bool isolate, unsigned timeoutSeconds,
                        const std::string &gauge, const std::string &crashName, uint64_t seed);

// ---------------------------------------------------------------- behaviour

// Deterministic seed for one module file and gauge from the run's seed.
uint64_t derivedSeed(uint64_t seed, const std::string &moduleFile, const std::string &gauge);

// Structure checks of a module, in a fresh process: the module is loaded
// there first, so that whatever its loading does is seen.
void structureChild(const std::string &path, ChildResult &result);
// Behaviour checks of one gauge.
void behaviourChild(const std::string &path, const std::string &gauge, const Options &options,
                    ChildResult &result);
// Load cycling of a module.
void loadCycleChild(const std::string &path, const Options &options, ChildResult &result);

// The file name part of a path.
std::string baseName(const std::string &path);

} // namespace host::validate

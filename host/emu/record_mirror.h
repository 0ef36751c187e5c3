// The host's view of a module whose records live in emulated memory. The
// records are read through the 32-bit layout (layout32.h) into native records
// of gauge_abi.h, which the host reads as it reads a native module's; every
// function pointer becomes a native function (a thunk) that calls the
// emulated function in the 32-bit convention. Around every call into the
// module the mirror carries the records' changing fields across: what the
// host wrote goes into emulated memory before the call (pushTo), what the
// module wrote comes back after it (pullFrom).
//
// What is read is what the host reads: the Linkage gauge list up to its null
// entry, each gauge's name, root element (entry 0 of its element list), mouse
// list up to its end record; each element's next list up to its null entry,
// failure list up to its end record, needle table of nonlinearityCount
// points, tooltip texts and their data records.
#pragma once

#include "gauge_abi.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::emu {

class Machine;

// The emulated side of the thunks: calls in the 32-bit stdcall convention,
// with arguments already turned into emulated addresses and values.
class EmulatedCalls {
public:
    virtual ~EmulatedCalls() = default;
    virtual void callGauge(uint32_t function, GaugeHeader *gauge, int32_t service, uint32_t extra) = 0;
    virtual double callValue(uint32_t function, ElementHeader *element) = 0;
    virtual int32_t callMouse(uint32_t function, MousePosition *position, uint32_t flags) = 0;
    virtual void callRoutine(uint32_t function) = 0;
    virtual void callRoutineWithArgument(uint32_t function, uint32_t argument) = 0;
};

class RecordMirror {
public:
    // name: the module's file, for messages.
    RecordMirror(Machine &machine, EmulatedCalls &calls, std::string name);
    ~RecordMirror(); // gives its thunks back
    RecordMirror(const RecordMirror &) = delete;
    RecordMirror &operator=(const RecordMirror &) = delete;

    // The records reachable from the two exported ones. services is what the
    // host's ImportTable entry 0 shows (the emulated one holds the emulated
    // table). Throw HostError naming a record that cannot be read.
    ModuleLinkage *readLinkage(uint32_t address);
    ModuleImports *readImports(uint32_t address, PanelServices *services);

    // The emulated address of a mirrored record, or of a ModuleVar inside
    // one; 0 for null; throws for memory the mirror does not know.
    uint32_t emulatedAddress(const void *record) const;
    // The native element at an emulated address, read now if it has not been.
    ElementHeader *element(uint32_t address);
    // The mirrored ModuleVar at an emulated address, or null.
    ModuleVar *moduleVar(uint32_t address);

    // Host to emulated memory, before emulated code runs; emulated memory to
    // host, after. allocate gives emulated memory for text buffers.
    void pushTo(const std::function<uint32_t(uint32_t)> &allocate);
    void pullFrom();

    // The emulated range of the record that holds the native bytes
    // [address, address + size), or nothing for memory the mirror does not
    // know.
    std::optional<std::pair<uint32_t, uint32_t>> emulatedRange(const void *address, size_t size) const;
    // The emulated function a thunk of this mirror calls, or 0.
    uint32_t emulatedFunction(const void *function) const;

    // The text buffers handed to the module in emulated memory, which the
    // mirror's owner gives back when the module goes.
    std::vector<uint32_t> textBuffers() const;

    // How many records are mirrored (for tests).
    size_t recordCount() const { return blocks_.size(); }

private:
    enum class Kind { Linkage, Imports, Gauge, Text, RootList, ElementList, Element, FailureList, Table, MouseList, Words };
    // A run of bytes copied as they are in both layouts.
    struct Field {
        uint32_t emulated;
        uint32_t native;
        uint32_t size;
    };
    struct Block {
        Kind kind;
        uint32_t address;       // emulated
        uint32_t size;          // emulated bytes
        std::shared_ptr<void> storage;
        size_t nativeSize;
        std::vector<Field> fields;           // scalars, synchronised both ways
        std::vector<uint32_t> pointerFields; // emulated offsets that must not change
        std::vector<unsigned char> image;    // the emulated bytes as last synchronised
        // A StringElement's text: native buffer and its emulated twin.
        bool hasText = false;
        char *nativeText = nullptr;
        uint32_t textBuffer = 0;
        uint32_t textSize = 0;
        std::vector<unsigned char> textImage;
    };

    Block &add(Kind kind, uint32_t address, uint32_t size, size_t nativeSize);
    Block *find(Kind kind, uint32_t address) const;
    std::vector<unsigned char> readRecord(uint32_t address, uint32_t size, const std::string &what) const;
    [[noreturn]] void fault(const std::string &message) const;

    const char *text(uint32_t address, const std::string &what, size_t maxLength);
    GaugeHeader *gauge(uint32_t address);
    ElementHeader **elementList(uint32_t address, bool rootOnly, const std::string &what);
    FailureRecord *failureList(uint32_t address);
    NonlinearityPoint *table(uint32_t address, int32_t count);
    MouseRect *mouseList(uint32_t address);
    const void *words(uint32_t address);
    ModuleVar &fillModuleVar(Block &block, uint32_t emulatedOffset, size_t nativeOffset);

    template <typename Function>
    Function thunk(uint32_t address);

    Machine &machine_;
    EmulatedCalls &calls_;
    std::string name_;
    std::vector<std::unique_ptr<Block>> blocks_;
    std::map<std::pair<int, uint32_t>, Block *> byAddress_;
    std::map<uintptr_t, Block *> byNative_; // by native start address
    std::map<uint32_t, std::pair<Block *, size_t>> moduleVars_; // emulated address: block, native offset
    std::vector<std::pair<int, size_t>> thunks_; // pool, slot
};

} // namespace host::emu

// An emulated 32-bit Windows process with one thread: the loader that maps
// PE images into the machine (base relocations, imports, thread-local
// storage, the entry hook), the library calls LoadLibraryA, GetModuleHandleA,
// GetProcAddress and FreeLibrary with their reference counts and search
// order, the process heap, and the system libraries the images import, served
// by host functions (system_calls.cpp).
#pragma once

#include "machine.h"
#include "pe_image.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host::emu {

// Entry hook notifications.
enum DllReason : uint32_t { ProcessDetach = 0, ProcessAttach = 1 };

// Windows error codes the emulated calls set.
enum WindowsError : uint32_t {
    ErrorSuccess = 0,
    ErrorInvalidHandle = 6,
    ErrorNotEnoughMemory = 8,
    ErrorInvalidParameter = 87,
    ErrorInsufficientBuffer = 122,
    ErrorModNotFound = 126,
    ErrorProcNotFound = 127,
    ErrorDllInitFailed = 1114,
    ErrorInvalidAddress = 487,
};

struct Image {
    std::string path;  // the file, for images from a file
    std::string name;  // file name, as module lookups compare it
    uint32_t base = 0; // the handle
    uint32_t size = 0;
    uint32_t preferredBase = 0;
    uint32_t entry = 0; // absolute address of the entry hook, 0 for none
    int references = 0;
    bool system = false;      // a library the host serves
    bool initialised = false; // the entry hook returned success
    std::vector<uint32_t> tlsCallbacks;
    int tlsIndex = -1;
    uint32_t tlsBlock = 0;
    std::map<std::string, uint32_t> exports;    // by name: address, or 0 for a forwarder
    std::map<std::string, std::string> forwarders; // by name: "LIBRARY.name"
    std::map<uint32_t, std::string> ordinals;   // ordinal: export name ("#n" for nameless)
    std::map<uint32_t, uint32_t> ordinalAddresses;
    std::vector<Image *> dependencies;          // references taken by its imports
    std::vector<std::string> missingImports;    // "LIBRARY!name", served by stopping stubs
    std::vector<PeSection> sections;

    bool contains(uint32_t address) const { return address >= base && address - base < size; }
};

class Process {
public:
    // The first addresses of the heap and of the images.
    static constexpr uint32_t HeapBase = 0x02000000, HeapLimit = 0x0f000000;
    static constexpr uint32_t ImageFloor = 0x10000000, ImageLimit = 0x70000000;
    static constexpr uint32_t SystemBase = 0x7e000000;

    Process();
    // The end of the process: every image still loaded hears of it.
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    Machine &machine() { return machine_; }

    // Loads a module file by its path (absolute, or relative to the working
    // folder; never searched for), as the host does; takes one reference.
    // Throws HostError saying why the file cannot be loaded.
    Image &loadFile(const std::string &path);
    // LoadLibraryA: a bare name is looked for among the loaded images, then
    // the system libraries, then beside the calling image, then in the working
    // folder; ".dll" is added to a name without an extension. Takes one
    // reference; null (and the last error set) when nothing is found.
    Image *loadLibrary(const std::string &name, uint32_t callerAddress);
    // GetModuleHandleA: a loaded image of that name, or null; no reference.
    Image *loadedLibrary(const std::string &name) const;
    // GetProcAddress by name or ordinal: the address, or 0.
    uint32_t procAddress(Image &image, const std::string &name);
    uint32_t procAddress(Image &image, uint32_t ordinal);
    // FreeLibrary: gives back one reference; false for an unknown handle.
    bool freeLibrary(uint32_t handle);

    Image *imageAt(uint32_t handle) const;
    Image *imageContaining(uint32_t address) const;
    std::vector<Image *> images() const;
    // Names an address: "korvo0.gau+0x1a2b", or empty.
    std::string describe(uint32_t address) const;

    // ---- heap (the C runtime's malloc and the host's own records)
    uint32_t allocate(uint32_t size);           // 16-byte aligned; 0 when full
    bool release(uint32_t address);             // false for an unknown block
    uint32_t allocationSize(uint32_t address) const; // 0 for an unknown block
    uint64_t heapInUse() const;                 // bytes of the blocks handed out

    // ---- the thread's last error, where GetLastError finds it
    uint32_t lastError() const;
    void setLastError(uint32_t error);

    // ---- system libraries
    // A function of a system library, served by the host.
    void addSystemFunction(const std::string &library, const std::string &name, Convention convention,
                           uint32_t argumentCount, HostFunction function);
    // An exported variable of a system library, at an address of the host's.
    void addSystemData(const std::string &library, const std::string &name, uint32_t address);
    // The application's own handle (GetModuleHandleA of null).
    uint32_t applicationHandle() const { return application_; }

    // Calls an emulated function in the stdcall convention, naming the call
    // in errors.
    uint32_t callStdcall(uint32_t address, const std::vector<uint32_t> &arguments, const std::string &what)
    {
        return machine_.call(address, arguments, Convention::Stdcall, what);
    }

private:
    Image &mapImage(const std::string &path, const std::string &name);
    void relocate(Image &image, const PeFile &file, uint32_t delta);
    void resolveImports(Image &image, const PeFile &file);
    void readExports(Image &image, const PeFile &file);
    void setUpTls(Image &image, const PeFile &file);
    void protectSections(Image &image, const PeFile &file);
    void notify(Image &image, DllReason reason, uint32_t reserved);
    void unload(Image &image);
    Image *systemLibrary(const std::string &name) const;
    uint32_t missingImportStub(const std::string &library, const std::string &name);
    Image *findFile(const std::string &fileName, uint32_t callerAddress);
    Image &loadAndInitialise(const std::string &path);

    Machine machine_;
    std::vector<std::unique_ptr<Image>> images_; // in load order
    std::map<std::string, uint32_t> missingStubs_;
    std::map<uint32_t, uint32_t> heapUsed_;  // address: size
    std::map<uint32_t, uint32_t> heapFree_;  // address: size
    uint32_t heapTop_ = HeapBase;            // first address never handed out
    uint32_t heapMapped_ = HeapBase;         // first address not mapped
    std::vector<bool> tlsIndexes_;
    uint32_t application_ = 0;
    uint32_t nextSystemBase_ = SystemBase;
    bool ending_ = false;
};

// Registers the system library functions the images may import
// (system_calls.cpp).
void addSystemLibraries(Process &process);

// The file name part of a path, either separator.
std::string fileNameOf(const std::string &path);
// Case-insensitive comparison of library names, as Windows compares them.
bool sameLibraryName(const std::string &a, const std::string &b);

} // namespace host::emu

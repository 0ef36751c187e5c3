// One 32-bit x86 processor with its memory, as the thread of an emulated
// Windows process: the CPU core is the unicorn engine; this class adds the
// memory bookkeeping, the thread's stack and environment block, the way
// emulated code reaches functions of the host, and calls from the host into
// emulated code in the 32-bit conventions, checked as they return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct uc_struct;

namespace host::emu {

// Page permissions, as the engine counts them.
enum Permission : uint32_t {
    PermissionRead = 1,
    PermissionWrite = 2,
    PermissionExecute = 4,
};

constexpr uint32_t PageSize = 0x1000;

enum class Convention {
    Stdcall, // the callee removes its arguments
    Cdecl,   // the caller does
};

class Machine;

// The view a host function has of the call that reached it.
class HostCall {
public:
    HostCall(Machine &machine, uint32_t stack) : machine_(machine), stack_(stack) {}

    Machine &machine() const { return machine_; }
    // Where the emulated caller continues.
    uint32_t returnAddress() const;
    // The 32-bit argument at that index, left to right.
    uint32_t argument(unsigned index) const;
    // Where that argument lies on the stack (for variable argument lists).
    uint32_t argumentAddress(unsigned index) const { return stack_ + 4 + 4 * index; }
    // The value the caller finds in EAX.
    void setResult(uint32_t value) { result_ = value; }
    uint32_t result() const { return result_; }

private:
    Machine &machine_;
    uint32_t stack_;
    uint32_t result_ = 0;
};

using HostFunction = std::function<void(HostCall &)>;

class Machine {
public:
    // Fixed places of the address space.
    static constexpr uint32_t StackBottom = 0x00100000; // 1 MiB of stack below StackTop
    static constexpr uint32_t StackTop = 0x00200000;
    static constexpr uint32_t StubBase = 0x7f000000;   // host function stubs
    static constexpr uint32_t StubLimit = 0x7f100000;
    static constexpr uint32_t ThreadBlock = 0x7ffde000; // the thread environment block
    static constexpr uint32_t ProcessBlock = 0x7ffdf000;
    static constexpr uint32_t TlsArray = 0x7ffdd000;    // the thread's TLS data pointers
    static constexpr uint32_t DescriptorTable = 0x7ffdc000;
    // Offsets into the thread environment block.
    static constexpr uint32_t TebStackBase = 0x04, TebStackLimit = 0x08, TebSelf = 0x18, TebTlsPointer = 0x2c,
                              TebProcess = 0x30, TebLastError = 0x34, TebTlsSlots = 0xe10;
    static constexpr uint32_t TlsSlotCount = 64;

    Machine();
    ~Machine();
    Machine(const Machine &) = delete;
    Machine &operator=(const Machine &) = delete;

    // ---- memory; addresses and sizes are whole pages where it says so

    void map(uint32_t address, uint32_t size, uint32_t permissions);   // pages
    void unmap(uint32_t address, uint32_t size);                       // pages
    void protect(uint32_t address, uint32_t size, uint32_t permissions); // pages
    // The permissions of the page that holds address; nullopt when unmapped.
    std::optional<uint32_t> permissions(uint32_t address) const;
    // True when every byte of the range is mapped (and has those permissions).
    bool mapped(uint32_t address, uint32_t size, uint32_t permissions = 0) const;
    // The first address at or after from, aligned as asked, where size bytes
    // are unmapped and not below floor or above limit; nullopt when none is.
    std::optional<uint32_t> findFree(uint32_t size, uint32_t alignment, uint32_t floor, uint32_t limit) const;
    // Bytes mapped now, all pages counted.
    uint64_t mappedBytes() const;

    // Reads and writes of emulated memory; they throw HostError on memory
    // that is not mapped. Permissions are the emulated code's, not the host's.
    void read(uint32_t address, void *out, size_t size) const;
    void write(uint32_t address, const void *data, size_t size);
    uint32_t read32(uint32_t address) const;
    void write32(uint32_t address, uint32_t value);
    std::vector<unsigned char> readBytes(uint32_t address, size_t size) const;
    // A NUL-terminated text of at most maxLength characters; nullopt when it
    // is longer or runs into unmapped memory.
    std::optional<std::string> readText(uint32_t address, size_t maxLength) const;

    // ---- host functions

    // A function of the host that emulated code calls like any other, in the
    // given convention with argumentCount 32-bit arguments; its address.
    uint32_t addHostFunction(std::string name, Convention convention, uint32_t argumentCount, HostFunction function);
    // The name given to the host function at that address, or null.
    const std::string *hostFunctionName(uint32_t address) const;
    // How many host functions have been added.
    size_t hostFunctionCount() const { return stubs_.size(); }

    // ---- calls into emulated code

    // Calls the function at address with 32-bit arguments and returns EAX.
    // Checks on return that the callee kept the convention: the stack as the
    // convention leaves it, the callee-saved registers and the floating-point
    // stack as they were. Throws HostError when the code faults, calls a
    // missing import, runs away, or breaks the convention.
    uint32_t call(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                  const std::string &what);
    // The same for a function whose result is a float64, which the 32-bit
    // conventions return on top of the x87 stack; the caller's side pops it
    // into memory as a compiled caller would.
    double callReturningDouble(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                               const std::string &what);

    // Nesting depth of calls now running (0 when the host has control).
    int depth() const { return depth_; }
    // Longest a call from the host may run, nested calls included, in
    // microseconds of host time.
    void setTimeLimit(uint64_t microseconds) { timeLimit_ = microseconds; }

    // Names an address for messages, for example "korvo0.gau+0x1a2b".
    std::function<std::string(uint32_t)> describeAddress;

    // Stops the running emulation with an error (for host functions that
    // find the emulated program at fault, and for stubs of missing imports).
    [[noreturn]] void fail(const std::string &message);

    // The engine's last error for an address: used by the hooks.
    struct Fault {
        bool pending = false;
        int type = 0;
        uint64_t address = 0;
        int size = 0;
    };

    uint32_t reg(int id) const;
    void setReg(int id, uint32_t value);

private:
    struct Stub {
        std::string name;
        Convention convention;
        uint32_t argumentCount;
        HostFunction function;
    };

    uint32_t run(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                 const std::string &what, bool returnsDouble, double *result);
    void onInterrupt(uint32_t number);
    std::string where(uint32_t address) const;
    void setPermissions(uint32_t address, uint32_t size, uint32_t permissions, bool present);
    void setUpThread();

    static void interruptHook(uc_struct *engine, uint32_t number, void *self);
    static void blockHook(uc_struct *engine, uint64_t address, uint32_t size, void *self);
    static bool invalidMemoryHook(uc_struct *engine, int type, uint64_t address, int size, int64_t value,
                                  void *self);

    uc_struct *engine_ = nullptr;
    std::vector<uint8_t> pages_; // per page: 0 unmapped, else 0x80 | permissions
    std::vector<Stub> stubs_;
    int depth_ = 0;
    uint64_t timeLimit_ = 20'000'000;
    std::exception_ptr pendingError_;
    Fault fault_;
    size_t hooks_[3] = {};
    // The time limit of a call from the host, checked every so many blocks
    // of code run (a timer thread per call would cost more than most calls).
    uint64_t blocks_ = 0;
    int64_t deadline_ = 0; // steady clock, microseconds
    bool overtime_ = false;
};

} // namespace host::emu

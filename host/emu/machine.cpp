#include "machine.h"

#include "host.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace host::emu {
namespace {

constexpr uint32_t PageCount = 1u << 20;
constexpr uint8_t PagePresent = 0x80;

// The stub page: a plain return lands on StopAddress, which never runs; a
// float64 result comes back through PopResultStub, which stores the top of
// the x87 stack as a compiled caller would, then reaches its own stop.
constexpr uint32_t StopAddress = Machine::StubBase;
constexpr uint32_t PopResultStub = Machine::StubBase + 0x10;
constexpr uint32_t PopResultStop = PopResultStub + 6;
constexpr uint32_t ResultSlot = Machine::StubBase + 0x1000; // a writable page
constexpr uint32_t FunctionStubs = Machine::StubBase + 0x2000;
constexpr uint32_t FunctionStubSize = 8;

// The x87 control word a Windows thread starts with: every exception masked,
// rounding to nearest, and results rounded to 53 bits.
constexpr uint32_t WindowsFpuControl = 0x27f;
constexpr uint32_t DefaultMxcsr = 0x1f80;

// The descriptors: null, flat code, flat data, and the thread block for FS.
constexpr uint16_t CodeSelector = 1 << 3, DataSelector = 2 << 3, ThreadSelector = 3 << 3;

uint64_t descriptor(uint32_t base, uint32_t limit, uint8_t access, uint8_t flags)
{
    return (uint64_t(limit) & 0xffff) | ((uint64_t(base) & 0xffffff) << 16) | (uint64_t(access) << 40) |
           (((uint64_t(limit) >> 16) & 0xf) << 48) | (uint64_t(flags & 0xf) << 52) |
           (((uint64_t(base) >> 24) & 0xff) << 56);
}

std::string hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

void check(uc_err error, const char *what)
{
    if (error != UC_ERR_OK)
        throw HostError(std::string("x86 emulator: ") + what + ": " + uc_strerror(error));
}

uint32_t fpuTop(uint32_t status)
{
    return (status >> 11) & 7;
}

int64_t nowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr uint64_t BlocksBetweenClockReads = 1 << 16;

} // namespace

uint32_t HostCall::returnAddress() const
{
    return machine_.read32(stack_);
}

uint32_t HostCall::argument(unsigned index) const
{
    return machine_.read32(argumentAddress(index));
}

// ---------------------------------------------------------------- set-up

Machine::Machine() : pages_(PageCount, 0)
{
    check(uc_open(UC_ARCH_X86, UC_MODE_32, &engine_), "cannot start the engine");
    check(uc_hook_add(engine_, &hooks_[0], UC_HOOK_INTR, reinterpret_cast<void *>(&Machine::interruptHook), this, 1,
                      0),
          "cannot watch interrupts");
    check(uc_hook_add(engine_, &hooks_[1], UC_HOOK_MEM_INVALID, reinterpret_cast<void *>(&Machine::invalidMemoryHook),
                      this, 1, 0),
          "cannot watch memory faults");
    check(uc_hook_add(engine_, &hooks_[2], UC_HOOK_BLOCK, reinterpret_cast<void *>(&Machine::blockHook), this, 1, 0),
          "cannot watch the time");

    map(StackBottom, StackTop - StackBottom, PermissionRead | PermissionWrite);
    // Stub pages: the control stubs, the result slot, then host functions
    // (mapped as they are added).
    map(StubBase, PageSize, PermissionRead | PermissionExecute);
    map(ResultSlot, PageSize, PermissionRead | PermissionWrite);
    const unsigned char stop[] = {0xf4};
    write(StopAddress, stop, sizeof stop);
    unsigned char pop[6] = {0xdd, 0x1d}; // fstp qword ptr [ResultSlot]
    const uint32_t slot = ResultSlot;
    std::memcpy(pop + 2, &slot, 4);
    write(PopResultStub, pop, sizeof pop);
    write(PopResultStop, stop, sizeof stop);
    setUpThread();
}

Machine::~Machine()
{
    if (engine_)
        uc_close(engine_);
}

void Machine::setUpThread()
{
    map(DescriptorTable, PageSize, PermissionRead);
    map(TlsArray, PageSize, PermissionRead | PermissionWrite);
    map(ThreadBlock, PageSize, PermissionRead | PermissionWrite);
    map(ProcessBlock, PageSize, PermissionRead | PermissionWrite);

    const uint64_t table[4] = {
        0,
        descriptor(0, 0xfffff, 0x9b, 0xc), // code, 4 GiB
        descriptor(0, 0xfffff, 0x93, 0xc), // data, 4 GiB
        descriptor(ThreadBlock, PageSize - 1, 0x93, 0x4),
    };
    write(DescriptorTable, table, sizeof table);
    uc_x86_mmr gdtr{0, DescriptorTable, sizeof table - 1, 0};
    check(uc_reg_write(engine_, UC_X86_REG_GDTR, &gdtr), "cannot set the descriptor table");
    // Flat 32-bit data and stack segments (the stack one must be 32-bit for
    // ESP, not SP, to address it), and FS on the thread block.
    const int data = DataSelector, thread = ThreadSelector;
    check(uc_reg_write(engine_, UC_X86_REG_SS, &data), "cannot set SS");
    check(uc_reg_write(engine_, UC_X86_REG_DS, &data), "cannot set DS");
    check(uc_reg_write(engine_, UC_X86_REG_ES, &data), "cannot set ES");
    check(uc_reg_write(engine_, UC_X86_REG_FS, &thread), "cannot set FS");
    (void)CodeSelector;

    // The fields of the thread block that compiled code and its runtime read.
    write32(ThreadBlock + 0x00, 0xffffffff); // no exception handler registered
    write32(ThreadBlock + TebStackBase, StackTop);
    write32(ThreadBlock + TebStackLimit, StackBottom);
    write32(ThreadBlock + TebSelf, ThreadBlock);
    write32(ThreadBlock + 0x20, 0x100); // process id
    write32(ThreadBlock + 0x24, 0x104); // thread id
    write32(ThreadBlock + TebTlsPointer, TlsArray);
    write32(ThreadBlock + TebProcess, ProcessBlock);

    setReg(UC_X86_REG_FPCW, WindowsFpuControl);
    setReg(UC_X86_REG_MXCSR, DefaultMxcsr);
}

// ---------------------------------------------------------------- memory

void Machine::setPermissions(uint32_t address, uint32_t size, uint32_t permissions, bool present)
{
    for (uint64_t page = address / PageSize; page < (uint64_t(address) + size) / PageSize; ++page)
        pages_[page] = present ? static_cast<uint8_t>(PagePresent | permissions) : 0;
}

void Machine::map(uint32_t address, uint32_t size, uint32_t permissions)
{
    if (address % PageSize || size % PageSize || size == 0)
        throw HostError("x86 emulator: mapping of " + hex(address) + " is not in whole pages");
    if (uc_err error = uc_mem_map(engine_, address, size, permissions); error != UC_ERR_OK)
        throw HostError("x86 emulator: cannot map " + std::to_string(size) + " bytes at " + hex(address) + ": " +
                        uc_strerror(error));
    setPermissions(address, size, permissions, true);
}

void Machine::unmap(uint32_t address, uint32_t size)
{
    check(uc_mem_unmap(engine_, address, size), "cannot unmap memory");
    // Code once translated at these addresses must not outlive them.
    uc_ctl_remove_cache(engine_, address, uint64_t(address) + size);
    setPermissions(address, size, 0, false);
}

void Machine::protect(uint32_t address, uint32_t size, uint32_t permissions)
{
    check(uc_mem_protect(engine_, address, size, permissions), "cannot change page permissions");
    uc_ctl_remove_cache(engine_, address, uint64_t(address) + size);
    setPermissions(address, size, permissions, true);
}

std::optional<uint32_t> Machine::permissions(uint32_t address) const
{
    const uint8_t page = pages_[address / PageSize];
    if (!(page & PagePresent))
        return std::nullopt;
    return page & 7u;
}

bool Machine::mapped(uint32_t address, uint32_t size, uint32_t permissions) const
{
    if (size == 0)
        return true;
    const uint64_t last = uint64_t(address) + size - 1;
    if (last > 0xffffffffu)
        return false;
    for (uint64_t page = address / PageSize; page <= last / PageSize; ++page) {
        const uint8_t bits = pages_[page];
        if (!(bits & PagePresent) || (bits & permissions) != permissions)
            return false;
    }
    return true;
}

std::optional<uint32_t> Machine::findFree(uint32_t size, uint32_t alignment, uint32_t floor, uint32_t limit) const
{
    const uint64_t pages = (uint64_t(size) + PageSize - 1) / PageSize;
    for (uint64_t start = (uint64_t(floor) + alignment - 1) / alignment * alignment;
         start + pages * PageSize <= limit; start += alignment) {
        bool free = true;
        for (uint64_t page = start / PageSize; page < start / PageSize + pages; ++page)
            if (pages_[page] & PagePresent) {
                free = false;
                break;
            }
        if (free)
            return static_cast<uint32_t>(start);
    }
    return std::nullopt;
}

uint64_t Machine::mappedBytes() const
{
    uint64_t pages = 0;
    for (uint8_t page : pages_)
        pages += (page & PagePresent) != 0;
    return pages * PageSize;
}

void Machine::read(uint32_t address, void *out, size_t size) const
{
    if (!mapped(address, static_cast<uint32_t>(size)) ||
        uc_mem_read(engine_, address, out, size) != UC_ERR_OK)
        throw HostError("x86 emulator: read of " + std::to_string(size) + " bytes at " + hex(address) +
                        ", which is not mapped");
}

void Machine::write(uint32_t address, const void *data, size_t size)
{
    if (!mapped(address, static_cast<uint32_t>(size)) ||
        uc_mem_write(engine_, address, data, size) != UC_ERR_OK)
        throw HostError("x86 emulator: write of " + std::to_string(size) + " bytes at " + hex(address) +
                        ", which is not mapped");
}

uint32_t Machine::read32(uint32_t address) const
{
    uint32_t value = 0;
    read(address, &value, 4);
    return value;
}

void Machine::write32(uint32_t address, uint32_t value)
{
    write(address, &value, 4);
}

std::vector<unsigned char> Machine::readBytes(uint32_t address, size_t size) const
{
    std::vector<unsigned char> bytes(size);
    if (size)
        read(address, bytes.data(), size);
    return bytes;
}

std::optional<std::string> Machine::readText(uint32_t address, size_t maxLength) const
{
    std::string text;
    while (text.size() <= maxLength) {
        const uint32_t at = address + static_cast<uint32_t>(text.size());
        if (at < address || !mapped(at, 1))
            return std::nullopt;
        // Read up to the end of the page at once.
        const uint32_t chunk = std::min<uint32_t>(PageSize - at % PageSize, static_cast<uint32_t>(maxLength + 1 - text.size()));
        char buffer[PageSize];
        uc_mem_read(engine_, at, buffer, chunk);
        const char *end = static_cast<const char *>(std::memchr(buffer, 0, chunk));
        if (end) {
            text.append(buffer, static_cast<size_t>(end - buffer));
            return text;
        }
        text.append(buffer, chunk);
    }
    return std::nullopt;
}

uint32_t Machine::reg(int id) const
{
    uint64_t value = 0;
    uc_reg_read(engine_, id, &value);
    return static_cast<uint32_t>(value);
}

void Machine::setReg(int id, uint32_t value)
{
    uint64_t wide = value;
    uc_reg_write(engine_, id, &wide);
}

// ---------------------------------------------------------------- host functions

uint32_t Machine::addHostFunction(std::string name, Convention convention, uint32_t argumentCount,
                                  HostFunction function)
{
    const uint32_t address = FunctionStubs + static_cast<uint32_t>(stubs_.size()) * FunctionStubSize;
    if (address + FunctionStubSize > StubLimit)
        throw HostError("x86 emulator: too many host functions");
    if (!mapped(address, FunctionStubSize))
        map(address & ~(PageSize - 1), PageSize, PermissionRead | PermissionExecute);
    // int 0x80 traps into the host; the ret that follows returns as the
    // convention has it.
    unsigned char code[FunctionStubSize] = {0xcd, 0x80, 0xc3, 0x90, 0x90, 0x90, 0x90, 0x90};
    if (convention == Convention::Stdcall && argumentCount > 0) {
        const uint16_t bytes = static_cast<uint16_t>(4 * argumentCount);
        code[2] = 0xc2;
        std::memcpy(code + 3, &bytes, 2);
    }
    write(address, code, sizeof code);
    stubs_.push_back({std::move(name), convention, argumentCount, std::move(function)});
    return address;
}

const std::string *Machine::hostFunctionName(uint32_t address) const
{
    if (address < FunctionStubs || (address - FunctionStubs) % FunctionStubSize)
        return nullptr;
    const size_t index = (address - FunctionStubs) / FunctionStubSize;
    return index < stubs_.size() ? &stubs_[index].name : nullptr;
}

void Machine::interruptHook(uc_struct *, uint32_t number, void *self)
{
    static_cast<Machine *>(self)->onInterrupt(number);
}

void Machine::onInterrupt(uint32_t number)
{
    try {
        const uint32_t next = reg(UC_X86_REG_EIP);
        const uint32_t stub = next - 2;
        const bool ours = number == 0x80 && stub >= FunctionStubs && (stub - FunctionStubs) % FunctionStubSize == 0 &&
                          (stub - FunctionStubs) / FunctionStubSize < stubs_.size();
        if (!ours) {
            const char *name = number == 0 ? " (divide error)" : number == 3 ? " (breakpoint)" : number == 4 ? " (overflow)" : "";
            fail("the program raised interrupt " + std::to_string(number) + name + " at " + where(stub));
        }
        Stub &entry = stubs_[(stub - FunctionStubs) / FunctionStubSize];
        HostCall call(*this, reg(UC_X86_REG_ESP));
        entry.function(call);
        setReg(UC_X86_REG_EAX, call.result());
    } catch (...) {
        if (!pendingError_)
            pendingError_ = std::current_exception();
        uc_emu_stop(engine_);
    }
}

void Machine::blockHook(uc_struct *engine, uint64_t, uint32_t, void *self)
{
    auto &machine = *static_cast<Machine *>(self);
    if (++machine.blocks_ % BlocksBetweenClockReads == 0 && nowMicroseconds() > machine.deadline_) {
        machine.overtime_ = true;
        uc_emu_stop(engine);
    }
}

bool Machine::invalidMemoryHook(uc_struct *, int type, uint64_t address, int size, int64_t, void *self)
{
    auto &machine = *static_cast<Machine *>(self);
    machine.fault_ = {true, type, address, size};
    return false;
}

void Machine::fail(const std::string &message)
{
    throw HostError(message);
}

std::string Machine::where(uint32_t address) const
{
    if (const std::string *name = hostFunctionName(address))
        return *name;
    if (describeAddress) {
        std::string text = describeAddress(address);
        if (!text.empty())
            return text;
    }
    return hex(address);
}

// ---------------------------------------------------------------- calls

uint32_t Machine::call(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                       const std::string &what)
{
    return run(address, arguments, convention, what, false, nullptr);
}

double Machine::callReturningDouble(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                                    const std::string &what)
{
    double result = 0.0;
    run(address, arguments, convention, what, true, &result);
    return result;
}

uint32_t Machine::run(uint32_t address, const std::vector<uint32_t> &arguments, Convention convention,
                      const std::string &what, bool returnsDouble, double *result)
{
    if (depth_ >= 32)
        fail("x86 emulator: calls nest too deeply calling " + what);
    // A nested call (a host function calling back into emulated code) runs
    // below the caller's stack and gives the caller its registers back.
    uc_context *saved = nullptr;
    if (depth_ > 0) {
        check(uc_context_alloc(engine_, &saved), "cannot save the processor");
        uc_context_save(engine_, saved);
    }
    struct Restore {
        Machine &machine;
        uc_context *saved;
        uint32_t eip;
        ~Restore()
        {
            if (!saved)
                return;
            uc_context_restore(machine.engine_, saved);
            machine.setReg(UC_X86_REG_EIP, eip);
            uc_context_free(saved);
        }
    } restore{*this, saved, saved ? reg(UC_X86_REG_EIP) : 0};

    uint32_t stack = depth_ > 0 ? reg(UC_X86_REG_ESP) - 64 : StackTop - 16;
    stack = (stack - 4 * static_cast<uint32_t>(arguments.size())) & ~15u;
    if (stack < StackBottom + 0x4000)
        fail("x86 emulator: the stack is exhausted calling " + what);
    for (size_t i = 0; i < arguments.size(); ++i)
        write32(stack + 4 * static_cast<uint32_t>(i), arguments[i]);
    stack -= 4;
    write32(stack, returnsDouble ? PopResultStub : StopAddress);
    const uint32_t until = returnsDouble ? PopResultStop : StopAddress;

    if (depth_ == 0) {
        blocks_ = 0;
        overtime_ = false;
        deadline_ = nowMicroseconds() + static_cast<int64_t>(timeLimit_);
        setReg(UC_X86_REG_EBP, 0);
        // A fresh floating-point state for every call from the host.
        setReg(UC_X86_REG_FPCW, WindowsFpuControl);
        setReg(UC_X86_REG_FPSW, 0);
        setReg(UC_X86_REG_FPTAG, 0xffff);
    }
    setReg(UC_X86_REG_ESP, stack);
    const uint32_t kept[4] = {reg(UC_X86_REG_EBX), reg(UC_X86_REG_ESI), reg(UC_X86_REG_EDI), reg(UC_X86_REG_EBP)};
    const uint32_t top = fpuTop(reg(UC_X86_REG_FPSW));
    fault_ = {};

    ++depth_;
    const uc_err error = uc_emu_start(engine_, address, until, 0, 0);
    --depth_;

    if (pendingError_) {
        std::exception_ptr pending = pendingError_;
        pendingError_ = nullptr;
        std::rethrow_exception(pending);
    }
    const uint32_t pc = reg(UC_X86_REG_EIP);
    if (error != UC_ERR_OK) {
        std::string message = "x86 emulator: " + what + " stopped at " + where(pc) + ": ";
        if (fault_.pending) {
            const char *kind = "access";
            switch (fault_.type) {
            case UC_MEM_READ_UNMAPPED: kind = "read of unmapped memory"; break;
            case UC_MEM_WRITE_UNMAPPED: kind = "write to unmapped memory"; break;
            case UC_MEM_FETCH_UNMAPPED: kind = "jump to unmapped memory"; break;
            case UC_MEM_WRITE_PROT: kind = "write to read-only memory"; break;
            case UC_MEM_READ_PROT: kind = "read of protected memory"; break;
            case UC_MEM_FETCH_PROT: kind = "jump into memory that is not executable"; break;
            default: break;
            }
            message += std::string(kind) + " at " + where(static_cast<uint32_t>(fault_.address));
        } else {
            message += uc_strerror(error);
        }
        fail(message);
    }
    if (pc != until && overtime_)
        fail("x86 emulator: " + what + " did not return within " + std::to_string(timeLimit_ / 1000) +
             " ms (stopped at " + where(pc) + ")");
    if (pc != until)
        fail("x86 emulator: " + what + " stopped at " + where(pc) + " before it returned");

    // The callee's side of the convention.
    const uint32_t expectedStack =
        stack + 4 + (convention == Convention::Stdcall ? 4 * static_cast<uint32_t>(arguments.size()) : 0);
    const uint32_t stackAfter = reg(UC_X86_REG_ESP);
    if (stackAfter != expectedStack) {
        const int32_t off = static_cast<int32_t>(stackAfter - expectedStack);
        fail("x86 emulator: " + what + " returned with the stack " + std::to_string(off < 0 ? -off : off) +
             " bytes " + (off < 0 ? "short" : "beyond") + " of where the " +
             (convention == Convention::Stdcall ? "stdcall" : "cdecl") + " convention leaves it");
    }
    const uint32_t after[4] = {reg(UC_X86_REG_EBX), reg(UC_X86_REG_ESI), reg(UC_X86_REG_EDI), reg(UC_X86_REG_EBP)};
    const char *names[4] = {"EBX", "ESI", "EDI", "EBP"};
    for (int i = 0; i < 4; ++i)
        if (after[i] != kept[i])
            fail("x86 emulator: " + what + " returned with " + names[i] + " changed, which the caller keeps");
    if (fpuTop(reg(UC_X86_REG_FPSW)) != top)
        fail("x86 emulator: " + what + (returnsDouble ? " left the x87 stack unbalanced around its float64 result"
                                                      : " left values on the x87 stack"));

    const uint32_t eax = reg(UC_X86_REG_EAX);
    if (result)
        read(ResultSlot, result, sizeof *result);
    return eax;
}

} // namespace host::emu

// The system library functions that the emulated images import, each
// written from the documented behaviour of the call: the library loader,
// last error, critical sections, thread-local storage, page protection and
// queries of KERNEL32; wsprintfA and wvsprintfA of USER32; and what the
// compiler's start-up code takes from the C runtime msvcrt. The process has
// one thread, so a lock is always free when it is taken and sleeping ends at
// once. Anything an image imports beyond these reaches a stub that stops the
// emulation naming the import.
#include "process.h"
#include "wsprintf.h"

#include "host.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

namespace host::emu {
namespace {

constexpr uint32_t ThreadId = 0x104, ProcessId = 0x100;
constexpr uint32_t MaxPath = 260;
constexpr size_t MaxFormatLength = 1 << 20;

// Windows page protection values.
enum : uint32_t {
    PageNoAccess = 0x01,
    PageReadOnly = 0x02,
    PageReadWrite = 0x04,
    PageWriteCopy = 0x08,
    PageExecute = 0x10,
    PageExecuteRead = 0x20,
    PageExecuteReadWrite = 0x40,
    PageExecuteWriteCopy = 0x80,
};

uint32_t windowsProtection(uint32_t permissions)
{
    const bool read = permissions & PermissionRead, write = permissions & PermissionWrite,
               execute = permissions & PermissionExecute;
    if (execute)
        return write ? PageExecuteReadWrite : read ? PageExecuteRead : PageExecute;
    if (write)
        return PageReadWrite;
    return read ? PageReadOnly : PageNoAccess;
}

std::optional<uint32_t> permissionsFor(uint32_t protection)
{
    switch (protection & 0xff) {
    case PageNoAccess: return 0u;
    case PageReadOnly: return uint32_t(PermissionRead);
    case PageReadWrite:
    case PageWriteCopy: return uint32_t(PermissionRead | PermissionWrite);
    case PageExecute: return uint32_t(PermissionRead | PermissionExecute);
    case PageExecuteRead: return uint32_t(PermissionRead | PermissionExecute);
    case PageExecuteReadWrite:
    case PageExecuteWriteCopy: return uint32_t(PermissionRead | PermissionWrite | PermissionExecute);
    default: return std::nullopt;
    }
}

// A text of at most maxLength characters; a fault when it runs into memory
// that is not mapped before its NUL, as it would on the real system.
std::string readTextUpTo(Machine &machine, uint32_t address, size_t maxLength, const char *who)
{
    std::string text;
    while (text.size() < maxLength) {
        const uint32_t at = address + static_cast<uint32_t>(text.size());
        if (!machine.mapped(at, 1))
            machine.fail(std::string("x86 emulator: ") + who + " read unmapped memory at " +
                         std::to_string(at) + " following a text");
        char c = 0;
        machine.read(at, &c, 1);
        if (c == '\0')
            break;
        text += c;
    }
    return text;
}

// Arguments that follow one another on the emulated stack (or in a va_list).
class StackArguments : public FormatArguments {
public:
    StackArguments(Machine &machine, uint32_t at, const char *who) : machine_(machine), at_(at), who_(who) {}
    uint32_t next() override
    {
        const uint32_t value = machine_.read32(at_);
        at_ += 4;
        return value;
    }
    std::string narrowText(uint32_t address, size_t maxLength) override
    {
        return readTextUpTo(machine_, address, maxLength, who_);
    }
    std::u16string wideText(uint32_t address, size_t maxLength) override
    {
        std::u16string text;
        for (uint32_t at = address; text.size() < maxLength; at += 2) {
            uint16_t c = 0;
            machine_.read(at, &c, 2);
            if (c == 0)
                break;
            text += static_cast<char16_t>(c);
        }
        return text;
    }

private:
    Machine &machine_;
    uint32_t at_;
    const char *who_;
};

std::string formatText(Machine &machine, uint32_t format, uint32_t arguments, const char *who)
{
    if (format == 0)
        machine.fail(std::string("x86 emulator: ") + who + " was given no format");
    const std::string text = readTextUpTo(machine, format, MaxFormatLength, who);
    StackArguments source(machine, arguments, who);
    return formatWsprintf(text, source);
}

// wsprintfA's result into the caller's buffer: the characters and the NUL.
uint32_t storeFormatted(Machine &machine, uint32_t buffer, const std::string &text)
{
    machine.write(buffer, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}

// printf of the C runtime, for the messages its start-up code may print:
// each conversion is read from the emulated arguments and formatted by the
// host's own printf.
std::string formatCRuntime(Machine &machine, uint32_t format, uint32_t arguments)
{
    const std::string spec = readTextUpTo(machine, format, MaxFormatLength, "printf");
    StackArguments source(machine, arguments, "printf");
    std::string out;
    for (size_t i = 0; i < spec.size();) {
        if (spec[i] != '%') {
            out += spec[i++];
            continue;
        }
        size_t j = i + 1;
        std::string conversion = "%";
        while (j < spec.size() && std::strchr("-+ #0", spec[j]))
            conversion += spec[j++];
        auto number = [&]() {
            if (j < spec.size() && spec[j] == '*') {
                ++j;
                conversion += std::to_string(static_cast<int32_t>(source.next()));
            } else {
                while (j < spec.size() && std::isdigit(static_cast<unsigned char>(spec[j])))
                    conversion += spec[j++];
            }
        };
        number();
        if (j < spec.size() && spec[j] == '.') {
            conversion += spec[j++];
            number();
        }
        bool wide = false;
        for (;;) {
            if (spec.compare(j, 3, "I64") == 0 || spec.compare(j, 2, "ll") == 0) {
                wide = true;
                j += spec[j] == 'I' ? 3 : 2;
            } else if (spec.compare(j, 3, "I32") == 0) {
                j += 3;
            } else if (j < spec.size() && std::strchr("hlLIjzt", spec[j])) {
                ++j;
            } else {
                break;
            }
        }
        if (j >= spec.size())
            break;
        const char type = spec[j++];
        char buffer[512];
        switch (type) {
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            uint64_t value = source.next();
            if (wide)
                value |= uint64_t(source.next()) << 32;
            else if (type == 'd' || type == 'i')
                value = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)));
            std::snprintf(buffer, sizeof buffer, (conversion + "ll" + type).c_str(), value);
            out += buffer;
            break;
        }
        case 'c':
            std::snprintf(buffer, sizeof buffer, (conversion + 'c').c_str(), static_cast<int>(source.next() & 0xff));
            out += buffer;
            break;
        case 's': {
            const uint32_t address = source.next();
            const std::string text = address ? readTextUpTo(machine, address, MaxFormatLength, "printf") : "(null)";
            std::snprintf(buffer, sizeof buffer, (conversion + 's').c_str(), text.c_str());
            out += buffer;
            break;
        }
        case 'p':
            std::snprintf(buffer, sizeof buffer, "%08X", source.next());
            out += buffer;
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            uint64_t bits = source.next();
            bits |= uint64_t(source.next()) << 32;
            double value;
            std::memcpy(&value, &bits, sizeof value);
            std::snprintf(buffer, sizeof buffer, (conversion + type).c_str(), value);
            out += buffer;
            break;
        }
        case 'n':
            machine.fail("x86 emulator: printf was asked for %n, which the host does not serve");
        default:
            out += type;
            break;
        }
        i = j;
    }
    return out;
}

// What the calls keep between them; shared by the functions that use it.
struct SharedState {
    std::vector<bool> tlsSlots = std::vector<bool>(Machine::TlsSlotCount, false);
    uint32_t iob = 0;

    std::ostream *stream(uint32_t file) const
    {
        if (file == iob + 32)
            return &std::cout;
        if (file == iob + 64)
            return &std::cerr;
        return nullptr;
    }
};

std::string pathText(Machine &machine, uint32_t address, const char *who)
{
    return readTextUpTo(machine, address, MaxPath * 4, who);
}

// Registers the calls of each library with the process.
class SystemCalls {
public:
    explicit SystemCalls(Process &process) : process_(process), machine_(process.machine()) {}

    void addKernel();
    void addUser();
    void addCRuntime();

private:
    void kernel(const char *name, uint32_t arguments, HostFunction function)
    {
        process_.addSystemFunction("KERNEL32.dll", name, Convention::Stdcall, arguments, std::move(function));
    }
    void crt(const char *name, HostFunction function)
    {
        process_.addSystemFunction("msvcrt.dll", name, Convention::Cdecl, 0, std::move(function));
    }

    Process &process_;
    Machine &machine_;
    std::shared_ptr<SharedState> state_ = std::make_shared<SharedState>();
};

void SystemCalls::addKernel()
{
    Process &p = process_;
    Machine &m = machine_;

    // ---- the library loader
    kernel("LoadLibraryA", 1, [&p, &m](HostCall &call) {
        const uint32_t name = call.argument(0);
        if (!name) {
            p.setLastError(ErrorInvalidParameter);
            return;
        }
        Image *image = p.loadLibrary(pathText(m, name, "LoadLibraryA"), call.returnAddress());
        call.setResult(image ? image->base : 0);
    });
    kernel("GetModuleHandleA", 1, [&p, &m](HostCall &call) {
        const uint32_t name = call.argument(0);
        if (!name) {
            call.setResult(p.applicationHandle());
            return;
        }
        Image *image = p.loadedLibrary(pathText(m, name, "GetModuleHandleA"));
        if (!image)
            p.setLastError(ErrorModNotFound);
        call.setResult(image ? image->base : 0);
    });
    kernel("GetProcAddress", 2, [&p, &m](HostCall &call) {
        const uint32_t handle = call.argument(0) ? call.argument(0) : p.applicationHandle();
        const uint32_t name = call.argument(1);
        Image *image = p.imageAt(handle);
        if (!image) {
            p.setLastError(ErrorInvalidHandle);
            return;
        }
        // A name pointer below 0x10000 is an ordinal.
        const uint32_t address =
            name >> 16 ? p.procAddress(*image, pathText(m, name, "GetProcAddress")) : p.procAddress(*image, name & 0xffff);
        if (!address)
            p.setLastError(ErrorProcNotFound);
        call.setResult(address);
    });
    kernel("FreeLibrary", 1, [&p](HostCall &call) { call.setResult(p.freeLibrary(call.argument(0)) ? 1 : 0); });

    // ---- errors and identity
    kernel("GetLastError", 0, [&p](HostCall &call) { call.setResult(p.lastError()); });
    kernel("SetLastError", 1, [&p](HostCall &call) { p.setLastError(call.argument(0)); });
    kernel("GetCurrentThreadId", 0, [](HostCall &call) { call.setResult(ThreadId); });
    kernel("GetCurrentProcessId", 0, [](HostCall &call) { call.setResult(ProcessId); });
    kernel("Sleep", 1, [](HostCall &) {});

    // ---- critical sections: DebugInfo, LockCount, RecursionCount,
    // OwningThread, LockSemaphore, SpinCount. With one thread a section is
    // free or owned by that thread; anything else would wait forever.
    kernel("InitializeCriticalSection", 1, [&m](HostCall &call) {
        const uint32_t section = call.argument(0);
        const uint32_t fresh[6] = {0, 0xffffffff, 0, 0, 0, 0};
        m.write(section, fresh, sizeof fresh);
    });
    kernel("DeleteCriticalSection", 1, [](HostCall &) {});
    kernel("EnterCriticalSection", 1, [&m](HostCall &call) {
        const uint32_t section = call.argument(0);
        const uint32_t owner = m.read32(section + 12);
        if (owner != 0 && owner != ThreadId)
            m.fail("x86 emulator: EnterCriticalSection would wait forever for a section another thread owns");
        m.write32(section + 4, m.read32(section + 4) + 1);
        m.write32(section + 8, m.read32(section + 8) + 1);
        m.write32(section + 12, ThreadId);
    });
    kernel("LeaveCriticalSection", 1, [&m, &p](HostCall &call) {
        const uint32_t section = call.argument(0);
        const uint32_t recursion = m.read32(section + 8);
        if (m.read32(section + 12) != ThreadId || recursion == 0)
            m.fail("x86 emulator: " + p.describe(call.returnAddress()) +
                   " left a critical section it does not hold");
        m.write32(section + 4, m.read32(section + 4) - 1);
        m.write32(section + 8, recursion - 1);
        if (recursion == 1)
            m.write32(section + 12, 0);
    });

    // ---- thread-local storage slots
    const uint32_t slots = Machine::ThreadBlock + Machine::TebTlsSlots;
    kernel("TlsAlloc", 0, [state = state_, &m, slots](HostCall &call) {
        for (uint32_t i = 0; i < state->tlsSlots.size(); ++i)
            if (!state->tlsSlots[i]) {
                state->tlsSlots[i] = true;
                m.write32(slots + 4 * i, 0);
                call.setResult(i);
                return;
            }
        call.setResult(0xffffffff);
    });
    kernel("TlsFree", 1, [state = state_, &p](HostCall &call) {
        const uint32_t index = call.argument(0);
        const bool held = index < state->tlsSlots.size() && state->tlsSlots[index];
        if (held)
            state->tlsSlots[index] = false;
        else
            p.setLastError(ErrorInvalidParameter);
        call.setResult(held ? 1 : 0);
    });
    kernel("TlsGetValue", 1, [&m, &p, slots](HostCall &call) {
        const uint32_t index = call.argument(0);
        if (index >= Machine::TlsSlotCount) {
            p.setLastError(ErrorInvalidParameter);
            return;
        }
        p.setLastError(ErrorSuccess);
        call.setResult(m.read32(slots + 4 * index));
    });
    kernel("TlsSetValue", 2, [&m, &p, slots](HostCall &call) {
        const uint32_t index = call.argument(0);
        if (index >= Machine::TlsSlotCount) {
            p.setLastError(ErrorInvalidParameter);
            return;
        }
        m.write32(slots + 4 * index, call.argument(1));
        call.setResult(1);
    });

    // ---- pages
    kernel("VirtualQuery", 3, [&m, &p](HostCall &call) {
        const uint32_t address = call.argument(0), info = call.argument(1), length = call.argument(2);
        if (length < 28 || address >= 0x80000000u) {
            p.setLastError(length < 28 ? 24u : uint32_t(ErrorInvalidParameter));
            return;
        }
        const uint32_t page = address & ~(PageSize - 1);
        const std::optional<uint32_t> first = m.permissions(page);
        uint32_t end = page;
        while (end < 0x80000000u && m.permissions(end) == first)
            end += PageSize;
        const Image *image = p.imageContaining(address);
        uint32_t allocationBase = image ? image->base : page;
        if (!image && first) {
            while (allocationBase >= PageSize && m.permissions(allocationBase - PageSize))
                allocationBase -= PageSize;
        }
        const uint32_t protection = first ? windowsProtection(*first) : PageNoAccess;
        const uint32_t record[7] = {
            page,
            first ? allocationBase : 0,
            first ? (image ? PageExecuteWriteCopy : protection) : 0,
            end - page,
            first ? 0x1000u : 0x10000u, // committed, or free
            first ? protection : PageNoAccess,
            first ? (image ? 0x1000000u : 0x20000u) : 0, // image, or private
        };
        m.write(info, record, sizeof record);
        call.setResult(sizeof record);
    });
    kernel("VirtualProtect", 4, [&m, &p](HostCall &call) {
        const uint32_t address = call.argument(0), size = call.argument(1), protection = call.argument(2),
                       old = call.argument(3);
        const uint32_t begin = address & ~(PageSize - 1);
        const uint64_t end = (uint64_t(address) + std::max<uint32_t>(size, 1) + PageSize - 1) & ~uint64_t(PageSize - 1);
        const std::optional<uint32_t> permissions = permissionsFor(protection);
        if (!permissions || !old) {
            p.setLastError(ErrorInvalidParameter);
            return;
        }
        if (end > 0x80000000u || !m.mapped(begin, static_cast<uint32_t>(end - begin))) {
            p.setLastError(ErrorInvalidAddress);
            return;
        }
        m.write32(old, windowsProtection(*m.permissions(begin)));
        m.protect(begin, static_cast<uint32_t>(end - begin), *permissions);
        call.setResult(1);
    });

    // ---- paths: the working folder is the process's current directory.
    kernel("GetFullPathNameA", 4, [&m, &p](HostCall &call) {
        const uint32_t name = call.argument(0), length = call.argument(1), buffer = call.argument(2),
                       filePart = call.argument(3);
        if (!name) {
            p.setLastError(ErrorInvalidParameter);
            return;
        }
        std::string path = pathText(m, name, "GetFullPathNameA");
        for (char &c : path)
            if (c == '\\')
                c = '/';
        if (path.empty() || path[0] != '/') {
            char here[PATH_MAX];
            path = std::string(getcwd(here, sizeof here) ? here : ".") + "/" + path;
        }
        // Resolve "." and ".." segments.
        std::vector<std::string> parts;
        size_t start = 1;
        while (start <= path.size()) {
            size_t slash = path.find('/', start);
            if (slash == std::string::npos)
                slash = path.size();
            const std::string part = path.substr(start, slash - start);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (part != "." && !(part.empty() && slash != path.size())) {
                parts.push_back(part);
            }
            start = slash + 1;
        }
        std::string full;
        for (const std::string &part : parts)
            full += "/" + part;
        if (full.empty())
            full = "/";
        if (length < full.size() + 1) {
            call.setResult(static_cast<uint32_t>(full.size() + 1));
            return;
        }
        m.write(buffer, full.c_str(), full.size() + 1);
        if (filePart) {
            const size_t last = full.find_last_of('/');
            m.write32(filePart, last + 1 < full.size() ? buffer + static_cast<uint32_t>(last + 1) : 0);
        }
        call.setResult(static_cast<uint32_t>(full.size()));
    });
}

void SystemCalls::addUser()
{
    Machine &m = machine_;
    // int wsprintfA(LPSTR, LPCSTR, ...): the caller removes the arguments.
    process_.addSystemFunction("USER32.dll", "wsprintfA", Convention::Cdecl, 0, [&m](HostCall &call) {
        const std::string text = formatText(m, call.argument(1), call.argumentAddress(2), "wsprintfA");
        call.setResult(storeFormatted(m, call.argument(0), text));
    });
    // int wvsprintfA(LPSTR, LPCSTR, va_list)
    process_.addSystemFunction("USER32.dll", "wvsprintfA", Convention::Stdcall, 3, [&m](HostCall &call) {
        const std::string text = formatText(m, call.argument(1), call.argument(2), "wvsprintfA");
        call.setResult(storeFormatted(m, call.argument(0), text));
    });
}

void SystemCalls::addCRuntime()
{
    Process &p = process_;
    Machine &m = machine_;

    // ---- memory
    crt("malloc", [&p](HostCall &call) { call.setResult(p.allocate(call.argument(0))); });
    crt("calloc", [&p, &m](HostCall &call) {
        const uint64_t size = uint64_t(call.argument(0)) * call.argument(1);
        if (size > 0xffffffffu)
            return;
        const uint32_t block = p.allocate(static_cast<uint32_t>(size));
        if (block)
            m.write(block, std::vector<unsigned char>(p.allocationSize(block), 0).data(), p.allocationSize(block));
        call.setResult(block);
    });
    crt("realloc", [&p, &m](HostCall &call) {
        const uint32_t old = call.argument(0), size = call.argument(1);
        if (old && !p.allocationSize(old))
            m.fail("x86 emulator: " + p.describe(call.returnAddress()) + " reallocated a block malloc never gave");
        if (old && size == 0) {
            p.release(old);
            return;
        }
        const uint32_t block = p.allocate(size);
        if (!block)
            return;
        if (old) {
            const uint32_t keep = std::min(p.allocationSize(old), p.allocationSize(block));
            m.write(block, m.readBytes(old, keep).data(), keep);
            p.release(old);
        }
        call.setResult(block);
    });
    crt("free", [&p, &m](HostCall &call) {
        const uint32_t block = call.argument(0);
        if (block && !p.release(block))
            m.fail("x86 emulator: " + p.describe(call.returnAddress()) + " freed a block malloc never gave");
    });

    // ---- strings and bytes
    crt("strlen", [&m](HostCall &call) {
        call.setResult(static_cast<uint32_t>(readTextUpTo(m, call.argument(0), 0x7fffffff, "strlen").size()));
    });
    crt("strcmp", [&m](HostCall &call) {
        const std::string a = readTextUpTo(m, call.argument(0), 0x7fffffff, "strcmp");
        const std::string b = readTextUpTo(m, call.argument(1), 0x7fffffff, "strcmp");
        const int order = std::strcmp(a.c_str(), b.c_str());
        call.setResult(static_cast<uint32_t>(order < 0 ? -1 : order > 0));
    });
    crt("strncmp", [&m](HostCall &call) {
        const uint32_t limit = call.argument(2);
        const std::string a = readTextUpTo(m, call.argument(0), limit, "strncmp");
        const std::string b = readTextUpTo(m, call.argument(1), limit, "strncmp");
        const int order = std::strncmp(a.c_str(), b.c_str(), limit);
        call.setResult(static_cast<uint32_t>(order < 0 ? -1 : order > 0));
    });
    crt("memcpy", [&m](HostCall &call) {
        const uint32_t size = call.argument(2);
        m.write(call.argument(0), m.readBytes(call.argument(1), size).data(), size);
        call.setResult(call.argument(0));
    });
    crt("memmove", [&m](HostCall &call) {
        const uint32_t size = call.argument(2);
        m.write(call.argument(0), m.readBytes(call.argument(1), size).data(), size);
        call.setResult(call.argument(0));
    });
    crt("memset", [&m](HostCall &call) {
        const uint32_t size = call.argument(2);
        m.write(call.argument(0), std::vector<unsigned char>(size, static_cast<unsigned char>(call.argument(1))).data(),
                size);
        call.setResult(call.argument(0));
    });

    // ---- start-up and ending
    crt("_initterm", [&m](HostCall &call) {
        for (uint32_t at = call.argument(0); at < call.argument(1); at += 4)
            if (const uint32_t function = m.read32(at))
                m.call(function, {}, Convention::Cdecl, "a static initializer");
    });
    crt("_amsg_exit", [&m, &p](HostCall &call) {
        m.fail("x86 emulator: the C runtime in " + p.describe(call.returnAddress()) +
               " ended the program with run-time error R60" + std::to_string(call.argument(0)));
    });
    crt("abort", [&m, &p](HostCall &call) {
        m.fail("x86 emulator: " + p.describe(call.returnAddress()) + " called abort");
    });
    crt("_lock", [](HostCall &) {});
    crt("_unlock", [](HostCall &) {});

    // ---- the standard streams: _iob holds stdin, stdout and stderr, 32
    // bytes each, with the stream's file number at offset 16.
    const uint32_t iob = state_->iob = p.allocate(3 * 32);
    for (uint32_t i = 0; i < 3; ++i)
        m.write32(iob + 32 * i + 16, i);
    p.addSystemData("msvcrt.dll", "_iob", iob);
    crt("__iob_func", [iob](HostCall &call) { call.setResult(iob); });
    crt("fwrite", [state = state_, &m](HostCall &call) {
        const uint64_t size = uint64_t(call.argument(1)) * call.argument(2);
        std::ostream *out = state->stream(call.argument(3));
        if (!out || size > 0x1000000)
            return;
        const auto bytes = m.readBytes(call.argument(0), static_cast<size_t>(size));
        out->write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        call.setResult(call.argument(2));
    });
    crt("vfprintf", [state = state_, &m](HostCall &call) {
        std::ostream *out = state->stream(call.argument(0));
        if (!out) {
            call.setResult(0xffffffff);
            return;
        }
        const std::string text = formatCRuntime(m, call.argument(1), call.argument(2));
        *out << text;
        call.setResult(static_cast<uint32_t>(text.size()));
    });
    crt("fprintf", [state = state_, &m](HostCall &call) {
        std::ostream *out = state->stream(call.argument(0));
        if (!out) {
            call.setResult(0xffffffff);
            return;
        }
        const std::string text = formatCRuntime(m, call.argument(1), call.argumentAddress(2));
        *out << text;
        call.setResult(static_cast<uint32_t>(text.size()));
    });
}

} // namespace

void addSystemLibraries(Process &process)
{
    SystemCalls calls(process);
    calls.addKernel();
    calls.addUser();
    calls.addCRuntime();
}

} // namespace host::emu

// Where a loaded module lies in memory, record snapshots, and the process
// resources that the load cycling watches.
#include "validate_internal.h"

#include <dirent.h>
#include <link.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VALIDATE_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VALIDATE_ASAN 1
#endif
#ifdef VALIDATE_ASAN
// The sanitizer's allocator keeps the heap; it says how much is in use.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace host::validate {

// ---------------------------------------------------------------- ModuleImage

std::optional<ModuleImage> ModuleImage::containing(const void *address)
{
    struct Search {
        uintptr_t address;
        std::optional<ModuleImage> found;
    } search{reinterpret_cast<uintptr_t>(address), std::nullopt};

    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            auto &search = *static_cast<Search *>(data);
            ModuleImage image;
            bool holds = false;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr) &header = info->dlpi_phdr[i];
                const uintptr_t begin = info->dlpi_addr + header.p_vaddr;
                const uintptr_t end = begin + header.p_memsz;
                if (header.p_type == PT_LOAD && (header.p_flags & PF_R)) {
                    image.ranges_.push_back({begin, end, (header.p_flags & PF_W) != 0, (header.p_flags & PF_X) != 0});
                    holds = holds || (search.address >= begin && search.address < end);
                } else if (header.p_type == PT_GNU_RELRO) {
                    image.readOnlyAfterRelocation_.push_back({begin, end});
                }
            }
            if (!holds)
                return 0;
            image.fileName_ = info->dlpi_name ? info->dlpi_name : "";
            search.found = std::move(image);
            return 1;
        },
        &search);
    return search.found;
}

std::optional<ModuleImage> ModuleImage::of(const Module &module)
{
    if (const auto *memory = dynamic_cast<const ModuleMemory *>(&module)) {
        ModuleImage image;
        image.memory_ = memory;
        image.fileName_ = module.path();
        return image;
    }
    return containing(&module.linkage());
}

std::optional<bool> ModuleImage::servicesHeldAtLoad() const
{
    return memory_ ? memory_->servicesHeldAtLoad() : std::nullopt;
}

bool ModuleImage::readable(const void *address, size_t size) const
{
    if (memory_)
        return address && memory_->readable(address, size);
    const uintptr_t begin = reinterpret_cast<uintptr_t>(address);
    if (!address || begin + size < begin)
        return false;
    for (const Range &range : ranges_)
        if (begin >= range.begin && begin + size <= range.end)
            return true;
    return false;
}

bool ModuleImage::writable(const void *address, size_t size) const
{
    if (memory_)
        return address && memory_->writable(address, size);
    const uintptr_t begin = reinterpret_cast<uintptr_t>(address);
    if (!address || begin + size < begin)
        return false;
    bool inWritableRange = false;
    for (const Range &range : ranges_)
        if (range.write && begin >= range.begin && begin + size <= range.end)
            inWritableRange = true;
    if (!inWritableRange)
        return false;
    for (const auto &[from, to] : readOnlyAfterRelocation_)
        if (begin < to && begin + size > from)
            return false;
    return true;
}

bool ModuleImage::executable(const void *address) const
{
    if (memory_)
        return address && memory_->executable(address);
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    for (const Range &range : ranges_)
        if (range.execute && at >= range.begin && at < range.end)
            return true;
    return false;
}

std::optional<size_t> ModuleImage::textLength(const char *text, size_t maxLength) const
{
    if (memory_)
        return text ? memory_->textLength(text, maxLength) : std::nullopt;
    for (size_t i = 0; i <= maxLength; ++i) {
        if (!readable(text + i, 1))
            return std::nullopt;
        if (text[i] == '\0')
            return i;
    }
    return std::nullopt;
}

std::set<std::string> loadedObjects()
{
    std::set<std::string> objects;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) -> int {
            if (info->dlpi_name && info->dlpi_name[0])
                static_cast<std::set<std::string> *>(data)->insert(info->dlpi_name);
            return 0;
        },
        &objects);
    return objects;
}

ModuleProcess *moduleProcess(Host &host)
{
    return dynamic_cast<ModuleProcess *>(&host.backend());
}

std::set<std::string> loadedLibraries(Host &host)
{
    if (ModuleProcess *process = moduleProcess(host)) {
        const std::vector<std::string> names = process->loadedLibraries();
        return {names.begin(), names.end()};
    }
    return loadedObjects();
}

void storeServices(Module &module, PanelServices *services)
{
    if (auto *memory = dynamic_cast<ModuleMemory *>(&module))
        memory->storeServices(services);
    else
        module.imports().entries[0].services = services;
}

// ---------------------------------------------------------------- RecordSnapshot

void RecordSnapshot::add(const void *address, size_t size, std::string name)
{
    Record record;
    record.address = static_cast<const unsigned char *>(address);
    record.bytes.assign(record.address, record.address + size);
    record.guard.assign(size, 0xFF);
    record.name = std::move(name);
    records_.push_back(std::move(record));
}

void RecordSnapshot::allow(size_t offset, size_t size, uint8_t bits)
{
    Record &record = records_.back();
    for (size_t i = offset; i < offset + size && i < record.guard.size(); ++i)
        record.guard[i] &= static_cast<uint8_t>(~bits);
}

void RecordSnapshot::take()
{
    for (Record &record : records_)
        std::memcpy(record.bytes.data(), record.address, record.bytes.size());
}

std::vector<std::string> RecordSnapshot::changes() const
{
    std::vector<std::string> changed;
    for (const Record &record : records_) {
        // Most records do not change at all between two looks.
        if (std::memcmp(record.address, record.bytes.data(), record.bytes.size()) == 0)
            continue;
        for (size_t i = 0; i < record.bytes.size(); ++i) {
            if (((record.address[i] ^ record.bytes[i]) & record.guard[i]) == 0)
                continue;
            char detail[96];
            std::snprintf(detail, sizeof detail, " changed at byte %zu (0x%02x became 0x%02x)", i, record.bytes[i],
                          record.address[i]);
            changed.push_back(record.name + detail);
            break;
        }
    }
    return changed;
}

// ---------------------------------------------------------------- ProcessUsage

namespace {

long countDirectory(const char *path)
{
    long count = 0;
    if (DIR *directory = opendir(path)) {
        while (const dirent *entry = readdir(directory))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(directory);
    }
    return count;
}

// Mappings of files: a library left loaded keeps some. Anonymous mappings
// come and go with the allocator (a sanitizer's especially) and say nothing.
long countFileMappings()
{
    std::ifstream in("/proc/self/maps");
    long count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(" /") != std::string::npos;
    return count;
}

} // namespace

ProcessUsage processUsage()
{
    ProcessUsage usage;
    {
        std::ifstream statm("/proc/self/statm");
        long size = 0, resident = 0;
        statm >> size >> resident;
        usage.residentKiB = resident * (sysconf(_SC_PAGESIZE) / 1024);
    }
#ifdef VALIDATE_ASAN
    usage.heapBytes = static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    usage.heapBytes = static_cast<long>(info.uordblks + info.hblkhd);
#endif
    usage.openFiles = countDirectory("/proc/self/fd");
    usage.mappings = countFileMappings();
    usage.loadedObjects = static_cast<long>(loadedObjects().size());
    return usage;
}

std::string baseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace host::validate

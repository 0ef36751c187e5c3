#include "process.h"

#include "host.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace host::emu {
namespace {

constexpr uint32_t ImageAlignment = 0x10000; // images start on 64 KiB, as on Windows
constexpr uint32_t HeapStep = 0x100000;
constexpr uint32_t MaxImports = 4096;
constexpr uint32_t MaxTlsCallbacks = 64;

uint32_t roundUp(uint32_t value, uint32_t alignment)
{
    return static_cast<uint32_t>((uint64_t(value) + alignment - 1) / alignment * alignment);
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

bool hasSeparator(const std::string &name)
{
    return name.find('/') != std::string::npos || name.find('\\') != std::string::npos;
}

// A library name as LoadLibraryA reads it: ".dll" added where the file name
// has no extension; a trailing point means "no extension".
std::string libraryFileName(std::string name)
{
    const std::string file = fileNameOf(name);
    if (!file.empty() && file.back() == '.')
        name.pop_back();
    else if (file.find('.') == std::string::npos)
        name += ".dll";
    return name;
}

std::string hostPath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string absolutePath(const std::string &path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

bool isFile(const std::string &path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The file of that name in folder, compared without regard to case as the
// Windows file system does; empty when there is none.
std::string findInFolder(const std::string &folder, const std::string &name)
{
    const std::string exact = folder + "/" + name;
    if (isFile(exact))
        return exact;
    std::string found;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *entry = readdir(dir))
            if (sameLibraryName(entry->d_name, name) && isFile(folder + "/" + entry->d_name)) {
                found = folder + "/" + entry->d_name;
                break;
            }
        closedir(dir);
    }
    return found;
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

uint32_t permissionsOf(uint32_t characteristics)
{
    uint32_t permissions = PermissionRead;
    if (characteristics & PeSection::Write)
        permissions |= PermissionWrite;
    if (characteristics & PeSection::Execute)
        permissions |= PermissionExecute;
    return permissions;
}

// A file the loader could not take as an image: LoadLibraryA answers null.
struct BadImage : HostError {
    using HostError::HostError;
};

} // namespace

std::string fileNameOf(const std::string &path)
{
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool sameLibraryName(const std::string &a, const std::string &b)
{
    return lower(a) == lower(b);
}

// ---------------------------------------------------------------- process

Process::Process()
{
    machine_.describeAddress = [this](uint32_t address) { return describe(address); };
    // The application itself: a stand-in image for GetModuleHandleA(null).
    auto application = std::make_unique<Image>();
    application->name = "gaugehost.exe";
    application->system = true;
    application->base = nextSystemBase_;
    application->size = ImageAlignment;
    application->references = 1;
    nextSystemBase_ += ImageAlignment;
    machine_.map(application->base, PageSize, PermissionRead);
    machine_.write(application->base, "MZ", 2);
    application_ = application->base;
    images_.push_back(std::move(application));
    machine_.write32(Machine::ProcessBlock + 0x08, application_); // image base of the process
    addSystemLibraries(*this);
}

Process::~Process()
{
    ending_ = true;
    // Process end: the images still loaded hear it, the last loaded first.
    for (auto image = images_.rbegin(); image != images_.rend(); ++image) {
        if ((*image)->system || !(*image)->initialised)
            continue;
        try {
            notify(**image, ProcessDetach, 1);
        } catch (const std::exception &error) {
            std::cerr << "gaugehost: " << error.what() << "\n";
        }
    }
}

std::vector<Image *> Process::images() const
{
    std::vector<Image *> list;
    for (const auto &image : images_)
        list.push_back(image.get());
    return list;
}

Image *Process::imageAt(uint32_t handle) const
{
    for (const auto &image : images_)
        if (image->base == handle)
            return image.get();
    return nullptr;
}

Image *Process::imageContaining(uint32_t address) const
{
    for (const auto &image : images_)
        if (image->contains(address))
            return image.get();
    return nullptr;
}

std::string Process::describe(uint32_t address) const
{
    const Image *image = imageContaining(address);
    return image ? image->name + "+" + hex(address - image->base) : std::string();
}

// ---------------------------------------------------------------- system libraries

Image *Process::systemLibrary(const std::string &name) const
{
    for (const auto &image : images_)
        if (image->system && sameLibraryName(image->name, name))
            return image.get();
    return nullptr;
}

void Process::addSystemData(const std::string &library, const std::string &name, uint32_t address)
{
    Image *image = systemLibrary(library);
    if (!image) {
        auto created = std::make_unique<Image>();
        created->name = library;
        created->system = true;
        created->base = nextSystemBase_;
        created->size = ImageAlignment;
        created->references = 1;
        nextSystemBase_ += ImageAlignment;
        machine_.map(created->base, PageSize, PermissionRead);
        machine_.write(created->base, "MZ", 2);
        image = created.get();
        images_.push_back(std::move(created));
    }
    image->exports[name] = address;
}

void Process::addSystemFunction(const std::string &library, const std::string &name, Convention convention,
                                uint32_t argumentCount, HostFunction function)
{
    const uint32_t address =
        machine_.addHostFunction(library + "!" + name, convention, argumentCount, std::move(function));
    addSystemData(library, name, address);
}

uint32_t Process::missingImportStub(const std::string &library, const std::string &name)
{
    const std::string full = library + "!" + name;
    if (auto found = missingStubs_.find(lower(full)); found != missingStubs_.end())
        return found->second;
    const uint32_t address = machine_.addHostFunction(full, Convention::Cdecl, 0, [this, full](HostCall &call) {
        std::string caller = describe(call.returnAddress());
        machine_.fail("x86 emulator: " + (caller.empty() ? std::string("the program") : caller) + " called " + full +
                      ", which the emulator does not provide");
    });
    missingStubs_[lower(full)] = address;
    return address;
}

// ---------------------------------------------------------------- loading

Image &Process::mapImage(const std::string &path, const std::string &name)
{
    PeFile file;
    try {
        file = parsePeFile(readFile(path), path);
    } catch (const HostError &error) {
        throw BadImage(error.what());
    }
    if (!file.isDll())
        throw BadImage(path + " is a program, not a library");

    const uint32_t size = roundUp(file.sizeOfImage, PageSize);
    const bool movable = !file.relocationsStripped() && file.directories[PeRelocations].size != 0;
    // A movable image goes where the loader chooses, as address-space layout
    // randomisation has it, so that its relocations are applied every time;
    // one without relocations can only go to its preferred base.
    std::optional<uint32_t> base;
    if (movable)
        base = machine_.findFree(size, ImageAlignment, ImageFloor, ImageLimit);
    else if (file.imageBase % ImageAlignment == 0 &&
             machine_.findFree(size, ImageAlignment, file.imageBase, file.imageBase + size) == file.imageBase)
        base = file.imageBase;
    if (!base)
        throw HostError(path + ": no room for its image of " + std::to_string(size) + " bytes" +
                        (movable ? "" : " at its fixed base " + hex(file.imageBase)));

    auto owned = std::make_unique<Image>();
    Image &image = *owned;
    image.path = path;
    image.name = name;
    image.base = *base;
    image.size = size;
    image.preferredBase = file.imageBase;
    image.sections = file.sections;
    image.entry = file.entryPoint ? *base + file.entryPoint : 0;

    machine_.map(image.base, size, PermissionRead | PermissionWrite);
    images_.push_back(std::move(owned));
    try {
        machine_.write(image.base, file.bytes.data(), file.sizeOfHeaders);
        for (const PeSection &section : file.sections) {
            const uint32_t length =
                std::min(section.rawSize, roundUp(section.virtualSize, std::min<uint32_t>(file.sectionAlignment, PageSize)));
            if (length)
                machine_.write(image.base + section.virtualAddress, &file.bytes[section.rawOffset], length);
        }
        if (image.base != file.imageBase)
            relocate(image, file, image.base - file.imageBase);
        readExports(image, file);
        resolveImports(image, file);
        setUpTls(image, file);
        protectSections(image, file);
    } catch (...) {
        for (Image *dependency : image.dependencies)
            freeLibrary(dependency->base);
        machine_.unmap(image.base, image.size);
        images_.erase(std::find_if(images_.begin(), images_.end(), [&](const auto &i) { return i.get() == &image; }));
        throw;
    }
    return image;
}

void Process::relocate(Image &image, const PeFile &file, uint32_t delta)
{
    const PeDirectory directory = file.directories[PeRelocations];
    if (directory.size == 0)
        throw HostError(image.path + " has no base relocations to move it from " + hex(file.imageBase));
    uint32_t at = image.base + directory.address;
    const uint32_t end = at + directory.size;
    while (at + 8 <= end) {
        const uint32_t page = machine_.read32(at);
        const uint32_t blockSize = machine_.read32(at + 4);
        if (blockSize < 8 || at + blockSize > end)
            throw HostError(image.path + " has a malformed base relocation block at " + hex(at - image.base));
        for (uint32_t entry = at + 8; entry + 2 <= at + blockSize; entry += 2) {
            uint16_t word = 0;
            machine_.read(entry, &word, 2);
            const uint32_t type = word >> 12;
            const uint32_t target = image.base + page + (word & 0xfff);
            if (type != 0 && !image.contains(target))
                throw HostError(image.path + " relocates an address outside its image");
            switch (type) {
            case 0: // padding
                break;
            case 3: // the whole 32-bit word
                machine_.write32(target, machine_.read32(target) + delta);
                break;
            case 1: { // the high half
                uint16_t half = 0;
                machine_.read(target, &half, 2);
                half = static_cast<uint16_t>(half + (delta >> 16));
                machine_.write(target, &half, 2);
                break;
            }
            case 2: { // the low half
                uint16_t half = 0;
                machine_.read(target, &half, 2);
                half = static_cast<uint16_t>(half + (delta & 0xffff));
                machine_.write(target, &half, 2);
                break;
            }
            default:
                throw HostError(image.path + " uses base relocation type " + std::to_string(type) +
                                ", which 32-bit x86 images do not");
            }
        }
        at += blockSize;
    }
}

void Process::readExports(Image &image, const PeFile &file)
{
    const PeDirectory directory = file.directories[PeExports];
    if (directory.size == 0)
        return;
    const uint32_t table = image.base + directory.address;
    const uint32_t ordinalBase = machine_.read32(table + 16);
    const uint32_t functionCount = machine_.read32(table + 20);
    const uint32_t nameCount = machine_.read32(table + 24);
    const uint32_t functions = image.base + machine_.read32(table + 28);
    const uint32_t names = image.base + machine_.read32(table + 32);
    const uint32_t nameOrdinals = image.base + machine_.read32(table + 36);
    if (functionCount > 65536 || nameCount > functionCount)
        throw HostError(image.path + " has a malformed export table");
    std::vector<std::string> nameOf(functionCount);
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint16_t index = 0;
        machine_.read(nameOrdinals + 2 * i, &index, 2);
        auto name = machine_.readText(image.base + machine_.read32(names + 4 * i), 4096);
        if (!name || index >= functionCount)
            throw HostError(image.path + " has a malformed export name");
        nameOf[index] = *name;
    }
    for (uint32_t i = 0; i < functionCount; ++i) {
        const uint32_t rva = machine_.read32(functions + 4 * i);
        if (rva == 0)
            continue;
        const std::string name = nameOf[i].empty() ? "#" + std::to_string(ordinalBase + i) : nameOf[i];
        image.ordinals[ordinalBase + i] = name;
        if (rva >= directory.address && rva < directory.address + directory.size) {
            auto target = machine_.readText(image.base + rva, 4096);
            image.forwarders[name] = target.value_or("");
            image.exports[name] = 0;
        } else {
            image.exports[name] = image.base + rva;
            image.ordinalAddresses[ordinalBase + i] = image.base + rva;
        }
    }
}

void Process::resolveImports(Image &image, const PeFile &file)
{
    const PeDirectory directory = file.directories[PeImports];
    if (directory.size == 0)
        return;
    for (uint32_t descriptor = image.base + directory.address;; descriptor += 20) {
        const uint32_t lookup = machine_.read32(descriptor);
        const uint32_t nameAddress = machine_.read32(descriptor + 12);
        const uint32_t addresses = machine_.read32(descriptor + 16);
        if (nameAddress == 0 && addresses == 0)
            break;
        const auto library = machine_.readText(image.base + nameAddress, 4096);
        if (!library)
            throw HostError(image.path + " has a malformed import table");
        Image *source = systemLibrary(*library);
        if (!source) {
            // Another library of files: loaded (and initialised) first, and
            // held while this image lives.
            source = loadLibrary(*library, image.base);
            if (source)
                image.dependencies.push_back(source);
        }
        const uint32_t names = image.base + (lookup ? lookup : addresses);
        for (uint32_t i = 0; i < MaxImports; ++i) {
            const uint32_t entry = machine_.read32(names + 4 * i);
            if (entry == 0)
                break;
            std::string name;
            uint32_t address = 0;
            if (entry & 0x80000000u) {
                const uint32_t ordinal = entry & 0xffff;
                name = "#" + std::to_string(ordinal);
                if (source)
                    address = procAddress(*source, ordinal);
            } else {
                auto text = machine_.readText(image.base + entry + 2, 4096);
                if (!text)
                    throw HostError(image.path + " has a malformed import name");
                name = *text;
                if (source)
                    address = procAddress(*source, name);
            }
            if (!address) {
                address = missingImportStub(*library, name);
                image.missingImports.push_back(*library + "!" + name);
            }
            machine_.write32(image.base + addresses + 4 * i, address);
        }
    }
}

void Process::setUpTls(Image &image, const PeFile &file)
{
    const PeDirectory directory = file.directories[PeTls];
    if (directory.size < 24)
        return;
    const uint32_t at = image.base + directory.address;
    const uint32_t start = machine_.read32(at), end = machine_.read32(at + 4);
    const uint32_t indexAddress = machine_.read32(at + 8), callbacks = machine_.read32(at + 12);
    const uint32_t zeroFill = machine_.read32(at + 16);
    if (end < start || end - start > 0x100000 || zeroFill > 0x100000)
        throw HostError(image.path + " has a malformed thread-local storage directory");
    size_t index = 0;
    while (index < tlsIndexes_.size() && tlsIndexes_[index])
        ++index;
    if (index >= Machine::TlsSlotCount)
        throw HostError(image.path + ": no thread-local storage index left");
    if (index == tlsIndexes_.size())
        tlsIndexes_.push_back(false);
    tlsIndexes_[index] = true;
    image.tlsIndex = static_cast<int>(index);
    image.tlsBlock = allocate(std::max<uint32_t>(end - start + zeroFill, 4));
    if (!image.tlsBlock)
        throw HostError(image.path + ": no memory for its thread-local storage");
    if (end > start)
        machine_.write(image.tlsBlock, machine_.readBytes(start, end - start).data(), end - start);
    machine_.write32(Machine::TlsArray + 4 * static_cast<uint32_t>(index), image.tlsBlock);
    if (indexAddress)
        machine_.write32(indexAddress, static_cast<uint32_t>(index));
    for (uint32_t i = 0; callbacks && i < MaxTlsCallbacks; ++i) {
        const uint32_t callback = machine_.read32(callbacks + 4 * i);
        if (callback == 0)
            break;
        image.tlsCallbacks.push_back(callback);
    }
}

void Process::protectSections(Image &image, const PeFile &file)
{
    if (file.sectionAlignment < PageSize) {
        // Sections share pages: the whole image is one writable, executable range.
        machine_.protect(image.base, image.size, PermissionRead | PermissionWrite | PermissionExecute);
        return;
    }
    machine_.protect(image.base, image.size, PermissionRead);
    for (const PeSection &section : file.sections) {
        const uint32_t begin = image.base + section.virtualAddress;
        const uint32_t size = roundUp(section.virtualSize, PageSize);
        if (size)
            machine_.protect(begin, size, permissionsOf(section.characteristics));
    }
}

void Process::notify(Image &image, DllReason reason, uint32_t reserved)
{
    const std::vector<uint32_t> arguments{image.base, reason, reserved};
    const char *what = reason == ProcessAttach ? "process attach" : "process detach";
    if (reason == ProcessAttach)
        for (uint32_t callback : image.tlsCallbacks)
            callStdcall(callback, arguments, image.name + " thread-local storage callback (" + what + ")");
    if (image.entry) {
        const uint32_t result = callStdcall(image.entry, arguments, image.name + " entry hook (" + what + ")");
        if (reason == ProcessAttach && result == 0)
            throw BadImage(image.path + ": its entry hook refused the process attach (returned 0)");
    }
    if (reason == ProcessDetach)
        for (uint32_t callback : image.tlsCallbacks)
            callStdcall(callback, arguments, image.name + " thread-local storage callback (" + what + ")");
}

Image &Process::loadAndInitialise(const std::string &path)
{
    Image &image = mapImage(path, fileNameOf(path));
    image.path = absolutePath(path);
    image.references = 1;
    try {
        notify(image, ProcessAttach, 0);
    } catch (const BadImage &) {
        // Refused: the image hears the detach and goes away again.
        image.initialised = true;
        try {
            notify(image, ProcessDetach, 0);
        } catch (...) {
        }
        image.initialised = false;
        unload(image);
        throw;
    } catch (...) {
        unload(image);
        throw;
    }
    image.initialised = true;
    return image;
}

Image &Process::loadFile(const std::string &path)
{
    const std::string file = hostPath(path);
    if (!isFile(file))
        throw HostError("cannot open " + path + ": no such file");
    const std::string absolute = absolutePath(file);
    for (const auto &image : images_)
        if (!image->system && image->path == absolute) {
            ++image->references;
            return *image;
        }
    return loadAndInitialise(file);
}

Image *Process::findFile(const std::string &fileName, uint32_t callerAddress)
{
    std::vector<std::string> folders;
    if (const Image *caller = imageContaining(callerAddress); caller && !caller->system)
        folders.push_back(folderOf(caller->path));
    char here[PATH_MAX];
    if (getcwd(here, sizeof here))
        folders.push_back(here);
    for (const std::string &folder : folders) {
        const std::string found = findInFolder(folder, fileName);
        if (!found.empty())
            return &loadAndInitialise(found);
    }
    return nullptr;
}

Image *Process::loadLibrary(const std::string &name, uint32_t callerAddress)
{
    if (name.empty()) {
        setLastError(ErrorInvalidParameter);
        return nullptr;
    }
    const std::string file = libraryFileName(hostPath(name));
    try {
        Image *image = nullptr;
        if (hasSeparator(name)) {
            const std::string absolute = absolutePath(file);
            for (const auto &loaded : images_)
                if (!loaded->system && loaded->path == absolute)
                    image = loaded.get();
            if (image)
                ++image->references;
            else if (isFile(file))
                image = &loadAndInitialise(file);
        } else if ((image = loadedLibrary(file))) {
            ++image->references;
        } else {
            image = findFile(file, callerAddress);
        }
        if (!image) {
            setLastError(ErrorModNotFound);
            return nullptr;
        }
        setLastError(ErrorSuccess);
        return image;
    } catch (const BadImage &error) {
        // A file that is no loadable image, or whose entry hook refused:
        // the call fails as LoadLibraryA fails.
        setLastError(ErrorDllInitFailed);
        return nullptr;
    }
}

Image *Process::loadedLibrary(const std::string &name) const
{
    if (name.empty())
        return nullptr;
    const std::string file = libraryFileName(hostPath(name));
    if (hasSeparator(name)) {
        const std::string absolute = absolutePath(file);
        for (const auto &image : images_)
            if (!image->system && image->path == absolute)
                return image.get();
        return nullptr;
    }
    for (const auto &image : images_)
        if (sameLibraryName(image->name, fileNameOf(file)))
            return image.get();
    return nullptr;
}

uint32_t Process::procAddress(Image &image, const std::string &name)
{
    const auto found = image.exports.find(name);
    if (found == image.exports.end())
        return 0;
    if (found->second)
        return found->second;
    // A forwarder: "LIBRARY.name" or "LIBRARY.#ordinal".
    const std::string &target = image.forwarders[name];
    const size_t dot = target.find('.');
    if (dot == std::string::npos)
        return 0;
    Image *library = loadedLibrary(target.substr(0, dot));
    if (!library)
        library = loadLibrary(target.substr(0, dot), image.base);
    if (!library)
        return 0;
    const std::string entry = target.substr(dot + 1);
    if (!entry.empty() && entry[0] == '#')
        return procAddress(*library, static_cast<uint32_t>(std::strtoul(entry.c_str() + 1, nullptr, 10)));
    return procAddress(*library, entry);
}

uint32_t Process::procAddress(Image &image, uint32_t ordinal)
{
    if (auto found = image.ordinalAddresses.find(ordinal); found != image.ordinalAddresses.end())
        return found->second;
    if (auto named = image.ordinals.find(ordinal); named != image.ordinals.end())
        return procAddress(image, named->second);
    return 0;
}

bool Process::freeLibrary(uint32_t handle)
{
    Image *image = imageAt(handle);
    if (!image) {
        setLastError(ErrorInvalidHandle);
        return false;
    }
    if (image->system)
        return true;
    if (--image->references == 0)
        unload(*image);
    return true;
}

void Process::unload(Image &image)
{
    // Unmapped whatever the detach does; its error still reaches the caller.
    std::exception_ptr error;
    if (image.initialised) {
        image.initialised = false;
        try {
            notify(image, ProcessDetach, ending_ ? 1 : 0);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (image.tlsIndex >= 0) {
        machine_.write32(Machine::TlsArray + 4 * static_cast<uint32_t>(image.tlsIndex), 0);
        tlsIndexes_[static_cast<size_t>(image.tlsIndex)] = false;
        release(image.tlsBlock);
    }
    const std::vector<Image *> dependencies = image.dependencies;
    machine_.unmap(image.base, image.size);
    images_.erase(std::find_if(images_.begin(), images_.end(), [&](const auto &i) { return i.get() == &image; }));
    for (Image *dependency : dependencies)
        freeLibrary(dependency->base);
    if (error)
        std::rethrow_exception(error);
}

// ---------------------------------------------------------------- heap

uint32_t Process::allocate(uint32_t size)
{
    size = roundUp(std::max<uint32_t>(size, 1), 16);
    if (size == 0 || size > HeapLimit - HeapBase)
        return 0;
    for (auto block = heapFree_.begin(); block != heapFree_.end(); ++block) {
        if (block->second < size)
            continue;
        const uint32_t address = block->first;
        const uint32_t left = block->second - size;
        heapFree_.erase(block);
        if (left)
            heapFree_[address + size] = left;
        heapUsed_[address] = size;
        return address;
    }
    if (heapTop_ + uint64_t(size) > HeapLimit)
        return 0;
    const uint32_t address = heapTop_;
    heapTop_ += size;
    while (heapMapped_ < heapTop_) {
        machine_.map(heapMapped_, HeapStep, PermissionRead | PermissionWrite);
        heapMapped_ += HeapStep;
    }
    heapUsed_[address] = size;
    return address;
}

bool Process::release(uint32_t address)
{
    const auto used = heapUsed_.find(address);
    if (used == heapUsed_.end())
        return false;
    uint32_t begin = address, size = used->second;
    heapUsed_.erase(used);
    // Merge with the free neighbours.
    if (auto after = heapFree_.find(begin + size); after != heapFree_.end()) {
        size += after->second;
        heapFree_.erase(after);
    }
    if (auto before = heapFree_.lower_bound(begin); before != heapFree_.begin()) {
        --before;
        if (before->first + before->second == begin) {
            begin = before->first;
            size += before->second;
            heapFree_.erase(before);
        }
    }
    heapFree_[begin] = size;
    return true;
}

uint32_t Process::allocationSize(uint32_t address) const
{
    const auto used = heapUsed_.find(address);
    return used == heapUsed_.end() ? 0 : used->second;
}

uint64_t Process::heapInUse() const
{
    uint64_t bytes = 0;
    for (const auto &[address, size] : heapUsed_)
        bytes += size;
    return bytes;
}

uint32_t Process::lastError() const
{
    return machine_.read32(Machine::ThreadBlock + Machine::TebLastError);
}

void Process::setLastError(uint32_t error)
{
    machine_.write32(Machine::ThreadBlock + Machine::TebLastError, error);
}

} // namespace host::emu

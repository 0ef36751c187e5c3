#include "pe_image.h"

#include <fstream>
#include <iterator>

namespace pe {
namespace {

// Limits a forged file cannot push us past.
constexpr size_t MaxSections = 96;
constexpr size_t MaxEntries = 65536;
constexpr size_t MaxName = 4096;

} // namespace

Image Image::fromFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PeError("cannot open " + path);
    return Image(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

uint16_t Image::u16(size_t offset) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 2)
        throw PeError("read past the end of the file");
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

uint32_t Image::u32(size_t offset) const
{
    return u16(offset) | static_cast<uint32_t>(u16(offset + 2)) << 16;
}

uint64_t Image::u64(size_t offset) const
{
    return u32(offset) | static_cast<uint64_t>(u32(offset + 4)) << 32;
}

Image::Image(std::vector<uint8_t> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        throw PeError("not an MZ file");
    const size_t pe = u32(0x3c);
    if (u32(pe) != 0x00004550)
        throw PeError("no PE signature");
    const size_t coff = pe + 4;
    machine_ = u16(coff);
    const size_t sectionCount = u16(coff + 2);
    const size_t optionalSize = u16(coff + 16);
    characteristics_ = u16(coff + 18);
    const size_t optional = coff + 20;
    magic_ = u16(optional);
    if (magic_ != MagicPe32 && magic_ != MagicPe32Plus)
        throw PeError("unknown optional header magic");
    entryPoint_ = u32(optional + 16);
    imageBase_ = magic_ == MagicPe32 ? u32(optional + 28) : u64(optional + 24);
    const size_t directoryCountAt = optional + (magic_ == MagicPe32 ? 92 : 108);
    const size_t directoryCount = u32(directoryCountAt);
    if (directoryCount > 16 || directoryCountAt + 4 + directoryCount * 8 > optional + optionalSize)
        throw PeError("data directories do not fit the optional header");
    for (size_t i = 0; i < directoryCount; ++i)
        directories_.push_back({u32(directoryCountAt + 4 + i * 8), u32(directoryCountAt + 8 + i * 8)});
    if (sectionCount > MaxSections)
        throw PeError("too many sections");
    const size_t table = optional + optionalSize;
    if (table > bytes_.size() || (bytes_.size() - table) / 40 < sectionCount)
        throw PeError("section table reaches past the end of the file");
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t at = table + i * 40;
        Section section;
        for (size_t c = 0; c < 8 && bytes_[at + c]; ++c)
            section.name += static_cast<char>(bytes_[at + c]);
        section.virtualSize = u32(at + 8);
        section.virtualAddress = u32(at + 12);
        section.rawSize = u32(at + 16);
        section.rawOffset = u32(at + 20);
        section.characteristics = u32(at + 36);
        if (section.rawOffset > bytes_.size() || bytes_.size() - section.rawOffset < section.rawSize)
            throw PeError("section " + section.name + " reaches past the end of the file");
        sections_.push_back(section);
    }
}

DataDirectory Image::directory(Directory which) const
{
    return which < directories_.size() ? directories_[which] : DataDirectory{};
}

const Section *Image::sectionAt(uint32_t rva) const
{
    for (const Section &section : sections_) {
        const uint32_t extent = section.virtualSize ? section.virtualSize : section.rawSize;
        if (rva >= section.virtualAddress && rva - section.virtualAddress < extent)
            return &section;
    }
    return nullptr;
}

size_t Image::fileOffset(uint32_t rva, uint32_t size) const
{
    const Section *section = sectionAt(rva);
    if (!section)
        throw PeError("address " + std::to_string(rva) + " lies in no section");
    const uint32_t inside = rva - section->virtualAddress;
    if (inside > section->rawSize || section->rawSize - inside < size)
        throw PeError("address " + std::to_string(rva) + " reaches past its section's data");
    return section->rawOffset + static_cast<size_t>(inside);
}

std::vector<uint8_t> Image::bytesAt(uint32_t rva, uint32_t size) const
{
    const size_t at = fileOffset(rva, size);
    return {bytes_.begin() + static_cast<std::ptrdiff_t>(at), bytes_.begin() + static_cast<std::ptrdiff_t>(at + size)};
}

std::string Image::cString(uint32_t rva) const
{
    std::string text;
    for (size_t at = fileOffset(rva, 1); text.size() < MaxName; ++at) {
        if (at >= bytes_.size())
            throw PeError("unterminated name");
        if (!bytes_[at])
            return text;
        text += static_cast<char>(bytes_[at]);
    }
    throw PeError("name too long");
}

std::vector<Export> Image::exports() const
{
    const DataDirectory directory = this->directory(ExportDirectory);
    if (!directory.rva)
        return {};
    const size_t at = fileOffset(directory.rva, 40);
    const uint32_t functionCount = u32(at + 20);
    const uint32_t nameCount = u32(at + 24);
    const uint32_t functions = u32(at + 28);
    const uint32_t names = u32(at + 32);
    const uint32_t ordinals = u32(at + 36);
    if (functionCount > MaxEntries || nameCount > functionCount)
        throw PeError("implausible export counts");
    std::vector<Export> result;
    for (uint32_t i = 0; i < nameCount; ++i) {
        const uint16_t ordinal = u16(fileOffset(ordinals + 2 * i, 2));
        if (ordinal >= functionCount)
            throw PeError("export ordinal out of range");
        Export entry;
        entry.name = cString(u32(fileOffset(names + 4 * i, 4)));
        entry.rva = u32(fileOffset(functions + 4 * ordinal, 4));
        entry.forwarded = entry.rva >= directory.rva && entry.rva - directory.rva < directory.size;
        result.push_back(entry);
    }
    // Entries reachable by ordinal only have no name; report them too.
    if (functionCount > nameCount) {
        for (uint32_t i = 0; i < functionCount; ++i) {
            bool named = false;
            for (uint32_t n = 0; n < nameCount && !named; ++n)
                named = u16(fileOffset(ordinals + 2 * n, 2)) == i;
            const uint32_t rva = u32(fileOffset(functions + 4 * i, 4));
            if (!named && rva)
                result.push_back({"#" + std::to_string(u32(at + 16) + i), rva, false});
        }
    }
    return result;
}

std::vector<Import> Image::imports() const
{
    const DataDirectory directory = this->directory(ImportDirectory);
    if (!directory.rva)
        return {};
    const bool wide = magic_ == MagicPe32Plus;
    const uint32_t thunkSize = wide ? 8 : 4;
    std::vector<Import> result;
    for (uint32_t entry = 0;; ++entry) {
        if (entry > MaxEntries)
            throw PeError("import directory does not end");
        const size_t at = fileOffset(directory.rva + entry * 20, 20);
        const uint32_t lookup = u32(at);
        const uint32_t name = u32(at + 12);
        const uint32_t firstThunk = u32(at + 16);
        if (!lookup && !name && !firstThunk)
            break;
        Import library;
        library.library = cString(name);
        const uint32_t thunks = lookup ? lookup : firstThunk;
        for (uint32_t i = 0;; ++i) {
            if (i > MaxEntries)
                throw PeError("import list does not end");
            const size_t thunkAt = fileOffset(thunks + i * thunkSize, thunkSize);
            const uint64_t thunk = wide ? u64(thunkAt) : u32(thunkAt);
            if (!thunk)
                break;
            const uint64_t byOrdinal = wide ? 1ull << 63 : 1ull << 31;
            if (thunk & byOrdinal)
                library.functions.push_back("#" + std::to_string(thunk & 0xffff));
            else
                library.functions.push_back(cString(static_cast<uint32_t>(thunk & 0x7fffffff) + 2));
        }
        result.push_back(library);
    }
    return result;
}

void Image::resourceLevel(uint32_t tableRva, int depth, Resource path, std::vector<Resource> &out) const
{
    const DataDirectory root = directory(ResourceDirectory);
    const size_t at = fileOffset(tableRva, 16);
    const size_t count = static_cast<size_t>(u16(at + 12)) + u16(at + 14);
    if (count > MaxEntries)
        throw PeError("implausible resource table");
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = fileOffset(static_cast<uint32_t>(tableRva + 16 + i * 8), 8);
        const uint32_t nameOrId = u32(entry);
        const uint32_t target = u32(entry + 4);
        Resource next = path;
        uint32_t id = nameOrId;
        std::string name;
        if (nameOrId & 0x80000000u) {
            // A counted UTF-16 name; keep its low bytes, enough to report it.
            const size_t nameAt = fileOffset(root.rva + (nameOrId & 0x7fffffff), 2);
            const size_t length = u16(nameAt);
            fileOffset(root.rva + (nameOrId & 0x7fffffff), static_cast<uint32_t>(2 + 2 * length));
            for (size_t c = 0; c < length; ++c)
                name += static_cast<char>(bytes_[nameAt + 2 + 2 * c]);
            id = 0;
        }
        if (depth == 0) {
            next.type = id;
        } else if (depth == 1) {
            next.id = id;
            next.name = name;
        } else {
            next.language = id;
        }
        const bool subdirectory = target & 0x80000000u;
        if (subdirectory != (depth < 2))
            throw PeError("resource tree is not three levels deep");
        if (subdirectory) {
            resourceLevel(root.rva + (target & 0x7fffffff), depth + 1, next, out);
        } else {
            const size_t data = fileOffset(root.rva + target, 16);
            next.dataRva = u32(data);
            next.dataSize = u32(data + 4);
            fileOffset(next.dataRva, next.dataSize);
            out.push_back(next);
        }
    }
}

std::vector<Resource> Image::resources() const
{
    const DataDirectory directory = this->directory(ResourceDirectory);
    std::vector<Resource> result;
    if (directory.rva)
        resourceLevel(directory.rva, 0, {}, result);
    return result;
}

} // namespace pe

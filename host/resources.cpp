#include "resources.h"

#include "bitmap_blob_format.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace host {
namespace {

// Bounds-checked little-endian reads from untrusted bytes. Positions are
// 64-bit so that offset + size can never wrap.
class Reader {
public:
    Reader(std::span<const uint8_t> bytes, const char *what) : bytes_(bytes), what_(what) {}

    size_t size() const { return bytes_.size(); }

    bool fits(uint64_t at, uint64_t length) const
    {
        return at <= bytes_.size() && length <= bytes_.size() - at;
    }

    void require(uint64_t at, uint64_t length, const char *field) const
    {
        if (!fits(at, length))
            fail(std::string(field) + " lies outside the data");
    }

    uint16_t u16(uint64_t at, const char *field) const
    {
        require(at, 2, field);
        return static_cast<uint16_t>(bytes_[at] | (bytes_[at + 1] << 8));
    }

    uint32_t u32(uint64_t at, const char *field) const
    {
        require(at, 4, field);
        return static_cast<uint32_t>(bytes_[at]) | (static_cast<uint32_t>(bytes_[at + 1]) << 8) |
               (static_cast<uint32_t>(bytes_[at + 2]) << 16) | (static_cast<uint32_t>(bytes_[at + 3]) << 24);
    }

    uint64_t u64(uint64_t at, const char *field) const
    {
        return u32(at, field) | (static_cast<uint64_t>(u32(at + 4, field)) << 32);
    }

    int32_t i32(uint64_t at, const char *field) const { return static_cast<int32_t>(u32(at, field)); }

    std::span<const uint8_t> sub(uint64_t at, uint64_t length, const char *field) const
    {
        require(at, length, field);
        return bytes_.subspan(static_cast<size_t>(at), static_cast<size_t>(length));
    }

    [[noreturn]] void fail(const std::string &message) const
    {
        throw ResourceError(std::string(what_) + ": " + message);
    }

private:
    std::span<const uint8_t> bytes_;
    const char *what_;
};

// ---- Bitmaps ---------------------------------------------------------------

constexpr uint32_t BmpFileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;

// Decodes a DIB whose info header starts at infoAt. pixelsAt is where the
// pixel rows begin, or 0 for "right after the palette" (a BITMAP resource).
BitmapResource decode(const Reader &in, uint64_t infoAt, uint64_t pixelsAt, int32_t id)
{
    const uint32_t headerSize = in.u32(infoAt, "bitmap header size");
    if (headerSize < InfoHeaderSize || headerSize > 1024)
        in.fail("bitmap " + std::to_string(id) + " has an unsupported header size " + std::to_string(headerSize));
    const int64_t width = in.i32(infoAt + 4, "bitmap width");
    const int64_t rawHeight = in.i32(infoAt + 8, "bitmap height");
    const uint16_t planes = in.u16(infoAt + 12, "bitmap planes");
    const uint16_t bits = in.u16(infoAt + 14, "bitmap bits per pixel");
    const uint32_t compression = in.u32(infoAt + 16, "bitmap compression");
    const uint32_t coloursUsed = in.u32(infoAt + 32, "bitmap colour count");

    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -rawHeight : rawHeight;
    const std::string name = "bitmap " + std::to_string(id);
    if (width <= 0 || height <= 0 || width > MaxBitmapSide || height > MaxBitmapSide ||
        static_cast<uint64_t>(width * height) > MaxBitmapPixels)
        in.fail(name + " has an unusable size " + std::to_string(width) + " x " + std::to_string(rawHeight));
    if (planes != 1)
        in.fail(name + " has " + std::to_string(planes) + " planes");
    if (bits != 1 && bits != 4 && bits != 8)
        in.fail(name + " has " + std::to_string(bits) + " bits per pixel; only palette bitmaps are read");
    if (compression != 0)
        in.fail(name + " is compressed");
    const uint32_t maxColours = 1u << bits;
    const uint32_t colours = coloursUsed == 0 ? maxColours : coloursUsed;
    if (colours > maxColours)
        in.fail(name + " claims " + std::to_string(coloursUsed) + " palette colours");

    BitmapResource bitmap;
    bitmap.id = id;
    bitmap.width = static_cast<int32_t>(width);
    bitmap.height = static_cast<int32_t>(height);
    bitmap.bitsPerPixel = bits;
    bitmap.paletteSize = static_cast<int>(colours);
    const uint64_t paletteAt = infoAt + headerSize;
    const std::span<const uint8_t> palette = in.sub(paletteAt, 4ull * colours, "bitmap palette");
    for (uint32_t i = 0; i < colours; ++i)
        bitmap.palette.push_back({palette[4 * i + 2], palette[4 * i + 1], palette[4 * i]});

    const uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
    const uint64_t rowsAt = pixelsAt ? pixelsAt : paletteAt + 4ull * colours;
    const std::span<const uint8_t> rows = in.sub(rowsAt, stride * height, "bitmap pixels");
    bitmap.pixels.resize(static_cast<size_t>(width * height));
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t *row = rows.data() + stride * (topDown ? y : height - 1 - y);
        uint8_t *out = bitmap.pixels.data() + y * width;
        for (int64_t x = 0; x < width; ++x) {
            uint8_t index = 0;
            switch (bits) {
            case 8:
                index = row[x];
                break;
            case 4:
                index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0f;
                break;
            default:
                index = (row[x / 8] >> (7 - x % 8)) & 0x01;
                break;
            }
            if (index >= colours)
                in.fail(name + " uses colour " + std::to_string(index) + " beyond its palette of " +
                        std::to_string(colours));
            out[x] = index;
        }
    }
    return bitmap;
}

// ---- ELF -------------------------------------------------------------------

constexpr uint32_t SectionTypeNoBits = 8;

struct ElfSection {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
    uint32_t link;
};

std::vector<BitmapResource> readElfBitmaps(std::span<const uint8_t> file)
{
    const Reader in(file, "ELF module");
    in.require(0, 16, "ELF identification");
    const uint8_t elfClass = file[4];
    if (elfClass != 1 && elfClass != 2)
        in.fail("unknown ELF class " + std::to_string(elfClass));
    if (file[5] != 1)
        in.fail("not a little-endian ELF file");
    const bool wide = elfClass == 2;

    const uint64_t tableAt = wide ? in.u64(0x28, "section table offset") : in.u32(0x20, "section table offset");
    const uint16_t entrySize = in.u16(wide ? 0x3A : 0x2E, "section entry size");
    uint64_t count = in.u16(wide ? 0x3C : 0x30, "section count");
    uint32_t namesIndex = in.u16(wide ? 0x3E : 0x32, "section name index");
    if (tableAt == 0)
        return {};
    if (entrySize < (wide ? 64u : 40u))
        in.fail("section headers of " + std::to_string(entrySize) + " bytes");

    auto section = [&](uint64_t index) {
        const uint64_t at = tableAt + index * entrySize;
        in.require(at, entrySize, "section header");
        ElfSection s{};
        s.name = in.u32(at, "section name");
        s.type = in.u32(at + 4, "section type");
        s.offset = wide ? in.u64(at + 24, "section offset") : in.u32(at + 16, "section offset");
        s.size = wide ? in.u64(at + 32, "section size") : in.u32(at + 20, "section size");
        s.link = in.u32(at + (wide ? 40 : 24), "section link");
        return s;
    };
    // Extended numbering: section 0 holds the real count and name index.
    if (count == 0)
        count = section(0).size;
    if (namesIndex == 0xffff)
        namesIndex = section(0).link;
    in.require(tableAt, count * entrySize, "section table");
    if (namesIndex >= count)
        in.fail("section name table index out of range");
    const ElfSection names = section(namesIndex);
    const std::span<const uint8_t> nameBytes = in.sub(names.offset, names.size, "section name table");

    const std::string wanted = gauge_bitmaps::SectionName;
    for (uint64_t i = 0; i < count; ++i) {
        const ElfSection s = section(i);
        if (s.name >= nameBytes.size())
            continue;
        const auto *start = nameBytes.data() + s.name;
        const auto *end = std::find(start, nameBytes.data() + nameBytes.size(), 0);
        if (end == nameBytes.data() + nameBytes.size())
            continue; // an unterminated name is no name of ours
        if (std::string(reinterpret_cast<const char *>(start), end - start) != wanted)
            continue;
        if (s.type == SectionTypeNoBits)
            in.fail("section " + wanted + " holds no data");
        return readBitmapBlob(in.sub(s.offset, s.size, "bitmap section"));
    }
    return {};
}

// ---- PE --------------------------------------------------------------------

constexpr uint32_t ResourceTypeBitmap = 2;
constexpr uint32_t HighBit = 0x80000000u;

struct PeSection {
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawOffset;
};

} // namespace

std::vector<BitmapResource> readPeBitmaps(std::span<const uint8_t> file)
{
    const Reader in(file, "PE module");
    if (in.u16(0, "DOS header") != 0x5A4D)
        in.fail("no DOS header");
    const uint32_t peAt = in.u32(0x3C, "PE header offset");
    if (in.u32(peAt, "PE signature") != 0x00004550)
        in.fail("no PE signature");
    const uint64_t coffAt = uint64_t(peAt) + 4;
    const uint16_t sectionCount = in.u16(coffAt + 2, "section count");
    const uint16_t optionalSize = in.u16(coffAt + 16, "optional header size");
    const uint64_t optionalAt = coffAt + 20;
    const uint16_t magic = in.u16(optionalAt, "optional header magic");
    uint64_t directoriesAt = 0;
    uint64_t directoryCountAt = 0;
    if (magic == 0x10b) {
        directoryCountAt = optionalAt + 92;
        directoriesAt = optionalAt + 96;
    } else if (magic == 0x20b) {
        directoryCountAt = optionalAt + 108;
        directoriesAt = optionalAt + 112;
    } else {
        in.fail("unknown optional header magic");
    }
    if (directoriesAt + 3 * 8 > optionalAt + optionalSize ||
        in.u32(directoryCountAt, "data directory count") < 3)
        return {}; // no resource directory
    const uint32_t resourceRva = in.u32(directoriesAt + 2 * 8, "resource directory address");
    const uint32_t resourceSize = in.u32(directoriesAt + 2 * 8 + 4, "resource directory size");
    if (resourceRva == 0 || resourceSize == 0)
        return {};

    std::vector<PeSection> sections;
    const uint64_t sectionsAt = optionalAt + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionsAt + uint64_t(i) * 40;
        sections.push_back({in.u32(at + 8, "section size"), in.u32(at + 12, "section address"),
                            in.u32(at + 16, "section raw size"), in.u32(at + 20, "section raw offset")});
    }
    // The file bytes behind [rva, rva + length), which must lie within one
    // section's raw data.
    auto bytesAt = [&](uint64_t rva, uint64_t length, const char *field) {
        for (const PeSection &s : sections) {
            if (rva < s.virtualAddress)
                continue;
            const uint64_t into = rva - s.virtualAddress;
            if (into >= std::max(s.virtualSize, s.rawSize))
                continue;
            if (into + length > s.rawSize)
                in.fail(std::string(field) + " runs past its section's data");
            return in.sub(uint64_t(s.rawOffset) + into, length, field);
        }
        in.fail(std::string(field) + " lies in no section");
    };

    // Directory offsets are relative to the resource root.
    const std::span<const uint8_t> root = bytesAt(resourceRva, resourceSize, "resource directory");
    const Reader tree(root, "PE resource directory");
    struct Entry {
        uint32_t name;
        uint32_t target;
    };
    auto entries = [&](uint32_t at) {
        const uint32_t named = tree.u16(uint64_t(at) + 12, "named entry count");
        const uint32_t numbered = tree.u16(uint64_t(at) + 14, "numbered entry count");
        tree.require(uint64_t(at) + 16, 8ull * (named + numbered), "directory entries");
        std::vector<Entry> list;
        for (uint32_t i = named; i < named + numbered; ++i) // numbered entries only
            list.push_back({tree.u32(uint64_t(at) + 16 + 8 * i, "entry name"),
                            tree.u32(uint64_t(at) + 20 + 8 * i, "entry target")});
        return list;
    };

    std::vector<BitmapResource> bitmaps;
    std::set<int32_t> seen;
    for (const Entry &type : entries(0)) {
        if (type.name != ResourceTypeBitmap || !(type.target & HighBit))
            continue;
        for (const Entry &name : entries(type.target & ~HighBit)) {
            if (!(name.target & HighBit) || name.name > 0xffff)
                continue;
            const std::vector<Entry> languages = entries(name.target & ~HighBit);
            if (languages.empty() || (languages.front().target & HighBit))
                continue;
            const uint32_t dataAt = languages.front().target;
            const uint32_t dataRva = tree.u32(dataAt, "resource data address");
            const uint32_t dataSize = tree.u32(uint64_t(dataAt) + 4, "resource data size");
            const int32_t id = static_cast<int32_t>(name.name);
            if (!seen.insert(id).second)
                continue;
            bitmaps.push_back(decodeDib(bytesAt(dataRva, dataSize, "bitmap resource"), id));
        }
    }
    std::sort(bitmaps.begin(), bitmaps.end(),
              [](const BitmapResource &a, const BitmapResource &b) { return a.id < b.id; });
    return bitmaps;
}

BitmapResource decodeBmpFile(std::span<const uint8_t> bytes, int32_t id)
{
    const Reader in(bytes, "BMP file");
    if (in.u16(0, "BMP signature") != 0x4D42)
        in.fail("bitmap " + std::to_string(id) + " has no BMP signature");
    const uint32_t pixelsAt = in.u32(10, "BMP pixel offset");
    if (pixelsAt < BmpFileHeaderSize + InfoHeaderSize)
        in.fail("bitmap " + std::to_string(id) + " has its pixels inside its header");
    return decode(in, BmpFileHeaderSize, pixelsAt, id);
}

BitmapResource decodeDib(std::span<const uint8_t> bytes, int32_t id)
{
    return decode(Reader(bytes, "bitmap resource"), 0, 0, id);
}

std::vector<BitmapResource> readBitmapBlob(std::span<const uint8_t> blob)
{
    using namespace gauge_bitmaps;
    const Reader in(blob, "bitmap section");
    in.require(0, HeaderSize, "blob header");
    if (!std::equal(std::begin(Magic), std::end(Magic), blob.begin()))
        in.fail("bad magic");
    const uint32_t version = in.u32(4, "blob version");
    if (version != FormatVersion)
        in.fail("unknown format version " + std::to_string(version));
    const uint32_t count = in.u32(8, "entry count");
    in.require(HeaderSize, uint64_t(count) * EntrySize, "blob index");
    std::vector<BitmapResource> bitmaps;
    std::set<int32_t> seen;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = HeaderSize + uint64_t(i) * EntrySize;
        const int32_t id = in.i32(at, "entry id");
        const uint32_t offset = in.u32(at + 4, "entry offset");
        const uint32_t size = in.u32(at + 8, "entry size");
        if (!seen.insert(id).second)
            in.fail("bitmap " + std::to_string(id) + " is listed twice");
        bitmaps.push_back(decodeBmpFile(in.sub(offset, size, "bitmap data"), id));
    }
    std::sort(bitmaps.begin(), bitmaps.end(),
              [](const BitmapResource &a, const BitmapResource &b) { return a.id < b.id; });
    return bitmaps;
}

std::vector<BitmapResource> readModuleBitmaps(std::span<const uint8_t> file, const std::string &name)
{
    try {
        if (file.size() >= 4 && file[0] == 0x7f && file[1] == 'E' && file[2] == 'L' && file[3] == 'F')
            return readElfBitmaps(file);
        if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z')
            return readPeBitmaps(file);
    } catch (const ResourceError &error) {
        throw ResourceError(name + ": " + error.what());
    }
    throw ResourceError(name + ": not a module file (neither ELF nor PE)");
}

std::vector<BitmapResource> readModuleBitmaps(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ResourceError(path + ": cannot open the file");
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return readModuleBitmaps(bytes, path);
}

} // namespace host

// The module bitmap reader on small synthetic files: BMP rows and
// palettes, the ELF section and blob, the PE resource tree, and malformed
// input of every kind, which must give a ResourceError and never a read
// outside the file.
#include "bitmap_blob_format.h"
#include "resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes &b, size_t at, uint32_t v)
{
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void put32(Bytes &b, size_t at, uint32_t v)
{
    put16(b, at, v & 0xffff);
    put16(b, at + 2, v >> 16);
}

void put64(Bytes &b, size_t at, uint64_t v)
{
    put32(b, at, uint32_t(v));
    put32(b, at + 4, uint32_t(v >> 32));
}

// A DIB: info header, palette of `colours` greys (entry i = i*10), rows of
// indices as given top-down, stored bottom-up unless topDown.
Bytes dib(int width, const std::vector<std::vector<uint8_t>> &rows, int bits, uint32_t colours, bool topDown = false)
{
    const int height = int(rows.size());
    const size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    Bytes b(40, 0);
    put32(b, 0, 40);
    put32(b, 4, uint32_t(width));
    put32(b, 8, uint32_t(topDown ? -height : height));
    put16(b, 12, 1);
    put16(b, 14, uint32_t(bits));
    put32(b, 32, colours);
    for (uint32_t i = 0; i < (colours ? colours : (1u << bits)); ++i) {
        const uint8_t v = uint8_t(i * 10);
        b.insert(b.end(), {v, v, v, 0});
    }
    for (int r = 0; r < height; ++r) {
        const auto &row = rows[size_t(topDown ? r : height - 1 - r)];
        Bytes packed(stride, 0);
        for (int x = 0; x < width; ++x) {
            if (bits == 8)
                packed[size_t(x)] = row[size_t(x)];
            else if (bits == 4)
                packed[size_t(x / 2)] |= uint8_t(row[size_t(x)] << (x % 2 ? 0 : 4));
            else
                packed[size_t(x / 8)] |= uint8_t((row[size_t(x)] & 1) << (7 - x % 8));
        }
        b.insert(b.end(), packed.begin(), packed.end());
    }
    return b;
}

Bytes bmpFile(const Bytes &info)
{
    Bytes b{'B', 'M'};
    b.resize(14, 0);
    const uint32_t bits = info[14];
    const uint32_t used = info[32] | (info[33] << 8);
    const uint32_t colours = used ? used : 1u << bits;
    put32(b, 2, uint32_t(14 + info.size()));
    put32(b, 10, 14 + 40 + 4 * colours);
    b.insert(b.end(), info.begin(), info.end());
    return b;
}

Bytes blob(const std::vector<std::pair<int32_t, Bytes>> &files)
{
    using namespace gauge_bitmaps;
    Bytes b(HeaderSize + EntrySize * files.size(), 0);
    std::memcpy(b.data(), Magic, 4);
    put32(b, 4, FormatVersion);
    put32(b, 8, uint32_t(files.size()));
    for (size_t i = 0; i < files.size(); ++i) {
        put32(b, HeaderSize + EntrySize * i, uint32_t(files[i].first));
        put32(b, HeaderSize + EntrySize * i + 4, uint32_t(b.size()));
        put32(b, HeaderSize + EntrySize * i + 8, uint32_t(files[i].second.size()));
        b.insert(b.end(), files[i].second.begin(), files[i].second.end());
    }
    return b;
}

// A 64-bit ELF file holding nothing but a name table and the bitmap section.
Bytes elfWith(const Bytes &section)
{
    const std::string names = std::string("\0.shstrtab\0", 11) + gauge_bitmaps::SectionName + '\0';
    Bytes b(64, 0);
    b[0] = 0x7f;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = 2; // 64-bit
    b[5] = 1; // little-endian
    const size_t namesAt = b.size();
    b.insert(b.end(), names.begin(), names.end());
    const size_t dataAt = b.size();
    b.insert(b.end(), section.begin(), section.end());
    while (b.size() % 8)
        b.push_back(0);
    const size_t tableAt = b.size();
    b.resize(tableAt + 3 * 64, 0);
    auto header = [&](int index, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        const size_t at = tableAt + size_t(index) * 64;
        put32(b, at, name);
        put32(b, at + 4, type);
        put64(b, at + 24, offset);
        put64(b, at + 32, size);
    };
    header(1, 1, 3, namesAt, names.size());
    header(2, 11, 1, dataAt, section.size());
    put64(b, 0x28, tableAt);
    put16(b, 0x3A, 64);
    put16(b, 0x3C, 3);
    put16(b, 0x3E, 1);
    return b;
}

// A 32-bit PE file whose one section holds a resource tree with one
// BITMAP resource.
Bytes peWith(uint32_t id, const Bytes &dibBytes)
{
    constexpr uint32_t SectionRva = 0x1000;
    constexpr uint32_t RawAt = 0x200;
    Bytes tree(0x58, 0);
    put16(tree, 14, 1); // root: one numbered entry
    put32(tree, 16, 2); // RT_BITMAP
    put32(tree, 20, 0x80000000u | 0x18);
    put16(tree, 0x18 + 14, 1);
    put32(tree, 0x18 + 16, id);
    put32(tree, 0x18 + 20, 0x80000000u | 0x30);
    put16(tree, 0x30 + 14, 1);
    put32(tree, 0x30 + 16, 0x409);
    put32(tree, 0x30 + 20, 0x48); // a data entry
    put32(tree, 0x48, SectionRva + 0x58);
    put32(tree, 0x4C, uint32_t(dibBytes.size()));
    tree.insert(tree.end(), dibBytes.begin(), dibBytes.end());

    Bytes b(RawAt, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    put32(b, 0x40, 0x00004550);
    const size_t coff = 0x44;
    put16(b, coff, 0x14c);
    put16(b, coff + 2, 1);
    put16(b, coff + 16, 224);
    const size_t optional = coff + 20;
    put16(b, optional, 0x10b);
    put32(b, optional + 92, 16);
    put32(b, optional + 96 + 16, SectionRva);
    put32(b, optional + 96 + 20, uint32_t(tree.size()));
    const size_t section = optional + 224;
    std::memcpy(b.data() + section, ".rsrc", 5);
    put32(b, section + 8, uint32_t(tree.size()));
    put32(b, section + 12, SectionRva);
    put32(b, section + 16, uint32_t(tree.size()));
    put32(b, section + 20, RawAt);
    b.insert(b.end(), tree.begin(), tree.end());
    return b;
}

const std::vector<std::vector<uint8_t>> Rows = {{1, 2, 3}, {4, 5, 6}};

TEST(BitmapReader, DecodesRowsPalettesAndDepths)
{
    struct Case {
        const char *name;
        int bits;
        uint32_t colours;
        bool topDown;
    };
    const Case cases[] = {
        {"8-bit bottom-up", 8, 8, false},
        {"8-bit top-down", 8, 7, true},
        {"4-bit, full palette", 4, 0, false},
        {"1-bit", 1, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> rows = Rows;
        if (c.bits == 1)
            rows = {{1, 0, 1}, {0, 1, 1}};
        const host::BitmapResource b = host::decodeBmpFile(bmpFile(dib(3, rows, c.bits, c.colours, c.topDown)), 7);
        EXPECT_EQ(b.id, 7);
        EXPECT_EQ(b.width, 3);
        EXPECT_EQ(b.height, 2);
        EXPECT_EQ(b.bitsPerPixel, c.bits);
        EXPECT_EQ(b.paletteSize, int(c.colours ? c.colours : 1u << c.bits));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(b.at(x, y), rows[size_t(y)][size_t(x)]) << x << "," << y;
        EXPECT_EQ(b.colourAt(2, 1), (host::PaletteColour{uint8_t(rows[1][2] * 10), uint8_t(rows[1][2] * 10),
                                                          uint8_t(rows[1][2] * 10)}));
    }
}

TEST(BitmapReader, FindsTheBlobInAnElfSection)
{
    const Bytes file = elfWith(blob({{0x101, bmpFile(dib(3, Rows, 8, 8))}, {0x100, bmpFile(dib(3, Rows, 8, 8))}}));
    const auto bitmaps = host::readModuleBitmaps(file, "test.gau");
    ASSERT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(bitmaps[0].id, 0x100); // in ascending id
    EXPECT_EQ(bitmaps[1].id, 0x101);
    EXPECT_EQ(bitmaps[1].at(0, 1), 4);
}

TEST(BitmapReader, FindsBitmapResourcesInAPeFile)
{
    const auto bitmaps = host::readModuleBitmaps(peWith(0x162, dib(3, Rows, 8, 8)), "test.gau");
    ASSERT_EQ(bitmaps.size(), 1u);
    EXPECT_EQ(bitmaps[0].id, 0x162);
    EXPECT_EQ(bitmaps[0].width, 3);
    EXPECT_EQ(bitmaps[0].at(2, 0), 3);
}

TEST(BitmapReader, AModuleWithoutBitmapsHasNone)
{
    Bytes elf = elfWith({});
    // Rename the bitmap section: the file then simply has no bitmaps.
    const auto at = std::search(elf.begin(), elf.end(), std::begin(gauge_bitmaps::SectionName),
                                std::end(gauge_bitmaps::SectionName) - 1);
    ASSERT_NE(at, elf.end());
    *(at + 1) = 'X';
    EXPECT_TRUE(host::readModuleBitmaps(elf, "test.gau").empty());
}

// A file that must be refused with a ResourceError.
void expectRefused(const Bytes &file, const char *what)
{
    SCOPED_TRACE(what);
    EXPECT_THROW(host::readModuleBitmaps(file, "bad.gau"), host::ResourceError);
}

TEST(BitmapReader, RefusesMalformedBitmaps)
{
    const Bytes good = bmpFile(dib(3, Rows, 8, 8));
    struct Case {
        const char *what;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Case cases[] = {
        {"zero width", 14 + 4, 0, true},
        {"huge width", 14 + 4, 0x7fffffff, true},
        {"height of INT32_MIN", 14 + 8, 0x80000000u, true},
        {"two planes", 14 + 12, 2, false},
        {"24 bits per pixel", 14 + 14, 24, false},
        {"compressed", 14 + 16, 1, true},
        {"more colours than 8 bits hold", 14 + 32, 300, true},
        {"palette too small for the pixels", 14 + 32, 3, true},
        {"pixel offset past the end", 10, 0xfffffff0u, true},
        {"pixel offset inside the header", 10, 20, true},
        {"header size past the end", 14, 0xffffff00u, true},
    };
    for (const Case &c : cases) {
        Bytes bad = good;
        if (c.wide)
            put32(bad, c.at, c.value);
        else
            put16(bad, c.at, c.value);
        expectRefused(elfWith(blob({{1, bad}})), c.what);
    }
    Bytes truncated = good;
    truncated.resize(truncated.size() - 3);
    expectRefused(elfWith(blob({{1, truncated}})), "rows cut short");
}

TEST(BitmapReader, RefusesMalformedBlobsAndElfFiles)
{
    const Bytes good = blob({{1, bmpFile(dib(3, Rows, 8, 8))}});
    auto patched = [&](size_t at, uint32_t value) {
        Bytes b = good;
        put32(b, at, value);
        return b;
    };
    expectRefused(elfWith(patched(0, 0x12345678)), "bad magic");
    expectRefused(elfWith(patched(4, 2)), "unknown version");
    expectRefused(elfWith(patched(8, 0x40000000)), "index larger than the blob");
    expectRefused(elfWith(patched(16 + 4, 0xfffffff0u)), "entry offset past the end");
    expectRefused(elfWith(patched(16 + 8, 0xffffffffu)), "entry size past the end");
    expectRefused(elfWith(blob({{5, bmpFile(dib(3, Rows, 8, 8))}, {5, bmpFile(dib(3, Rows, 8, 8))}})),
                  "an id listed twice");

    const Bytes elf = elfWith(good);
    Bytes bad = elf;
    put64(bad, 0x28, 0xfffffffffffffff0ull);
    expectRefused(bad, "section table past the end");
    bad = elf;
    put16(bad, 0x3C, 0xffff);
    expectRefused(bad, "more sections than the file holds");
    bad = elf;
    put16(bad, 0x3E, 9);
    expectRefused(bad, "name table index out of range");
    bad = elf;
    put64(bad, 0x28, 0);
    EXPECT_TRUE(host::readModuleBitmaps(bad, "bad.gau").empty()) << "no section table, no bitmaps";
    // The bitmap section's offset and size lie in the third section header.
    const size_t third = size_t(elf[0x28] | (elf[0x29] << 8)) + 2 * 64;
    bad = elf;
    put64(bad, third + 24, 0xffffffffffff0000ull);
    expectRefused(bad, "section data past the end");
    bad = elf;
    put64(bad, third + 32, 0xffffffffffff0000ull);
    expectRefused(bad, "section size past the end");
    expectRefused(Bytes{'n', 'o', 'p', 'e'}, "neither ELF nor PE");
    expectRefused(Bytes{0x7f, 'E', 'L', 'F'}, "ELF identification cut short");
}

TEST(BitmapReader, RefusesMalformedPeFiles)
{
    const Bytes good = peWith(0x162, dib(3, Rows, 8, 8));
    auto patched = [&](size_t at, uint32_t value) {
        Bytes b = good;
        put32(b, at, value);
        return b;
    };
    expectRefused(patched(0x3C, 0xfffffff0u), "PE header past the end");
    expectRefused(patched(0x40, 0), "no PE signature");
    expectRefused(patched(0x44 + 20 + 96 + 16, 0x9000), "resource tree in no section");
    expectRefused(patched(0x44 + 20 + 96 + 20, 0x100000), "resource tree larger than its section");
    expectRefused(patched(0x200 + 0x48, 0x7ffffff0), "resource data in no section");
    expectRefused(patched(0x200 + 0x4C, 0x100000), "resource data past its section");
    expectRefused(patched(0x200 + 0x18 + 12, 0xffff0000u), "more directory entries than the tree holds");
    expectRefused(patched(0x200 + 20, 0x80000000u | 0xfff0), "subdirectory past the tree");
}

// Every truncation of a real module file, and bytes flipped all over it,
// read either cleanly or with a ResourceError; the reader never reads
// outside the bytes (the sanitizer build would catch it).
TEST(BitmapReader, SurvivesCutAndDamagedModuleFiles)
{
    std::ifstream in(std::string(GAUGE_BIN_DIR) + "/Korvo6.gau", std::ios::binary);
    ASSERT_TRUE(in);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto survives = [](const Bytes &bytes) {
        try {
            host::readModuleBitmaps(bytes, "damaged.gau");
        } catch (const host::ResourceError &) {
        }
    };
    for (size_t length = 0; length < file.size(); length += 1 + length / 7)
        survives(Bytes(file.begin(), file.begin() + long(length)));
    uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes damaged = file;
        for (int k = 0; k < 8; ++k) {
            seed = seed * 1103515245u + 12345u;
            damaged[(seed >> 8) % damaged.size()] ^= uint8_t(seed >> 24 | 1);
        }
        survives(damaged);
    }
}

} // namespace

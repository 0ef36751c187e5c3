// Every module file built here exports exactly the two data records and
// nothing else: no function, no other data, no version node.
#include <gtest/gtest.h>

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct DynamicSymbols {
    std::set<std::string> defined;
    std::set<std::string> definedFunctions;
    bool hasVersionDefinitions = false;
};

template <typename T>
T readAt(const std::vector<char> &file, size_t offset)
{
    if (offset + sizeof(T) > file.size())
        throw std::runtime_error("truncated ELF file");
    T value;
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

DynamicSymbols readDynamicSymbols(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};
    const auto header = readAt<Elf64_Ehdr>(file, 0);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        throw std::runtime_error("not a 64-bit ELF file");
    std::vector<Elf64_Shdr> sections;
    for (size_t i = 0; i < header.e_shnum; ++i)
        sections.push_back(readAt<Elf64_Shdr>(file, header.e_shoff + i * header.e_shentsize));

    DynamicSymbols symbols;
    for (const Elf64_Shdr &section : sections) {
        if (section.sh_type == SHT_GNU_verdef)
            symbols.hasVersionDefinitions = true;
        if (section.sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr &names = sections.at(section.sh_link);
        for (size_t i = 1; i < section.sh_size / sizeof(Elf64_Sym); ++i) {
            const auto symbol = readAt<Elf64_Sym>(file, section.sh_offset + i * sizeof(Elf64_Sym));
            if (symbol.st_shndx == SHN_UNDEF)
                continue;
            const std::string name = file.data() + names.sh_offset + symbol.st_name;
            symbols.defined.insert(name);
            if (ELF64_ST_TYPE(symbol.st_info) == STT_FUNC)
                symbols.definedFunctions.insert(name);
        }
    }
    return symbols;
}

std::vector<fs::path> moduleFiles()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(GAUGE_BIN_DIR))
        if (entry.path().extension() == ".gau")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ModuleExports, EveryModuleExportsExactlyLinkageAndImportTable)
{
    const auto files = moduleFiles();
    ASSERT_FALSE(files.empty());
    for (const fs::path &file : files) {
        const DynamicSymbols symbols = readDynamicSymbols(file);
        EXPECT_EQ(symbols.defined, (std::set<std::string>{"ImportTable", "Linkage"})) << file;
        EXPECT_TRUE(symbols.definedFunctions.empty()) << file;
        EXPECT_FALSE(symbols.hasVersionDefinitions) << file;
    }
}

TEST(ModuleExports, TheModulesAreBuilt)
{
    const auto files = moduleFiles();
    std::set<std::string> names;
    for (const fs::path &file : files)
        names.insert(file.filename().string());
    EXPECT_TRUE(names.count("korvo0.gau"));
}

} // namespace

#include "pe_image.h"

#include "host.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace host::emu {
namespace {

uint16_t read16(const std::vector<unsigned char> &bytes, size_t at)
{
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t read32(const std::vector<unsigned char> &bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

} // namespace

std::vector<unsigned char> readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw HostError("cannot open " + path + ": " + std::strerror(errno));
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

PeFile parsePeFile(std::vector<unsigned char> bytes, const std::string &path)
{
    auto fault = [&](const std::string &what) { return HostError(path + " " + what); };
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') {
        if (bytes.size() >= 4 && bytes[0] == 0x7f && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F')
            throw fault("is an ELF file, not a 32-bit Windows image (the x86 emulator runs the i686 builds)");
        throw fault("is not a Windows image (no MZ header)");
    }
    const uint32_t pe = read32(bytes, 0x3c);
    if (uint64_t(pe) + 24 > bytes.size() || std::memcmp(&bytes[pe], "PE\0\0", 4) != 0)
        throw fault("is not a PE image (no PE signature)");
    PeFile file;
    const size_t header = pe + 4;
    file.machine = read16(bytes, header);
    const uint16_t sectionCount = read16(bytes, header + 2);
    const uint16_t optionalSize = read16(bytes, header + 16);
    file.characteristics = read16(bytes, header + 18);
    if (file.machine == PeFile::MachineAmd64)
        throw fault("is a 64-bit x86 image; the x86 emulator runs 32-bit modules");
    if (file.machine != PeFile::MachineI386)
        throw fault("is built for machine type " + std::to_string(file.machine) + ", not 32-bit x86");
    const size_t optional = header + 20;
    if (optional + optionalSize > bytes.size() || optionalSize < 96)
        throw fault("has a truncated optional header");
    if (read16(bytes, optional) != 0x10b)
        throw fault("has no PE32 optional header");
    file.entryPoint = read32(bytes, optional + 16);
    file.imageBase = read32(bytes, optional + 28);
    file.sectionAlignment = read32(bytes, optional + 32);
    file.sizeOfImage = read32(bytes, optional + 56);
    file.sizeOfHeaders = read32(bytes, optional + 60);
    const uint32_t directoryCount = read32(bytes, optional + 92);
    for (uint32_t i = 0; i < directoryCount && i < 16 && 96 + 8 * (i + 1) <= optionalSize; ++i) {
        file.directories[i].address = read32(bytes, optional + 96 + 8 * i);
        file.directories[i].size = read32(bytes, optional + 100 + 8 * i);
    }
    if (file.sizeOfImage == 0 || file.sizeOfImage > 0x10000000)
        throw fault("declares an image size of " + std::to_string(file.sizeOfImage) + " bytes");
    if (file.sectionAlignment == 0 || (file.sectionAlignment & (file.sectionAlignment - 1)))
        throw fault("has a section alignment that is not a power of two");
    if (file.sizeOfHeaders > file.sizeOfImage || file.sizeOfHeaders > bytes.size())
        throw fault("has headers larger than the image or the file");

    size_t table = optional + optionalSize;
    if (table + 40ull * sectionCount > bytes.size())
        throw fault("has a truncated section table");
    for (uint16_t i = 0; i < sectionCount; ++i, table += 40) {
        PeSection section;
        section.name.assign(reinterpret_cast<const char *>(&bytes[table]), strnlen(reinterpret_cast<const char *>(&bytes[table]), 8));
        section.virtualSize = read32(bytes, table + 8);
        section.virtualAddress = read32(bytes, table + 12);
        section.rawSize = read32(bytes, table + 16);
        section.rawOffset = read32(bytes, table + 20);
        section.characteristics = read32(bytes, table + 36);
        if (section.virtualSize == 0)
            section.virtualSize = section.rawSize;
        if (uint64_t(section.virtualAddress) + section.virtualSize > file.sizeOfImage)
            throw fault("has section " + section.name + " beyond the image size");
        if (section.rawSize && uint64_t(section.rawOffset) + section.rawSize > bytes.size())
            throw fault("has section " + section.name + " beyond the end of the file");
        file.sections.push_back(section);
    }
    file.bytes = std::move(bytes);
    return file;
}

} // namespace host::emu

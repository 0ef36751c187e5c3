// The headers of a 32-bit PE image file (a Windows DLL such as a .gau), as
// the loader needs them before it maps the file: where the sections go and
// where the data directories lie once they are mapped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host::emu {

struct PeSection {
    std::string name;
    uint32_t virtualAddress = 0; // relative to the image base
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;      // in the file
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;

    static constexpr uint32_t Execute = 0x20000000, Read = 0x40000000, Write = 0x80000000;
};

struct PeDirectory {
    uint32_t address = 0; // relative to the image base
    uint32_t size = 0;
};

enum PeDirectoryIndex { PeExports = 0, PeImports = 1, PeResources = 2, PeRelocations = 5, PeTls = 9 };

struct PeFile {
    std::vector<unsigned char> bytes;
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint32_t imageBase = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t entryPoint = 0; // relative; 0 for none
    uint32_t sectionAlignment = 0;
    std::vector<PeSection> sections;
    PeDirectory directories[16];

    static constexpr uint16_t MachineI386 = 0x14c, MachineAmd64 = 0x8664;
    static constexpr uint16_t RelocationsStripped = 0x0001, Dll = 0x2000;

    bool isDll() const { return characteristics & Dll; }
    bool relocationsStripped() const { return characteristics & RelocationsStripped; }
};

// Reads and checks the headers of a 32-bit x86 PE file; throws HostError
// saying what is wrong (not a PE file, a 64-bit image, a truncated file...).
PeFile parsePeFile(std::vector<unsigned char> bytes, const std::string &path);

// Reads a whole file; throws HostError when it cannot.
std::vector<unsigned char> readFile(const std::string &path);

} // namespace host::emu

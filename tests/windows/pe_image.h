// A small reader of Windows module files (PE32 and PE32+), for checking what
// a built module file holds on any machine: its headers, sections, exports,
// imports and resources. The file is read as untrusted bytes: every offset
// and count is checked, and a malformed file gives a PeError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

struct PeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr uint16_t MachineI386 = 0x014c;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t MagicPe32 = 0x010b;
constexpr uint16_t MagicPe32Plus = 0x020b;
constexpr uint16_t FileIsDll = 0x2000;
constexpr uint32_t SectionCode = 0x00000020;
constexpr uint32_t SectionExecute = 0x20000000;
constexpr uint32_t SectionWrite = 0x80000000;
constexpr uint32_t ResourceTypeBitmap = 2;

enum Directory : size_t {
    ExportDirectory = 0,
    ImportDirectory = 1,
    ResourceDirectory = 2,
    RelocationDirectory = 5,
    TlsDirectory = 9,
};

struct Section {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;

    bool executable() const { return characteristics & (SectionCode | SectionExecute); }
    bool writable() const { return characteristics & SectionWrite; }
};

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct Export {
    std::string name;
    uint32_t rva = 0;
    bool forwarded = false; // the rva names another library's entry instead
};

struct Import {
    std::string library;
    std::vector<std::string> functions; // by name, or "#<ordinal>"
};

// One leaf of the resource tree. Numeric ids only: a named entry's id is
// kept as 0 with its name filled in.
struct Resource {
    uint32_t type = 0;
    uint32_t id = 0;
    std::string name;
    uint32_t language = 0;
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
};

class Image {
public:
    explicit Image(std::vector<uint8_t> bytes);
    static Image fromFile(const std::string &path);

    uint16_t machine() const { return machine_; }
    uint16_t magic() const { return magic_; }
    uint16_t characteristics() const { return characteristics_; }
    uint32_t entryPoint() const { return entryPoint_; }
    uint64_t imageBase() const { return imageBase_; }
    uint32_t pointerSize() const { return magic_ == MagicPe32Plus ? 8 : 4; }
    const std::vector<Section> &sections() const { return sections_; }
    DataDirectory directory(Directory which) const;

    // The section holding rva, or null.
    const Section *sectionAt(uint32_t rva) const;
    // size bytes of the mapped image at rva, all within one section's file
    // data; throws when they are not.
    std::vector<uint8_t> bytesAt(uint32_t rva, uint32_t size) const;

    std::vector<Export> exports() const;
    std::vector<Import> imports() const;
    std::vector<Resource> resources() const;

private:
    size_t fileOffset(uint32_t rva, uint32_t size) const;
    uint16_t u16(size_t offset) const;
    uint32_t u32(size_t offset) const;
    uint64_t u64(size_t offset) const;
    std::string cString(uint32_t rva) const;
    void resourceLevel(uint32_t tableRva, int depth, Resource path, std::vector<Resource> &out) const;

    std::vector<uint8_t> bytes_;
    uint16_t machine_ = 0;
    uint16_t magic_ = 0;
    uint16_t characteristics_ = 0;
    uint32_t entryPoint_ = 0;
    uint64_t imageBase_ = 0;
    std::vector<Section> sections_;
    std::vector<DataDirectory> directories_;
};

} // namespace pe

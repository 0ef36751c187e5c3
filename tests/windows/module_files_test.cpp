// The Windows module files, read as files on any machine: the 32-bit
// deliverables (which no machine of ours can run) and their 64-bit twins.
// Each must be a DLL for its machine that exports exactly the two records,
// imports only from the system, carries every bitmap as a BITMAP resource,
// and holds in its records what the native build of the same module holds.
#include "gauge_abi.h"
#include "pe_image.h"
#include "platform.h"
#include "record_layout.h"
#include "resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Build {
    const char *preset;
    const char *binDir;
    uint16_t machine;
    uint16_t magic;
};

const Build Builds[] = {
    {"mingw32", GAUGE_MINGW32_BIN, pe::MachineI386, pe::MagicPe32},
    {"mingw64", GAUGE_MINGW64_BIN, pe::MachineAmd64, pe::MagicPe32Plus},
};

const char *const Modules[] = {"korvo0.gau", "Korvo6.gau", "vantrel.gau"};

// Everything a module may import, by library (lower case): the loader calls
// of the sound binding and the readout's text formatting. Both libraries are
// part of every Windows installation.
const std::map<std::string, std::set<std::string>> AllowedImports = {
    {"kernel32.dll", {"LoadLibraryA", "GetModuleHandleA", "GetProcAddress", "FreeLibrary"}},
    {"user32.dll", {"wsprintfA", "wvsprintfA"}},
};

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string hex(uint64_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

std::vector<uint8_t> fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A module's records as lines of text, so that two builds of the same module
// compare line by line. A pointer shows as "-" when null, "code" or "data"
// by where it points, "bad" when it points outside the image.
class Summary {
public:
    void line(const std::string &text) { lines.push_back(text); }
    std::vector<std::string> lines;
    std::set<int32_t> bitmapIds; // every bitmap an element names
};

void summariseElement(Summary &out, size_t index, int32_t kind, int32_t resourceId, Point position, Point offset,
                      uint32_t imageFlags, int32_t iconCount)
{
    std::ostringstream text;
    text << "  element " << index << " kind " << kind << " bitmap " << resourceId << " at " << position.x << ","
         << position.y << " offset " << offset.x << "," << offset.y << " flags " << hex(imageFlags);
    if (kind == KindIcon)
        text << " pictures " << iconCount;
    out.line(text.str());
    if (kind != KindString)
        for (int32_t i = 0; i < (kind == KindIcon ? iconCount : 1); ++i)
            out.bitmapIds.insert(resourceId + i);
}

// The records of the module as the native build loaded it.
Summary summariseNative(const ModuleLinkage &linkage, const ModuleImports &imports)
{
    Summary out;
    auto pointer = [](auto function) { return function ? "code" : "-"; };
    out.line("module " + hex(static_cast<uint32_t>(linkage.moduleId)) + " version " +
             hex(static_cast<uint32_t>(linkage.moduleVersion)) + " init " + pointer(linkage.moduleInit) +
             " deinit " + pointer(linkage.moduleDeinit));
    out.line("imports " + hex(static_cast<uint32_t>(imports.entries[0].id)) + " " +
             (imports.entries[0].services ? "set" : "-") + " " + hex(static_cast<uint32_t>(imports.entries[1].id)) +
             " " + (imports.entries[1].services ? "set" : "-"));
    for (size_t g = 0; g < LinkageGaugeCapacity && linkage.gauges[g]; ++g) {
        const GaugeHeader &gauge = *linkage.gauges[g];
        const std::string routineText = std::string(" ") + pointer(gauge.queryRoutine) + " " +
                                        pointer(gauge.installRoutine) + " " + pointer(gauge.initializeRoutine) + " " +
                                        pointer(gauge.updateRoutine) + " " + pointer(gauge.generateRoutine) + " " +
                                        pointer(gauge.drawRoutine) + " " + pointer(gauge.killRoutine);
        out.line("gauge " + std::string(gauge.name ? gauge.name : "-") + " version " + std::to_string(gauge.version) +
                 " size " + std::to_string(gauge.sizeMm) + " callback " +
                 pointer(gauge.callback) + " mouse " +
                 (gauge.mouseRects ? "data" : "-") + " routines" + routineText);
        std::unordered_set<const ElementHeader *> seen;
        const ElementHeader *element = gauge.elements ? gauge.elements[0] : nullptr;
        for (size_t i = 0; element && i < 256 && seen.insert(element).second; ++i) {
            const int32_t iconCount =
                element->kind == KindIcon ? reinterpret_cast<const Icon *>(element)->iconCount : 0;
            summariseElement(out, i, element->kind, element->resourceId, element->position, element->offset,
                             element->imageFlags, iconCount);
            element = element->next ? element->next[0] : nullptr;
        }
    }
    return out;
}

// Reads the records of a PE module file where they lie in the image, through
// the pointers as the linker wrote them for the preferred base.
class PeRecords {
public:
    explicit PeRecords(const pe::Image &image) : image_(image), layout_(pe::recordLayout(image.pointerSize())) {}

    const pe::RecordLayout &layout() const { return layout_; }

    uint32_t u32(uint64_t va) const
    {
        const auto bytes = image_.bytesAt(rva(va, 4), 4);
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    }
    int32_t i32(uint64_t va) const { return static_cast<int32_t>(u32(va)); }
    uint64_t pointer(uint64_t va) const
    {
        return layout_.pointer == 8 ? u32(va) | static_cast<uint64_t>(u32(va + 4)) << 32 : u32(va);
    }
    std::string text(uint64_t va) const
    {
        std::string out;
        for (char c; out.size() < 256 && (c = static_cast<char>(image_.bytesAt(rva(va + out.size(), 1), 1)[0]));)
            out += c;
        return out;
    }
    // "code", "data", "-" or "bad" for the pointer stored at va.
    std::string kind(uint64_t va) const
    {
        const uint64_t target = pointer(va);
        if (!target)
            return "-";
        if (target < image_.imageBase())
            return "bad";
        const pe::Section *section = image_.sectionAt(static_cast<uint32_t>(target - image_.imageBase()));
        return !section ? "bad" : section->executable() ? "code" : "data";
    }

private:
    uint32_t rva(uint64_t va, uint32_t size) const
    {
        if (va < image_.imageBase() || va - image_.imageBase() > 0xffffffffu - size)
            throw pe::PeError("pointer " + hex(va) + " lies outside the image");
        return static_cast<uint32_t>(va - image_.imageBase());
    }

    const pe::Image &image_;
    pe::RecordLayout layout_;
};

Summary summarisePe(const pe::Image &image, uint64_t linkageVa, uint64_t importsVa)
{
    const PeRecords r(image);
    const pe::RecordLayout &l = r.layout();
    Summary out;
    out.line("module " + hex(r.u32(linkageVa)) + " version " + hex(r.u32(linkageVa + l.linkageVersion)) + " init " +
             r.kind(linkageVa + l.linkageInit) + " deinit " + r.kind(linkageVa + l.linkageDeinit));
    const uint64_t entry1 = importsVa + l.importEntrySize;
    auto set = [&](uint64_t va) { return r.pointer(va) ? "set" : "-"; };
    out.line("imports " + hex(r.u32(importsVa)) + " " + set(importsVa + l.importServices) + " " + hex(r.u32(entry1)) +
             " " + set(entry1 + l.importServices));
    for (size_t g = 0; g < LinkageGaugeCapacity; ++g) {
        const uint64_t gauge = r.pointer(linkageVa + l.linkageGauges + g * l.pointer);
        if (!gauge)
            break;
        std::string routineText;
        for (uint32_t i = 0; i < 7; ++i)
            routineText += " " + r.kind(gauge + l.gaugeFirstRoutine + i * l.pointer);
        const uint64_t name = r.pointer(gauge + l.gaugeName);
        out.line("gauge " + (name ? r.text(name) : "-") + " version " + std::to_string(r.i32(gauge)) + " size " +
                 std::to_string(r.i32(gauge + l.gaugeSizeMm)) + " callback " + r.kind(gauge + l.gaugeCallback) +
                 " mouse " + r.kind(gauge + l.gaugeMouseRects) + " routines" + routineText);
        const uint64_t elements = r.pointer(gauge + l.gaugeElements);
        uint64_t element = elements ? r.pointer(elements) : 0;
        std::set<uint64_t> seen;
        for (size_t i = 0; element && i < 256 && seen.insert(element).second; ++i) {
            const int32_t kind = r.i32(element);
            const Point position{r.i32(element + l.elementPosition), r.i32(element + l.elementPosition + 4)};
            const Point offset{r.i32(element + l.elementOffset), r.i32(element + l.elementOffset + 4)};
            summariseElement(out, i, kind, r.i32(element + 4), position, offset, r.u32(element + l.elementImageFlags),
                             kind == KindIcon ? r.i32(element + l.iconCount) : 0);
            const uint64_t next = r.pointer(element + l.elementNext);
            element = next ? r.pointer(next) : 0;
        }
    }
    return out;
}

// One module file of one build.
struct Case {
    Build build;
    const char *module;
};

// Names the case in test names: mingw32_korvo0.
void PrintTo(const Case &c, std::ostream *out)
{
    const std::string module = c.module;
    *out << c.build.preset << "_" << module.substr(0, module.find('.'));
}

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    for (const Build &build : Builds)
        for (const char *module : Modules)
            cases.push_back({build, module});
    return cases;
}

class ModuleFile : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        build = GetParam().build;
        module = GetParam().module;
        path = std::string(build.binDir) + "/" + module;
        if (!fs::exists(path))
            GTEST_SKIP() << "no " << build.preset << " build of " << module << " in " << build.binDir
                         << "; build it first: cmake --preset " << build.preset << " && cmake --build --preset "
                         << build.preset;
        image = std::make_unique<pe::Image>(pe::Image::fromFile(path));
    }

    uint64_t exportVa(const std::string &name) const
    {
        for (const pe::Export &entry : image->exports())
            if (entry.name == name)
                return image->imageBase() + entry.rva;
        return 0;
    }

    Build build{};
    std::string module;
    std::string path;
    std::unique_ptr<pe::Image> image;
};

TEST_P(ModuleFile, IsADllForItsMachine)
{
    EXPECT_EQ(image->machine(), build.machine) << "machine " << hex(image->machine());
    EXPECT_EQ(image->magic(), build.magic) << "optional header magic " << hex(image->magic());
    EXPECT_TRUE(image->characteristics() & pe::FileIsDll);
    const pe::Section *entry = image->sectionAt(image->entryPoint());
    ASSERT_NE(entry, nullptr) << "no entry point";
    EXPECT_TRUE(entry->executable()) << "entry point in " << entry->name;
    // No code may run at load besides the entry point, and the file must
    // load at whatever address the host's process has free.
    EXPECT_EQ(image->directory(pe::TlsDirectory).rva, 0u) << "TLS callbacks";
    EXPECT_GT(image->directory(pe::RelocationDirectory).size, 0u) << "no base relocations";
}

TEST_P(ModuleFile, ExportsExactlyTheTwoRecordsAsData)
{
    std::vector<std::string> names;
    for (const pe::Export &entry : image->exports()) {
        names.push_back(entry.name);
        EXPECT_FALSE(entry.forwarded) << entry.name;
        const pe::Section *section = image->sectionAt(entry.rva);
        ASSERT_NE(section, nullptr) << entry.name;
        // The host writes into both records, so they must lie in writable data.
        EXPECT_FALSE(section->executable()) << entry.name << " lies in code (" << section->name << ")";
        EXPECT_TRUE(section->writable()) << entry.name << " lies in read-only " << section->name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ImportTable", "Linkage"}));
}

TEST_P(ModuleFile, ImportsOnlyFromTheSystem)
{
    for (const pe::Import &library : image->imports()) {
        const auto allowed = AllowedImports.find(lowerCase(library.library));
        if (allowed == AllowedImports.end()) {
            ADD_FAILURE() << module << " imports from " << library.library;
            continue;
        }
        for (const std::string &function : library.functions)
            EXPECT_TRUE(allowed->second.count(function)) << module << " imports " << library.library << "!" << function;
    }
}

TEST_P(ModuleFile, RecordsHoldWhatTheNativeBuildHolds)
{
    const std::string nativePath = std::string(GAUGE_BIN_DIR) + "/" + module;
    platform::LibraryHandle native = platform::loadLibraryFile(nativePath.c_str());
    ASSERT_NE(native, nullptr) << platform::lastLoaderError();
    const auto *linkage = static_cast<const ModuleLinkage *>(platform::entryPoint(native, "Linkage"));
    const auto *imports = static_cast<const ModuleImports *>(platform::entryPoint(native, "ImportTable"));
    ASSERT_TRUE(linkage && imports);
    const Summary expected = summariseNative(*linkage, *imports);
    platform::freeLibrary(native);

    const uint64_t linkageVa = exportVa("Linkage");
    const uint64_t importsVa = exportVa("ImportTable");
    ASSERT_TRUE(linkageVa && importsVa);
    const Summary actual = summarisePe(*image, linkageVa, importsVa);
    ASSERT_GT(expected.lines.size(), 2u);
    EXPECT_EQ(actual.lines, expected.lines);
}

TEST_P(ModuleFile, CarriesEveryBitmapAsAResource)
{
    std::set<uint32_t> resourceIds;
    for (const pe::Resource &resource : image->resources())
        if (resource.type == pe::ResourceTypeBitmap) {
            EXPECT_TRUE(resource.name.empty()) << "bitmap named \"" << resource.name << "\" instead of numbered";
            EXPECT_TRUE(resourceIds.insert(resource.id).second) << "bitmap " << resource.id << " twice";
        }

    // The same pictures, bit for bit, as the native module file carries.
    const std::string nativePath = std::string(GAUGE_BIN_DIR) + "/" + module;
    const std::vector<host::BitmapResource> expected = host::readModuleBitmaps(nativePath);
    const std::vector<host::BitmapResource> actual = host::readPeBitmaps(fileBytes(path));
    ASSERT_FALSE(expected.empty()) << "the native " << module << " carries no bitmaps";
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("bitmap " + std::to_string(expected[i].id));
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_TRUE(resourceIds.count(static_cast<uint32_t>(expected[i].id)));
        EXPECT_EQ(actual[i].bitsPerPixel, 8);
        EXPECT_EQ(actual[i].palette.size(), 256u);
        EXPECT_EQ(actual[i].width, expected[i].width);
        EXPECT_EQ(actual[i].height, expected[i].height);
        EXPECT_TRUE(actual[i].palette == expected[i].palette);
        EXPECT_TRUE(actual[i].pixels == expected[i].pixels);
    }

    // Every bitmap an element of the file's own records names is there.
    const Summary records = summarisePe(*image, exportVa("Linkage"), exportVa("ImportTable"));
    for (int32_t id : records.bitmapIds)
        EXPECT_TRUE(resourceIds.count(static_cast<uint32_t>(id))) << "an element names bitmap " << id;
}

INSTANTIATE_TEST_SUITE_P(Windows, ModuleFile, ::testing::ValuesIn(allCases()));

// The reader itself, on files that are not what they claim.
TEST(PeImage, RejectsMalformedFiles)
{
    std::vector<uint8_t> header(512, 0);
    header[0] = 'M';
    header[1] = 'Z';
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"not MZ", std::vector<uint8_t>(512, 0)},
        {"PE offset past the end", [&] { auto b = header; b[0x3c] = 0xff; b[0x3d] = 0xff; return b; }()},
        {"no PE signature", [&] { auto b = header; b[0x3c] = 0x40; return b; }()},
        {"bad magic", [&] {
             auto b = header;
             b[0x3c] = 0x40;
             std::memcpy(&b[0x40], "PE\0\0", 4);
             return b;
         }()},
    };
    for (const auto &c : cases)
        EXPECT_THROW(pe::Image{c.bytes}, pe::PeError) << c.what;
}

TEST(PeImage, ReadsItsRecordsPastNoSectionEnd)
{
    // A real file cut short anywhere must throw, never read past the end.
    const std::string path = std::string(GAUGE_MINGW32_BIN) + "/korvo0.gau";
    if (!fs::exists(path))
        GTEST_SKIP() << "no mingw32 build in " << GAUGE_MINGW32_BIN;
    const std::vector<uint8_t> whole = fileBytes(path);
    for (size_t length : {size_t{0x40}, size_t{0x100}, size_t{0x200}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(length);
        try {
            const pe::Image image(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)));
            image.exports();
            image.imports();
            image.resources();
        } catch (const pe::PeError &) {
        }
    }
}

} // namespace

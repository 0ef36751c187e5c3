// The x86 emulator's parts: wsprintfA's formatting as documented, the loader
// and system calls on small i686 libraries built for the purpose, and the
// faults of gauge modules that only an emulated 32-bit run can show.
#include "emulated_backend.h"
#include "host.h"
#include "process.h"
#include "wsprintf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using host::HostError;
using namespace host::emu;

// ---------------------------------------------------------------- wsprintfA

class ListArguments : public FormatArguments {
public:
    ListArguments(std::vector<uint32_t> words, std::map<uint32_t, std::string> texts = {},
                  std::map<uint32_t, std::u16string> wide = {})
        : words_(std::move(words)), texts_(std::move(texts)), wide_(std::move(wide))
    {
    }
    uint32_t next() override { return index_ < words_.size() ? words_[index_++] : 0; }
    std::string narrowText(uint32_t address, size_t maxLength) override
    {
        return texts_.at(address).substr(0, maxLength);
    }
    std::u16string wideText(uint32_t address, size_t maxLength) override
    {
        return wide_.at(address).substr(0, maxLength);
    }

private:
    std::vector<uint32_t> words_;
    size_t index_ = 0;
    std::map<uint32_t, std::string> texts_;
    std::map<uint32_t, std::u16string> wide_;
};

TEST(Wsprintf, FormatsAsDocumented)
{
    struct Case {
        const char *format;
        std::vector<uint32_t> arguments;
        const char *expected;
    };
    const uint32_t minusFive = static_cast<uint32_t>(-5);
    const Case cases[] = {
        // The altimeter's readout format.
        {"%2d.%02d", {29, 92}, "29.92"},
        {"%2d.%02d", {9, 50}, " 9.50"},
        {"%2d.%02d", {0, 0}, " 0.00"},
        // Signs, widths, zero padding after the sign.
        {"%d|%5d|%-5d|%05d", {minusFive, 42, 42, minusFive}, "-5|   42|42   |-0005"},
        {"%i %u", {0x80000000u, 0x80000000u}, "-2147483648 2147483648"},
        // Precision is a least number of digits; 0 or missing means 1.
        {"%.3d|%.0d|%.d|%.5u", {7, 0, 0, 12}, "007|0|0|00012"},
        // Hexadecimal, with and without the prefix.
        {"%x %X %#x %#X %08x", {0xbeef, 0xbeef, 255, 255, 0xabc}, "beef BEEF 0xff 0XFF 00000abc"},
        {"%#06x", {0xa}, "0x000a"},
        // Size prefixes: h takes 16 bits, l and I the whole word.
        {"%hd %hu %hx %ld %lu %lx %Ix", {0x1ffff, 0x1ffff, 0x12345, minusFive, 3, 0x10, 0xff}, "-1 65535 2345 -5 3 10 ff"},
        // Characters: a byte, or a 16-bit character; zero adds nothing.
        {"[%c%c]", {'a', 0}, "[a]"},
        {"[%C%lc%hc]", {0x41, 0x263a, 'z'}, "[A?z]"},
        // Pointers print as eight hexadecimal digits.
        {"%p", {0x1a2b}, "00001A2B"},
        // A character of no meaning after % is copied.
        {"100%% %y", {}, "100% y"},
        {"%", {}, ""},
    };
    for (const Case &c : cases) {
        ListArguments arguments(c.arguments);
        EXPECT_EQ(formatWsprintf(c.format, arguments), c.expected) << "format " << c.format;
    }
}

TEST(Wsprintf, StringsAndTheirPrecision)
{
    ListArguments narrow({1, 1, 1, 0, 2}, {{1, "Quartz"}}, {{2, u"w\u00e9"}});
    EXPECT_EQ(formatWsprintf("%s|%.3s|%-8s|%s|%S", narrow), "Quartz|Qua|Quartz  |(null)|w?");
    ListArguments wide({2, 2, 1}, {{1, "hs"}}, {{2, u"ls"}});
    EXPECT_EQ(formatWsprintf("%ls %ws %hs", wide), "ls ls hs");
}

TEST(Wsprintf, StopsAt1023Characters)
{
    ListArguments arguments({1}, {{1, std::string(2000, 'a')}});
    const std::string text = formatWsprintf("%s tail", arguments);
    EXPECT_EQ(text.size(), WsprintfBufferSize - 1);
    EXPECT_EQ(text, std::string(1023, 'a'));
}

// ---------------------------------------------------------------- loader

#ifdef EMULATE_FIXTURES

const std::string Fixtures = EMULATE_FIXTURES;

// A process with emutest.dll loaded, and calls of its exports by name.
class Loader : public ::testing::Test {
protected:
    void SetUp() override { image = &process.loadFile(Fixtures + "/emutest.dll"); }
    uint32_t call(const char *name, const std::vector<uint32_t> &arguments = {},
                  Convention convention = Convention::Stdcall)
    {
        const uint32_t address = process.procAddress(*image, name);
        if (!address)
            throw std::runtime_error(std::string("no export ") + name);
        return process.machine().call(address, arguments, convention, name);
    }
    std::string failure(const char *name, const std::vector<uint32_t> &arguments = {})
    {
        try {
            call(name, arguments);
        } catch (const HostError &error) {
            return error.what();
        }
        return "no error";
    }

    Process process;
    Image *image = nullptr;
};

TEST_F(Loader, PlacesTheImageAwayFromItsBaseAndRelocatesIt)
{
    EXPECT_NE(image->base, image->preferredBase);
    EXPECT_EQ(call("SumThroughPointers"), 42u);
    EXPECT_EQ(call("Add", {40, 2}), 42u);
}

TEST_F(Loader, RunsTheThreadCallbackAndEntryHookOnceAtLoad)
{
    EXPECT_EQ(call("AttachCount"), 101u);
    // A second load of the same file takes a reference and runs nothing.
    EXPECT_EQ(&process.loadFile(Fixtures + "/emutest.dll"), image);
    EXPECT_EQ(call("AttachCount"), 101u);
    EXPECT_EQ(image->references, 2);
}

TEST_F(Loader, ReturnsFloat64ResultsFromTheX87Stack)
{
    Machine &machine = process.machine();
    const uint32_t value = process.allocate(4);
    machine.write32(value, 85);
    const uint32_t half = process.procAddress(*image, "Half");
    for (int i = 0; i < 20; ++i) // more calls than the x87 stack has places
        EXPECT_EQ(machine.callReturningDouble(half, {value}, Convention::Stdcall, "Half"), 42.5);
}

TEST_F(Loader, ServesTheCRuntimeAndWsprintfA)
{
    EXPECT_EQ(call("HeapRoundTrip"), 7u);
    const uint32_t buffer = process.allocate(1024);
    const uint32_t length = call("Format", {buffer});
    const auto text = process.machine().readText(buffer, 1023);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "-0042|ab  |0xff|z|4000000000|end");
    EXPECT_EQ(length, text->size());
}

TEST_F(Loader, LoadsCountsAndUnloadsLibrariesByName)
{
    EXPECT_EQ(call("LoadAndFreeDependency"), 1u); // its detach ran at the last FreeLibrary
    EXPECT_EQ(process.loadedLibrary("emutest_dep"), nullptr);
    EXPECT_EQ(call("LoadRefusing"), static_cast<uint32_t>(ErrorDllInitFailed));
    EXPECT_EQ(process.loadedLibrary("emutest_refuse"), nullptr);
    EXPECT_EQ(call("LoadMissing"), static_cast<uint32_t>(ErrorModNotFound));
    EXPECT_EQ(call("MissingEntryPoint"), static_cast<uint32_t>(ErrorProcNotFound));
}

TEST_F(Loader, ReportsWhatTheProgramDidWrong)
{
    // A missing import, by library and name.
    EXPECT_NE(failure("CallMissing").find("called KERNEL32.dll!GetTickCount, which the emulator does not provide"),
              std::string::npos)
        << failure("CallMissing");
    // A fault, where it happened and what was touched.
    const std::string fault = failure("ReadNull");
    EXPECT_NE(fault.find("read of unmapped memory at 0x00000000"), std::string::npos) << fault;
    EXPECT_NE(fault.find("emutest.dll+0x"), std::string::npos) << fault;
    // A cdecl function called as the records' stdcall leaves the stack off.
    const std::string convention = failure("AddCdecl", {1, 2});
    EXPECT_NE(convention.find("stdcall convention"), std::string::npos) << convention;
    // A function that never returns.
    process.machine().setTimeLimit(200'000);
    EXPECT_NE(failure("Spin").find("did not return"), std::string::npos);
    // The process goes on after each of them.
    EXPECT_EQ(call("Add", {1, 2}), 3u);
}

TEST_F(Loader, ReportsAFileThatIsNoI686Library)
{
    EXPECT_THROW(process.loadFile(Fixtures + "/no-such-file.dll"), HostError);
    try {
        process.loadFile(EMULATE_NATIVE_MODULE);
        FAIL() << "an ELF module loaded";
    } catch (const HostError &error) {
        EXPECT_NE(std::string(error.what()).find("is an ELF file"), std::string::npos) << error.what();
    }
}

// ---------------------------------------------------------------- gauge faults

class FaultyModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.setBackend(makeEmulatedBackend());
        module = &host.loadModule(Fixtures + "/faulty.gau");
    }
    std::string evaluationFailure(const char *gauge)
    {
        try {
            host.evaluate(host.createGauge(*module, gauge));
        } catch (const HostError &error) {
            return error.what();
        }
        return "no error";
    }

    host::Host host;
    host::Module *module = nullptr;
};

TEST_F(FaultyModule, ACallbackOfTheWrongConventionIsReported)
{
    const std::string error = evaluationFailure("Cdecl");
    EXPECT_NE(error.find("returned with the stack 4 bytes short of where the stdcall convention leaves it"),
              std::string::npos)
        << error;
}

TEST(EmulatedModule, AnElementInReadOnlyMemoryIsRefused)
{
    // The host writes the fields of its own in every element; a native host
    // would fault at its first write.
    host::Host host;
    host.setBackend(makeEmulatedBackend());
    try {
        host.loadModule(Fixtures + "/readonly.gau");
        FAIL() << "loaded";
    } catch (const HostError &error) {
        EXPECT_NE(std::string(error.what()).find("read-only memory"), std::string::npos) << error.what();
    }
}

TEST_F(FaultyModule, APointerChangedAtRunTimeIsReported)
{
    const std::string error = evaluationFailure("Relink");
    EXPECT_NE(error.find("changed a pointer"), std::string::npos) << error;
}

TEST_F(FaultyModule, WritingPastTheTextBufferReachesTheHostsGuardBytes)
{
    host::GaugeInstance &gauge = host.createGauge(*module, "Overrun");
    host.evaluate(gauge);
    EXPECT_TRUE(gauge.guardOverwritten());
    EXPECT_EQ(gauge.elements()[0].text, std::string(6, 'x')); // what fits before the guard
}

int countedQueries = 0;
void GAUGE_CALL countQuery(ElementHeader *)
{
    ++countedQueries;
}

TEST_F(FaultyModule, TellsWhereItsRecordsLieAndTakesAnotherServicesTable)
{
    auto *memory = dynamic_cast<host::ModuleMemory *>(module);
    ASSERT_NE(memory, nullptr);
    ModuleLinkage &linkage = module->linkage();
    EXPECT_TRUE(memory->readable(&linkage, sizeof linkage));
    EXPECT_TRUE(memory->writable(&module->imports(), sizeof(ModuleImports)));
    EXPECT_FALSE(memory->readable(&linkage, sizeof linkage + 1)); // past the record
    EXPECT_FALSE(memory->readable(&countedQueries, 4));             // not the module's

    GaugeHeader *cdecl = module->findGauge("Cdecl");
    ASSERT_NE(cdecl, nullptr);
    EXPECT_EQ(memory->textLength(cdecl->name, 16), 5u);
    EXPECT_EQ(memory->textLength(cdecl->name, 4), std::nullopt);
    auto *needle = reinterpret_cast<Needle *>(cdecl->elements[0]);
    EXPECT_TRUE(memory->writable(needle, sizeof *needle));
    EXPECT_TRUE(memory->executable(reinterpret_cast<const void *>(needle->callback)));
    EXPECT_FALSE(memory->executable(reinterpret_cast<const void *>(&countQuery)));

    // The query routine reaches whatever table is stored now.
    PanelServices counting{};
    counting.queryElements = countQuery;
    memory->storeServices(&counting);
    host::GaugeInstance &gauge = host.createGauge(*module, "Overrun");
    EXPECT_TRUE(host.routine(gauge, "query", 0).empty());
    EXPECT_EQ(countedQueries, 1);
    memory->storeServices(host.services());
    EXPECT_EQ(host.routine(gauge, "query", 0).size(), 1u);
    EXPECT_EQ(countedQueries, 1);
}

#endif // EMULATE_FIXTURES

// ---------------------------------------------------------------- shipped files

#ifdef EMULATE_MINGW32_BIN
TEST(ShippedModules, TheQuadrantEndsTheSoundsOfTheLibraryItLoaded)
{
    const std::string folder = EMULATE_MINGW32_BIN;
    if (!std::ifstream(folder + "/vantrel.gau"))
        GTEST_SKIP() << folder << " holds no i686 build of the modules (build the mingw32 preset)";
    host::Host host;
    host.setBackend(makeEmulatedBackend());
    auto &backend = static_cast<EmulatedBackend &>(host.backend());
    Process &process = backend.process();
    host::GaugeInstance &gauge = host.createGauge(host.loadModule(folder + "/vantrel.gau"), "vantrel");

    host.service(gauge, 4); // first use: the quadrant loads GaugeSound beside it
    Image *library = process.loadedLibrary("GaugeSound");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->path.substr(library->path.rfind('/')), "/GaugeSound.dll");
    // A reference of the test's own keeps the library for reading its count.
    ASSERT_EQ(process.loadLibrary("GaugeSound", 0), library);
    const uint32_t count = process.procAddress(*library, "GaugeSoundTerminateCount");
    ASSERT_NE(count, 0u);
    EXPECT_EQ(process.machine().call(count, {}, Convention::Cdecl, "GaugeSoundTerminateCount"), 0u);

    host.service(gauge, 12); // take-down: TerminateSounds, then the release
    EXPECT_EQ(process.machine().call(count, {}, Convention::Cdecl, "GaugeSoundTerminateCount"), 1u);
    EXPECT_EQ(library->references, 1); // the test's alone
    EXPECT_TRUE(process.freeLibrary(library->base));
    EXPECT_EQ(process.loadedLibrary("GaugeSound"), nullptr);
}
#endif

} // namespace

// The Windows platform layer and the module files' start-up, with the real
// Windows loader (under wine64 on our machines): text formatting through
// wvsprintfA, the loader calls by bare name, and each module's entry point,
// which must answer every notification with success.
#include "gauge_abi.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>
#include <windows.h>

namespace {

const std::string BinDir = GAUGE_BIN_DIR;

TEST(FormatText, WritesWhatFitsAndAlwaysEndsTheText)
{
    const struct {
        int capacity;
        int whole;
        int hundredths;
        const char *text;
    } cases[] = {
        {6, 29, 92, "29.92"},
        {6, 9, 5, " 9.05"},
        {6, 0, 0, " 0.00"},
        {6, 100, 0, "100.0"}, // cut to the buffer, never past it
        {3, 29, 92, "29"},
        {1, 29, 92, ""},
        {64, 123456, 7, "123456.07"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> buffer(static_cast<size_t>(c.capacity) + 8, '#');
        const int written = platform::formatText(buffer.data(), c.capacity, "%2d.%02d", c.whole, c.hundredths);
        EXPECT_STREQ(buffer.data(), c.text);
        EXPECT_EQ(written, static_cast<int>(std::strlen(c.text)));
        for (size_t i = static_cast<size_t>(c.capacity); i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '#') << "written past the capacity at " << i;
    }
}

TEST(FormatText, LongOutputStaysInsideTheBuffer)
{
    const std::string longText(3000, 'x');
    std::vector<char> buffer(4000, '#');
    const int written = platform::formatText(buffer.data(), 2000, "%s", longText.c_str());
    // wvsprintfA stops at 1024 characters; whatever it wrote is ended.
    EXPECT_GT(written, 0);
    EXPECT_LE(written, 1024);
    EXPECT_EQ(std::strlen(buffer.data()), static_cast<size_t>(written));
    EXPECT_EQ(buffer[2000], '#');

    char untouched = '#';
    EXPECT_EQ(platform::formatText(&untouched, 0, "%s", "text"), 0);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(platform::formatText(nullptr, 10, "%s", "text"), 0);
}

// The stand-in GaugeSound.dll lies beside this program, in the folder where
// the loader looks first for a bare name.
bool soundLibraryLoaded()
{
    return GetModuleHandleA("GaugeSound") != nullptr;
}

TEST(Loader, BareNameLoadsAndLookupTakesNoReference)
{
    ASSERT_FALSE(soundLibraryLoaded());
    platform::LibraryHandle library = platform::loadLibrary("GaugeSound");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(platform::loadedLibrary("GaugeSound"), library);
    EXPECT_EQ(platform::loadedLibrary("GaugeSound"), library);
    EXPECT_NE(platform::entryPoint(library, "TerminateSounds"), nullptr);
    EXPECT_EQ(platform::entryPoint(library, "NoSuchEntry"), nullptr);
    EXPECT_EQ(platform::entryPoint(nullptr, "TerminateSounds"), nullptr);
    // One reference taken, one given back: the lookups took none.
    platform::freeLibrary(library);
    EXPECT_FALSE(soundLibraryLoaded());
    EXPECT_EQ(platform::loadedLibrary("GaugeSound"), nullptr);
    platform::freeLibrary(nullptr);
}

TEST(Loader, FileLoadsAreNeverSearchedFor)
{
    // A file name is taken from the working folder only, though the loader's
    // search would find GaugeSound.dll beside this program.
    char previous[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectoryA(MAX_PATH, previous));
    char temporary[MAX_PATH];
    ASSERT_TRUE(GetTempPathA(MAX_PATH, temporary));
    ASSERT_TRUE(SetCurrentDirectoryA(temporary));
    EXPECT_EQ(platform::loadLibraryFile("GaugeSound.dll"), nullptr);
    EXPECT_STRNE(platform::lastLoaderError(), "");
    ASSERT_TRUE(SetCurrentDirectoryA(previous));

    platform::LibraryHandle library = platform::loadLibraryFile((BinDir + "/GaugeSound.dll").c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(soundLibraryLoaded());
    platform::freeLibrary(library);
    EXPECT_FALSE(soundLibraryLoaded());
}

struct ModuleFile {
    const char *name;
};

// Names the case in test names: korvo0.
void PrintTo(const ModuleFile &module, std::ostream *out)
{
    const std::string name = module.name;
    *out << name.substr(0, name.find('.'));
}

class ModuleStartUp : public ::testing::TestWithParam<ModuleFile> {};

using EntryPoint = BOOL(WINAPI *)(HINSTANCE, DWORD, LPVOID);

DWORD WINAPI idleThread(LPVOID)
{
    return 0;
}

TEST_P(ModuleStartUp, AnswersEveryNotificationWithSuccess)
{
    const std::string path = BinDir + "/" + GetParam().name;
    // Loading fails unless the entry point answers the process attach with 1.
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path << ": error " << GetLastError();

    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(module);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(reinterpret_cast<const char *>(module) + dos->e_lfanew);
    ASSERT_NE(nt->OptionalHeader.AddressOfEntryPoint, 0u);
    const auto entry =
        reinterpret_cast<EntryPoint>(reinterpret_cast<const char *>(module) + nt->OptionalHeader.AddressOfEntryPoint);
    for (DWORD reason : {DWORD{DLL_THREAD_ATTACH}, DWORD{DLL_THREAD_DETACH}, DWORD{DLL_PROCESS_ATTACH},
                         DWORD{DLL_PROCESS_DETACH}, DWORD{4}, DWORD{0xffffffff}}) {
        SCOPED_TRACE(reason);
        EXPECT_EQ(entry(module, reason, nullptr), TRUE);
        EXPECT_EQ(entry(module, reason, reinterpret_cast<LPVOID>(1)), TRUE);
    }

    // A thread started and ended while the module is loaded reaches the entry
    // point through the loader itself.
    HANDLE thread = CreateThread(nullptr, 0, idleThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);

    // Exactly the two records, and nothing else, by name.
    EXPECT_NE(GetProcAddress(module, "Linkage"), nullptr);
    EXPECT_NE(GetProcAddress(module, "ImportTable"), nullptr);
    for (const char *hidden : {"DllMain", "GaugeModuleStartup", "memcpy", "memset"})
        EXPECT_EQ(GetProcAddress(module, hidden), nullptr) << hidden;
    const auto *linkage = reinterpret_cast<const ModuleLinkage *>(GetProcAddress(module, "Linkage"));
    EXPECT_EQ(linkage->moduleId, ModuleIdentifier);
    ASSERT_NE(linkage->gauges[0], nullptr);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Windows, ModuleStartUp,
                         ::testing::Values(ModuleFile{"korvo0.gau"}, ModuleFile{"Korvo6.gau"},
                                           ModuleFile{"vantrel.gau"}));

} // namespace

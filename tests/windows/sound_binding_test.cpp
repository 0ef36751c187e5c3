// The throttle quadrant's hold on GaugeSound with the real Windows loader
// (under wine64 on our machines). The stand-in GaugeSound.dll lies beside
// this program, where the loader looks first for the bare name "GaugeSound",
// as it would lie beside the simulator's own program. The module is driven
// directly through its records by a minimal host, so that these tests rest
// on nothing but the loader and the module.
//
// The module must never give back more references than it took, and must
// have given back all of them once every shown instance is taken down; a
// reference held by the test itself, as another gauge or module would hold
// one, shows the first, and the library unloading once the test lets go of
// it shows the second.
#include "gauge_abi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <windows.h>

namespace {

const std::string BinDir = GAUGE_BIN_DIR;

// The folder of this program, with its separator.
std::string programFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.resize(folder.find_last_of("\\/") + 1);
    return folder;
}

// The library the module finds by its bare name: the one beside this program.
const std::string SoundLibraryFile = programFolder() + "GaugeSound.dll";

bool soundLibraryLoaded()
{
    return GetModuleHandleA("GaugeSound") != nullptr;
}

void GAUGE_CALL readNothing(ModuleVar *variable)
{
    variable->value.number = 0.0;
}

void GAUGE_CALL ignoreKeyEvent(uint32_t, uint32_t) {}

// A reference on a GaugeSound library held by someone other than the module.
class ForeignReference {
public:
    explicit ForeignReference(const std::string &path) : library_(LoadLibraryA(path.c_str())) {}
    ForeignReference() : ForeignReference(SoundLibraryFile) {}
    ~ForeignReference() { release(); }
    ForeignReference(const ForeignReference &) = delete;
    ForeignReference &operator=(const ForeignReference &) = delete;

    bool held() const { return library_ != nullptr; }
    void release()
    {
        if (library_)
            FreeLibrary(library_);
        library_ = nullptr;
    }
    int terminateCount() const
    {
        auto count = reinterpret_cast<int (*)()>(reinterpret_cast<void *>(GetProcAddress(library_, "GaugeSoundTerminateCount")));
        return count ? count() : -1;
    }

private:
    HMODULE library_;
};

// The vantrel module loaded afresh for each test, with a host that answers
// variable reads with 0.
class SoundBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(soundLibraryLoaded()) << "GaugeSound is loaded before the test";
        module = LoadLibraryA((BinDir + "/vantrel.gau").c_str());
        ASSERT_NE(module, nullptr);
        auto *imports = reinterpret_cast<ModuleImports *>(GetProcAddress(module, "ImportTable"));
        auto *linkage = reinterpret_cast<ModuleLinkage *>(GetProcAddress(module, "Linkage"));
        ASSERT_TRUE(imports && linkage && linkage->gauges[0] && linkage->gauges[0]->callback);
        services.readVariable = readNothing;
        services.sendKeyEvent = ignoreKeyEvent;
        imports->entries[0].services = &services;
        gauge = linkage->gauges[0];
    }

    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
        EXPECT_FALSE(soundLibraryLoaded()) << "the test left GaugeSound loaded";
    }

    // The host calls one instance's gauge callback; every instance shares
    // the module's one header.
    void service(int32_t number) { gauge->callback(gauge, number, 0); }

    PanelServices services{};
    HMODULE module = nullptr;
    GaugeHeader *gauge = nullptr;
};

TEST_F(SoundBinding, FirstUseHoldsTheLibraryUntilTakeDown)
{
    service(4);
    EXPECT_TRUE(soundLibraryLoaded());
    service(6);
    service(6);
    EXPECT_TRUE(soundLibraryLoaded());
    {
        // The sounds end before the reference goes.
        ForeignReference watcher;
        service(12);
        EXPECT_EQ(watcher.terminateCount(), 1);
    }
    EXPECT_FALSE(soundLibraryLoaded());
    // Shown again while the module stays loaded: loaded afresh.
    service(4);
    EXPECT_TRUE(soundLibraryLoaded());
    service(12);
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, AFrameTakesNoReferenceOnALibraryLoadedElsewhere)
{
    ForeignReference other;
    ASSERT_TRUE(other.held());
    service(6);
    other.release();
    EXPECT_FALSE(soundLibraryLoaded()) << "the frame took a reference on a library it found loaded";
    // Unloaded meanwhile: the next frame loads it, and take-down gives it back.
    service(6);
    EXPECT_TRUE(soundLibraryLoaded());
    service(12);
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, TakeDownsKeepAnotherHoldersReference)
{
    ForeignReference other;
    service(6);
    service(12);
    ASSERT_TRUE(soundLibraryLoaded());
    EXPECT_EQ(other.terminateCount(), 1);
    // Two instances: the second first use finds the handle set and takes
    // nothing; the two take-downs give back the one reference taken.
    service(4);
    service(4);
    service(12);
    service(12);
    ASSERT_TRUE(soundLibraryLoaded());
    other.release();
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, AnyOrderOfServicesNeverDropsAnotherHoldersReference)
{
    const int32_t services[] = {4, 6, 12, 6, 10, 0};
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<std::unique_ptr<ForeignReference>> others;
        int firstUses = 0;
        for (int step = 0; step < 120; ++step) {
            const uint32_t choice = random() % 10;
            if (choice == 0) {
                others.push_back(std::make_unique<ForeignReference>());
            } else if (choice == 1 && !others.empty()) {
                others.erase(others.begin() + static_cast<long>(random() % others.size()));
            } else {
                const int32_t number = services[random() % std::size(services)];
                firstUses += number == 4;
                service(number);
            }
            if (!others.empty()) {
                ASSERT_TRUE(soundLibraryLoaded()) << "step " << step;
            }
        }
        for (int i = 0; i <= firstUses; ++i)
            service(12);
        others.clear();
        ASSERT_FALSE(soundLibraryLoaded()) << "the module still holds a reference";
    }
}

// Moves this program's GaugeSound.dll aside for as long as it lives.
class LibraryMovedAside {
public:
    LibraryMovedAside() : file_(SoundLibraryFile), aside_(SoundLibraryFile + ".aside")
    {
        moved_ = MoveFileA(file_.c_str(), aside_.c_str());
    }
    ~LibraryMovedAside() { restore(); }
    bool moved() const { return moved_; }
    void restore()
    {
        if (moved_)
            MoveFileA(aside_.c_str(), file_.c_str());
        moved_ = false;
    }

private:
    std::string file_, aside_;
    bool moved_ = false;
};

TEST_F(SoundBinding, AMissingLibraryIsLookedForAgainEveryFrame)
{
    LibraryMovedAside aside;
    ASSERT_TRUE(aside.moved());
    service(4);
    service(6);
    service(6);
    EXPECT_FALSE(soundLibraryLoaded());
    // Nothing to end and nothing to give back.
    service(12);
    service(4);
    aside.restore();
    service(6);
    EXPECT_TRUE(soundLibraryLoaded());
    service(12);
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, ALibraryWithoutTerminateSoundsIsReleasedAllTheSame)
{
    // Another holder brought in the stand-in without the entry point; the
    // bare name finds that one, already loaded.
    ForeignReference other(GAUGESOUND_NOTERMINATE_FILE);
    ASSERT_TRUE(other.held());
    ASSERT_EQ(GetProcAddress(GetModuleHandleA("GaugeSound"), "TerminateSounds"), nullptr);
    service(4);
    service(4);
    service(12);
    service(6);
    service(12);
    service(12);
    ASSERT_TRUE(soundLibraryLoaded());
    other.release();
    EXPECT_FALSE(soundLibraryLoaded());
}

} // namespace

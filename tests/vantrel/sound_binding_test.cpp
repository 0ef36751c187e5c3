// The quadrant's hold on GaugeSound, with the real loader: the stand-in
// library beside a fresh copy of the module, a second reference taken by the
// test itself as another gauge or module would, and the library's load state
// as the loader reports it.
//
// The module must never give back more references than it took, and must
// have given back all of them once every shown instance has been taken down.
// With the test holding one reference of its own, "never more" means that
// reference keeps the library loaded through every step; "all of them" means
// that once the test gives it back too, the library is unloaded.
#include "host.h"
#include "module_folder.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vantrel_test::ModuleFolder;
using vantrel_test::SoundLibrary;

bool soundLibraryLoaded()
{
    return platform::loadedLibrary("GaugeSound") != nullptr;
}

// A reference on the sound library held by someone other than the module.
class ForeignReference {
public:
    explicit ForeignReference(const std::string &path) : handle_(platform::loadLibraryFile(path.c_str())) {}
    ~ForeignReference() { release(); }
    ForeignReference(const ForeignReference &) = delete;
    ForeignReference &operator=(const ForeignReference &) = delete;

    bool held() const { return handle_ != nullptr; }
    void release()
    {
        platform::freeLibrary(handle_);
        handle_ = nullptr;
    }
    // How often TerminateSounds ran since the library was loaded.
    int terminateCount() const
    {
        auto count = reinterpret_cast<int (*)()>(platform::entryPoint(handle_, "GaugeSoundTerminateCount"));
        return count ? count() : -1;
    }

private:
    platform::LibraryHandle handle_;
};

class SoundBinding : public ::testing::Test {
protected:
    explicit SoundBinding(SoundLibrary library = SoundLibrary::Full) : folder(library) {}

    void SetUp() override
    {
        ASSERT_FALSE(soundLibraryLoaded()) << "GaugeSound is loaded before the test";
        module = &host.loadModule(folder.modulePath());
    }

    void TearDown() override { EXPECT_FALSE(soundLibraryLoaded()) << "the test left GaugeSound loaded"; }

    host::GaugeInstance &newInstance() { return host.createGauge(*module, "vantrel"); }

    ModuleFolder folder;
    host::Host host;
    host::Module *module = nullptr;
};

TEST_F(SoundBinding, OneInstanceHoldsTheLibraryFromFirstUseToTakeDown)
{
    host::GaugeInstance &gauge = newInstance();
    host.service(gauge, 4);
    EXPECT_TRUE(soundLibraryLoaded());
    host.service(gauge, 6);
    host.service(gauge, 6);
    EXPECT_TRUE(soundLibraryLoaded());
    {
        // Ends the sounds before it gives the reference back.
        ForeignReference watcher(folder.libraryPath());
        host.service(gauge, 12);
        EXPECT_EQ(watcher.terminateCount(), 1);
    }
    EXPECT_FALSE(soundLibraryLoaded());
    // Shown again while the module stays loaded: loaded afresh.
    host.service(gauge, 4);
    EXPECT_TRUE(soundLibraryLoaded());
    host.service(gauge, 12);
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, AFrameFindsALibraryLoadedElsewhereWithoutTakingAReference)
{
    host::GaugeInstance &gauge = newInstance();
    ForeignReference other(folder.libraryPath());
    ASSERT_TRUE(other.held());
    host.service(gauge, 6);
    other.release();
    EXPECT_FALSE(soundLibraryLoaded()) << "the frame took a reference on a library it found loaded";
    // Unloaded meanwhile: the next frame loads it, and take-down gives it back.
    host.service(gauge, 6);
    EXPECT_TRUE(soundLibraryLoaded());
    host.service(gauge, 12);
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, TakeDownGivesBackNoReferenceItDidNotTake)
{
    // Shown after another gauge loaded the library: frames and take-down
    // find it, and the take-down ends the sounds but keeps the other's hold.
    ForeignReference other(folder.libraryPath());
    host::GaugeInstance &gauge = newInstance();
    host.service(gauge, 6);
    host.service(gauge, 12);
    ASSERT_TRUE(soundLibraryLoaded());
    EXPECT_EQ(other.terminateCount(), 1);
    // Two instances: the first use of the second finds the handle set and
    // takes nothing; two take-downs give back the one reference taken.
    host::GaugeInstance &first = newInstance();
    host::GaugeInstance &second = newInstance();
    host.service(first, 4);
    host.service(second, 4);
    host.service(second, 12);
    ASSERT_TRUE(soundLibraryLoaded());
    host.service(first, 12);
    ASSERT_TRUE(soundLibraryLoaded());
    other.release();
    EXPECT_FALSE(soundLibraryLoaded());
}

TEST_F(SoundBinding, TheLastShownInstanceEndsTheSoundsAndReleases)
{
    ForeignReference watcher(folder.libraryPath());
    host::GaugeInstance &first = newInstance();
    host::GaugeInstance &second = newInstance();
    host.service(first, 4);
    host.service(second, 4);
    host.service(first, 12);
    EXPECT_EQ(watcher.terminateCount(), 0) << "sounds ended while an instance is still shown";
    watcher.release();
    EXPECT_TRUE(soundLibraryLoaded()) << "the library went while an instance is still shown";
    ForeignReference again(folder.libraryPath());
    host.service(second, 6);
    host.service(second, 12);
    EXPECT_EQ(again.terminateCount(), 1);
}

// One call of the gauge callback by the host for one instance.
struct Step {
    int instance;
    int32_t service;
};

std::string describe(const std::vector<Step> &steps)
{
    std::ostringstream text;
    for (const Step &step : steps)
        text << " " << char('A' + step.instance) << step.service;
    return text.str();
}

// Every way three instances can be shown (4), given frames (6) and taken
// down (12) in at most MaxSteps calls, each then completed by taking down
// the instances still shown. Instances are interchangeable, so B is first
// called after A and C after B.
std::vector<std::vector<Step>> lifecycleSequences()
{
    constexpr int Instances = 3;
    constexpr size_t MaxSteps = 6;
    std::vector<std::vector<Step>> sequences;
    std::vector<Step> steps;
    std::array<bool, Instances> shown{};
    int used = 0;
    std::function<void()> extend = [&] {
        std::vector<Step> complete = steps;
        for (int i = 0; i < Instances; ++i)
            if (shown[i])
                complete.push_back({i, 12});
        if (!steps.empty())
            sequences.push_back(complete);
        if (steps.size() == MaxSteps)
            return;
        for (int i = 0; i < Instances && i <= used; ++i) {
            for (int32_t service : shown[i] ? std::array<int32_t, 2>{6, 12} : std::array<int32_t, 2>{4, 0}) {
                if (service == 0)
                    continue;
                steps.push_back({i, service});
                const bool was = shown[i];
                const int usedBefore = used;
                shown[i] = service != 12;
                used = i + 1 > used ? i + 1 : used;
                extend();
                shown[i] = was;
                used = usedBefore;
                steps.pop_back();
            }
        }
    };
    extend();
    return sequences;
}

TEST_F(SoundBinding, EveryShortLifecycleOfUpToThreeInstancesPairsItsReferences)
{
    std::array<host::GaugeInstance *, 3> instances{&newInstance(), &newInstance(), &newInstance()};
    const auto sequences = lifecycleSequences();
    ASSERT_GT(sequences.size(), 1000u);
    for (const auto &sequence : sequences) {
        SCOPED_TRACE(describe(sequence));
        // Alone: the library is loaded exactly while some instance is shown.
        std::array<bool, 3> shown{};
        for (const Step &step : sequence) {
            host.service(*instances[step.instance], step.service);
            shown[step.instance] = step.service != 12;
            const bool anyShown = shown[0] || shown[1] || shown[2];
            ASSERT_EQ(soundLibraryLoaded(), anyShown) << "after " << char('A' + step.instance) << step.service;
        }
        // Beside another holder: its reference survives every step, the sounds
        // end once per panel take-down, and the module ends holding nothing.
        ForeignReference other(folder.libraryPath());
        int takeDowns = 0;
        shown = {};
        for (const Step &step : sequence) {
            host.service(*instances[step.instance], step.service);
            shown[step.instance] = step.service != 12;
            if (step.service == 12 && !(shown[0] || shown[1] || shown[2]))
                ++takeDowns;
            ASSERT_TRUE(soundLibraryLoaded()) << "after " << char('A' + step.instance) << step.service;
        }
        EXPECT_EQ(other.terminateCount(), takeDowns);
        other.release();
        ASSERT_FALSE(soundLibraryLoaded()) << "the module still holds a reference";
    }
}

TEST_F(SoundBinding, AnyOrderOfServicesNeverReleasesAnotherHoldersReference)
{
    // Hosts that call services out of order, with other holders coming and
    // going: the module may keep the library loaded longer, but never drops
    // a reference it did not take, and once as many take-downs as first uses
    // have come, it holds nothing.
    std::array<host::GaugeInstance *, 3> instances{&newInstance(), &newInstance(), &newInstance()};
    const int32_t services[] = {4, 6, 12, 6, 10, 0};
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<std::unique_ptr<ForeignReference>> others;
        int firstUses = 0;
        for (int step = 0; step < 150; ++step) {
            const uint32_t choice = random() % 10;
            if (choice == 0) {
                others.push_back(std::make_unique<ForeignReference>(folder.libraryPath()));
            } else if (choice == 1 && !others.empty()) {
                others.erase(others.begin() + static_cast<long>(random() % others.size()));
            } else {
                const int32_t service = services[random() % std::size(services)];
                firstUses += service == 4;
                host.service(*instances[random() % instances.size()], service);
            }
            if (!others.empty()) {
                ASSERT_TRUE(soundLibraryLoaded()) << "step " << step;
            }
        }
        for (int i = 0; i <= firstUses; ++i)
            host.service(*instances[0], 12);
        others.clear();
        ASSERT_FALSE(soundLibraryLoaded()) << "the module still holds a reference";
    }
}

// The same panel session, observed as the host sees it: every key event and
// every element value, and whether GaugeSound is loaded at each point.
struct Observation {
    std::vector<std::string> gauge;
    std::vector<bool> loaded;
};

Observation runSession(const std::string &modulePath)
{
    host::Host host;
    host::Module &module = host.loadModule(modulePath);
    host::GaugeInstance &gauge = host.createGauge(module, "vantrel");
    Observation seen;
    auto record = [&](const std::string &what) { seen.gauge.push_back(what); };
    auto evaluate = [&] {
        host.evaluate(gauge);
        std::ostringstream text;
        for (const host::ElementState &state : gauge.elements())
            text << state.value << "/" << state.x << "/" << state.y << " ";
        record(text.str());
    };
    auto click = [&](int32_t x, int32_t y) {
        std::ostringstream text;
        for (const host::KeyEvent &event : host.click(gauge, x, y))
            text << event.id << ":" << event.parameter << " ";
        record(text.str());
    };
    auto service = [&](int32_t number) {
        host.service(gauge, number);
        seen.loaded.push_back(soundLibraryLoaded());
    };
    host.variables().set(0x143, 30000);
    host.variables().set(0x80, 9000);
    host.variables().set(0xa3, -3000);
    host.variables().set(0x145, 20000);
    service(4);
    service(10);
    evaluate();
    service(6);
    evaluate();
    for (auto [x, y] : {std::pair{50, 300}, {20, 60}, {100, 70}, {200, 250}, {150, 100}, {260, 230}})
        click(x, y);
    evaluate();
    host.variables().set(0x143, 0);
    service(6);
    service(10);
    evaluate();
    service(12);
    service(6);
    evaluate();
    service(12);
    return seen;
}

TEST(SoundBindingFailures, AMissingLibraryOrEntryPointChangesNothingElse)
{
    ASSERT_FALSE(soundLibraryLoaded());
    if (platform::LibraryHandle found = platform::loadLibrary("GaugeSound")) {
        platform::freeLibrary(found);
        GTEST_SKIP() << "GaugeSound can be found outside the module's folder (LD_LIBRARY_PATH?)";
    }
    ModuleFolder full(SoundLibrary::Full);
    ModuleFolder withoutTerminate(SoundLibrary::WithoutTerminate);
    ModuleFolder alone(SoundLibrary::None);

    const Observation withLibrary = runSession(full.modulePath());
    const Observation withoutEntry = runSession(withoutTerminate.modulePath());
    const Observation withNone = runSession(alone.modulePath());

    // Loaded from first use to take-down, and again from the frame after it.
    const std::vector<bool> held = {true, true, true, true, true, false, true, false};
    EXPECT_EQ(withLibrary.loaded, held);
    EXPECT_EQ(withoutEntry.loaded, held);
    EXPECT_EQ(withNone.loaded, std::vector<bool>(held.size(), false));
    EXPECT_EQ(withoutEntry.gauge, withLibrary.gauge);
    EXPECT_EQ(withNone.gauge, withLibrary.gauge);
    EXPECT_FALSE(soundLibraryLoaded());
}

class SoundBindingWithoutTerminate : public SoundBinding {
protected:
    SoundBindingWithoutTerminate() : SoundBinding(SoundLibrary::WithoutTerminate) {}
};

TEST_F(SoundBindingWithoutTerminate, ReferencesPairAsWithTheFullLibrary)
{
    ForeignReference other(folder.libraryPath());
    ASSERT_EQ(platform::entryPoint(platform::loadedLibrary("GaugeSound"), "TerminateSounds"), nullptr);
    host::GaugeInstance &first = newInstance();
    host::GaugeInstance &second = newInstance();
    host.service(first, 4);
    host.service(second, 4);
    host.service(second, 12);
    host.service(first, 6);
    host.service(first, 12);
    host.service(first, 12);
    ASSERT_TRUE(soundLibraryLoaded());
    other.release();
    EXPECT_FALSE(soundLibraryLoaded());
}

class SoundBindingWithoutLibrary : public SoundBinding {
protected:
    SoundBindingWithoutLibrary() : SoundBinding(SoundLibrary::None) {}
};

TEST_F(SoundBindingWithoutLibrary, EveryFrameTriesAgainAndFindsALibraryThatAppeared)
{
    if (platform::LibraryHandle found = platform::loadLibrary("GaugeSound")) {
        platform::freeLibrary(found);
        GTEST_SKIP() << "GaugeSound can be found outside the module's folder (LD_LIBRARY_PATH?)";
    }
    host::GaugeInstance &gauge = newInstance();
    host.service(gauge, 4);
    host.service(gauge, 6);
    EXPECT_FALSE(soundLibraryLoaded());
    // Another module brings a GaugeSound in: the next frame finds it by name,
    // takes no reference, and take-down leaves the other's hold alone.
    ModuleFolder elsewhere(SoundLibrary::Full);
    ForeignReference other(elsewhere.libraryPath());
    host.service(gauge, 6);
    host.service(gauge, 12);
    EXPECT_EQ(other.terminateCount(), 1);
    other.release();
    EXPECT_FALSE(soundLibraryLoaded());
}

} // namespace

// The module validator passes the real modules and fails each fixture
// module on the check that its fault belongs to, with a finding that names
// the record or the action at fault.
#include "validate.h"

#ifdef VALIDATE_I686_FIXTURE_DIR
#include "emulated_backend.h"
#include "module_backend.h"
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

using host::validate::Check;
using host::validate::Level;
using host::validate::Options;
using host::validate::Report;

const std::string BinDir = GAUGE_BIN_DIR;
const std::string FixtureDir = VALIDATE_FIXTURE_DIR;

Options quickOptions(uint64_t seed)
{
    Options options;
    options.seed = seed;
    options.actions = 1500;
    options.loadCycles = 12;
    options.timeoutSeconds = 120;
    return options;
}

std::string describe(const Report &report)
{
    std::string text;
    for (const auto &module : report.modules)
        for (const Check &check : module.checks) {
            if (check.level == Level::Pass)
                continue;
            text += module.path + " " + check.gauge + " " + check.name + ": " + levelName(check.level) + "\n";
            for (const std::string &finding : check.findings)
                text += "    " + finding + "\n";
        }
    return text;
}

const Check *findCheck(const Report &report, const std::string &gauge, const std::string &name)
{
    for (const auto &module : report.modules)
        for (const Check &check : module.checks)
            if (check.gauge == gauge && check.name == name)
                return &check;
    return nullptr;
}

bool anyFindingHas(const Check &check, const std::string &text)
{
    for (const std::string &finding : check.findings)
        if (finding.find(text) != std::string::npos)
            return true;
    return false;
}

struct Expected {
    const char *gauge;
    const char *check;
    const char *finding; // a part of one finding
};

// Each gauge fails its one check with the finding given, and no other.
void expectFailures(const Report &report, std::initializer_list<Expected> cases)
{
    for (const Expected &expected : cases) {
        SCOPED_TRACE(std::string(expected.gauge) + " / " + expected.check);
        const Check *check = findCheck(report, expected.gauge, expected.check);
        ASSERT_NE(check, nullptr) << describe(report);
        EXPECT_EQ(check->level, Level::Fail) << describe(report);
        EXPECT_TRUE(anyFindingHas(*check, expected.finding)) << describe(report);
        for (const auto &module : report.modules) {
            for (const Check &other : module.checks) {
                if (other.gauge == expected.gauge && other.name != expected.check) {
                    EXPECT_NE(other.level, Level::Fail) << other.name << "\n" << describe(report);
                }
            }
        }
    }
}

TEST(Validate, TheThreeModulesPass)
{
    const Report report = host::validate::validateModules(
        {BinDir + "/korvo0.gau", BinDir + "/Korvo6.gau", BinDir + "/vantrel.gau"}, quickOptions(20240611));
    EXPECT_FALSE(report.failed()) << describe(report);
    EXPECT_EQ(report.modules.size(), 3u);
    // Every gauge was driven, and the modules were cycled.
    for (const char *gauge : {"Vsi", "Asi", "Rpm", "Altimetro", "TrimMove", "hsi", "Fuel_Selector", "Start", "vantrel"}) {
        const Check *stress = findCheck(report, gauge, "stress: records unchanged");
        ASSERT_NE(stress, nullptr) << gauge;
        EXPECT_EQ(stress->level, Level::Pass) << gauge;
    }
    EXPECT_GT(report.stressActions, 9u * 2 * 1500);
    EXPECT_EQ(report.loadCycles, 3u * (12 + 5));
    // vantrel takes a reference on its sound library and gives it back.
    const Check *references = findCheck(report, "vantrel", "library references");
    ASSERT_NE(references, nullptr);
    EXPECT_NE(references->detail.find("1 library loaded"), std::string::npos) << references->detail;
}

TEST(Validate, BrokenRecordsFailTheirStructureChecks)
{
    const Report report =
        host::validate::validateModules({FixtureDir + "/broken_records.gau"}, quickOptions(1));
    expectFailures(report, {
        {"Loop", "chain", "element 2 (StaticImage): next leads back to element 1; the chain loops"},
        {"OpenParent", "mouse list", "mouse record 0 (kind 1): parent is never closed"},
        {"ExtraClose", "mouse list", "mouse record 2 (kind 3): closes a parent area, but none is open"},
        {"Both", "click areas", "mouse record 1 (kind 2): names both key event 0x10001 and a mouse function"},
        {"Descending", "needle tables", "element 1 (Needle): needle table point 2 (value 50) is not above point 1"},
        {"Unended", "failure lists", "element 0 (StaticImage): failure list does not end (key 0) within 64"},
        {"MissingBitmap", "bitmaps", "element 1 (Icon): bitmap 0x99 is not in the module file"},
        {"FarBox", "mouse list", "mouse record 1 (kind 2): box (2147483392, 10, 2147483392, 20) lies beyond any"},
    });
    // A gauge whose chain loops is not driven, and says so.
    const Check *skipped = findCheck(report, "Loop", "stress: no crash");
    ASSERT_NE(skipped, nullptr);
    EXPECT_EQ(skipped->level, Level::Warn);
}

TEST(Validate, MisbehavingGaugesFailTheirStressChecks)
{
    const Report report =
        host::validate::validateModules({FixtureDir + "/broken_behaviour.gau"}, quickOptions(2));
    expectFailures(report, {
        {"Overrun", "stress: string buffers", "element 1 (StringElement): wrote past maxLength + 1 bytes"},
        {"FlagWriter", "stress: records unchanged", "element 1 (Icon) changed at byte 48"},
        {"IconRange", "stress: icon pictures", "element 1 (Icon): picture"},
        {"KeySender", "stress: host entries", "the gauge callback called sendKeyEvent (services entry 36)"},
        {"SoundLeak", "library references", "GaugeSound.so is still loaded after every instance's take-down"},
        {"SoundOverRelease", "library references", "gave back a reference on GaugeSound.so that it did not take"},
        {"Crasher", "stress: no crash", "during: Crasher action"},
    });
    const Check *crash = findCheck(report, "Crasher", "stress: no crash");
    ASSERT_NE(crash, nullptr);
    EXPECT_TRUE(anyFindingHas(*crash, "replay with --seed 2")) << describe(report);
}

TEST(Validate, AModuleThatCallsTheHostFromItsInitHookFails)
{
    const Report report = host::validate::validateModules({FixtureDir + "/calls_at_load.gau"}, quickOptions(3));
    expectFailures(report, {{"", "no host calls before the host calls in",
                             "module init or deinit called readVariable (services entry 40)"}});
}

TEST(Validate, TheSameSeedReplaysTheSameActions)
{
    // The crash lands on the same action every time the seed is the same.
    auto crashFinding = [](uint64_t seed) {
        const Report report =
            host::validate::validateModules({FixtureDir + "/broken_behaviour.gau"}, quickOptions(seed));
        const Check *crash = findCheck(report, "Crasher", "stress: no crash");
        return crash && !crash->findings.empty() ? crash->findings.front() : std::string();
    };
    const std::string first = crashFinding(77);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(crashFinding(77), first);
}

#ifdef VALIDATE_I686_FIXTURE_DIR

// The validator on i686 modules under the x86 emulator: the checks read the
// emulated process (its records, its heap, its services table), and each
// fault lands on its own check.
class EmulatedValidation : public testing::Test {
protected:
    void SetUp() override { host::setDefaultBackend(host::emu::makeEmulatedBackend); }
    void TearDown() override { host::setDefaultBackend(nullptr); }

    const std::string fixtures = VALIDATE_I686_FIXTURE_DIR;
};

TEST_F(EmulatedValidation, MisbehavingGaugesFailTheirChecks)
{
    const Report report = host::validate::validateModules({fixtures + "/emulated_faults.gau"}, quickOptions(4));
    expectFailures(report, {
        {"Reserved", "stress: host entries", "a value callback called a reserved entry (services entry 30)"},
        {"Relink", "stress: no crash", "the program changed a pointer at offset"},
        {"Overrun", "stress: string buffers", "element 1 (StringElement): wrote past maxLength + 1 bytes"},
    });
    // Loaded by the emulator, whose loader saw the services address that
    // the file brought along before the host stored its own.
    const Check *load = findCheck(report, "", "load");
    ASSERT_NE(load, nullptr);
    EXPECT_NE(load->detail.find("x86 emulator"), std::string::npos) << load->detail;
    const Check *imports = findCheck(report, "", "import table");
    ASSERT_NE(imports, nullptr);
    EXPECT_EQ(imports->level, Level::Fail) << describe(report);
    EXPECT_TRUE(anyFindingHas(*imports, "entry 0 already holds a services address")) << describe(report);
}

TEST_F(EmulatedValidation, HeapLeftInTheEmulatedProcessFailsLoadCycling)
{
    const Report report = host::validate::validateModules({fixtures + "/emulated_leak.gau"}, quickOptions(5));
    const Check *cycling = findCheck(report, "", "load cycling");
    ASSERT_NE(cycling, nullptr);
    EXPECT_EQ(cycling->level, Level::Fail) << describe(report);
    EXPECT_TRUE(anyFindingHas(*cycling, "emulated process: heap bytes in use grew from")) << describe(report);
    // The measures of the validator's own process do not apply, and say so.
    EXPECT_NE(cycling->detail.find("skipped (emulated)"), std::string::npos) << cycling->detail;
    EXPECT_EQ(report.count(Level::Fail), 1u) << describe(report);
}

#endif // VALIDATE_I686_FIXTURE_DIR

struct CommandRun {
    int status;
    std::string output;
};

CommandRun runValidate(const std::string &arguments)
{
    CommandRun run{-1, ""};
    FILE *pipe = popen((std::string(GAUGEHOST_PROGRAM) + " validate " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(ValidateCommand, ExitStatusAndJson)
{
    const std::string quick = " --seed 5 --actions 300 --cycles 4 ";
    const CommandRun good = runValidate(quick + BinDir + "/Korvo6.gau");
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_NE(good.output.find("0 failed"), std::string::npos) << good.output;
    EXPECT_NE(good.output.find("seed 5 (replay with --seed 5)"), std::string::npos) << good.output;

    const CommandRun bad = runValidate("--json" + quick + FixtureDir + "/broken_records.gau");
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_EQ(bad.output.rfind("{\"seed\":5,", 0), 0u) << bad.output;
    EXPECT_NE(bad.output.find("{\"gauge\":\"Loop\",\"check\":\"chain\",\"result\":\"FAIL\""), std::string::npos)
        << bad.output;
    EXPECT_NE(bad.output.find("the chain loops"), std::string::npos) << bad.output;

    EXPECT_EQ(runValidate("").status, 2);
    EXPECT_EQ(runValidate("--seed").status, 2);
    EXPECT_EQ(runValidate("--bogus " + BinDir + "/Korvo6.gau").status, 2);
    const CommandRun missing = runValidate(quick + FixtureDir + "/no_such_module.gau");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("cannot load the module"), std::string::npos) << missing.output;
}

} // namespace

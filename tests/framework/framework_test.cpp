// The framework against a small fake host that records every call.
#include "chain.h"
#include "host_calls.h"
#include "lighting.h"
#include "module_var.h"
#include "registration.h"
#include "routines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string entry;
    ElementHeader *root;
    uint32_t argument;
};

struct FakeHost {
    std::vector<Call> calls;
    std::vector<int32_t> reads;
    std::map<int32_t, double> variables;
};
FakeHost *fake = nullptr;

void record(const char *entry, ElementHeader *root, uint32_t argument = 0)
{
    fake->calls.push_back({entry, root, argument});
}

PanelServices fakeServices()
{
    PanelServices services{};
    services.queryElements = [](ElementHeader *root) { record("query", root); };
    services.installElements = [](ElementHeader *root, uint32_t a) { record("install", root, a); };
    services.initializeElements = [](ElementHeader *root) { record("initialize", root); };
    services.updateElements = [](ElementHeader *root) { record("update", root); };
    services.generateElements = [](ElementHeader *root, uint32_t a) { record("generate", root, a); };
    services.drawElements = [](ElementHeader *root) { record("draw", root); };
    services.killElements = [](ElementHeader *root) { record("kill", root); };
    services.readVariable = [](ModuleVar *variable) {
        fake->reads.push_back(variable->id);
        gauge::storeVariableNumber(*variable, fake->variables[variable->id]);
    };
    return services;
}

// Two small gauges: a lit one of five elements (n = 2) and a lone root.
extern GaugeHeader FirstGauge;
extern GaugeHeader SecondGauge;

StaticImage e4 = {.header = {.kind = KindStaticImage, .gauge = &FirstGauge, .imageFlags = 0x3}};
ElementHeader *e3Next[] = {&e4.header, nullptr};
StaticImage e3 = {.header = {.kind = KindStaticImage, .gauge = &FirstGauge, .next = e3Next, .imageFlags = 0x83}};
ElementHeader *e2Next[] = {&e3.header, nullptr};
StaticImage e2 = {.header = {.kind = KindStaticImage, .gauge = &FirstGauge, .next = e2Next, .imageFlags = 0x7}};
ElementHeader *e1Next[] = {&e2.header, nullptr};
StaticImage e1 = {.header = {.kind = KindStaticImage, .gauge = &FirstGauge, .next = e1Next, .imageFlags = 0x87}};
ElementHeader *rootNext[] = {&e1.header, nullptr};
StaticImage root = {.header = {.kind = KindStaticImage, .gauge = &FirstGauge, .next = rootNext, .imageFlags = 0x1}};
ElementHeader *firstElements[] = {&root.header, nullptr};

StaticImage loneRoot = {.header = {.kind = KindStaticImage, .gauge = &SecondGauge, .imageFlags = 0x1}};
ElementHeader *secondElements[] = {&loneRoot.header, nullptr};

GaugeHeader FirstGauge = {.version = 700, .name = "First", .elements = firstElements, GAUGE_FORWARDING_ROUTINES};
GaugeHeader SecondGauge = {.version = 700, .name = "Second", .elements = secondElements, GAUGE_FORWARDING_ROUTINES};

ElementHeader *chain[] = {&root.header, &e1.header, &e2.header, &e3.header, &e4.header};
const uint32_t initialFlags[] = {0x1, 0x87, 0x7, 0x83, 0x3};

class Framework : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = &host;
        ImportTable.entries[0].services = &services;
        for (size_t i = 0; i < 5; ++i)
            chain[i]->imageFlags = initialFlags[i];
    }
    void TearDown() override
    {
        ImportTable.entries[0].services = nullptr;
        fake = nullptr;
    }
    std::vector<bool> hidden() const
    {
        std::vector<bool> flags;
        for (ElementHeader *element : chain)
            flags.push_back(element->imageFlags & HiddenFlag);
        return flags;
    }
    FakeHost host;
    PanelServices services = fakeServices();
};

} // namespace

extern "C" {
GAUGE_EXPORT ModuleLinkage Linkage = {GAUGE_LINKAGE_HEADER(0), .gauges = {&FirstGauge, &SecondGauge, nullptr}};
}

namespace {

TEST_F(Framework, ElementAtWalksEntryZeroOfEachNextList)
{
    for (uint32_t steps = 0; steps < 5; ++steps)
        EXPECT_EQ(gauge::elementAt(&root.header, steps), chain[steps]) << steps;
    EXPECT_EQ(gauge::elementAt(&root.header, 5), nullptr);
    EXPECT_EQ(gauge::elementAt(&root.header, 0xffffffffu), nullptr);
    EXPECT_EQ(gauge::elementAt(nullptr, 0), nullptr);
    EXPECT_EQ(gauge::elementAt(&loneRoot.header, 1), nullptr);

    // A next list whose entry 0 is null ends the chain as a null next does.
    ElementHeader *emptyList[] = {nullptr};
    StaticImage stub = {.header = {.kind = KindStaticImage, .next = emptyList}};
    EXPECT_EQ(gauge::elementAt(&stub.header, 1), nullptr);
}

TEST_F(Framework, HideAndShowChangeOnlyTheMaskBitsOfAnElementThatExists)
{
    gauge::hideElement(&root.header, 2, HiddenFlag);
    EXPECT_EQ(e2.header.imageFlags, 0x7u | HiddenFlag);
    gauge::showElement(&root.header, 2, HiddenFlag);
    EXPECT_EQ(e2.header.imageFlags, 0x7u);

    gauge::hideElement(&root.header, 5, HiddenFlag);
    gauge::hideElement(nullptr, 0, HiddenFlag);
    gauge::showElement(&root.header, 9, HiddenFlag);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(chain[i]->imageFlags, initialFlags[i]) << i;
}

TEST_F(Framework, LightingShowsExactlyOneSet)
{
    const double NaN = std::nan("");
    const struct {
        double lightSwitch, power;
        bool lit;
    } cases[] = {
        {0, 1, false}, {1, 0, false}, {1, 1, true}, {-1, 2, true}, {-0.0, -0.0, false},
        {NaN, 1, false}, {1, NaN, false}, {NaN, NaN, false}, {1e-300, -1e300, true},
    };
    for (const auto &c : cases) {
        host.variables[0x0a] = c.lightSwitch;
        host.variables[0x16c] = c.power;
        host.reads.clear();
        gauge::runLightingOnFrame(&FirstGauge, ServiceFrame, 2);
        const std::vector<bool> expected = {false, !c.lit, !c.lit, c.lit, c.lit};
        EXPECT_EQ(hidden(), expected) << c.lightSwitch << " " << c.power;
        // Both variables are refreshed every time, in this order.
        EXPECT_EQ(host.reads, (std::vector<int32_t>{0x0a, 0x16c}));
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(chain[i]->imageFlags & ~HiddenFlag, initialFlags[i]) << i;
    }
}

TEST_F(Framework, LightingIgnoresOtherServices)
{
    host.variables[0x0a] = 1;
    host.variables[0x16c] = 1;
    for (int32_t service : {0, 2, 4, 5, 7, 10, 12, -6, 0x106})
        gauge::runLightingOnFrame(&FirstGauge, service, 2);
    EXPECT_TRUE(host.reads.empty());
    EXPECT_EQ(hidden(), std::vector<bool>(5, false));
}

TEST_F(Framework, LightingPastTheEndOfAShortChainChangesNothingElse)
{
    host.variables[0x0a] = 1;
    host.variables[0x16c] = 1;
    gauge::switchLighting(&SecondGauge, 2);
    EXPECT_EQ(loneRoot.header.imageFlags, 0x1u);
    gauge::switchLighting(nullptr, 2);
}

TEST_F(Framework, EveryRoutineForwardsTheFirstGaugesRoot)
{
    for (GaugeHeader *header : {&FirstGauge, &SecondGauge}) {
        host.calls.clear();
        header->queryRoutine();
        header->installRoutine(0xdeadbeef);
        header->initializeRoutine();
        header->updateRoutine();
        header->generateRoutine(0x80000000);
        header->drawRoutine();
        header->killRoutine();
        const std::vector<std::string> entries = {"query", "install", "initialize", "update",
                                                  "generate", "draw", "kill"};
        ASSERT_EQ(host.calls.size(), entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(host.calls[i].entry, entries[i]);
            EXPECT_EQ(host.calls[i].root, &root.header) << header->name;
        }
        EXPECT_EQ(host.calls[1].argument, 0xdeadbeefu);
        EXPECT_EQ(host.calls[4].argument, 0x80000000u);
    }
}

TEST_F(Framework, RoutinesReadTheServicesAddressAfreshAndNeverCallANullTable)
{
    FakeHost other;
    PanelServices moved = fakeServices();
    FirstGauge.drawRoutine();
    ImportTable.entries[0].services = &moved;
    fake = &other;
    SecondGauge.drawRoutine();
    EXPECT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(other.calls.size(), 1u);

    ImportTable.entries[0].services = nullptr;
    FirstGauge.updateRoutine();
    ModuleVar variable = {.id = 5};
    gauge::readVariable(variable);
    gauge::sendKeyEvent(1, 2);
    EXPECT_EQ(other.calls.size(), 1u);
    EXPECT_TRUE(other.reads.empty());
}

TEST(Registration, RecordsAndHooks)
{
    EXPECT_EQ(ImportTable.entries[0].id, 0x0F);
    EXPECT_EQ(ImportTable.entries[1].id, 0);
    EXPECT_EQ(ImportTable.entries[1].services, nullptr);
    EXPECT_EQ(Linkage.moduleId, 0x13);
    EXPECT_EQ(Linkage.gauges[2], nullptr);
    Linkage.moduleInit();
    Linkage.moduleDeinit();
    // Process and thread detach (0, 3) and attach (1, 2) alike.
    for (uint32_t reason : {0u, 1u, 2u, 3u, 99u})
        EXPECT_EQ(gauge::libraryEntryHook(reason), 1) << reason;
}

} // namespace

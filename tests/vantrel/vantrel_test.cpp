// The throttle quadrant's records and mouse functions, through the
// substitute host. Values inside the click areas are covered by the host
// scripts in tests/scripts/vantrel; here are the records themselves and
// pointer positions the host never hands over for a plain click (above,
// below and far beyond an area, as a drag may report).
#include "host.h"
#include "module_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

namespace {

using vantrel_test::ModuleFolder;
using vantrel_test::SoundLibrary;

constexpr uint32_t LeftThrottleEvent = 0x1011c;
constexpr uint32_t RightThrottleEvent = 0x1011d;
constexpr uint32_t SpoilerEvent = 0x100fa;
constexpr uint32_t FlapsEvent = 0x100a2;
constexpr uint32_t ParkingBrakeEvent = 0x100d8;

class Quadrant : public ::testing::Test {
protected:
    Quadrant() : module(host.loadModule(folder.modulePath())), gauge(host.createGauge(module, "vantrel")) {}

    GaugeHeader &header() { return gauge.header(); }
    ElementHeader *element(size_t index) { return gauge.elements().at(index).element; }
    const Slider &slider(size_t index) { return *reinterpret_cast<const Slider *>(element(index)); }

    ModuleFolder folder{SoundLibrary::None};
    host::Host host;
    host::Module &module;
    host::GaugeInstance &gauge;
};

TEST_F(Quadrant, ModuleRecordListsTheOneGauge)
{
    const ModuleLinkage &linkage = module.linkage();
    EXPECT_EQ(linkage.moduleId, 0x13);
    EXPECT_NE(linkage.moduleInit, nullptr);
    EXPECT_NE(linkage.moduleDeinit, nullptr);
    EXPECT_EQ(linkage.reserved[0], 0u);
    EXPECT_EQ(linkage.reserved[1], 0u);
    EXPECT_EQ(linkage.moduleVersion, 0x800);
    EXPECT_EQ(linkage.gauges[0], &header());
    EXPECT_EQ(linkage.gauges[1], nullptr);

    const GaugeHeader &gaugeHeader = header();
    EXPECT_EQ(gaugeHeader.version, 800);
    EXPECT_STREQ(gaugeHeader.name, "vantrel");
    EXPECT_EQ(gaugeHeader.queryRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.installRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.initializeRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.updateRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.generateRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.drawRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.killRoutine, nullptr);
    EXPECT_EQ(gaugeHeader.sizeMm, 100);
    EXPECT_NE(gaugeHeader.callback, nullptr);
}

TEST_F(Quadrant, ElementChainIsTheSixElementsInDrawOrder)
{
    const struct {
        int32_t kind;
        int32_t resourceId;
        Point position;
    } expected[] = {
        {KindStaticImage, 0x100, {0, 0}}, {KindIcon, 0x1100, {3, 261}},   {KindSlider, 0x1200, {66, 156}},
        {KindSlider, 0x1300, {160, 156}}, {KindSlider, 0x1400, {3, 16}}, {KindSlider, 0x1500, {246, 152}},
    };
    ASSERT_EQ(gauge.elements().size(), 6u);
    std::set<const FailureRecord *> failureLists;
    for (size_t i = 0; i < 6; ++i) {
        const ElementHeader &e = *element(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(e.kind, expected[i].kind);
        EXPECT_EQ(e.resourceId, expected[i].resourceId);
        EXPECT_EQ(e.position.x, expected[i].position.x);
        EXPECT_EQ(e.position.y, expected[i].position.y);
        EXPECT_EQ(e.offset.x, 0);
        EXPECT_EQ(e.offset.y, 0);
        EXPECT_EQ(e.gauge, &header());
        EXPECT_EQ(e.imageFlags, 0x83u);
        // A list of its own, holding only the end record.
        ASSERT_NE(e.failures, nullptr);
        EXPECT_EQ(e.failures[0].key, 0);
        EXPECT_EQ(e.failures[0].action, 0);
        EXPECT_EQ(e.failures[0].reserved, 0);
        failureLists.insert(e.failures);
        if (i < 5) {
            ASSERT_NE(e.next, nullptr);
            EXPECT_EQ(e.next[0], element(i + 1));
            EXPECT_EQ(e.next[1], nullptr);
        } else {
            EXPECT_EQ(e.next, nullptr);
        }
    }
    EXPECT_EQ(failureLists.size(), 6u);
    EXPECT_EQ(header().elements[0], element(0));

    const Icon &brake = *reinterpret_cast<const Icon *>(element(1));
    EXPECT_EQ(brake.source.id, 0);
    EXPECT_EQ(brake.iconMode, 3);
    EXPECT_EQ(brake.iconCount, 2);
    EXPECT_NE(brake.callback, nullptr);

    // Source of the y axis and pixels per lever unit; no lever moves sideways.
    const struct {
        int32_t sourceY;
        double scaleY;
    } sliders[] = {{0x80, -0.006396484375}, {0xa3, -0.006396484375}, {0x145, 0.0064697265625}, {0, 0.0081787109375}};
    for (size_t i = 0; i < 4; ++i) {
        const Slider &s = slider(i + 2);
        SCOPED_TRACE(i + 2);
        EXPECT_EQ(s.sourceX.id, 0);
        EXPECT_EQ(s.scaleX, 0.0);
        EXPECT_EQ(s.sourceY.id, sliders[i].sourceY);
        EXPECT_EQ(s.scaleY, sliders[i].scaleY);
        EXPECT_NE(s.callbackX, nullptr);
        EXPECT_NE(s.callbackY, nullptr);
    }
}

TEST_F(Quadrant, MouseListIsTheTooltipAndSixClickAreas)
{
    const MouseRect *rects = header().mouseRects;
    ASSERT_NE(rects, nullptr);
    EXPECT_EQ(rects[0].kind, MouseParent);
    EXPECT_EQ(rects[1].kind, MouseTooltipText);
    for (int i : {0, 1}) {
        EXPECT_EQ(rects[i].box.x | rects[i].box.y | rects[i].box.width | rects[i].box.height, 0);
        EXPECT_EQ(rects[i].cursor, -1);
        EXPECT_EQ(rects[i].helpId, 0);
        EXPECT_EQ(rects[i].mouseFlags, 0u);
        EXPECT_EQ(rects[i].eventId, 0u);
    }
    EXPECT_EQ(rects[0].function, nullptr);
    EXPECT_EQ(rects[0].data, nullptr);
    EXPECT_STREQ(rects[1].tooltipText, "Vantrel");
    ASSERT_NE(rects[1].data, nullptr);
    uint32_t arguments[2];
    std::memcpy(arguments, rects[1].data, sizeof arguments);
    EXPECT_EQ(arguments[0], 0u);
    EXPECT_EQ(arguments[1], 0u);

    const struct {
        Box box;
        uint32_t mouseFlags;
    } areas[] = {
        {{3, 262, 87, 66}, 0x20000000},   {{3, 19, 51, 148}, 0x20800000},   {{68, 20, 67, 261}, 0x20800000},
        {{174, 20, 67, 261}, 0x20800000}, {{136, 20, 37, 261}, 0x20800000}, {{245, 154, 65, 158}, 0x20800000},
    };
    for (int i = 0; i < 6; ++i) {
        const MouseRect &rect = rects[2 + i];
        SCOPED_TRACE(i);
        EXPECT_EQ(rect.kind, MouseClickArea);
        EXPECT_EQ(rect.box.x, areas[i].box.x);
        EXPECT_EQ(rect.box.y, areas[i].box.y);
        EXPECT_EQ(rect.box.width, areas[i].box.width);
        EXPECT_EQ(rect.box.height, areas[i].box.height);
        EXPECT_EQ(rect.cursor, 5);
        EXPECT_EQ(rect.helpId, 0);
        EXPECT_EQ(rect.mouseFlags, areas[i].mouseFlags);
        EXPECT_EQ(rect.eventId, 0u);
        EXPECT_NE(rect.function, nullptr);
        EXPECT_EQ(rect.data, nullptr);
    }
    EXPECT_EQ(rects[8].kind, MouseParentEnd);
    EXPECT_EQ(rects[8].cursor, -1);
    EXPECT_EQ(rects[9].kind, MouseEnd);
}

// The mouse list's click areas in list order: parking brake, spoiler, left
// throttle, right throttle, both throttles, flaps.
enum Area { ParkingBrake, Spoiler, LeftThrottle, RightThrottle, BothThrottles, Flaps };

TEST_F(Quadrant, MouseFunctionsTakeAnyPositionADragReports)
{
    constexpr int32_t Lowest = std::numeric_limits<int32_t>::min();
    constexpr int32_t Highest = std::numeric_limits<int32_t>::max();
    const struct {
        Area area;
        int32_t y;
        std::vector<host::KeyEvent> events;
    } cases[] = {
        // Throttles are not clamped: above the slot they pass full travel.
        {LeftThrottle, -1, {{LeftThrottleEvent, 16507}}},
        {LeftThrottle, -10, {{LeftThrottleEvent, 17633}}},
        {RightThrottle, -10, {{RightThrottleEvent, 17633}}},
        {BothThrottles, -10, {{LeftThrottleEvent, 17633}, {RightThrottleEvent, 17633}}},
        {LeftThrottle, 261, {{LeftThrottleEvent, -16257}}},
        // The last row whose value fits 32 bits, and the first that does not:
        // a value out of range is sent as 0, never as an undefined conversion.
        {LeftThrottle, -17171495, {{LeftThrottleEvent, 2147483547}}},
        {LeftThrottle, -17171496, {{LeftThrottleEvent, 0}}},
        {RightThrottle, Lowest, {{RightThrottleEvent, 0}}},
        {BothThrottles, Highest, {{LeftThrottleEvent, 0}, {RightThrottleEvent, 0}}},
        // Spoiler and flaps clamp, whatever the row.
        {Spoiler, -1, {{SpoilerEvent, 0}}},
        {Spoiler, Lowest, {{SpoilerEvent, 0}}},
        {Spoiler, 148, {{SpoilerEvent, 16384}}},
        {Spoiler, Highest, {{SpoilerEvent, 16384}}},
        {Flaps, -1, {{FlapsEvent, 0}}},
        {Flaps, Lowest, {{FlapsEvent, 0}}},
        {Flaps, Highest, {{FlapsEvent, 16384}}},
        {ParkingBrake, Lowest, {{ParkingBrakeEvent, 0}}},
        {ParkingBrake, Highest, {{ParkingBrakeEvent, 0}}},
    };
    const MouseRect *rects = header().mouseRects;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "area " << c.area << " y " << c.y);
        MousePosition position{-3, c.y};
        EXPECT_EQ(rects[2 + c.area].function(&position, 0x20800000), 0);
        const auto events = host.takeKeyEvents();
        ASSERT_EQ(events.size(), c.events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].id, c.events[i].id);
            EXPECT_EQ(events[i].parameter, c.events[i].parameter);
        }
    }
}

TEST_F(Quadrant, FlapsHandleFollowsOnlyTheValueTheGaugeSent)
{
    const MouseRect &flapsArea = header().mouseRects[2 + Flaps];
    auto drawnDetent = [&] {
        host.evaluate(gauge);
        return gauge.elements()[5].y;
    };
    // A drag far below the slot commands full flaps; one above it none.
    MousePosition below{0, 100000};
    flapsArea.function(&below, 0x20800000);
    EXPECT_EQ(drawnDetent(), 16384.0);
    MousePosition above{0, -100000};
    flapsArea.function(&above, 0x20800000);
    EXPECT_EQ(drawnDetent(), 0.0);
    // The host carrying out a flaps event elsewhere moves nothing.
    host.carryOut(FlapsEvent, 16384);
    EXPECT_EQ(drawnDetent(), 0.0);
}

} // namespace

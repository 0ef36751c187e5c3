// The host's own rules: reading mouse lists, typed variables, script numbers.
#include "host.h"
#include "module_var.h"
#include "script.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ClickAreas, BoxesAreRelativeToTheInnermostOpenParent)
{
    MouseRect rects[] = {
        {.kind = MouseParent, .cursor = -1, .helpId = 100},
        {.kind = MouseParent, .box = {10, 20, 50, 50}, .cursor = -1, .helpId = 200},
        {.kind = MouseClickArea, .box = {1, 2, 5, 5}, .cursor = 2, .eventId = 1},
        {.kind = MouseParent, .box = {5, 5, 10, 10}, .cursor = -1},
        {.kind = MouseClickArea, .box = {1, 1, 2, 2}, .cursor = 1, .eventId = 2},
        {.kind = MouseParentEnd, .cursor = -1},
        {.kind = MouseClickArea, .box = {30, 0, 5, 5}, .cursor = 1, .eventId = 3},
        {.kind = MouseParentEnd, .cursor = -1},
        {.kind = MouseClickArea, .box = {3, 3, 4, 4}, .cursor = 5, .eventId = 4},
        {.kind = MouseParentEnd, .cursor = -1},
        {.kind = MouseEnd, .cursor = -1},
    };
    const auto areas = host::clickAreas(rects);
    ASSERT_EQ(areas.size(), 4u);
    const struct {
        Box box;
        int32_t helpId;
    } expected[] = {{{11, 22, 5, 5}, 200}, {{16, 26, 2, 2}, 200}, {{40, 20, 5, 5}, 200}, {{3, 3, 4, 4}, 100}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(areas[i].box.x, expected[i].box.x) << i;
        EXPECT_EQ(areas[i].box.y, expected[i].box.y) << i;
        EXPECT_EQ(areas[i].box.width, expected[i].box.width) << i;
        EXPECT_EQ(areas[i].helpId, expected[i].helpId) << i;
        EXPECT_EQ(areas[i].rect->eventId, i + 1);
    }
}

TEST(ClickAreas, MalformedListsAreReadOnlyAsFarAsTheyGo)
{
    // An end of parent with none open, and no end record within the limit.
    MouseRect rects[] = {
        {.kind = MouseParentEnd, .cursor = -1},
        {.kind = MouseClickArea, .box = {0, 0, 1, 1}, .eventId = 7},
        {.kind = MouseClickArea, .box = {0, 0, 1, 1}, .eventId = 8},
    };
    EXPECT_EQ(host::clickAreas(rects, 3).size(), 2u);
    EXPECT_TRUE(host::clickAreas(nullptr).empty());
}

TEST(ClickAreas, BoxesAtTheEdgeOfThe32BitRangeNeitherOverflowNorCatchClicks)
{
    MouseRect rects[] = {
        {.kind = MouseParent, .box = {INT32_MAX, INT32_MAX, 10, 10}, .cursor = -1},
        {.kind = MouseClickArea, .box = {INT32_MAX, 5, 10, 10}, .eventId = 1},
        {.kind = MouseParentEnd, .cursor = -1},
        {.kind = MouseClickArea, .box = {INT32_MAX - 5, INT32_MAX - 5, INT32_MAX, INT32_MAX}, .eventId = 2},
        {.kind = MouseEnd, .cursor = -1},
    };
    const auto areas = host::clickAreas(rects);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].rect->eventId, 2u);
}

TEST(Variables, IntegerVariablesReachModulesAsInt32)
{
    host::Variables variables;
    variables.set(0x84, 3.9);
    variables.set(0x133, -1);
    variables.set(0x2b, std::nan(""));
    variables.set(0x41, 2.5);
    ModuleVar start = {.id = 0x84}, fuel = {.id = 0x133}, toFrom = {.id = 0x2b}, speed = {.id = 0x41};
    ModuleVar unbound = {.id = 0};
    gauge::storeVariableNumber(unbound, 7.0);
    for (ModuleVar *variable : {&start, &fuel, &toFrom, &speed, &unbound})
        variables.fill(*variable);
    EXPECT_EQ(gauge::variableInt32(start), 3);
    EXPECT_EQ(gauge::variableInt32(fuel), -1);
    EXPECT_EQ(gauge::variableInt32(toFrom), 0);
    EXPECT_EQ(start.value.bytes[4] | start.value.bytes[5] | start.value.bytes[6] | start.value.bytes[7], 0);
    EXPECT_EQ(gauge::variableNumber(speed), 2.5);
    EXPECT_EQ(gauge::variableNumber(unbound), 7.0);
    EXPECT_EQ(variables.get(0x999), 0.0);
}

TEST(ScriptNumbers, DecimalHexAndSpecialValues)
{
    EXPECT_EQ(host::parseInteger("0x1015b"), 0x1015b);
    EXPECT_EQ(host::parseInteger("-12"), -12);
    EXPECT_EQ(host::parseInteger("010"), 10);
    EXPECT_EQ(host::parseInteger("-0x8000000000000000"), INT64_MIN);
    for (const char *bad : {"", "-", "0x", "1.5", "12abc", "0x1g", "99999999999999999999"})
        EXPECT_THROW(host::parseInteger(bad), host::ScriptError) << bad;

    EXPECT_TRUE(std::isnan(host::parseValue("nan")));
    EXPECT_EQ(host::parseValue("-inf"), -INFINITY);
    EXPECT_TRUE(std::signbit(host::parseValue("-0.0")));
    EXPECT_EQ(host::parseValue("0x30f"), 783.0);
    EXPECT_EQ(host::parseValue("29.92"), 29.92);
    EXPECT_EQ(host::parseValue("1e308"), 1e308);
    for (const char *bad : {"", "abc", "1.2.3", "0x1p3", "infinity", "1,5"})
        EXPECT_THROW(host::parseValue(bad), host::ScriptError) << bad;
}

} // namespace

// The fuel selector valve: a handle on OFF, LEFT or RIGHT following the
// host's selector position, and a click square on each position mark that
// asks the host to select it.
#include "gauge_list.h"
#include "module_var.h"
#include "routines.h"

namespace {

constexpr int32_t SelectorPositionId = 0x133; // int32: 0 OFF, 1 and 2 LEFT, 3 RIGHT

// Picture indexes of the handle.
constexpr double HandleOnOff = 0.0;
constexpr double HandleOnLeft = 1.0;
constexpr double HandleOnRight = 2.0;

// Chooses the handle picture; every position but OFF and RIGHT shows LEFT.
double GAUGE_CALL FuelSelectorCallback(ElementHeader *element)
{
    switch (gauge::variableInt32(korvo6::recordOf<Icon>(element).source)) {
    case 0:
        return HandleOnOff;
    case 3:
        return HandleOnRight;
    default:
        return HandleOnLeft;
    }
}

Icon Handle = {
    .header = {.kind = KindIcon, .resourceId = 0x152, .gauge = &FuelSelectorGauge, .imageFlags = 0x03},
    .source = {.id = SelectorPositionId},
    .iconCount = 3,
    .callback = FuelSelectorCallback,
};
ElementHeader *RootNext[2] = {&Handle.header, nullptr};
StaticImage Root = {
    .header = {.kind = KindStaticImage, .resourceId = 0x151, .gauge = &FuelSelectorGauge, .next = RootNext,
               .imageFlags = 0x01},
};
ElementHeader *Elements[2] = {&Root.header, nullptr};

// One square over each position mark; the host sends the event itself.
MouseRect MouseRects[] = {
    {.kind = MouseParent, .cursor = -1, .helpId = 0xab2d},
    {.kind = MouseClickArea, .box = {4, 4, 60, 60}, .cursor = 5, .mouseFlags = 0x20000000, .eventId = 0x101a3},
    {.kind = MouseClickArea, .box = {4, 90, 60, 60}, .cursor = 5, .mouseFlags = 0x20000000, .eventId = 0x101a5},
    {.kind = MouseClickArea, .box = {105, 105, 60, 60}, .cursor = 5, .mouseFlags = 0x20000000,
     .eventId = 0x101a6},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader FuelSelectorGauge = {
    .version = GaugeVersion800,
    .name = "Fuel_Selector",
    .elements = Elements,
    GAUGE_FORWARDING_ROUTINES,
    .sizeMm = 60,
    .mouseRects = MouseRects,
};

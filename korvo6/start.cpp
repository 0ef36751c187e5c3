// The engine start key switch: five positions OFF, R, L, BOTH, START. The
// left part of the gauge steps the key back through a plain key event; the
// right part steps it on, and from BOTH engages START, which needs an event
// of its own.
#include "gauge_list.h"
#include "host_calls.h"
#include "module_var.h"
#include "routines.h"

namespace {

constexpr int32_t SwitchPositionId = 0x84; // int32: 0 OFF .. 4 START
constexpr int32_t PositionBoth = 3;
constexpr int32_t PositionStart = 4;

constexpr uint32_t KeyBackEvent = 0x10062;
constexpr uint32_t KeyOnEvent = 0x10063;
constexpr uint32_t EngageStartEvent = 0x102b0;

// Read by the mouse function at the moment of the click, apart from the
// icon's own source.
ModuleVar SwitchPosition = {.id = SwitchPositionId};

// The key picture for the position; a value outside the five shows OFF.
double GAUGE_CALL StartSwitchCallback(ElementHeader *element)
{
    const int32_t position = gauge::variableInt32(korvo6::recordOf<Icon>(element).source);
    return position >= 0 && position <= PositionStart ? position : 0.0;
}

// Steps the key on; from BOTH the next step is START.
int32_t GAUGE_CALL StartSwitchMouse(MousePosition *, uint32_t)
{
    gauge::readVariable(SwitchPosition);
    const bool atBoth = gauge::variableInt32(SwitchPosition) == PositionBoth;
    gauge::sendKeyEvent(atBoth ? EngageStartEvent : KeyOnEvent, 0);
    return 1;
}

FailureRecord KeyFailures[] = {{.key = 2, .action = 0}, {.key = 0}};

Icon Key = {
    .header = {.kind = KindIcon, .resourceId = 0x162, .gauge = &StartGauge, .failures = KeyFailures,
               .imageFlags = 0x07},
    .source = {.id = SwitchPositionId},
    .iconCount = 5,
    .callback = StartSwitchCallback,
};
ElementHeader *RootNext[2] = {&Key.header, nullptr};
StaticImage Root = {
    .header = {.kind = KindStaticImage, .resourceId = 0x160, .gauge = &StartGauge, .next = RootNext,
               .imageFlags = 0x03},
};
ElementHeader *Elements[2] = {&Root.header, nullptr};

// Two bands over the labels, a five-pixel gap between them.
MouseRect MouseRects[] = {
    {.kind = MouseParent, .cursor = -1, .helpId = 0xab45},
    {.kind = MouseClickArea, .box = {0, 0, 35, 20}, .cursor = 2, .mouseFlags = 0x20000000, .eventId = KeyBackEvent},
    {.kind = MouseClickArea, .box = {40, 0, 35, 20}, .cursor = 1, .mouseFlags = 0x20000000,
     .function = StartSwitchMouse},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader StartGauge = {
    .version = GaugeVersion800,
    .name = "Start",
    .elements = Elements,
    GAUGE_FORWARDING_ROUTINES,
    .sizeMm = 50,
    .mouseRects = MouseRects,
};

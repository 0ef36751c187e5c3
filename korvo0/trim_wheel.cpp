// The trim wheel: an edge-on wheel whose ridges roll one image forward each
// time the trim reading rose since the last evaluation and one back each
// time it fell. It shows that the trim moves, not where it stands.
#include "conversions.h"
#include "gauge_list.h"
#include "host_calls.h"
#include "module_var.h"
#include "routines.h"

#include <cstdint>

namespace {

constexpr int32_t TrimPositionVariable = 0x30f;

// The trim position, refreshed by the wheel itself; after each evaluation
// its value holds the trim reading rather than the position.
ModuleVar TrimPosition = {.id = TrimPositionVariable};

// The animation state belongs to the module, so every instance of the gauge
// steps the same counter against the same last reading.
int8_t TrimStepCounter = 0; // 0, 1 or 2; the image shown is 2 minus it
double TrimLastReading = 0.0;
bool TrimStarted = false;

// The position in steps of 1/2000, kept to its low eight bits as a signed
// value: the reading wraps every 256 steps, so 0.128 reads as 0 again.
// Not-a-number and positions beyond the int64 range read as 0.
double trimReading(double position)
{
    const int64_t steps = gauge::truncateToInt64(position * 2000.0);
    // Both narrowing conversions are modular, so this is two's complement.
    return static_cast<int8_t>(static_cast<uint8_t>(steps));
}

double GAUGE_CALL TrimWheelCallback(ElementHeader *)
{
    gauge::readVariable(TrimPosition);
    const double reading = trimReading(gauge::variableNumber(TrimPosition));
    gauge::storeVariableNumber(TrimPosition, reading);

    // The very first evaluation after loading only records where the trim is.
    if (!TrimStarted) {
        TrimLastReading = reading;
        TrimStarted = true;
        return 0.0;
    }
    // One image per evaluation however far the reading moved.
    if (reading < TrimLastReading) {
        if (++TrimStepCounter == 3)
            TrimStepCounter = 0;
    } else if (reading > TrimLastReading) {
        if (--TrimStepCounter == -1)
            TrimStepCounter = 2;
    }
    TrimLastReading = reading;
    return 2 - TrimStepCounter;
}

Icon TrimWheel = {
    .header = {.kind = KindIcon, .resourceId = 0x142, .gauge = &TrimWheelGauge, .imageFlags = 0x1},
    .iconCount = 3,
    .callback = TrimWheelCallback,
};
ElementHeader *TrimRootNext[2] = {&TrimWheel.header, nullptr};
StaticImage TrimRoot = {
    .header = {.kind = KindStaticImage, .resourceId = 0x140, .gauge = &TrimWheelGauge, .next = TrimRootNext,
               .imageFlags = 0x1},
};
ElementHeader *TrimElements[2] = {&TrimRoot.header, nullptr};

// A tooltip over the whole gauge and nothing to click.
MouseRect TrimMouseRects[] = {
    {.kind = MouseParent, .cursor = -1, .helpId = 0xa02e},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader TrimWheelGauge = {
    .version = GaugeVersion700,
    .name = "TrimMove",
    .elements = TrimElements,
    GAUGE_FORWARDING_ROUTINES,
    .sizeMm = 20,
    .mouseRects = TrimMouseRects,
};

// The throttle quadrant: two throttle levers, a spoiler lever, a seven-detent
// flaps lever and a parking brake handle on one plate, all worked with the
// mouse. Clicks send key events with a value computed from the pointer's
// height; the throttle and spoiler handles are drawn where the host's
// variables put them, the flaps handle from the value this gauge last sent.
#include "conversions.h"
#include "gauge_list.h"
#include "host_calls.h"
#include "module_var.h"
#include "sound_binding.h"

#include <cstdint>

namespace {

// Host key events the click areas send.
constexpr uint32_t ParkingBrakeEvent = 0x100d8;
constexpr uint32_t SpoilerEvent = 0x100fa;
constexpr uint32_t LeftThrottleEvent = 0x1011c;
constexpr uint32_t RightThrottleEvent = 0x1011d;
constexpr uint32_t FlapsEvent = 0x100a2;

// Full travel of every lever, in lever units.
constexpr int32_t LeverFullTravel = 16384;

// Above this parking brake reading the handle is drawn set.
constexpr double ParkingBrakeSetAbove = 25000.0;

// Module-level state, shared by every instance of the gauge. The flaps
// handle follows commandedFlaps, the value the flaps area last sent.
int32_t commandedFlaps = 0;
int32_t flapsDetent = 0;
int32_t resetDone = 0;

ModuleVar ParkingBrakeVariable = {.id = 0x143};

// The flaps detents: a commanded value whose truncated tenth-of-a-percent
// reading t (value / 409.6) lies in a band draws the handle at that band's
// detent, k * 16384 / 6 rounded. The bands are not equally wide.
struct FlapsBand {
    int32_t lowest;
    int32_t highest;
    int32_t detent;
};
constexpr FlapsBand FlapsBands[] = {
    {0, 2, 0},       {3, 7, 2731},    {8, 12, 5461},   {13, 20, 8192},
    {21, 27, 10923}, {28, 35, 13653}, {36, 40, 16384},
};

// factor * y clamped to the lever's travel, without overflow for any y.
int32_t clampedLeverValue(int32_t y, int32_t factor)
{
    const int64_t product = static_cast<int64_t>(y) * factor;
    if (product < 0)
        return 0;
    if (product > LeverFullTravel)
        return LeverFullTravel;
    return static_cast<int32_t>(product);
}

// The throttle value for a click y rows below the top of a throttle area:
// row 131 is idle, rows above it forward thrust, rows below it reverse. Not
// clamped: a pointer dragged beyond the slot gives values beyond full travel.
int32_t throttleValue(int32_t y)
{
    const int64_t rowsAboveIdle = 131 - static_cast<int64_t>(y);
    return gauge::truncateToInt32(static_cast<double>(rowsAboveIdle) * 125.06);
}

// Sends a lever value, negative ones in two's complement.
void sendLeverEvent(uint32_t eventId, int32_t value)
{
    gauge::sendKeyEvent(eventId, static_cast<uint32_t>(value));
}

const Slider &sliderOf(const ElementHeader *element)
{
    return *reinterpret_cast<const Slider *>(element);
}

// Moves the flaps detent to the band of the commanded value; a reading
// outside every band leaves it where it is.
void stepFlapsDetent()
{
    const int32_t reading = gauge::truncateToInt32(static_cast<double>(commandedFlaps) / 409.6);
    for (const FlapsBand &band : FlapsBands) {
        if (reading >= band.lowest && reading <= band.highest) {
            flapsDetent = band.detent;
            return;
        }
    }
}

// ---------------------------------------------------------------- value callbacks

double GAUGE_CALL LeverPassThroughX(ElementHeader *element)
{
    return gauge::variableNumber(sliderOf(element).sourceX);
}

double GAUGE_CALL LeverPassThroughY(ElementHeader *element)
{
    return gauge::variableNumber(sliderOf(element).sourceY);
}

// Keeps the spoiler handle inside its slot, RET to EXT.
double GAUGE_CALL SpoilerClampCallback(ElementHeader *element)
{
    const double value = gauge::variableNumber(sliderOf(element).sourceY);
    if (value > LeverFullTravel)
        return LeverFullTravel;
    if (value < 0.0)
        return 0.0;
    return value;
}

double GAUGE_CALL FlapsDetentCallbackX(ElementHeader *element)
{
    stepFlapsDetent();
    return gauge::variableNumber(sliderOf(element).sourceX);
}

double GAUGE_CALL FlapsDetentCallbackY(ElementHeader *)
{
    stepFlapsDetent();
    return flapsDetent;
}

// Picture 1 (set) above the threshold; 0 (released) otherwise, not-a-number
// included.
double GAUGE_CALL ParkingBrakePictureCallback(ElementHeader *)
{
    return gauge::variableNumber(ParkingBrakeVariable) > ParkingBrakeSetAbove ? 1.0 : 0.0;
}

// ---------------------------------------------------------------- mouse functions

int32_t GAUGE_CALL ParkingBrakeAreaFunction(MousePosition *, uint32_t)
{
    gauge::sendKeyEvent(ParkingBrakeEvent, 0);
    return 0;
}

int32_t GAUGE_CALL SpoilerAreaFunction(MousePosition *position, uint32_t)
{
    sendLeverEvent(SpoilerEvent, clampedLeverValue(position->y, 192));
    return 0;
}

int32_t GAUGE_CALL LeftThrottleAreaFunction(MousePosition *position, uint32_t)
{
    sendLeverEvent(LeftThrottleEvent, throttleValue(position->y));
    return 0;
}

int32_t GAUGE_CALL RightThrottleAreaFunction(MousePosition *position, uint32_t)
{
    sendLeverEvent(RightThrottleEvent, throttleValue(position->y));
    return 0;
}

int32_t GAUGE_CALL BothThrottlesAreaFunction(MousePosition *position, uint32_t)
{
    const int32_t value = throttleValue(position->y);
    sendLeverEvent(LeftThrottleEvent, value);
    sendLeverEvent(RightThrottleEvent, value);
    return 0;
}

int32_t GAUGE_CALL FlapsAreaFunction(MousePosition *position, uint32_t)
{
    commandedFlaps = clampedLeverValue(position->y, 178);
    sendLeverEvent(FlapsEvent, commandedFlaps);
    return 0;
}

// ---------------------------------------------------------------- gauge callback

void GAUGE_CALL VantrelGaugeCallback(GaugeHeader *, int32_t service, uint32_t)
{
    switch (service) {
    case ServiceFirstUse:
        vantrel::bindSoundLibrary();
        break;
    case ServiceFrame:
        vantrel::rebindSoundLibrary();
        gauge::readVariable(ParkingBrakeVariable);
        break;
    case ServiceReset:
        // Once per module load, whichever instance asks first.
        if (!resetDone) {
            resetDone = 1;
            commandedFlaps = 0;
            flapsDetent = 0;
        }
        break;
    case ServiceTakeDown:
        vantrel::releaseSoundLibrary();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- records

constexpr uint32_t QuadrantImageFlags = 0x83;

// Pixels per lever unit: throttles rise 104.8 pixels at full forward travel,
// the spoiler falls 106 pixels from RET to EXT, the flaps 134 pixels over
// their seven detents.
constexpr double ThrottleScale = -0.006396484375; // -104.8 / 16384
constexpr double SpoilerScale = 0.0064697265625; // 106 / 16384
constexpr double FlapsScale = 0.0081787109375;   // 134 / 16384

FailureRecord PlateFailures[] = {{.key = 0}};
FailureRecord ParkingBrakeFailures[] = {{.key = 0}};
FailureRecord LeftThrottleFailures[] = {{.key = 0}};
FailureRecord RightThrottleFailures[] = {{.key = 0}};
FailureRecord SpoilerFailures[] = {{.key = 0}};
FailureRecord FlapsFailures[] = {{.key = 0}};

// The chain, back to front: plate, parking brake, throttles, spoiler, flaps.
Slider FlapsLever = {
    .header = {.kind = KindSlider, .resourceId = 0x1500, .position = {246, 152}, .gauge = &VantrelGauge,
               .next = nullptr, .failures = FlapsFailures, .imageFlags = QuadrantImageFlags},
    .scaleX = 0.0,
    .scaleY = FlapsScale,
    .callbackX = FlapsDetentCallbackX,
    .callbackY = FlapsDetentCallbackY,
};
ElementHeader *SpoilerLeverNext[] = {&FlapsLever.header, nullptr};
Slider SpoilerLever = {
    .header = {.kind = KindSlider, .resourceId = 0x1400, .position = {3, 16}, .gauge = &VantrelGauge,
               .next = SpoilerLeverNext, .failures = SpoilerFailures, .imageFlags = QuadrantImageFlags},
    .scaleX = 0.0,
    .sourceY = {.id = 0x145},
    .scaleY = SpoilerScale,
    .callbackX = LeverPassThroughX,
    .callbackY = SpoilerClampCallback,
};
ElementHeader *RightThrottleNext[] = {&SpoilerLever.header, nullptr};
Slider RightThrottleLever = {
    .header = {.kind = KindSlider, .resourceId = 0x1300, .position = {160, 156}, .gauge = &VantrelGauge,
               .next = RightThrottleNext, .failures = RightThrottleFailures,
               .imageFlags = QuadrantImageFlags},
    .scaleX = 0.0,
    .sourceY = {.id = 0xa3},
    .scaleY = ThrottleScale,
    .callbackX = LeverPassThroughX,
    .callbackY = LeverPassThroughY,
};
ElementHeader *LeftThrottleNext[] = {&RightThrottleLever.header, nullptr};
Slider LeftThrottleLever = {
    .header = {.kind = KindSlider, .resourceId = 0x1200, .position = {66, 156}, .gauge = &VantrelGauge,
               .next = LeftThrottleNext, .failures = LeftThrottleFailures,
               .imageFlags = QuadrantImageFlags},
    .scaleX = 0.0,
    .sourceY = {.id = 0x80},
    .scaleY = ThrottleScale,
    .callbackX = LeverPassThroughX,
    .callbackY = LeverPassThroughY,
};
ElementHeader *ParkingBrakeNext[] = {&LeftThrottleLever.header, nullptr};
Icon ParkingBrakeHandle = {
    .header = {.kind = KindIcon, .resourceId = 0x1100, .position = {3, 261}, .gauge = &VantrelGauge,
               .next = ParkingBrakeNext, .failures = ParkingBrakeFailures,
               .imageFlags = QuadrantImageFlags},
    .iconMode = 3,
    .iconCount = 2,
    .callback = ParkingBrakePictureCallback,
};
ElementHeader *PlateNext[] = {&ParkingBrakeHandle.header, nullptr};
StaticImage Plate = {
    .header = {.kind = KindStaticImage, .resourceId = 0x100, .gauge = &VantrelGauge, .next = PlateNext,
               .failures = PlateFailures, .imageFlags = QuadrantImageFlags},
};

// The gauge's element list holds the root alone.
ElementHeader *VantrelElements[] = {&Plate.header};

// The tooltip text takes no arguments.
const uint32_t TooltipArguments[2] = {0, 0};

constexpr int32_t LeverCursor = 5;
constexpr uint32_t ClickFlags = 0x20000000;
constexpr uint32_t DragFlags = 0x20800000;

constexpr MouseRect clickArea(Box box, uint32_t mouseFlags, MouseFunction function)
{
    return {.kind = MouseClickArea, .box = box, .cursor = LeverCursor, .mouseFlags = mouseFlags,
            .function = function};
}

MouseRect VantrelMouseRects[] = {
    {.kind = MouseParent, .cursor = -1},
    {.kind = MouseTooltipText, .cursor = -1, .tooltipText = "Vantrel", .data = TooltipArguments},
    clickArea({3, 262, 87, 66}, ClickFlags, ParkingBrakeAreaFunction),
    clickArea({3, 19, 51, 148}, DragFlags, SpoilerAreaFunction),
    clickArea({68, 20, 67, 261}, DragFlags, LeftThrottleAreaFunction),
    clickArea({174, 20, 67, 261}, DragFlags, RightThrottleAreaFunction),
    clickArea({136, 20, 37, 261}, DragFlags, BothThrottlesAreaFunction),
    clickArea({245, 154, 65, 158}, DragFlags, FlapsAreaFunction),
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader VantrelGauge = {
    .version = GaugeVersion800,
    .name = "vantrel",
    .elements = VantrelElements,
    .sizeMm = 100,
    .mouseRects = VantrelMouseRects,
    .callback = VantrelGaugeCallback,
};

// The altimeter: three hands for the altitude (one turn per 1,000, 10,000
// and 100,000 units), a two-decimal readout of the pressure setting and a
// setting knob. Face, hands and readout come twice, lit and day, and the
// lighting switch shows one set; the knob's two halves send the host's
// setting-down and setting-up events themselves.
#include "conversions.h"
#include "gauge_list.h"
#include "lighting.h"
#include "module_var.h"
#include "platform.h"
#include "routines.h"

#include <climits>
#include <iterator>

namespace {

constexpr uint32_t LitSetSize = 5;

constexpr int32_t AltitudeVariable = 0x4a;
constexpr int32_t PressureSettingVariable = 0x4c;

constexpr uint32_t SettingDownEvent = 0x1015c;
constexpr uint32_t SettingUpEvent = 0x1015b;

constexpr Point HandPivot = {156, 154};
constexpr int32_t ReadoutLength = 5;

// The altitude in whole units, as every hand counts it. Not-a-number,
// infinities and altitudes beyond int32 count as 0.
int32_t wholeAltitude(const ElementHeader *element)
{
    return gauge::truncateToInt32(gauge::variableNumber(reinterpret_cast<const Needle *>(element)->source));
}

double GAUGE_CALL AltimeterHundredsCallback(ElementHeader *element)
{
    return wholeAltitude(element) % 1000;
}

double GAUGE_CALL AltimeterThousandsCallback(ElementHeader *element)
{
    return (wholeAltitude(element) % 10000) / 10;
}

// No modulo: from 100,000 on the pointer's value runs past its scale.
double GAUGE_CALL AltimeterTenThousandsCallback(ElementHeader *element)
{
    return wholeAltitude(element) / 100;
}

// Writes the setting into text, at most maxLength characters and the NUL.
void writeSetting(char *text, int32_t maxLength, double setting)
{
    if (!text || maxLength <= 0)
        return;
    const int capacity = maxLength < INT_MAX ? maxLength + 1 : INT_MAX;
    // Only settings in [0, 100) fit "dd.dd"; anything else, not-a-number
    // included, shows the out-of-range dashes rather than a cut-off number.
    if (!(setting >= 0.0 && setting < 100.0)) {
        platform::formatText(text, capacity, "--.--");
        return;
    }
    // Both parts truncate: a setting held just below a hundredth shows the
    // hundredth below it.
    const int32_t whole = gauge::truncateToInt32(setting);
    const int32_t hundredths = gauge::truncateToInt32((setting - whole) * 100.0);
    platform::formatText(text, capacity, "%2d.%02d", whole, hundredths);
}

double GAUGE_CALL PressureReadoutCallback(ElementHeader *element)
{
    auto *readout = reinterpret_cast<StringElement *>(element);
    const double setting = gauge::variableNumber(readout->source);
    writeSetting(readout->text, readout->maxLength, setting);
    return setting;
}

void GAUGE_CALL AltimeterGaugeCallback(GaugeHeader *gauge, int32_t service, uint32_t)
{
    gauge::runLightingOnFrame(gauge, service, LitSetSize);
}

// One table for all six hands: value 0 straight up, one pixel short of a
// full clockwise turn at 999.
NonlinearityPoint HandScale[] = {
    {.x = 156, .y = 41, .value = 0.0},
    {.x = 155, .y = 41, .value = 999.0},
};

// Shared by every hand and both readouts; the faces have none.
FailureRecord HandFailures[] = {{.key = 7, .action = 1}, {.key = 3, .action = 1}, {.key = 0}};

// What tells the lit set from the day set.
struct SetSpec {
    int32_t bitmapBase;   // face; +1 ten-thousands pointer, +2 thousands, +3 hundreds
    uint32_t litBit;      // 0x4 on the lit set, clear on the day set
    uint32_t textColour;
    ElementHeader **after; // what follows the set's last element, or null
};

// The records of one set, chain order: face, ten-thousands pointer, readout,
// thousands hand, hundreds hand. faceLink is the list that leads into it.
template <const SetSpec &Spec>
struct AltimeterSet {
    static Needle hundreds;
    static ElementHeader *hundredsLink[2];
    static Needle thousands;
    static ElementHeader *thousandsLink[2];
    static StringElement readout;
    static ElementHeader *readoutLink[2];
    static Needle tenThousands;
    static ElementHeader *tenThousandsLink[2];
    static Icon face;
    static ElementHeader *faceLink[2];

    static constexpr Needle hand(int32_t bitmapStep, Point offset, ValueCallback callback, ElementHeader **next)
    {
        return {
            .header = {.kind = KindNeedle, .resourceId = Spec.bitmapBase + bitmapStep, .position = HandPivot,
                       .offset = offset, .gauge = &AltimeterGauge, .next = next, .failures = HandFailures,
                       .imageFlags = 0x3 | Spec.litBit},
            .source = {.id = AltitudeVariable},
            .nonlinearity = HandScale,
            .nonlinearityCount = static_cast<int32_t>(std::size(HandScale)),
            .callback = callback,
        };
    }

    static constexpr StringElement pressureReadout(ElementHeader **next)
    {
        return {
            .header = {.kind = KindString, .resourceId = -1, .position = {170, 138}, .gauge = &AltimeterGauge,
                       .next = next, .failures = HandFailures, .imageFlags = 0x3 | Spec.litBit},
            .source = {.id = PressureSettingVariable},
            .boxSize = {100, 40},
            .foreground = Spec.textColour,
            .background = 0x00202020,
            .highlight = 0x005C5C5C,
            .fontFace = "Quartz",
            .fontWeight = 400,
            .charSet = 1,
            .textFormat = 0x25,
            .maxLength = ReadoutLength,
            .callback = PressureReadoutCallback,
        };
    }
};

template <const SetSpec &S>
Needle AltimeterSet<S>::hundreds = hand(3, {50, 7}, AltimeterHundredsCallback, S.after);
template <const SetSpec &S> ElementHeader *AltimeterSet<S>::hundredsLink[2] = {&hundreds.header, nullptr};
template <const SetSpec &S>
Needle AltimeterSet<S>::thousands = hand(2, {15, 12}, AltimeterThousandsCallback, hundredsLink);
template <const SetSpec &S> ElementHeader *AltimeterSet<S>::thousandsLink[2] = {&thousands.header, nullptr};
template <const SetSpec &S> StringElement AltimeterSet<S>::readout = pressureReadout(thousandsLink);
template <const SetSpec &S> ElementHeader *AltimeterSet<S>::readoutLink[2] = {&readout.header, nullptr};
template <const SetSpec &S>
Needle AltimeterSet<S>::tenThousands = hand(1, {67, 60}, AltimeterTenThousandsCallback, readoutLink);
template <const SetSpec &S>
ElementHeader *AltimeterSet<S>::tenThousandsLink[2] = {&tenThousands.header, nullptr};
template <const SetSpec &S>
Icon AltimeterSet<S>::face = {
    .header = {.kind = KindIcon, .resourceId = S.bitmapBase, .gauge = &AltimeterGauge, .next = tenThousandsLink,
               .imageFlags = 0x83 | S.litBit},
    .iconCount = 1,
};
template <const SetSpec &S> ElementHeader *AltimeterSet<S>::faceLink[2] = {&face.header, nullptr};

constexpr SetSpec DaySpec = {.bitmapBase = 0x130, .litBit = 0, .textColour = 0x00DED5D5, .after = nullptr};
constexpr SetSpec LitSpec = {
    .bitmapBase = 0x134, .litBit = 0x4, .textColour = 0x0087A9C4, .after = AltimeterSet<DaySpec>::faceLink,
};

StaticImage AltimeterRoot = {
    .header = {.kind = KindStaticImage, .resourceId = 0x130, .gauge = &AltimeterGauge,
               .next = AltimeterSet<LitSpec>::faceLink, .imageFlags = 0x1},
};
ElementHeader *AltimeterElements[2] = {&AltimeterRoot.header, nullptr};

// The knob's two halves send the host's own events; no mouse function.
MouseRect AltimeterMouseRects[] = {
    {.kind = MouseParent, .cursor = -1, .helpId = 0xab07},
    {.kind = MouseParent, .box = {6, 241, 64, 64}, .cursor = -1, .helpId = 0xab08},
    {.kind = MouseClickArea, .box = {0, 0, 32, 64}, .cursor = 2, .mouseFlags = 0x20200000,
     .eventId = SettingDownEvent},
    {.kind = MouseClickArea, .box = {32, 0, 32, 64}, .cursor = 1, .mouseFlags = 0x20200000,
     .eventId = SettingUpEvent},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader AltimeterGauge = {
    .version = GaugeVersion700,
    .name = "Altimetro",
    .elements = AltimeterElements,
    GAUGE_FORWARDING_ROUTINES,
    .sizeMm = 115,
    .mouseRects = AltimeterMouseRects,
    .callback = AltimeterGaugeCallback,
};

// The horizontal situation indicator: compass card, heading bug, course
// pointer, TO/FROM triangle, deviation bar, NAV flag, glideslope pointers and
// two knobs. Every moving part exists twice, lit and day; the two sets are
// built from one recipe and the lighting switch shows one of them.
#include "conversions.h"
#include "gauge_list.h"
#include "host_calls.h"
#include "lighting.h"
#include "module_var.h"
#include "routines.h"

#include <array>

namespace {

constexpr uint32_t LitSetSize = 11;

// Host variables.
constexpr int32_t HeadingId = 0x54;
constexpr int32_t HeadingBugId = 0x357;
constexpr int32_t CourseId = 0x356;
constexpr int32_t LateralDeviationId = 0x351;
constexpr int32_t VerticalDeviationId = 0x352;
constexpr int32_t NavFlagId = 0x353;
constexpr int32_t GlideslopeValidId = 0x354;
constexpr int32_t ToFromId = 0x2b; // int32: 0 no station, 2 FROM, anything else TO
constexpr int32_t HeadingKnobId = 0x6b;
constexpr int32_t CourseKnobId = 0x2d;

// Module-level variables the callbacks refresh themselves.
ModuleVar HeadingVariable = {.id = HeadingId};
ModuleVar ToFromVariable = {.id = ToFromId};
ModuleVar GlideslopeValidVariable = {.id = GlideslopeValidId};

double needleValue(ElementHeader *element)
{
    return gauge::variableNumber(korvo6::recordOf<Needle>(element).source);
}

// An angle on the card turned into one relative to the lubber line; never
// wrapped, so the host turns the needle the way the numbers go.
double relativeToHeading(double angle)
{
    gauge::readVariable(HeadingVariable);
    return angle - gauge::variableNumber(HeadingVariable);
}

// Turns the card so that the heading stands under the lubber line.
double GAUGE_CALL HsiCardCallback(ElementHeader *element)
{
    return 360.0 - needleValue(element);
}

// Heading bug and course pointer: their card angle relative to the heading.
double GAUGE_CALL HsiRelativeCallback(ElementHeader *element)
{
    return relativeToHeading(needleValue(element));
}

// Turns the deviation bar with the course pointer.
double GAUGE_CALL HsiBarRotationCallback(ElementHeader *element)
{
    return relativeToHeading(gauge::variableNumber(korvo6::recordOf<Sprite>(element).sourceRotation));
}

// Points the triangle along the course (TO) or against it (FROM); hidden
// without a station.
double GAUGE_CALL HsiToFromCallback(ElementHeader *element)
{
    double angle = needleValue(element);
    gauge::readVariable(ToFromVariable);
    const int32_t toFrom = gauge::variableInt32(ToFromVariable);
    if (toFrom == 2)
        angle += 180.0;
    korvo6::setHidden(element, toFrom == 0);
    return relativeToHeading(angle);
}

// The lateral deviation as it stands; the sprite's scale makes it pixels.
double GAUGE_CALL HsiDeviationCallback(ElementHeader *element)
{
    return gauge::variableNumber(korvo6::recordOf<Sprite>(element).sourceX);
}

// Shows the flag unless the navigation signal is good (a positive value).
double GAUGE_CALL HsiNavFlagCallback(ElementHeader *element)
{
    const bool signalGood = gauge::variableNumber(korvo6::recordOf<Icon>(element).source) > 0.0;
    korvo6::setHidden(element, signalGood);
    return signalGood ? -1.0 : 0.0;
}

// Shows the pointer only with a valid glideslope, and keeps it on its scale.
double GAUGE_CALL HsiGlideslopeCallback(ElementHeader *element)
{
    gauge::readVariable(GlideslopeValidVariable);
    korvo6::setHidden(element, !(gauge::variableNumber(GlideslopeValidVariable) > 0.0));
    return gauge::clampToScale(gauge::variableNumber(korvo6::recordOf<Slider>(element).sourceY), -1.0, 1.0);
}

void GAUGE_CALL HsiGaugeCallback(GaugeHeader *gauge, int32_t service, uint32_t)
{
    gauge::runLightingOnFrame(gauge, service, LitSetSize);
}

// Failure lists. The twins of one element share a list; every element pair
// has a list of its own, even where the entries are the same.
constexpr std::array CompassFailures = {
    FailureRecord{.key = 11, .action = 1}, FailureRecord{.key = 20, .action = 1}, FailureRecord{}};
constexpr std::array CourseFailures = {
    FailureRecord{.key = 11, .action = 1}, FailureRecord{.key = 14, .action = 2},
    FailureRecord{.key = 20, .action = 1}, FailureRecord{.key = 21, .action = 2}, FailureRecord{}};
constexpr std::array GlideslopeFailures = {
    FailureRecord{.key = 14, .action = 2}, FailureRecord{.key = 20, .action = 1},
    FailureRecord{.key = 21, .action = 2}, FailureRecord{}};

std::array CardFailures = CompassFailures;
std::array HeadingBugFailures = CompassFailures;
std::array CoursePointerFailures = CourseFailures;
std::array ToFromFailures = CourseFailures;
std::array DeviationBarFailures = CourseFailures;
std::array RightGlideslopeFailures = GlideslopeFailures;
std::array LeftGlideslopeFailures = GlideslopeFailures;

// What tells a lit element from its day twin.
struct Artwork {
    int32_t bitmapShift; // added to the day bitmap id
    uint32_t imageFlags;
};
constexpr Artwork LitArtwork = {.bitmapShift = 0x20, .imageFlags = 0x87};
constexpr Artwork DayArtwork = {.bitmapShift = 0, .imageFlags = 0x83};

// The centre of the compass ring on the face.
constexpr Point Centre = {59, 58};

// One set of artwork in chain order, each element followed by its next list.
struct ElementSet {
    Icon face;
    ElementHeader *faceNext[2];
    Needle card;
    ElementHeader *cardNext[2];
    Needle headingBug;
    ElementHeader *headingBugNext[2];
    Needle coursePointer;
    ElementHeader *coursePointerNext[2];
    Needle toFrom;
    ElementHeader *toFromNext[2];
    Sprite deviationBar;
    ElementHeader *deviationBarNext[2];
    Icon navFlag;
    ElementHeader *navFlagNext[2];
    Slider rightGlideslope;
    ElementHeader *rightGlideslopeNext[2];
    Slider leftGlideslope;
    ElementHeader *leftGlideslopeNext[2];
    Needle headingKnob;
    ElementHeader *headingKnobNext[2];
    Needle courseKnob;
    ElementHeader *courseKnobNext[2];
};

constexpr ElementHeader element(int32_t kind, int32_t dayBitmap, Point position, Point offset,
                                FailureRecord *failures, ElementHeader **next, Artwork artwork)
{
    return {.kind = kind, .resourceId = dayBitmap + artwork.bitmapShift, .position = position,
            .offset = offset, .gauge = &HsiGauge, .next = next, .failures = failures,
            .imageFlags = artwork.imageFlags};
}

// A needle without a table: the value is its angle.
constexpr Needle needle(ElementHeader header, int32_t source, ValueCallback callback)
{
    return {.header = header, .source = {.id = source}, .callback = callback};
}

constexpr Slider glideslopePointer(ElementHeader header)
{
    return {.header = header, .scaleX = 1.0, .sourceY = {.id = VerticalDeviationId}, .scaleY = 22.0,
            .callbackY = HsiGlideslopeCallback};
}

// The records of one set; follower is the element after the set's last one,
// or null when the chain ends there.
constexpr ElementSet elementSet(ElementSet &set, Artwork artwork, ElementHeader *follower)
{
    return {
        .face = {.header = element(KindIcon, 0x110, {0, 0}, {0, 0}, nullptr, set.faceNext, artwork),
                 .iconCount = 1},
        .faceNext = {&set.card.header, nullptr},
        .card = needle(element(KindNeedle, 0x119, Centre, {45, 45}, CardFailures.data(), set.cardNext, artwork),
                       HeadingId, HsiCardCallback),
        .cardNext = {&set.headingBug.header, nullptr},
        .headingBug = needle(element(KindNeedle, 0x115, Centre, {6, 43}, HeadingBugFailures.data(),
                                     set.headingBugNext, artwork),
                             HeadingBugId, HsiRelativeCallback),
        .headingBugNext = {&set.coursePointer.header, nullptr},
        .coursePointer = needle(element(KindNeedle, 0x118, Centre, {31, 36}, CoursePointerFailures.data(),
                                        set.coursePointerNext, artwork),
                                CourseId, HsiRelativeCallback),
        .coursePointerNext = {&set.toFrom.header, nullptr},
        .toFrom = needle(element(KindNeedle, 0x114, Centre, {7, 14}, ToFromFailures.data(), set.toFromNext,
                                 artwork),
                         CourseId, HsiToFromCallback),
        .toFromNext = {&set.deviationBar.header, nullptr},
        // The bar turns about the centre of the instrument, given as its offset.
        .deviationBar = {.header = element(KindSprite, 0x120, {0, 0}, Centre, DeviationBarFailures.data(),
                                           set.deviationBarNext, artwork),
                         .sourceX = {.id = LateralDeviationId},
                         .scaleX = -22.0,
                         .scaleY = 0.0,
                         .sourceRotation = {.id = CourseId},
                         .scaleRotation = -1.0,
                         .textureScaleX = 1.0f,
                         .textureScaleY = 1.0f,
                         .callbackX = HsiDeviationCallback,
                         .callbackRotation = HsiBarRotationCallback},
        .deviationBarNext = {&set.navFlag.header, nullptr},
        .navFlag = {.header = element(KindIcon, 0x111, {27, 18}, {0, 0}, nullptr, set.navFlagNext, artwork),
                    .source = {.id = NavFlagId},
                    .iconCount = 1,
                    .callback = HsiNavFlagCallback},
        .navFlagNext = {&set.rightGlideslope.header, nullptr},
        .rightGlideslope = glideslopePointer(element(KindSlider, 0x117, {104, 55}, {0, 0},
                                                     RightGlideslopeFailures.data(), set.rightGlideslopeNext,
                                                     artwork)),
        .rightGlideslopeNext = {&set.leftGlideslope.header, nullptr},
        .leftGlideslope = glideslopePointer(element(KindSlider, 0x116, {11, 55}, {0, 0},
                                                    LeftGlideslopeFailures.data(), set.leftGlideslopeNext,
                                                    artwork)),
        .leftGlideslopeNext = {&set.headingKnob.header, nullptr},
        // The knobs turn by the plain value of their variables.
        .headingKnob = needle(element(KindNeedle, 0x113, {102, 90}, {11, 11}, nullptr, set.headingKnobNext,
                                      artwork),
                              HeadingKnobId, nullptr),
        .headingKnobNext = {&set.courseKnob.header, nullptr},
        .courseKnob = needle(element(KindNeedle, 0x112, {14, 90}, {11, 11}, nullptr,
                                     follower ? set.courseKnobNext : nullptr, artwork),
                             CourseKnobId, nullptr),
        .courseKnobNext = {follower, nullptr},
    };
}

// Chain: the day face as root, then the lit set, then the day set.
constinit ElementSet DaySet = elementSet(DaySet, DayArtwork, nullptr);
constinit ElementSet LitSet = elementSet(LitSet, LitArtwork, &DaySet.face.header);
ElementHeader *RootNext[2] = {&LitSet.face.header, nullptr};
StaticImage Root = {
    .header = {.kind = KindStaticImage, .resourceId = 0x110, .gauge = &HsiGauge, .next = RootNext,
               .imageFlags = 0x3},
};
ElementHeader *Elements[2] = {&Root.header, nullptr};

// Each knob is split into a left and a right half with a one-pixel gap.
MouseRect MouseRects[] = {
    {.kind = MouseParent, .cursor = -1, .helpId = 0xab36},
    {.kind = MouseParent, .box = {3, 85, 21, 10}, .cursor = -1, .helpId = 0xab38}, // course knob
    {.kind = MouseClickArea, .box = {0, 0, 10, 10}, .cursor = 2, .mouseFlags = 0x20200000, .eventId = 0x1007e},
    {.kind = MouseClickArea, .box = {11, 0, 10, 10}, .cursor = 1, .mouseFlags = 0x20200000, .eventId = 0x1007f},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseParent, .box = {92, 85, 21, 10}, .cursor = -1, .helpId = 0xab33}, // heading knob
    {.kind = MouseClickArea, .box = {0, 0, 10, 10}, .cursor = 2, .mouseFlags = 0x20200000, .eventId = 0x10158},
    {.kind = MouseClickArea, .box = {11, 0, 10, 10}, .cursor = 1, .mouseFlags = 0x20200000, .eventId = 0x10157},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

} // namespace

GaugeHeader HsiGauge = {
    .version = GaugeVersion800,
    .name = "hsi",
    .elements = Elements,
    GAUGE_FORWARDING_ROUTINES,
    .sizeMm = 120,
    .mouseRects = MouseRects,
    .callback = HsiGaugeCallback,
};

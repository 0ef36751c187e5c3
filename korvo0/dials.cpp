// The three single-needle dials: vertical speed, airspeed and engine rpm.
// They share one structure (a day face under everything, then a lit face and
// needle, then a day face and needle), built here once from each dial's
// values; the lighting switch alternates the two sets.
#include "conversions.h"
#include "gauge_list.h"
#include "lighting.h"
#include "module_var.h"
#include "routines.h"

namespace {

constexpr uint32_t LitSetSize = 2;

using gauge::clampToScale;

double needleSource(const ElementHeader *element)
{
    return gauge::variableNumber(reinterpret_cast<const Needle *>(element)->source);
}

double GAUGE_CALL VsiNeedleCallback(ElementHeader *element)
{
    return clampToScale(needleSource(element) * 0.769, -4000.0, 4000.0);
}

double GAUGE_CALL AsiNeedleCallback(ElementHeader *element)
{
    return clampToScale(needleSource(element), 0.0, 200.0);
}

double GAUGE_CALL RpmNeedleCallback(ElementHeader *element)
{
    return clampToScale(needleSource(element), 0.0, 3500.0);
}

void GAUGE_CALL DialGaugeCallback(GaugeHeader *gauge, int32_t service, uint32_t)
{
    gauge::runLightingOnFrame(gauge, service, LitSetSize);
}

// What one dial's records are built from.
struct DialSpec {
    GaugeHeader *gauge;
    int32_t bitmapBase; // day face; +1 day needle, +2 lit face, +3 lit needle
    Point pivot;        // on the face
    Point needleOffset; // in the needle bitmap
    int32_t sourceVariable;
    ValueCallback needleCallback;
    NonlinearityPoint *table;
    int32_t tableSize;
    FailureRecord *rootFailures;
    FailureRecord *needleFailures;
    int32_t helpId;
};

// The records of one dial, chain order: root, lit face, lit needle, day face,
// day needle.
template <const DialSpec &Spec>
struct Dial {
    static Needle dayNeedle;
    static ElementHeader *dayFaceNext[2];
    static Icon dayFace;
    static ElementHeader *litNeedleNext[2];
    static Needle litNeedle;
    static ElementHeader *litFaceNext[2];
    static Icon litFace;
    static ElementHeader *rootNext[2];
    static StaticImage root;
    static ElementHeader *elements[2];
    static MouseRect mouseRects[3];

    static constexpr Needle needle(int32_t resourceId, uint32_t imageFlags, ElementHeader **next)
    {
        return {
            .header = {.kind = KindNeedle, .resourceId = resourceId, .position = Spec.pivot,
                       .offset = Spec.needleOffset, .gauge = Spec.gauge, .next = next,
                       .failures = Spec.needleFailures, .imageFlags = imageFlags},
            .source = {.id = Spec.sourceVariable},
            .nonlinearity = Spec.table,
            .nonlinearityCount = Spec.tableSize,
            .maxRate = 6,
            .callback = Spec.needleCallback,
        };
    }

    static constexpr Icon face(int32_t resourceId, uint32_t imageFlags, ElementHeader **next)
    {
        return {
            .header = {.kind = KindIcon, .resourceId = resourceId, .gauge = Spec.gauge, .next = next,
                       .imageFlags = imageFlags},
            .iconCount = 1,
        };
    }
};

template <const DialSpec &S> Needle Dial<S>::dayNeedle = needle(S.bitmapBase + 1, 0x3, nullptr);
template <const DialSpec &S> ElementHeader *Dial<S>::dayFaceNext[2] = {&dayNeedle.header, nullptr};
template <const DialSpec &S> Icon Dial<S>::dayFace = face(S.bitmapBase, 0x83, dayFaceNext);
template <const DialSpec &S> ElementHeader *Dial<S>::litNeedleNext[2] = {&dayFace.header, nullptr};
template <const DialSpec &S> Needle Dial<S>::litNeedle = needle(S.bitmapBase + 3, 0x7, litNeedleNext);
template <const DialSpec &S> ElementHeader *Dial<S>::litFaceNext[2] = {&litNeedle.header, nullptr};
template <const DialSpec &S> Icon Dial<S>::litFace = face(S.bitmapBase + 2, 0x87, litFaceNext);
template <const DialSpec &S> ElementHeader *Dial<S>::rootNext[2] = {&litFace.header, nullptr};
template <const DialSpec &S>
StaticImage Dial<S>::root = {
    .header = {.kind = KindStaticImage, .resourceId = S.bitmapBase, .gauge = S.gauge, .next = rootNext,
               .failures = S.rootFailures, .imageFlags = 0x1},
};
template <const DialSpec &S> ElementHeader *Dial<S>::elements[2] = {&root.header, nullptr};
template <const DialSpec &S>
MouseRect Dial<S>::mouseRects[3] = {
    {.kind = MouseParent, .cursor = -1, .helpId = S.helpId},
    {.kind = MouseParentEnd, .cursor = -1},
    {.kind = MouseEnd, .cursor = -1},
};

// Scales: where on the face the needle points for each value.
NonlinearityPoint VsiScale[] = {
    {271, 152, -4000}, {236, 238, -3000}, {148, 274, -2000}, {61, 238, -1000},
    {32, 198, -500},   {24, 152, 0},      {32, 107, 500},    {60, 62, 1000},
    {149, 26, 2000},   {237, 62, 3000},   {273, 150, 4000},
};
NonlinearityPoint AsiScale[] = {
    {152, 52, 0},    {188, 28, 40},   {245, 69, 60},  {274, 134, 80}, {257, 214, 100},
    {183, 271, 120}, {96, 263, 140},  {33, 195, 160}, {34, 102, 180}, {90, 40, 200},
};
NonlinearityPoint RpmScale[] = {
    {54, 230, 0},    {23, 150, 500},   {52, 68, 1000},   {126, 24, 1500},
    {211, 39, 2000}, {268, 104, 2500}, {268, 191, 3000}, {213, 259, 3500},
};

FailureRecord VsiRootFailures[] = {{.key = 19, .action = 1}, {.key = 3, .action = 2}, {.key = 0}};
// One list, shared by both airspeed needles.
FailureRecord AsiNeedleFailures[] = {{.key = 6, .action = 1}, {.key = 3, .action = 1}, {.key = 0}};

template <size_t N>
constexpr int32_t countOf(NonlinearityPoint (&)[N])
{
    return static_cast<int32_t>(N);
}

constexpr DialSpec VsiSpec = {
    .gauge = &VsiGauge, .bitmapBase = 0x100, .pivot = {155, 151}, .needleOffset = {32, 9},
    .sourceVariable = 0x41, .needleCallback = VsiNeedleCallback,
    .table = VsiScale, .tableSize = countOf(VsiScale),
    .rootFailures = VsiRootFailures, .needleFailures = nullptr, .helpId = 0xAB76,
};
constexpr DialSpec AsiSpec = {
    .gauge = &AsiGauge, .bitmapBase = 0x110, .pivot = {150, 150}, .needleOffset = {14, 10},
    .sourceVariable = 0x3d, .needleCallback = AsiNeedleCallback,
    .table = AsiScale, .tableSize = countOf(AsiScale),
    .rootFailures = nullptr, .needleFailures = AsiNeedleFailures, .helpId = 0xAB02,
};
constexpr DialSpec RpmSpec = {
    .gauge = &RpmGauge, .bitmapBase = 0x120, .pivot = {150, 150}, .needleOffset = {10, 10},
    .sourceVariable = 0x186, .needleCallback = RpmNeedleCallback,
    .table = RpmScale, .tableSize = countOf(RpmScale),
    .rootFailures = nullptr, .needleFailures = nullptr, .helpId = 0xAB58,
};

template <const DialSpec &Spec>
constexpr GaugeHeader dialHeader(const char *name)
{
    return {
        .version = GaugeVersion700,
        .name = name,
        .elements = Dial<Spec>::elements,
        GAUGE_FORWARDING_ROUTINES,
        .sizeMm = 115,
        .mouseRects = Dial<Spec>::mouseRects,
        .callback = DialGaugeCallback,
    };
}

} // namespace

GaugeHeader VsiGauge = dialHeader<VsiSpec>("Vsi");
GaugeHeader AsiGauge = dialHeader<AsiSpec>("Asi");
GaugeHeader RpmGauge = dialHeader<RpmSpec>("Rpm");

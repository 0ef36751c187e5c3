// The pictures of the throttle quadrant: the plate with its slots and
// labels, and the handles the host slides over it. Compiled into the
// artwork generator, not into the module.
//
// The labels stand where the handles come to rest: a throttle handle's top
// is at row 156 - value x 104.8 / 16384 (its stem enters the slot there),
// the spoiler's stem end 58 rows below its top (16 + value x 106 / 16384),
// and the flaps handle's middle 13 rows below its top (152 + detent x
// 134 / 16384).
#include "draw.h"
#include "picture.h"

#include <cmath>
#include <string>

namespace artwork {
namespace {

constexpr Rgb Plate{98, 100, 103};
constexpr Rgb PlateDark{70, 72, 75};
constexpr Rgb SlotDark{14, 14, 15};
constexpr Rgb Label{246, 246, 240};
constexpr Rgb GripLight{200, 202, 204};
constexpr Rgb GripDark{62, 63, 66};

double throttleTop(double value)
{
    return 156 - value * 104.8 / 16384;
}

double spoilerStemEnd(double value)
{
    return 16 + value * 106 / 16384 + 58;
}

double flapsMiddle(double detent)
{
    return 152 + detent * 134 / 16384 + 13;
}

// A slot cut into the plate: dark, with a lit lower lip and a shaded upper one.
void slot(cairo_t *cr, double x, double y, double w, double h)
{
    roundedRectPath(cr, x - 1, y - 1, w + 2, h + 2, w / 2 + 1);
    setColour(cr, PlateDark);
    cairo_fill(cr);
    roundedRectPath(cr, x, y, w, h, w / 2);
    setColour(cr, SlotDark);
    cairo_fill(cr);
    line(cr, {x + w / 2, y + w / 2}, {x + w / 2, y + h - w / 2}, 1.0, {30, 30, 32});
}

void plateScrew(cairo_t *cr, Vec at)
{
    screwHead(cr, at, 5, 40);
}

// A label with a short line towards the slot beside it.
void sideLabel(cairo_t *cr, const std::string &s, double y, bool leftOfSlot, double edge)
{
    if (leftOfSlot) {
        text(cr, s, {edge - 7, y}, Font::CondensedBold, 8, Label, Align::Right);
        line(cr, {edge - 5, y}, {edge - 1, y}, 1.2, Label);
    } else {
        text(cr, s, {edge + 7, y}, Font::CondensedBold, 8, Label, Align::Left);
        line(cr, {edge + 1, y}, {edge + 5, y}, 1.2, Label);
    }
}

// A clockwise turning arrow round centre.
void turningArrow(cairo_t *cr, Vec centre, double radius)
{
    strokeArc(cr, centre, radius, 200, 470, 2.2, Label);
    arrowHead(cr, polar(centre, radius, 478), 478 + 90, 6, 4, Label);
}

void drawPlate(cairo_t *cr)
{
    // The plate stops three columns short of either side.
    cairo_rectangle(cr, 3, 0, 314, 329);
    cairo_pattern_t *sheen = cairo_pattern_create_linear(0, 0, 320, 329);
    cairo_pattern_add_color_stop_rgb(sheen, 0, 0.43, 0.44, 0.45);
    cairo_pattern_add_color_stop_rgb(sheen, 1, 0.34, 0.35, 0.36);
    cairo_set_source(cr, sheen);
    cairo_fill(cr);
    cairo_rectangle(cr, 5.5, 2.5, 309, 324);
    setColour(cr, PlateDark);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    for (Vec at : {Vec{12, 10}, Vec{308, 10}, Vec{308, 319}, Vec{228, 319}})
        plateScrew(cr, at);

    // Spoiler: slot under the stem end, labels on its left, SPOILER downwards on its right.
    const double spoilerX = 53.5;
    slot(cr, spoilerX - 4, spoilerStemEnd(0) - 8, 8, spoilerStemEnd(16384) - spoilerStemEnd(0) + 16);
    sideLabel(cr, "RET", spoilerStemEnd(0), true, spoilerX - 5);
    sideLabel(cr, "ARM", spoilerStemEnd(5461), true, spoilerX - 5);
    sideLabel(cr, "EXT", spoilerStemEnd(16384), true, spoilerX - 5);
    turnedText(cr, "SPOILER", {spoilerX + 9.5, (spoilerStemEnd(0) + spoilerStemEnd(16384)) / 2}, 90,
               Font::CondensedBold, 9, Label);

    // Throttles: a wide channel holding the two stems' slits.
    const double leftStem = 66 + 74.5;
    const double rightStem = 160 + 8.5;
    const double top = throttleTop(16384) - 8;
    const double bottom = throttleTop(-16384) + 8;
    roundedRectPath(cr, leftStem - 9, top - 3, rightStem - leftStem + 18, bottom - top + 6, 8);
    setColour(cr, PlateDark);
    cairo_fill(cr);
    slot(cr, leftStem - 4, top, 8, bottom - top);
    slot(cr, rightStem - 4, top, 8, bottom - top);
    const struct {
        const char *label;
        double value;
    } stops[] = {{"APR", 16384}, {"T/O", 15000}, {"MCT", 13600}, {"MCR", 12200}, {"IDLE", 0}, {"CUT OFF", -2200}};
    for (const auto &stop : stops) {
        sideLabel(cr, stop.label, throttleTop(stop.value), true, leftStem - 9);
        sideLabel(cr, stop.label, throttleTop(stop.value), false, rightStem + 9);
    }
    text(cr, "REVERSE", {(leftStem + rightStem) / 2, bottom + 15}, Font::CondensedBold, 9, Label);

    // Flaps: slot under the handle's middle, the scale to its right.
    const double flapsSlotX = 268;
    slot(cr, flapsSlotX - 4, flapsMiddle(0) - 8, 8, flapsMiddle(16384) - flapsMiddle(0) + 16);
    text(cr, "FLAPS", {flapsSlotX, 139}, Font::SansBold, 10, Label);
    const struct {
        const char *label;
        double detent;
    } flaps[] = {{"0", 0}, {"5", 2731}, {"10", 5461}, {"15", 8192}, {"25", 10923}, {"30", 13653}, {"40", 16384}};
    for (const auto &f : flaps) {
        const double y = flapsMiddle(f.detent);
        line(cr, {292, y}, {298, y}, 1.4, Label);
        text(cr, f.label, {301, y}, Font::SansBold, 9, Label, Align::Left);
    }

    // Parking brake, over its handle at the lower left.
    text(cr, "PARK BRAKE", {34, 206}, Font::CondensedBold, 9, Label);
    text(cr, "PULL &", {34, 219}, Font::CondensedBold, 9, Label);
    turningArrow(cr, {34, 241}, 9);
}

// ---- Handles -----------------------------------------------------------------

constexpr Rgb BrakeRed{192, 28, 24};

// The parking brake's T-handle: a red bar lettered PARKING BRAKE on a round
// base; set, it is pulled out on its shaft and turned.
void drawParkingBrake(cairo_t *cr, bool set)
{
    const Vec base{45.5, 32.5};
    shadedDisc(cr, base, 15, {170, 170, 172}, {50, 50, 52});
    disc(cr, base, 9, {36, 36, 38});
    Vec centre = base;
    double angle = 0;
    double length = 80;
    if (set) {
        // The shaft, pulled towards the viewer, shows below the bar.
        centre = {base.x + 2, base.y + 2};
        angle = 30;
        length = 74;
        cairo_save(cr);
        cairo_translate(cr, base.x, base.y);
        roundedRectPath(cr, -5, -5, 10, 12, 3);
        setColour(cr, {205, 205, 200});
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, centre.x, centre.y);
    cairo_rotate(cr, radians(angle));
    // Shadow, bar, lettering.
    roundedRectPath(cr, -length / 2 + 2, -11 + 3, length, 22, 9);
    setColour(cr, {20, 8, 8}, 0.9);
    cairo_fill(cr);
    roundedRectPath(cr, -length / 2, -11, length, 22, 9);
    cairo_pattern_t *shade = cairo_pattern_create_linear(0, -11, 0, 11);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0.92, 0.30, 0.26);
    cairo_pattern_add_color_stop_rgb(shade, 0.4, BrakeRed.r / 255.0, BrakeRed.g / 255.0, BrakeRed.b / 255.0);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.45, 0.07, 0.06);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    text(cr, "PARKING BRAKE", {0, 0.5}, Font::CondensedBold, 8.5, Label);
    cairo_restore(cr);
}

// A throttle handle, 83 x 97: a cylindrical grip lying across, the stem
// rising from one end to the slot, a trigger on the stem. The right handle
// is the mirror image, its lettering still reading left to right.
void drawThrottle(cairo_t *cr, bool right)
{
    cairo_save(cr);
    if (right) {
        cairo_translate(cr, 83, 0);
        cairo_scale(cr, -1, 1);
    }
    // Stem: from the slot (row 0) down into the grip's end.
    cairo_pattern_t *stem = cairo_pattern_create_linear(68, 0, 81, 0);
    cairo_pattern_add_color_stop_rgb(stem, 0, 0.30, 0.30, 0.32);
    cairo_pattern_add_color_stop_rgb(stem, 0.4, 0.80, 0.80, 0.82);
    cairo_pattern_add_color_stop_rgb(stem, 1, 0.25, 0.25, 0.27);
    roundedRectPath(cr, 68.5, 0, 12, 66, 3);
    cairo_set_source(cr, stem);
    cairo_fill(cr);
    cairo_pattern_destroy(stem);
    // Trigger on the stem's inner side.
    roundedRectPath(cr, 60, 24, 10, 14, 3);
    setColour(cr, {40, 40, 42});
    cairo_fill(cr);
    roundedRectPath(cr, 61.5, 26, 7, 10, 2);
    setColour(cr, {110, 110, 114});
    cairo_fill(cr);
    // Grip: a cylinder lying across, rounded at its ends.
    cylinderBand(cr, 3, 50, 79, 36, 13, GripLight, GripDark);
    for (double x : {34.0, 42.0, 50.0})
        line(cr, {x, 54}, {x, 68}, 1.0, {96, 96, 100});
    cairo_restore(cr);

    // GO-AROUND along the left grip's lower left edge, MUTE along the right
    // one's lower right edge, each with its arrow, on the grip's dark side.
    const double y = 78.5;
    if (!right) {
        arrowHead(cr, {8, y}, 180, 6, 3.2, Label);
        line(cr, {12, y}, {15, y}, 1.5, Label);
        text(cr, "GO-AROUND", {17, y}, Font::CondensedBold, 7.5, Label, Align::Left);
    } else {
        arrowHead(cr, {75, y}, 0, 6, 3.2, Label);
        line(cr, {68, y}, {71, y}, 1.5, Label);
        text(cr, "MUTE", {66, y}, Font::CondensedBold, 7.5, Label, Align::Right);
    }
}

// Spoiler handle, 54 x 61: a square grip with its stem leaving at the lower
// right towards the slot.
void drawSpoilerHandle(cairo_t *cr)
{
    line(cr, {32, 32}, {50.5, 56.5}, 7, {150, 150, 154}, CAIRO_LINE_CAP_ROUND);
    line(cr, {32, 32}, {50.5, 56.5}, 2.5, {205, 205, 208}, CAIRO_LINE_CAP_ROUND);
    roundedRectPath(cr, 2, 2, 38, 38, 6);
    cairo_pattern_t *shade = cairo_pattern_create_linear(2, 2, 40, 40);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0.82, 0.82, 0.84);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.28, 0.28, 0.30);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    for (double y : {12.0, 18.0, 24.0, 30.0})
        line(cr, {9, y}, {33, y}, 1.2, {70, 70, 74});
}

// Flaps handle, 44 x 26: a flat rectangular grip with an index at its
// middle row, towards the scale.
void drawFlapsHandle(cairo_t *cr)
{
    cylinderBand(cr, 1, 2, 42, 22, 4, GripLight, GripDark);
    for (double x : {10.0, 16.0, 22.0, 28.0})
        line(cr, {x, 5}, {x, 21}, 1.0, {96, 96, 100});
    line(cr, {33, 13}, {43, 13}, 2.0, Label);
}

} // namespace

ModuleArtwork vantrelArtwork()
{
    ModuleArtwork art{"vantrel", {}, {}};
    art.pictures.push_back(dayPicture(0x100, 320, 329, "Quadrant plate", drawPlate));
    art.pictures.push_back(dayPicture(0x1100, 91, 65, "Brake released", [](cairo_t *cr) { drawParkingBrake(cr, false); }));
    art.pictures.push_back(dayPicture(0x1101, 91, 65, "Brake set", [](cairo_t *cr) { drawParkingBrake(cr, true); }));
    art.pictures.push_back(dayPicture(0x1200, 83, 97, "Left throttle", [](cairo_t *cr) { drawThrottle(cr, false); }));
    art.pictures.push_back(dayPicture(0x1300, 83, 97, "Right throttle", [](cairo_t *cr) { drawThrottle(cr, true); }));
    art.pictures.push_back(dayPicture(0x1400, 54, 61, "Spoiler handle", drawSpoilerHandle));
    art.pictures.push_back(dayPicture(0x1500, 44, 26, "Flaps handle", drawFlapsHandle));

    // The quadrant as the host slides the handles: throttles at MCR and
    // IDLE, spoiler at ARM, flaps at 15, brake set; then everything at rest.
    auto quadrant = [](const char *name, double left, double right, double spoiler, double detent, bool brake) {
        Preview p{name, 320, 329, {}};
        p.layers.push_back({0x100, {0, 0}, {0, 0}, 0});
        p.layers.push_back({brake ? 0x1101 : 0x1100, {3, 261}, {0, 0}, 0});
        p.layers.push_back({0x1200, {66, throttleTop(left)}, {0, 0}, 0});
        p.layers.push_back({0x1300, {160, throttleTop(right)}, {0, 0}, 0});
        p.layers.push_back({0x1400, {3, 16 + spoiler * 106 / 16384}, {0, 0}, 0});
        p.layers.push_back({0x1500, {246, 152 + detent * 134 / 16384}, {0, 0}, 0});
        return p;
    };
    art.previews.push_back(quadrant("quadrant", 12200, 0, 5461, 8192, true));
    art.previews.push_back(quadrant("quadrant-rest", 16384, -16384, 0, 0, false));
    return art;
}

} // namespace artwork

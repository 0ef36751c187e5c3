// The pictures of the navigation and engine-control module: the HSI's face
// and moving parts (upright, as the host turns them from upright), the fuel
// selector's three handle positions and the start switch's five key
// positions. Compiled into the artwork generator, not into the module.
#include "draw.h"
#include "picture.h"

#include <cmath>
#include <string>

namespace artwork {
namespace {

// ---- HSI -------------------------------------------------------------------

constexpr Rgb HsiFace{1, 2, 2};
constexpr Rgb HsiLitFace{32, 32, 32};
constexpr Rgb White{240, 240, 236};
constexpr Rgb Yellow{250, 214, 30};
constexpr Rgb Orange{252, 128, 24};
constexpr Rgb FlagRed{214, 36, 30};
constexpr Rgb Lettering{14, 10, 10};

// Beige and amber instead of white and grey; the face goes to its own grey.
const LitTone HsiLit{.low = {32, 32, 32}, .high = {226, 196, 144}, .colourDim = 0.8,
                     .exact = {{HsiFace, HsiLitFace}}};

// The instrument's centre (59, 58): the card's, the bug's and the pointer's
// pivot on the face.
const Vec HsiCentre = pixelCentre(59, 58);

void drawHsiFace(cairo_t *cr)
{
    const Vec c = HsiCentre;
    // Square bezel with rounded corners; black only outside them.
    roundedRectPath(cr, 0, 0, 118, 112, 9);
    cairo_pattern_t *metal = cairo_pattern_create_linear(0, 0, 118, 112);
    cairo_pattern_add_color_stop_rgb(metal, 0, 0.40, 0.40, 0.41);
    cairo_pattern_add_color_stop_rgb(metal, 1, 0.13, 0.13, 0.14);
    cairo_set_source(cr, metal);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);
    // Wells under the two knobs.
    disc(cr, pixelCentre(14, 90), 11.5, {24, 24, 25});
    disc(cr, pixelCentre(102, 90), 11.5, {24, 24, 25});
    disc(cr, c, 55.5, HsiFace);

    // 45-degree ticks round the card; the lubber mark stands in for the top one.
    for (int i = 1; i < 8; ++i)
        tick(cr, c, -90 + 45 * i, 46.5, 52, 2.0, White);
    polygonPath(cr, {{c.x, 12.2}, {c.x - 3.6, 3.5}, {c.x + 3.6, 3.5}});
    setColour(cr, White);
    cairo_fill(cr);

    // The glideslope scales: two dots above and below a centre bar, outside
    // the pointers' columns (11..14 and 104..107), rows 58 +- 11 and 22.
    for (double x : {8.5, 110.5}) {
        for (int k : {-2, -1, 1, 2})
            disc(cr, {x, c.y + 11 * k}, 1.5, White);
        line(cr, {x - 3, c.y}, {x + 3, c.y}, 1.6, White);
        text(cr, "GS", {x, 27.5}, Font::CondensedBold, 6.5, White);
    }
}

// The compass card: a ring of 5-degree ticks and its letters, N at the top,
// open in the middle.
void drawHsiCard(cairo_t *cr)
{
    const Vec c = pixelCentre(45, 45);
    ring(cr, c, 44.8, 26.5, HsiFace);
    for (int d = 0; d < 360; d += 5) {
        const double angle = -90 + d;
        const double inner = d % 30 == 0 ? 37.8 : d % 10 == 0 ? 39.5 : 41.6;
        tick(cr, c, angle, inner, 44.6, d % 10 == 0 ? 1.4 : 1.0, White);
    }
    const char *labels[] = {"N", "3", "6", "E", "12", "15", "S", "21", "24", "W", "30", "33"};
    for (int i = 0; i < 12; ++i) {
        const double angle = -90 + 30 * i;
        const bool letter = i % 3 == 0;
        turnedText(cr, labels[i], polar(c, letter ? 32.2 : 32.6, angle), angle + 90,
                   letter ? Font::SansBold : Font::CondensedBold, letter ? 8.5 : 7.5, White);
    }
}

void drawHsiHeadingBug(cairo_t *cr)
{
    // 12 x 9 at the top of a bitmap whose pivot lies 43 rows down: two
    // shoulders with a notch between them, open towards the centre.
    polygonPath(cr, {{0.3, 0.3}, {11.7, 0.3}, {11.7, 8.7}, {8.6, 8.7}, {6, 3.6}, {3.4, 8.7}, {0.3, 8.7}});
    setColour(cr, Orange);
    cairo_fill(cr);
}

void drawHsiToFrom(cairo_t *cr)
{
    polygonPath(cr, {{7.5, 0.2}, {14.8, 7.8}, {0.2, 7.8}});
    setColour(cr, White);
    cairo_fill(cr);
}

void drawGlideslopePointer(cairo_t *cr, bool pointsRight)
{
    if (pointsRight)
        polygonPath(cr, {{0, 0}, {4, 3.5}, {0, 7}});
    else
        polygonPath(cr, {{4, 0}, {0, 3.5}, {4, 7}});
    setColour(cr, Yellow);
    cairo_fill(cr);
}

// Course pointer, 62 x 70, pivot (31, 36): arrow head at the top, tail at
// the bottom, and the deviation dots across the gap between them.
void drawHsiCoursePointer(cairo_t *cr)
{
    const Vec c = pixelCentre(31, 36);
    polygonPath(cr, {{c.x, 0.3}, {c.x + 6.5, 12}, {c.x - 6.5, 12}});
    setColour(cr, Yellow);
    cairo_fill(cr);
    cairo_rectangle(cr, c.x - 1.5, 11, 3, 11);
    cairo_rectangle(cr, c.x - 1.5, 51, 3, 19);
    cairo_fill(cr);
    // Full-scale deviation moves the bar 22 pixels (the bar's scale), so the
    // fifth dot stands there and each dot is a fifth of full scale.
    for (int k = 1; k <= 5; ++k)
        for (int side : {-1, 1})
            disc(cr, {c.x + side * 4.4 * k, c.y}, 1.2, White);
}

void drawHsiDeviationBar(cairo_t *cr)
{
    // The middle column of 63 is 31; the bar fills the pointer's gap.
    cairo_rectangle(cr, 30.2, 22, 2.6, 29);
    setColour(cr, Yellow);
    cairo_fill(cr);
}

void drawHsiNavFlag(cairo_t *cr)
{
    roundedRectPath(cr, 0.2, 0.2, 23.6, 12.6, 1.5);
    setColour(cr, FlagRed);
    cairo_fill(cr);
    text(cr, "NAV", {12, 6.5}, Font::SansBold, 8.5, Lettering);
}

// A knob, 21 x 21, pivot (11, 11), with its symbol upright on the cap.
void hsiKnob(cairo_t *cr)
{
    knurledKnob(cr, pixelCentre(11, 11), 10.3, 18, {150, 150, 152}, {34, 34, 36});
}

void drawHsiCourseKnob(cairo_t *cr)
{
    hsiKnob(cr);
    const Vec c = pixelCentre(11, 11);
    polygonPath(cr, {{c.x, c.y - 7}, {c.x + 3.6, c.y - 2}, {c.x + 1.2, c.y - 2}, {c.x + 1.2, c.y + 6},
                     {c.x - 1.2, c.y + 6}, {c.x - 1.2, c.y - 2}, {c.x - 3.6, c.y - 2}});
    setColour(cr, Yellow);
    cairo_fill(cr);
}

void drawHsiHeadingKnob(cairo_t *cr)
{
    hsiKnob(cr);
    const Vec c = pixelCentre(11, 11);
    // The bug symbol: a notched block.
    polygonPath(cr, {{c.x - 5, c.y - 3.5}, {c.x + 5, c.y - 3.5}, {c.x + 5, c.y + 3.5}, {c.x + 2, c.y + 3.5},
                     {c.x, c.y - 0.5}, {c.x - 2, c.y + 3.5}, {c.x - 5, c.y + 3.5}});
    setColour(cr, Orange);
    cairo_fill(cr);
}

// ---- Fuel selector ---------------------------------------------------------

constexpr Rgb FuelGround{34, 34, 33};
constexpr Rgb HandleRed{196, 30, 26};
const Vec FuelMiddle{85.5, 85.5};
constexpr double FuelArcRadius = 60;

// The marks sit where the click squares are: OFF (4, 4, 60, 60), LEFT
// (4, 90, 60, 60), RIGHT (105, 105, 60, 60).
double fuelMarkAngle(int position)
{
    const Vec squares[] = {{34, 34}, {34, 120}, {135, 135}};
    return angleTowards(FuelMiddle, squares[position]);
}

void drawFuelSelector(cairo_t *cr, int position)
{
    setColour(cr, FuelGround);
    cairo_paint(cr);
    const double off = fuelMarkAngle(0);
    const double left = fuelMarkAngle(1);
    const double right = fuelMarkAngle(2);
    // The arc runs clockwise from RIGHT round the bottom and the left side to OFF.
    strokeArc(cr, FuelMiddle, FuelArcRadius, right, off, 3.0, White);
    for (double angle : {off, left, right})
        disc(cr, polar(FuelMiddle, FuelArcRadius, angle), 5.2, White);
    text(cr, "OFF", {30, 15}, Font::SansBold, 13, White);
    text(cr, "LEFT", {22, 148}, Font::SansBold, 13, White);
    text(cr, "RIGHT", {138, 160}, Font::SansBold, 13, White);

    // The handle, turned about the middle, narrow end on the chosen mark;
    // a shadow first, then the handle, then its pivot bolt.
    const double angle = fuelMarkAngle(position);
    auto handle = [&](Vec shift) {
        cairo_save(cr);
        cairo_translate(cr, FuelMiddle.x + shift.x, FuelMiddle.y + shift.y);
        cairo_rotate(cr, radians(angle));
        cairo_new_path(cr);
        cairo_arc(cr, -30, 0, 15, radians(90), radians(270));
        cairo_line_to(cr, 46, -6.5);
        cairo_arc(cr, 46, 0, 6.5, radians(-90), radians(90));
        cairo_close_path(cr);
        cairo_restore(cr);
    };
    handle({3, 3});
    setColour(cr, {16, 16, 15});
    cairo_fill(cr);
    handle({0, 0});
    cairo_pattern_t *shade = cairo_pattern_create_linear(FuelMiddle.x - 40, FuelMiddle.y - 40,
                                                         FuelMiddle.x + 40, FuelMiddle.y + 40);
    cairo_pattern_add_color_stop_rgb(shade, 0, 0.93, 0.25, 0.21);
    cairo_pattern_add_color_stop_rgb(shade, 1, 0.52, 0.08, 0.07);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    // A white index line along the narrow end.
    line(cr, polar(FuelMiddle, 14, angle), polar(FuelMiddle, 47, angle), 2.2, White, CAIRO_LINE_CAP_ROUND);
    screwHead(cr, FuelMiddle, 8, angle + 90);
}

// ---- Start switch ----------------------------------------------------------

constexpr Rgb StartGround{18, 18, 18};
const Vec StartCentre{38.5, 36.5};

struct StartLabel {
    const char *text;
    double x;
};
// OFF, R and L over the left 35 pixels; BOTH and START from x = 40 on.
constexpr StartLabel StartLabels[] = {{"OFF", 8}, {"R", 20.5}, {"L", 30}, {"BOTH", 47.5}, {"START", 66.5}};
constexpr double StartLabelY = 6.5;

double startKeyAngle(int position)
{
    return angleTowards(StartCentre, {StartLabels[position].x, StartLabelY});
}

void drawStartSwitch(cairo_t *cr, int position)
{
    setColour(cr, StartGround);
    cairo_paint(cr);
    for (int i = 0; i < 5; ++i) {
        const StartLabel &l = StartLabels[i];
        text(cr, l.text, {l.x, StartLabelY}, Font::CondensedBold, 6.6, White);
        // A short mark under the label, pointing at the switch's centre.
        const double angle = startKeyAngle(i);
        const double distance = std::hypot(l.x - StartCentre.x, StartLabelY - StartCentre.y);
        line(cr, polar(StartCentre, distance - 6, angle), polar(StartCentre, distance - 11, angle), 1.4, White);
    }
    // The barrel: a metal ring round a dark key slot.
    shadedDisc(cr, StartCentre, 12.5, {200, 200, 196}, {70, 70, 70});
    shadedDisc(cr, StartCentre, 10, {60, 60, 60}, {150, 150, 148});
    // The key bar, turned towards the chosen label, a white index at its tip.
    const double angle = startKeyAngle(position);
    cairo_save(cr);
    cairo_translate(cr, StartCentre.x, StartCentre.y);
    cairo_rotate(cr, radians(angle));
    roundedRectPath(cr, -10.5, -3.6, 24, 7.2, 3);
    cairo_pattern_t *metal = cairo_pattern_create_linear(0, -3.6, 0, 3.6);
    cairo_pattern_add_color_stop_rgb(metal, 0, 0.92, 0.92, 0.90);
    cairo_pattern_add_color_stop_rgb(metal, 1, 0.45, 0.45, 0.44);
    cairo_set_source(cr, metal);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);
    cairo_restore(cr);
    line(cr, polar(StartCentre, 4, angle), polar(StartCentre, 12.5, angle), 1.6, {200, 30, 20},
         CAIRO_LINE_CAP_ROUND);
}

} // namespace

ModuleArtwork korvo6Artwork()
{
    ModuleArtwork art{"korvo6", {}, {}};
    const Picture hsi[] = {
        dayPicture(0x110, 118, 112, "HSI face", drawHsiFace, {HsiFace}),
        dayPicture(0x111, 24, 13, "NAV flag", drawHsiNavFlag),
        dayPicture(0x112, 21, 21, "Course knob", drawHsiCourseKnob),
        dayPicture(0x113, 21, 21, "Heading knob", drawHsiHeadingKnob),
        dayPicture(0x114, 15, 8, "TO/FROM", drawHsiToFrom),
        dayPicture(0x115, 12, 9, "Heading bug", drawHsiHeadingBug),
        dayPicture(0x116, 4, 7, "Left GS pointer", [](cairo_t *cr) { drawGlideslopePointer(cr, true); }),
        dayPicture(0x117, 4, 7, "Right GS pointer", [](cairo_t *cr) { drawGlideslopePointer(cr, false); }),
        dayPicture(0x118, 62, 70, "Course pointer", drawHsiCoursePointer),
        dayPicture(0x119, 90, 90, "Compass card", drawHsiCard, {HsiFace}),
        dayPicture(0x120, 63, 72, "Deviation bar", drawHsiDeviationBar),
    };
    for (const Picture &p : hsi)
        art.pictures.push_back(p);
    for (const Picture &p : hsi)
        art.pictures.push_back(litTwin(p, p.id + 0x20, HsiLit));

    art.pictures.push_back(dayPicture(0x151, 171, 171, "Fuel ground", [](cairo_t *) {}));
    const char *fuelNames[] = {"OFF", "LEFT", "RIGHT"};
    for (int i = 0; i < 3; ++i)
        art.pictures.push_back(dayPicture(0x152 + i, 171, 171, std::string("Fuel ") + fuelNames[i],
                                          [i](cairo_t *cr) { drawFuelSelector(cr, i); }, {FuelGround}));

    art.pictures.push_back(dayPicture(0x160, 77, 50, "Start ground", [](cairo_t *) {}));
    for (int i = 0; i < 5; ++i)
        art.pictures.push_back(dayPicture(0x162 + i, 77, 50, std::string("Start ") + StartLabels[i].text,
                                          [i](cairo_t *cr) { drawStartSwitch(cr, i); }, {StartGround}));

    // The HSI composed: heading 30, course 75, TO, bug at 330, a little
    // deviation and glideslope, as the host would turn and move the parts.
    for (bool lit : {false, true}) {
        const int32_t s = lit ? 0x20 : 0;
        const double heading = 30;
        const double course = 75;
        const double bug = 330;
        Preview p{lit ? "hsi-lit" : "hsi", 118, 112, {}};
        const Vec centre{59, 58};
        p.layers.push_back({0x110 + s, {0, 0}, {0, 0}, 0});
        p.layers.push_back({0x119 + s, centre, {45, 45}, 360 - heading});
        p.layers.push_back({0x115 + s, centre, {6, 43}, bug - heading});
        p.layers.push_back({0x118 + s, centre, {31, 36}, course - heading});
        p.layers.push_back({0x114 + s, centre, {7, 14}, course - heading});
        // The bar turns with the pointer and slides across it.
        const double turn = radians(course - heading);
        const double slide = -0.4 * -22.0;
        p.layers.push_back({0x120 + s, {centre.x + slide * std::cos(turn), centre.y + slide * std::sin(turn)},
                            {31, 36}, course - heading});
        p.layers.push_back({0x111 + s, {27, 18}, {0, 0}, 0});
        p.layers.push_back({0x117 + s, {104, 55 + 0.3 * 22}, {0, 0}, 0});
        p.layers.push_back({0x116 + s, {11, 55 + 0.3 * 22}, {0, 0}, 0});
        p.layers.push_back({0x113 + s, {102, 90}, {11, 11}, 40});
        p.layers.push_back({0x112 + s, {14, 90}, {11, 11}, -20});
        art.previews.push_back(p);
    }
    art.previews.push_back({"fuel-left", 171, 171, {{0x151, {0, 0}, {0, 0}, 0}, {0x153, {0, 0}, {0, 0}, 0}}});
    art.previews.push_back({"start-both", 77, 50, {{0x160, {0, 0}, {0, 0}, 0}, {0x165, {0, 0}, {0, 0}, 0}}});
    return art;
}

} // namespace artwork

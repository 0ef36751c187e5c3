// The pictures of the flight-instrument module: the three single-needle
// dials, the altimeter and the trim wheel. Compiled into the artwork
// generator, not into the module; the module carries the bitmaps it draws.
//
// Every dial is centred on its needles' pivot, and every scale mark stands
// where the needle points for that value: the angle comes from the needle
// table's points seen from the pivot, interpolated between them.
#include "draw.h"
#include "picture.h"

#include <cmath>
#include <string>

namespace artwork {
namespace {

// ---- Colours ---------------------------------------------------------------

constexpr Rgb FaceGround{14, 14, 15};
constexpr Rgb Marking{242, 242, 238};
constexpr Rgb Legend{205, 205, 200};
constexpr Rgb BezelLight{128, 128, 130};
constexpr Rgb BezelDark{28, 28, 30};
constexpr Rgb HubLight{120, 120, 122};
constexpr Rgb HubDark{24, 24, 26};
constexpr Rgb PointerWhite{246, 246, 242};

// Lit: whites become beige, greys brown; the face stays dark.
const LitTone KorvoLit{.low = {12, 8, 3}, .high = {238, 208, 150}};

// ---- Needle tables, as the gauges carry them --------------------------------

const DialScale VsiScale({155, 151}, {
    {271, 152, -4000}, {236, 238, -3000}, {148, 274, -2000}, {61, 238, -1000},
    {32, 198, -500},   {24, 152, 0},      {32, 107, 500},    {60, 62, 1000},
    {149, 26, 2000},   {237, 62, 3000},   {273, 150, 4000},
});
const DialScale AsiScale({150, 150}, {
    {152, 52, 0},    {188, 28, 40},  {245, 69, 60},  {274, 134, 80}, {257, 214, 100},
    {183, 271, 120}, {96, 263, 140}, {33, 195, 160}, {34, 102, 180}, {90, 40, 200},
});
const DialScale RpmScale({150, 150}, {
    {54, 230, 0},    {23, 150, 500},   {52, 68, 1000},   {126, 24, 1500},
    {211, 39, 2000}, {268, 104, 2500}, {268, 191, 3000}, {213, 259, 3500},
});

// The needle's pivot pixel as a drawing point.
Vec pivotOf(const DialScale &scale)
{
    return scale.pivot();
}

// ---- Dial bodies -----------------------------------------------------------

// Bezel and dark face centred on the pivot, as large as the bitmap allows.
void dialBody(cairo_t *cr, Vec centre, double bezelOuter, double faceRadius)
{
    bezelRing(cr, centre, bezelOuter, faceRadius, BezelLight, BezelDark);
    disc(cr, centre, faceRadius, FaceGround);
}

// A needle bitmap: pointing along +x, its hub on the pivot pixel, a
// counterweight tail behind it and a hub cap over both.
void dialNeedle(cairo_t *cr, int pivotX, int pivotY, int width, double hubRadius)
{
    const Vec hub = pixelCentre(pivotX, pivotY);
    needleBlade(cr, hub, width - 0.5, 3.6, 2.0, std::max(1.0, pivotX - 28.0), 3.2, PointerWhite);
    shadedDisc(cr, hub, hubRadius, HubLight, HubDark);
    disc(cr, hub, hubRadius * 0.35, {60, 60, 62});
}

// ---- Vertical speed --------------------------------------------------------

void drawVsiFace(cairo_t *cr)
{
    const Vec c = pivotOf(VsiScale);
    dialBody(cr, c, 146, 136);
    const auto &s = VsiScale;
    // Fine marks every 100 ft/min up to 1000 either way, then every 500.
    scaleTicks(cr, s, -1000, 1000, 100, 115, 127, 2.0, Marking);
    scaleTicks(cr, s, -4000, -1000, 500, 111, 127, 2.6, Marking);
    scaleTicks(cr, s, 1000, 4000, 500, 111, 127, 2.6, Marking);
    for (double v : {-4000, -3000, -2000, -1000, 0, 1000, 2000, 3000, 4000})
        tick(cr, c, s.angleFor(v), 103, 127, 4.0, Marking);
    for (double v : {-500, 500})
        tick(cr, c, s.angleFor(v), 107, 127, 3.2, Marking);

    const double numeralRadius = 86;
    const struct {
        double value;
        const char *label;
    } numerals[] = {{-3000, "3"}, {-2000, "2"}, {-1000, "1"}, {-500, ".5"}, {0, "0"},
                    {500, ".5"},  {1000, "1"},  {2000, "2"},  {3000, "3"}};
    for (const auto &n : numerals)
        numeralAt(cr, n.label, c, s.angleFor(n.value), numeralRadius, Font::SansBold, 25, Marking);
    // 4 up and 4 down meet at the same mark.
    numeralAt(cr, "4", c, (s.angleFor(-4000) + s.angleFor(4000) - 360) / 2, numeralRadius,
              Font::SansBold, 25, Marking);

    // Climb above the zero line, descent below it.
    text(cr, "UP", {c.x - 38, c.y - 22}, Font::SansBold, 13, Marking);
    arrowHead(cr, {c.x - 38, c.y - 42}, 270, 9, 6, Marking);
    text(cr, "DOWN", {c.x - 38, c.y + 22}, Font::SansBold, 13, Marking);
    arrowHead(cr, {c.x - 38, c.y + 42}, 90, 9, 6, Marking);
    text(cr, "VERTICAL SPEED", {c.x + 26, c.y - 42}, Font::CondensedBold, 13, Legend);
    text(cr, "1000 FT PER MIN", {c.x + 26, c.y + 42}, Font::CondensedBold, 13, Legend);
}

// ---- Airspeed --------------------------------------------------------------

void drawAsiFace(cairo_t *cr)
{
    const Vec c = pivotOf(AsiScale);
    dialBody(cr, c, 149, 139);
    const auto &s = AsiScale;
    scaleTicks(cr, s, 40, 200, 5, 124, 134, 2.0, Marking);
    scaleTicks(cr, s, 40, 200, 10, 116, 134, 3.2, Marking);
    for (int v = 40; v <= 200; v += 20)
        numeralAt(cr, std::to_string(v), c, s.angleFor(v), 97, Font::SansBold, 22, Marking);
    text(cr, "AIRSPEED", {c.x, c.y - 40}, Font::CondensedBold, 15, Legend);
    text(cr, "KNOTS", {c.x, c.y + 40}, Font::CondensedBold, 15, Legend);
}

// ---- Engine rpm ------------------------------------------------------------

// The printed hour meter: a row of counter drums with the last one inverted.
void hourMeter(cairo_t *cr, Vec centre)
{
    const double drumW = 11;
    const double drumH = 17;
    const int drums = 5;
    const double left = centre.x - drums * drumW / 2;
    const double top = centre.y - drumH / 2;
    roundedRectPath(cr, left - 3, top - 3, drums * drumW + 6, drumH + 6, 2.5);
    setColour(cr, {90, 90, 92});
    cairo_fill(cr);
    const char *digits = "01234";
    for (int i = 0; i < drums; ++i) {
        const bool last = i == drums - 1;
        cairo_rectangle(cr, left + i * drumW + 0.5, top, drumW - 1, drumH);
        setColour(cr, last ? Rgb{225, 225, 220} : Rgb{30, 30, 32});
        cairo_fill(cr);
        text(cr, std::string(1, digits[i]), {left + i * drumW + drumW / 2, centre.y}, Font::SansBold,
             12, last ? Rgb{30, 30, 32} : Marking);
    }
    text(cr, "HOURS", {centre.x, centre.y + 20}, Font::CondensedBold, 10, Legend);
}

void drawRpmFace(cairo_t *cr)
{
    const Vec c = pivotOf(RpmScale);
    dialBody(cr, c, 149, 139);
    const auto &s = RpmScale;
    scaleTicks(cr, s, 0, 3500, 100, 124, 134, 2.0, Marking);
    scaleTicks(cr, s, 0, 3500, 500, 114, 134, 3.6, Marking);
    for (int v = 500; v <= 3500; v += 500)
        numeralAt(cr, std::to_string(v / 100), c, s.angleFor(v), 96, Font::SansBold, 24, Marking);
    text(cr, "RPM", {c.x, c.y - 44}, Font::SansBold, 18, Marking);
    text(cr, "X100", {c.x, c.y - 24}, Font::CondensedBold, 12, Legend);
    hourMeter(cr, {c.x, c.y + 58});
}

// ---- Altimeter -------------------------------------------------------------

constexpr int AltimeterPivotX = 156;
constexpr int AltimeterPivotY = 154;

// A mounting lug at a top corner: a rounded plate with a screw.
void mountingLug(cairo_t *cr, Vec screw)
{
    roundedRectPath(cr, screw.x - 20, screw.y - 20, 46, 46, 12);
    cairo_pattern_t *gradient = cairo_pattern_create_linear(screw.x - 20, screw.y - 20, screw.x + 26, screw.y + 26);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.42, 0.42, 0.43);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.12, 0.12, 0.13);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    screwHead(cr, screw, 7, 30);
}

void drawAltimeterFace(cairo_t *cr)
{
    const Vec c = pixelCentre(AltimeterPivotX, AltimeterPivotY);
    mountingLug(cr, {22, 22});
    mountingLug(cr, {280, 22});
    // The setting knob at the lower left, under the knob's click area
    // (6, 241, 64 x 64); it runs off the bitmap's lower edge.
    knurledKnob(cr, {38, 273}, 28, 28, {150, 150, 152}, {30, 30, 32});
    dialBody(cr, c, 145, 135);

    // One turn per 1000: a long mark at each numeral, four short between.
    for (int i = 0; i < 50; ++i) {
        const double angle = -90 + i * 7.2;
        if (i % 5 == 0)
            tick(cr, c, angle, 114, 133, 4.2, Marking);
        else
            tick(cr, c, angle, 124, 133, 2.4, Marking);
    }
    for (int n = 0; n < 10; ++n)
        numeralAt(cr, std::to_string(n), c, -90 + n * 36, 100, Font::SansBold, 26, Marking);
    text(cr, "ALTITUDE", {c.x, c.y - 44}, Font::CondensedBold, 15, Legend);
    text(cr, "100 FEET", {c.x, c.y + 46}, Font::CondensedBold, 15, Legend);
}

// Ten-thousands pointer, 187 x 128, pivot (67, 60): a thin shaft ending in
// a wide triangle at the rim.
void drawTenThousandsPointer(cairo_t *cr)
{
    const Vec hub = pixelCentre(67, 60);
    line(cr, {hub.x - 18, hub.y}, {165, hub.y}, 2.4, PointerWhite);
    polygonPath(cr, {{150, hub.y - 13}, {186.5, hub.y}, {150, hub.y + 13}});
    setColour(cr, PointerWhite);
    cairo_fill(cr);
    shadedDisc(cr, hub, 6, HubLight, HubDark);
}

// Thousands hand, 104 x 27, pivot (15, 12): short, broad, pointed.
void drawThousandsHand(cairo_t *cr)
{
    const Vec hub = pixelCentre(15, 12);
    polygonPath(cr, {{2, hub.y - 4.5},
                     {hub.x, hub.y - 6},
                     {72, hub.y - 8.5},
                     {103.5, hub.y},
                     {72, hub.y + 8.5},
                     {hub.x, hub.y + 6},
                     {2, hub.y + 4.5}});
    setColour(cr, PointerWhite);
    cairo_fill(cr);
    shadedDisc(cr, hub, 9.5, HubLight, HubDark);
}

// Hundreds hand, 174 x 17, pivot (50, 7): long, narrow, pointed; its hub
// cap covers the others'.
void drawHundredsHand(cairo_t *cr)
{
    const Vec hub = pixelCentre(50, 7);
    needleBlade(cr, hub, 173.5, 3.0, 1.6, 12, 2.8, PointerWhite);
    shadedDisc(cr, hub, 6.8, HubLight, HubDark);
    disc(cr, hub, 2.2, {70, 70, 72});
}

// ---- Trim wheel ------------------------------------------------------------

constexpr Rgb TrimGround{2, 2, 1};

// The wheel's rim edge-on: ridges round a drum seen side-on, so they crowd
// together and darken towards the top and bottom. phase 0, 1, 2 turn the
// drum by a third of the ridge spacing each, always the same way.
void drawTrimWheel(cairo_t *cr, int phase)
{
    constexpr double Width = 100;
    constexpr double Height = 719;
    constexpr double Radius = 352;
    constexpr double Spacing = 4.5; // degrees between ridges
    const double centreY = Height / 2;
    setColour(cr, TrimGround);
    cairo_paint(cr);

    // The slot the wheel shows through, and the rim's dark body.
    const double left = 24;
    const double right = Width - 24;
    roundedRectPath(cr, left - 3, 4, right - left + 6, Height - 8, 6);
    setColour(cr, {20, 20, 19});
    cairo_fill(cr);
    cairo_rectangle(cr, left, 8, right - left, Height - 16);
    setColour(cr, {30, 30, 29});
    cairo_fill(cr);

    const double shift = phase * Spacing / 3.0;
    for (double a = -90 - Spacing + shift; a < 90 + Spacing; a += Spacing) {
        const double from = a - Spacing * 0.3;
        const double to = a + Spacing * 0.3;
        if (to <= -88 || from >= 88)
            continue;
        const double top = centreY + Radius * std::sin(radians(std::max(from, -88.0)));
        const double bottom = centreY + Radius * std::sin(radians(std::min(to, 88.0)));
        const double light = std::cos(radians(a)); // facing the viewer
        const Rgb ridge = mix({40, 40, 39}, {176, 176, 172}, std::pow(std::max(0.0, light), 0.8));
        // Each ridge lit on its upper edge, shaded on its lower one.
        cairo_pattern_t *gradient = cairo_pattern_create_linear(0, top, 0, bottom);
        auto stop = [gradient](double at, Rgb c) {
            cairo_pattern_add_color_stop_rgb(gradient, at, c.r / 255.0, c.g / 255.0, c.b / 255.0);
        };
        stop(0, mix(ridge, {255, 255, 255}, 0.25));
        stop(0.45, ridge);
        stop(1, scaled(ridge, 0.45));
        roundedRectPath(cr, left + 2, top, right - left - 4, bottom - top, std::min(3.0, (bottom - top) / 2));
        cairo_set_source(cr, gradient);
        cairo_fill(cr);
        cairo_pattern_destroy(gradient);
    }
    // The rim's sides, darker than its face.
    for (double x : {left, right - 5}) {
        cairo_rectangle(cr, x, 8, 5, Height - 16);
        setColour(cr, {12, 12, 11}, 0.55);
        cairo_fill(cr);
    }
}

// ---- Previews --------------------------------------------------------------

Preview dialPreview(const std::string &name, int32_t base, const DialScale &scale, Vec offset,
                    std::initializer_list<double> values, bool lit)
{
    Preview p{name, 302, 302, {}};
    p.layers.push_back({base + (lit ? 2 : 0), {0, 0}, {0, 0}, 0});
    for (double v : values)
        p.layers.push_back({base + (lit ? 3 : 1), scale.pivotPixel(), offset, scale.angleFor(v)});
    return p;
}

Preview altimeterPreview(const std::string &name, double altitude, bool lit)
{
    const int32_t shift = lit ? 4 : 0;
    const Vec pivot{AltimeterPivotX, AltimeterPivotY};
    auto angle = [](double value) { return -90 + value * 0.36; };
    const int a = static_cast<int>(altitude);
    Preview p{name, 302, 302, {}};
    p.layers.push_back({0x130 + shift, {0, 0}, {0, 0}, 0});
    p.layers.push_back({0x131 + shift, pivot, {67, 60}, angle(a / 100)});
    p.layers.push_back({0x132 + shift, pivot, {15, 12}, angle((a % 10000) / 10)});
    p.layers.push_back({0x133 + shift, pivot, {50, 7}, angle(a % 1000)});
    return p;
}

} // namespace

ModuleArtwork korvo0Artwork()
{
    ModuleArtwork art{"korvo0", {}, {}};
    auto dial = [&](int32_t base, const char *name, void (*face)(cairo_t *), int needleWidth,
                    int pivotX, int pivotY) {
        Picture dayFace = dayPicture(base, 302, 302, std::string(name) + " face", face, {FaceGround});
        Picture dayNeedle = dayPicture(base + 1, needleWidth, 21, std::string(name) + " needle",
                                       [=](cairo_t *cr) { dialNeedle(cr, pivotX, pivotY, needleWidth, 8.5); });
        art.pictures.push_back(dayFace);
        art.pictures.push_back(dayNeedle);
        art.pictures.push_back(litTwin(dayFace, base + 2, KorvoLit));
        art.pictures.push_back(litTwin(dayNeedle, base + 3, KorvoLit));
    };
    dial(0x100, "Vsi", drawVsiFace, 138, 32, 9);
    dial(0x110, "Asi", drawAsiFace, 142, 14, 10);
    dial(0x120, "Rpm", drawRpmFace, 138, 10, 10);

    const Picture altimeter[] = {
        dayPicture(0x130, 302, 302, "Altimeter face", drawAltimeterFace, {FaceGround}),
        dayPicture(0x131, 187, 128, "10,000 pointer", drawTenThousandsPointer),
        dayPicture(0x132, 104, 27, "1,000 hand", drawThousandsHand),
        dayPicture(0x133, 174, 17, "100 hand", drawHundredsHand),
    };
    for (const Picture &p : altimeter)
        art.pictures.push_back(p);
    for (const Picture &p : altimeter)
        art.pictures.push_back(litTwin(p, p.id + 4, KorvoLit));

    art.pictures.push_back(dayPicture(0x140, 100, 719, "Trim ground", [](cairo_t *) {}));
    for (int phase = 0; phase < 3; ++phase)
        art.pictures.push_back(dayPicture(0x142 + phase, 100, 719,
                                          "Trim phase " + std::to_string(phase),
                                          [phase](cairo_t *cr) { drawTrimWheel(cr, phase); }, {TrimGround}));

    for (bool lit : {false, true}) {
        const std::string suffix = lit ? "-lit" : "";
        art.previews.push_back(dialPreview("vsi" + suffix, 0x100, VsiScale, {32, 9},
                                           {-4000, -1000, 0, 500, 2000}, lit));
        art.previews.push_back(dialPreview("asi" + suffix, 0x110, AsiScale, {14, 10},
                                           {0, 40, 100, 160, 200}, lit));
        art.previews.push_back(dialPreview("rpm" + suffix, 0x120, RpmScale, {10, 10},
                                           {0, 1500, 2500, 3500}, lit));
        art.previews.push_back(altimeterPreview("altimeter" + suffix, 12345, lit));
    }
    return art;
}

} // namespace artwork

#include "draw.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace artwork {

// ---- Colour ----------------------------------------------------------------

void setColour(cairo_t *cr, Rgb colour, double alpha)
{
    cairo_set_source_rgba(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0, alpha);
}

Rgb mix(Rgb colour, Rgb other, double amount)
{
    auto channel = [amount](int a, int b) {
        return static_cast<int>(std::lround(a + (b - a) * amount));
    };
    return {channel(colour.r, other.r), channel(colour.g, other.g), channel(colour.b, other.b)};
}

Rgb scaled(Rgb colour, double factor)
{
    auto channel = [factor](int a) {
        return std::clamp(static_cast<int>(std::lround(a * factor)), 0, 255);
    };
    return {channel(colour.r), channel(colour.g), channel(colour.b)};
}

// ---- Lettering -------------------------------------------------------------

namespace {

struct FaceRequest {
    const char *family;
    int weight;
    int width;
    const char *description;
};

FaceRequest faceRequest(Font font)
{
    switch (font) {
    case Font::Sans:
        return {"DejaVu Sans", FC_WEIGHT_REGULAR, FC_WIDTH_NORMAL, "DejaVu Sans"};
    case Font::SansBold:
        return {"DejaVu Sans", FC_WEIGHT_BOLD, FC_WIDTH_NORMAL, "DejaVu Sans Bold"};
    case Font::CondensedBold: // the bold face drawn narrower (see useFont)
        return {"DejaVu Sans", FC_WEIGHT_BOLD, FC_WIDTH_NORMAL, "DejaVu Sans Bold"};
    }
    return {"DejaVu Sans", FC_WEIGHT_REGULAR, FC_WIDTH_NORMAL, "DejaVu Sans"};
}

// Looks the face up through fontconfig and insists on the DejaVu family, so
// a substitute font never slips in.
cairo_font_face_t *loadFace(Font font)
{
    static std::map<Font, cairo_font_face_t *> faces;
    auto found = faces.find(font);
    if (found != faces.end())
        return found->second;

    const FaceRequest request = faceRequest(font);
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(request.family));
    FcPatternAddInteger(pattern, FC_WEIGHT, request.weight);
    FcPatternAddInteger(pattern, FC_WIDTH, request.width);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);

    FcChar8 *family = nullptr;
    int weight = 0;
    int width = 0;
    const bool ok = match && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
                    std::string(reinterpret_cast<char *>(family)).rfind("DejaVu Sans", 0) == 0 &&
                    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch &&
                    weight == request.weight &&
                    (FcPatternGetInteger(match, FC_WIDTH, 0, &width) != FcResultMatch ||
                     width == request.width);
    if (!ok) {
        if (match)
            FcPatternDestroy(match);
        throw std::runtime_error(std::string("font \"") + request.description +
                                 "\" is not installed (Debian package fonts-dejavu-core)");
    }
    cairo_font_face_t *face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    faces[font] = face;
    return face;
}

// The height of a capital letter: text is centred on it, so words and
// numerals of one size share a baseline whatever their letters.
double capHeight(cairo_t *cr)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, "H", &extents);
    return -extents.y_bearing;
}

} // namespace

void requireFonts()
{
    for (Font font : {Font::Sans, Font::SansBold})
        loadFace(font);
}

void useFont(cairo_t *cr, Font font, double size)
{
    cairo_set_font_face(cr, loadFace(font));
    // Condensed lettering is the bold face squeezed across, so the core
    // DejaVu package is all the build needs.
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, font == Font::CondensedBold ? size * 0.82 : size, size);
    cairo_set_font_matrix(cr, &matrix);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

void text(cairo_t *cr, const std::string &s, Vec centre, Font font, double size, Rgb colour,
          Align align)
{
    useFont(cr, font, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    double x = 0;
    switch (align) {
    case Align::Left:
        x = centre.x - extents.x_bearing;
        break;
    case Align::Centre:
        x = centre.x - (extents.x_bearing + extents.width / 2);
        break;
    case Align::Right:
        x = centre.x - (extents.x_bearing + extents.width);
        break;
    }
    const double y = centre.y + capHeight(cr) / 2;
    setColour(cr, colour);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s.c_str());
    cairo_new_path(cr);
}

void turnedText(cairo_t *cr, const std::string &s, Vec centre, double angle, Font font,
                double size, Rgb colour)
{
    cairo_save(cr);
    cairo_translate(cr, centre.x, centre.y);
    cairo_rotate(cr, radians(angle));
    text(cr, s, {0, 0}, font, size, colour);
    cairo_restore(cr);
}

double textWidth(cairo_t *cr, const std::string &s, Font font, double size)
{
    useFont(cr, font, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    return extents.width;
}

// ---- Paths and shapes ------------------------------------------------------

void circlePath(cairo_t *cr, Vec centre, double radius)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, centre.x, centre.y, radius, 0, 2 * Pi);
    cairo_close_path(cr);
}

void roundedRectPath(cairo_t *cr, double x, double y, double w, double h, double r)
{
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -Pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, Pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, Pi / 2, Pi);
    cairo_arc(cr, x + r, y + r, r, Pi, 3 * Pi / 2);
    cairo_close_path(cr);
}

void polygonPath(cairo_t *cr, const std::vector<Vec> &points)
{
    cairo_new_sub_path(cr);
    for (const Vec &p : points)
        cairo_line_to(cr, p.x, p.y);
    cairo_close_path(cr);
}

void disc(cairo_t *cr, Vec centre, double radius, Rgb colour)
{
    circlePath(cr, centre, radius);
    setColour(cr, colour);
    cairo_fill(cr);
}

void ring(cairo_t *cr, Vec centre, double outer, double inner, Rgb colour)
{
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    circlePath(cr, centre, outer);
    circlePath(cr, centre, inner);
    setColour(cr, colour);
    cairo_fill(cr);
    cairo_restore(cr);
}

void strokeArc(cairo_t *cr, Vec centre, double radius, double fromAngle, double toAngle,
               double width, Rgb colour)
{
    cairo_new_path(cr);
    cairo_arc(cr, centre.x, centre.y, radius, radians(fromAngle), radians(toAngle));
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    setColour(cr, colour);
    cairo_stroke(cr);
}

void line(cairo_t *cr, Vec from, Vec to, double width, Rgb colour, cairo_line_cap_t cap)
{
    cairo_new_path(cr);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, cap);
    setColour(cr, colour);
    cairo_stroke(cr);
}

void tick(cairo_t *cr, Vec centre, double angle, double inner, double outer, double width,
          Rgb colour)
{
    line(cr, polar(centre, inner, angle), polar(centre, outer, angle), width, colour);
}

void numeralAt(cairo_t *cr, const std::string &s, Vec centre, double angle, double radius,
               Font font, double size, Rgb colour)
{
    text(cr, s, polar(centre, radius, angle), font, size, colour);
}

void arrowHead(cairo_t *cr, Vec tip, double angle, double length, double halfWidth, Rgb colour)
{
    const Vec base = polar(tip, -length, angle);
    polygonPath(cr, {tip, polar(base, halfWidth, angle + 90), polar(base, halfWidth, angle - 90)});
    setColour(cr, colour);
    cairo_fill(cr);
}

// ---- Metal and bezels ------------------------------------------------------

namespace {

cairo_pattern_t *diagonalGradient(Vec centre, double radius, Rgb first, Rgb second)
{
    cairo_pattern_t *gradient = cairo_pattern_create_linear(
        centre.x - radius * 0.7, centre.y - radius * 0.7, centre.x + radius * 0.7, centre.y + radius * 0.7);
    cairo_pattern_add_color_stop_rgb(gradient, 0, first.r / 255.0, first.g / 255.0, first.b / 255.0);
    cairo_pattern_add_color_stop_rgb(gradient, 1, second.r / 255.0, second.g / 255.0, second.b / 255.0);
    return gradient;
}

} // namespace

void shadedDisc(cairo_t *cr, Vec centre, double radius, Rgb light, Rgb dark)
{
    cairo_pattern_t *gradient = diagonalGradient(centre, radius, light, dark);
    circlePath(cr, centre, radius);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
}

void bezelRing(cairo_t *cr, Vec centre, double outer, double inner, Rgb light, Rgb dark)
{
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    circlePath(cr, centre, outer);
    circlePath(cr, centre, inner);
    cairo_pattern_t *gradient = diagonalGradient(centre, outer, light, dark);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    // The inner lip, lit from the other side: the face sits below the rim.
    cairo_new_path(cr);
    cairo_arc(cr, centre.x, centre.y, inner + 1.0, 0, 2 * Pi);
    cairo_pattern_t *lip = diagonalGradient(centre, inner, dark, light);
    cairo_set_source(cr, lip);
    cairo_set_line_width(cr, 2.0);
    cairo_stroke(cr);
    cairo_pattern_destroy(lip);
    cairo_restore(cr);
}

void screwHead(cairo_t *cr, Vec centre, double radius, double slotAngle)
{
    shadedDisc(cr, centre, radius, {190, 190, 186}, {70, 70, 68});
    circlePath(cr, centre, radius - 0.5);
    setColour(cr, {40, 40, 40});
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    line(cr, polar(centre, radius * 0.8, slotAngle), polar(centre, radius * 0.8, slotAngle + 180),
         std::max(1.2, radius * 0.3), {30, 30, 30});
}

void knurledKnob(cairo_t *cr, Vec centre, double radius, int ridges, Rgb light, Rgb dark)
{
    shadedDisc(cr, centre, radius, light, dark);
    // Ridges round the rim: short dark notches.
    for (int i = 0; i < ridges; ++i) {
        const double angle = 360.0 * i / ridges;
        tick(cr, centre, angle, radius * 0.82, radius, std::max(1.0, radius * 2 * Pi / ridges * 0.45),
             scaled(dark, 0.6));
    }
    shadedDisc(cr, centre, radius * 0.78, mix(light, {255, 255, 255}, 0.15), dark);
}

void cylinderBand(cairo_t *cr, double x, double y, double w, double h, double r, Rgb light,
                  Rgb dark)
{
    cairo_pattern_t *gradient = cairo_pattern_create_linear(0, y, 0, y + h);
    auto stop = [gradient](double at, Rgb c) {
        cairo_pattern_add_color_stop_rgb(gradient, at, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    };
    stop(0.0, mix(light, dark, 0.35));
    stop(0.3, light);
    stop(0.55, mix(light, dark, 0.3));
    stop(1.0, dark);
    roundedRectPath(cr, x, y, w, h, r);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
}

// ---- Dial scales -----------------------------------------------------------

DialScale::DialScale(Vec pivotPixel, std::vector<Point> points) : pivotPixel_(pivotPixel)
{
    if (points.size() < 2)
        throw std::logic_error("a dial scale needs at least two points");
    double previous = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        // Table points are pixels; the needle points at the pixel's centre.
        double angle = angleTowards(pivot(), pixelCentre(static_cast<int>(points[i].x),
                                                       static_cast<int>(points[i].y)));
        if (i > 0) {
            while (angle - previous > 180)
                angle -= 360;
            while (angle - previous <= -180)
                angle += 360;
        }
        values_.push_back(points[i].value);
        angles_.push_back(angle);
        previous = angle;
    }
}

double DialScale::angleFor(double value) const
{
    if (value <= values_.front())
        return angles_.front();
    for (size_t i = 1; i < values_.size(); ++i) {
        if (value <= values_[i]) {
            const double t = (value - values_[i - 1]) / (values_[i] - values_[i - 1]);
            return angles_[i - 1] + t * (angles_[i] - angles_[i - 1]);
        }
    }
    return angles_.back();
}

void scaleTicks(cairo_t *cr, const DialScale &scale, double from, double to, double step,
                double inner, double outer, double width, Rgb colour)
{
    const int count = static_cast<int>(std::lround((to - from) / step));
    for (int i = 0; i <= count; ++i)
        tick(cr, scale.pivot(), scale.angleFor(from + i * step), inner, outer, width, colour);
}

// ---- Pointers --------------------------------------------------------------

void needleBlade(cairo_t *cr, Vec hub, double tipX, double hubHalfWidth, double tipHalfWidth,
                 double tailX, double tailHalfWidth, Rgb colour)
{
    const double pointLength = std::max(4.0, tipHalfWidth * 4.0);
    polygonPath(cr, {
                        {tailX, hub.y - tailHalfWidth},
                        {hub.x, hub.y - hubHalfWidth},
                        {tipX - pointLength, hub.y - tipHalfWidth},
                        {tipX, hub.y},
                        {tipX - pointLength, hub.y + tipHalfWidth},
                        {hub.x, hub.y + hubHalfWidth},
                        {tailX, hub.y + tailHalfWidth},
                    });
    setColour(cr, colour);
    cairo_fill(cr);
}

} // namespace artwork

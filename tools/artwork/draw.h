// Drawing helpers shared by every module's artwork: fonts and lettering,
// dial scales, ticks and arcs, metal parts, pointers and handles. All take a
// cairo context and draw in bitmap pixels, origin top left, y down; angles
// are degrees clockwise from +x (see colour.h).
#pragma once

#include "colour.h"

#include <cairo.h>

#include <string>
#include <vector>

namespace artwork {

// ---- Colour ----------------------------------------------------------------

void setColour(cairo_t *cr, Rgb colour, double alpha = 1.0);
// colour mixed towards other by amount (0 keeps colour, 1 gives other).
Rgb mix(Rgb colour, Rgb other, double amount);
Rgb scaled(Rgb colour, double factor);

// ---- Lettering -------------------------------------------------------------

enum class Font {
    Sans,
    SansBold,
    CondensedBold,
};

// Fails the run when a face is missing, so a machine without the fonts
// (Debian: fonts-dejavu-core) cannot build different-looking pictures.
void requireFonts();

void useFont(cairo_t *cr, Font font, double size);

enum class Align { Left, Centre, Right };

// Text whose inked box is centred on centre (horizontally aligned by align:
// Left puts the ink's left edge at centre.x, Right its right edge).
void text(cairo_t *cr, const std::string &s, Vec centre, Font font, double size, Rgb colour,
          Align align = Align::Centre);
// Text centred on centre and turned by angle (degrees clockwise; 90 reads
// downwards).
void turnedText(cairo_t *cr, const std::string &s, Vec centre, double angle, Font font,
                double size, Rgb colour);
// Width of the text's ink at that size.
double textWidth(cairo_t *cr, const std::string &s, Font font, double size);

// ---- Paths and shapes ------------------------------------------------------

void circlePath(cairo_t *cr, Vec centre, double radius);
void roundedRectPath(cairo_t *cr, double x, double y, double w, double h, double r);
void polygonPath(cairo_t *cr, const std::vector<Vec> &points);

void disc(cairo_t *cr, Vec centre, double radius, Rgb colour);
// Fills the ring between two radii.
void ring(cairo_t *cr, Vec centre, double outer, double inner, Rgb colour);
void strokeArc(cairo_t *cr, Vec centre, double radius, double fromAngle, double toAngle,
               double width, Rgb colour);
void line(cairo_t *cr, Vec from, Vec to, double width, Rgb colour,
          cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT);
// A radial mark from inner to outer radius at angle.
void tick(cairo_t *cr, Vec centre, double angle, double inner, double outer, double width,
          Rgb colour);
// Upright text centred at the point at radius and angle.
void numeralAt(cairo_t *cr, const std::string &s, Vec centre, double angle, double radius,
               Font font, double size, Rgb colour);
// An arrowhead (filled triangle) with its tip at tip, pointing along angle.
void arrowHead(cairo_t *cr, Vec tip, double angle, double length, double halfWidth, Rgb colour);

// ---- Metal and bezels ------------------------------------------------------

// A disc shaded as lit from the upper left: light at the top left, dark at
// the bottom right.
void shadedDisc(cairo_t *cr, Vec centre, double radius, Rgb light, Rgb dark);
// A ring shaded the opposite way round from shadedDisc, so it reads as a
// raised bezel around a recessed face.
void bezelRing(cairo_t *cr, Vec centre, double outer, double inner, Rgb light, Rgb dark);
// A slotted screw head.
void screwHead(cairo_t *cr, Vec centre, double radius, double slotAngle);
// A knurled knob seen from the front: ridged rim and a shaded cap.
void knurledKnob(cairo_t *cr, Vec centre, double radius, int ridges, Rgb light, Rgb dark);
// A horizontal cylinder (a grip): shaded top to bottom.
void cylinderBand(cairo_t *cr, double x, double y, double w, double h, double r, Rgb light,
                  Rgb dark);

// ---- Dial scales -----------------------------------------------------------

// A needle's scale: its table points (x, y on the face, then value) seen
// from the pivot. A needle at a value points at angleFor(value); between two
// points the angle is interpolated linearly in the value, always going the
// way the table turns.
class DialScale {
public:
    struct Point {
        double x;
        double y;
        double value;
    };

    // pivot and points are pixels, as the gauge's records give them; the
    // needle turns about the pivot pixel's centre towards a point's centre.
    DialScale(Vec pivotPixel, std::vector<Point> points);

    Vec pivotPixel() const { return pivotPixel_; }
    Vec pivot() const { return pixelCentre(int(pivotPixel_.x), int(pivotPixel_.y)); }
    double angleFor(double value) const;
    double first() const { return values_.front(); }
    double last() const { return values_.back(); }

private:
    Vec pivotPixel_;
    std::vector<double> values_;
    std::vector<double> angles_; // unwrapped, continuous along the table
};

// Draws ticks every step from value `from` to `to` (inclusive) along a scale.
void scaleTicks(cairo_t *cr, const DialScale &scale, double from, double to, double step,
                double inner, double outer, double width, Rgb colour);

// ---- Pointers --------------------------------------------------------------

// A needle lying along +x through hub: a tapered blade from the hub to tipX
// (half-widths at the hub and just before the point), and a tail back to
// tailX. Fills the outline in colour.
void needleBlade(cairo_t *cr, Vec hub, double tipX, double hubHalfWidth, double tipHalfWidth,
                 double tailX, double tailHalfWidth, Rgb colour);

} // namespace artwork

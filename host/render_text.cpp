#include "render_text.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace host::render {
namespace {

// A colour from a record for cairo, with red, green and blue in 0..1.
void setRecordColour(cairo_t *cr, uint32_t bbggrr)
{
    cairo_set_source_rgb(cr, (bbggrr & 0xff) / 255.0, ((bbggrr >> 8) & 0xff) / 255.0,
                         ((bbggrr >> 16) & 0xff) / 255.0);
}

// The colour of an unlit segment: the background with a trace of the text.
uint32_t ghostOf(uint32_t foreground, uint32_t background)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double f = (foreground >> shift) & 0xff;
        const double b = (background >> shift) & 0xff;
        out |= static_cast<uint32_t>(std::lround(b + (f - b) * 0.12)) << shift;
    }
    return out;
}

std::string latin1ToUtf8(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xc0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    return out;
}

bool narrowCell(char c)
{
    return c == '.' || c == ',' || c == ':';
}

// The top-left corner of a block of width x height in a box, by the format.
void place(uint32_t format, double boxWidth, double boxHeight, double width, double height, double pad, double &x,
           double &y)
{
    if (format & FormatCentre)
        x = (boxWidth - width) / 2;
    else if (format & FormatRight)
        x = boxWidth - width - pad;
    else
        x = pad;
    if (format & FormatMiddle)
        y = (boxHeight - height) / 2;
    else if (format & FormatBottom)
        y = boxHeight - height - pad;
    else
        y = pad;
}

// The seven-segment readout. Cells are h high and h/2 wide, a little slanted;
// points and colons take a narrow cell of their own.
void drawSegments(cairo_t *cr, const TextStyle &style, std::string_view text, int width, int height)
{
    double h = height * 0.64;
    auto measure = [&](double cellHeight) {
        const double w = cellHeight * 0.5;
        const double t = cellHeight * 0.13;
        double total = 0;
        for (size_t i = 0; i < text.size(); ++i)
            total += (narrowCell(text[i]) ? t * 1.8 : w) + (i ? w * 0.25 : 0.0);
        return total;
    };
    if (measure(h) > width * 0.92)
        h *= width * 0.92 / measure(h);
    const double w = h * 0.5;
    const double t = h * 0.13;
    double x, y;
    place(style.format, width, height, measure(h), h, height * 0.08, x, y);
    const double slant = std::tan(6.0 * 3.14159265358979323846 / 180.0);
    const uint32_t ghost = ghostOf(style.foreground, style.background);

    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        cairo_save(cr);
        // Slant about the cell's middle row.
        cairo_matrix_t skew;
        cairo_matrix_init(&skew, 1, 0, -slant, 1, x + slant * h / 2, y);
        cairo_transform(cr, &skew);
        if (narrowCell(c)) {
            setRecordColour(cr, style.foreground);
            const double cx = t * 0.9;
            if (c == ':') {
                cairo_arc(cr, cx, h * 0.3, t * 0.6, 0, 2 * 3.14159265358979323846);
                cairo_fill(cr);
                cairo_arc(cr, cx, h * 0.7, t * 0.6, 0, 2 * 3.14159265358979323846);
            } else {
                cairo_arc(cr, cx, h - t * 0.6, t * 0.6, 0, 2 * 3.14159265358979323846);
            }
            cairo_fill(cr);
            x += t * 1.8 + w * 0.25;
        } else {
            const uint8_t lit = segmentsOf(c);
            const double g = t * 0.12; // the gap between neighbouring segments
            const double half = t / 2;
            const double left = half, right = w - half, top = half, middle = h / 2, bottom = h - half;
            auto horizontal = [&](double yc, double x0, double x1) {
                x0 += g;
                x1 -= g;
                cairo_move_to(cr, x0, yc);
                cairo_line_to(cr, x0 + half, yc - half);
                cairo_line_to(cr, x1 - half, yc - half);
                cairo_line_to(cr, x1, yc);
                cairo_line_to(cr, x1 - half, yc + half);
                cairo_line_to(cr, x0 + half, yc + half);
                cairo_close_path(cr);
            };
            auto vertical = [&](double xc, double y0, double y1) {
                y0 += g;
                y1 -= g;
                cairo_move_to(cr, xc, y0);
                cairo_line_to(cr, xc + half, y0 + half);
                cairo_line_to(cr, xc + half, y1 - half);
                cairo_line_to(cr, xc, y1);
                cairo_line_to(cr, xc - half, y1 - half);
                cairo_line_to(cr, xc - half, y0 + half);
                cairo_close_path(cr);
            };
            for (int pass = 0; pass < 2; ++pass) {
                // Unlit segments first, then the lit ones in the text colour.
                const bool litPass = pass == 1;
                auto segment = [&](int bit, auto &&path) {
                    if (((lit >> bit) & 1) == litPass)
                        path();
                };
                segment(0, [&] { horizontal(top, left, right); });
                segment(1, [&] { vertical(right, top, middle); });
                segment(2, [&] { vertical(right, middle, bottom); });
                segment(3, [&] { horizontal(bottom, left, right); });
                segment(4, [&] { vertical(left, middle, bottom); });
                segment(5, [&] { vertical(left, top, middle); });
                segment(6, [&] { horizontal(middle, left, right); });
                setRecordColour(cr, litPass ? style.foreground : ghost);
                cairo_fill(cr);
            }
            x += w + w * 0.25;
        }
        cairo_restore(cr);
    }
}

// Any other face, through the installed fonts.
void drawFontText(cairo_t *cr, const TextStyle &style, std::string_view text, int width, int height)
{
    const std::string utf8 = latin1ToUtf8(text);
    cairo_select_font_face(cr, style.face.empty() ? "sans-serif" : style.face.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           style.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    double size = height * 0.62;
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, utf8.c_str(), &extents);
    if (extents.x_advance > width * 0.92 && extents.x_advance > 0) {
        size *= width * 0.92 / extents.x_advance;
        cairo_set_font_size(cr, size);
        cairo_text_extents(cr, utf8.c_str(), &extents);
    }
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    double x, y;
    place(style.format, width, height, extents.x_advance, font.ascent + font.descent, height * 0.08, x, y);
    setRecordColour(cr, style.foreground);
    cairo_move_to(cr, x, y + font.ascent);
    cairo_show_text(cr, utf8.c_str());
}

} // namespace

TextStyle TextStyle::of(const StringElement &element)
{
    TextStyle style;
    style.face.assign(element.fontFace, strnlen(element.fontFace, sizeof element.fontFace));
    style.weight = element.fontWeight;
    style.format = element.textFormat;
    style.foreground = element.foreground & 0xffffff;
    style.background = element.background & 0xffffff;
    style.maxLength = element.maxLength;
    return style;
}

uint8_t segmentsOf(char c)
{
    switch (c) {
    case '0': case 'O': return 0x3f;
    case '1': case 'I': return 0x06;
    case '2': return 0x5b;
    case '3': return 0x4f;
    case '4': return 0x66;
    case '5': case 'S': case 's': return 0x6d;
    case '6': return 0x7d;
    case '7': return 0x07;
    case '8': return 0x7f;
    case '9': return 0x6f;
    case '-': return 0x40;
    case '_': return 0x08;
    case '=': return 0x48;
    case 'A': case 'a': return 0x77;
    case 'b': case 'B': return 0x7c;
    case 'C': return 0x39;
    case 'c': return 0x58;
    case 'd': case 'D': return 0x5e;
    case 'E': case 'e': return 0x79;
    case 'F': case 'f': return 0x71;
    case 'H': return 0x76;
    case 'h': return 0x74;
    case 'L': case 'l': return 0x38;
    case 'n': case 'N': return 0x54;
    case 'o': return 0x5c;
    case 'P': case 'p': return 0x73;
    case 'r': case 'R': return 0x50;
    case 'U': return 0x3e;
    case 'u': return 0x1c;
    case 'y': case 'Y': return 0x6e;
    default: return 0;
    }
}

void releaseFontsAtExit()
{
    static const bool registered = [] {
        std::atexit([] {
            cairo_debug_reset_static_data();
            FcFini();
        });
        return true;
    }();
    (void)registered;
}

Image drawTextBox(const TextStyle &style, std::string_view text, int width, int height)
{
    Image image(width, height, colourFromRecord(style.background));
    if (image.width == 0 || image.height == 0)
        return image;
    if (style.maxLength >= 0 && text.size() > static_cast<size_t>(style.maxLength))
        text = text.substr(0, static_cast<size_t>(style.maxLength));
    if (text.empty())
        return image;
    releaseFontsAtExit();
    cairo_surface_t *surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(image.pixels.data()),
                                            CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4);
    cairo_t *cr = cairo_create(surface);
    if (style.face == SegmentFace)
        drawSegments(cr, style, text, width, height);
    else
        drawFontText(cr, style, text, width, height);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return image;
}

} // namespace host::render

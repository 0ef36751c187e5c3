#include "resource_commands.h"

#include "resources.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

// Writes a PNG of 8-bit rows: a palette image when palette is given, else
// RGB (three bytes a pixel). Returns false with a message on failure.
bool writePng(const std::string &path, int width, int height, const std::vector<uint8_t> &pixels,
              const std::vector<host::PaletteColour> *palette, std::string &error)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = path + ": cannot write the PNG";
        return false;
    }
    png_init_io(png, file);
    const int bytesPerPixel = palette ? 1 : 3;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours;
    if (palette) {
        for (const host::PaletteColour &c : *palette)
            colours.push_back({c.r, c.g, c.b});
        png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    }
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, pixels.data() + static_cast<size_t>(y) * width * bytesPerPixel);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool parseId(const char *text, int32_t &id)
{
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 0);
    if (errno || end == text || *end || value < INT32_MIN || value > INT32_MAX)
        return false;
    id = static_cast<int32_t>(value);
    return true;
}

// Reads a module's bitmaps, reporting a failure on stderr.
bool readBitmaps(const char *path, std::vector<host::BitmapResource> &bitmaps)
{
    try {
        bitmaps = host::readModuleBitmaps(path);
        return true;
    } catch (const host::ResourceError &error) {
        std::cerr << "gaugehost: " << error.what() << "\n";
        return false;
    }
}

std::string hexId(int32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
    return text;
}

// ---- Contact sheet ---------------------------------------------------------

constexpr int SheetWidth = 1400;
constexpr int Margin = 16;
constexpr int Gap = 18;
constexpr int LabelHeight = 30;
constexpr int TitleHeight = 40;
constexpr double Ground[3] = {0.16, 0.25, 0.40}; // where the host draws nothing

// Small bitmaps are shown enlarged, by a whole factor, so they can be seen.
int enlargement(const host::BitmapResource &bitmap)
{
    const int side = std::max(bitmap.width, bitmap.height);
    return std::clamp(96 / side, 1, 8);
}

struct Tile {
    const host::BitmapResource *bitmap;
    int x;
    int y;
    int scale;
    int width;  // of the tile, label included
    int height;
};

cairo_surface_t *surfaceOf(const host::BitmapResource &bitmap)
{
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height);
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < bitmap.height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<size_t>(y) * stride);
        for (int32_t x = 0; x < bitmap.width; ++x) {
            const host::PaletteColour c = bitmap.colourAt(x, y);
            const bool black = c.r == 0 && c.g == 0 && c.b == 0;
            row[x] = black ? 0u : (0xff000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

void label(cairo_t *cr, const std::string &text, double x, double y, double size, double shade)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_set_source_rgb(cr, shade, shade, shade);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text.c_str());
}

std::string baseName(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int resourcesCommand(int argc, char **argv)
{
    if (argc != 1) {
        std::cerr << "usage: gaugehost resources MODULE\n";
        return 2;
    }
    std::vector<host::BitmapResource> bitmaps;
    if (!readBitmaps(argv[0], bitmaps))
        return 1;
    for (const host::BitmapResource &b : bitmaps)
        std::cout << "{\"id\":" << b.id << ",\"width\":" << b.width << ",\"height\":" << b.height
                  << ",\"bitsPerPixel\":" << b.bitsPerPixel << ",\"paletteSize\":" << b.paletteSize << "}\n";
    return 0;
}

int bitmapCommand(int argc, char **argv)
{
    int32_t id = 0;
    if (argc != 3 || !parseId(argv[1], id)) {
        std::cerr << "usage: gaugehost bitmap MODULE ID OUT.png\n";
        return 2;
    }
    std::vector<host::BitmapResource> bitmaps;
    if (!readBitmaps(argv[0], bitmaps))
        return 1;
    const auto found = std::find_if(bitmaps.begin(), bitmaps.end(),
                                    [id](const host::BitmapResource &b) { return b.id == id; });
    if (found == bitmaps.end()) {
        std::cerr << "gaugehost: " << argv[0] << " has no bitmap " << id << " (" << hexId(id) << ")\n";
        return 1;
    }
    std::string error;
    if (!writePng(argv[2], found->width, found->height, found->pixels, &found->palette, error)) {
        std::cerr << "gaugehost: " << error << "\n";
        return 1;
    }
    return 0;
}

int sheetCommand(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: gaugehost sheet MODULE OUT.png\n";
        return 2;
    }
    std::vector<host::BitmapResource> bitmaps;
    if (!readBitmaps(argv[0], bitmaps))
        return 1;

    // Lay the tiles out in rows, in id order.
    std::vector<Tile> tiles;
    int x = Margin;
    int y = Margin + TitleHeight;
    int rowHeight = 0;
    for (const host::BitmapResource &b : bitmaps) {
        const int scale = enlargement(b);
        const int width = std::max(b.width * scale, 110);
        const int height = b.height * scale + LabelHeight;
        if (x > Margin && x + width > SheetWidth - Margin) {
            x = Margin;
            y += rowHeight + Gap;
            rowHeight = 0;
        }
        tiles.push_back({&b, x, y, scale, width, height});
        x += width + Gap;
        rowHeight = std::max(rowHeight, height);
    }
    const int sheetHeight = y + rowHeight + Margin;

    cairo_surface_t *sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, SheetWidth, sheetHeight);
    cairo_t *cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.93, 0.93, 0.91);
    cairo_paint(cr);
    label(cr, baseName(argv[0]) + ": " + std::to_string(bitmaps.size()) +
                  " bitmaps (blue: pure black, not drawn by the host)",
          Margin, Margin + 18, 16, 0.1);
    for (const Tile &t : tiles) {
        const host::BitmapResource &b = *t.bitmap;
        cairo_rectangle(cr, t.x, t.y, b.width * t.scale, b.height * t.scale);
        cairo_set_source_rgb(cr, Ground[0], Ground[1], Ground[2]);
        cairo_fill(cr);
        cairo_surface_t *image = surfaceOf(b);
        cairo_save(cr);
        cairo_translate(cr, t.x, t.y);
        cairo_scale(cr, t.scale, t.scale);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
        std::string caption = hexId(b.id) + "  " + std::to_string(b.width) + "x" + std::to_string(b.height);
        if (t.scale > 1)
            caption += "  (x" + std::to_string(t.scale) + ")";
        label(cr, caption, t.x, t.y + b.height * t.scale + 16, 12, 0.1);
    }
    cairo_destroy(cr);
    cairo_surface_flush(sheet);

    // Out through the same PNG writer as single bitmaps.
    std::vector<uint8_t> rgb(static_cast<size_t>(SheetWidth) * sheetHeight * 3);
    const unsigned char *data = cairo_image_surface_get_data(sheet);
    const int stride = cairo_image_surface_get_stride(sheet);
    for (int row = 0; row < sheetHeight; ++row) {
        const auto *in = reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(row) * stride);
        uint8_t *out = rgb.data() + static_cast<size_t>(row) * SheetWidth * 3;
        for (int col = 0; col < SheetWidth; ++col) {
            out[3 * col] = static_cast<uint8_t>(in[col] >> 16);
            out[3 * col + 1] = static_cast<uint8_t>(in[col] >> 8);
            out[3 * col + 2] = static_cast<uint8_t>(in[col]);
        }
    }
    cairo_surface_destroy(sheet);
    std::string error;
    if (!writePng(argv[1], SheetWidth, sheetHeight, rgb, nullptr, error)) {
        std::cerr << "gaugehost: " << error << "\n";
        return 1;
    }
    return 0;
}

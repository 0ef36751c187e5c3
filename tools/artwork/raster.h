// From a drawn picture to the 8-bit palette bitmap a module carries:
// rendering, the lit colour transform, quantising and the BMP file.
#pragma once

#include "colour.h"
#include "picture.h"

#include <cstdint>
#include <vector>

namespace artwork {

// Straight (not premultiplied) colour with coverage, one per pixel.
struct Rgba {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
};

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels; // top-down rows
};

// Renders a day picture with anti-aliasing on a transparent surface.
RgbaImage render(const Picture &picture);

// A lit twin: every colour through tone, coverage unchanged, so the shape
// (and so the black around it) is the day picture's exactly.
RgbaImage litImage(const RgbaImage &day, const LitTone &tone);
Rgb litColour(Rgb day, const LitTone &tone);

// An 8-bit palette image. Index 0 is pure black, the colour the host does
// not draw; no other entry in use is pure black.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<Rgb> palette; // always 256 entries
    std::vector<uint8_t> pixels; // top-down rows
};

// Quantises to at most 255 shape colours plus black. A pixel less than half
// covered becomes black (a partly covered edge pixel would otherwise turn
// into a dark fringe once the host drops the black); every other pixel keeps
// its un-premultiplied colour, matched to the nearest palette entry that is
// not black. keyColours reach the palette unchanged.
IndexedImage quantise(const RgbaImage &image, const std::vector<Rgb> &keyColours);

// A Windows BMP file: 8 bits per pixel, 256-entry palette, bottom-up rows.
std::vector<uint8_t> encodeBmp(const IndexedImage &image);

} // namespace artwork

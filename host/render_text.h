// How the host draws a string element: the box filled with its background
// colour and the text on one line in its foreground colour. The face
// "Quartz" is a seven-segment digital readout that the host draws itself;
// any other face comes from the installed fonts.
#pragma once

#include "gauge_abi.h"
#include "render_image.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace host::render {

// What decides a string box's picture.
struct TextStyle {
    std::string face;
    int32_t weight = 400;
    uint32_t format = 0x25;
    uint32_t foreground = 0; // 0x00BBGGRR
    uint32_t background = 0;
    int32_t maxLength = 0;

    static TextStyle of(const StringElement &element);
    friend bool operator==(const TextStyle &, const TextStyle &) = default;
};

// Format bits the host reads: horizontal centre or right, vertical centre or
// bottom; without them the text sits left and at the top.
constexpr uint32_t FormatCentre = 0x1;
constexpr uint32_t FormatRight = 0x2;
constexpr uint32_t FormatMiddle = 0x4;
constexpr uint32_t FormatBottom = 0x8;

// The face the host draws as a seven-segment readout.
constexpr std::string_view SegmentFace = "Quartz";

// The box, width x height destination pixels, with text in it. Only the
// first maxLength characters show; bytes are read as Latin-1.
Image drawTextBox(const TextStyle &style, std::string_view text, int width, int height);

// The segments a seven-segment cell lights for c, as bits a (0x01, top), b
// (upper right), c (lower right), d (bottom), e (lower left), f (upper left),
// g (0x40, middle); 0 for a blank or a character the readout cannot show.
uint8_t segmentsOf(char c);

// Arranges, once, for cairo's and fontconfig's font caches to be released
// when the program exits (so leak checkers see a clean exit). Called by
// everything that draws text.
void releaseFontsAtExit();

} // namespace host::render

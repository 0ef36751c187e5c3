// What a module's artwork recipe hands the generator: every bitmap of the
// module by resource id and size, each either drawn by a function or made
// from its day twin by a lit (night) colour transform.
#pragma once

#include "colour.h"

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace artwork {

// How a lit twin's colours follow from the day picture's. Greys and whites
// run from low (black) to high (white) along a warm ramp; saturated colours
// keep their hue, dimmed and shifted towards amber. exact maps a day colour
// to a lit colour outright (a face ground whose lit value is fixed).
struct LitTone {
    Rgb low;
    Rgb high;
    double colourDim = 0.85;
    std::vector<std::pair<Rgb, Rgb>> exact;
};

struct Picture {
    int32_t id = 0;
    int width = 0;
    int height = 0;
    // Draws the day picture on a transparent surface of width x height:
    // whatever is left transparent (or less than half covered) becomes pure
    // black, the colour the host does not draw.
    std::function<void(cairo_t *)> draw;
    // A lit twin names its day picture and the tone; it has no draw.
    int32_t litOf = 0;
    const LitTone *tone = nullptr;
    // Colours that must reach the palette unchanged (grounds whose exact
    // value matters).
    std::vector<Rgb> keyColours;
    std::string title; // a few words for the contact sheet
};

// A check picture of a gauge as the host would compose it: bitmaps placed
// with their pivot (offset) at position and turned by angle degrees
// clockwise. Only for looking at; modules do not carry it.
struct PreviewLayer {
    int32_t id = 0;
    Vec position;
    Vec offset;
    double angle = 0;
};

struct Preview {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<PreviewLayer> layers;
};

struct ModuleArtwork {
    std::string module; // lower-case module file name
    std::vector<Picture> pictures;
    std::vector<Preview> previews;
};

// A day picture drawn by a function.
Picture dayPicture(int32_t id, int width, int height, std::string title,
                   std::function<void(cairo_t *)> draw, std::vector<Rgb> keyColours = {});
// The lit twin of a day picture: same size, colours through tone.
Picture litTwin(const Picture &day, int32_t id, const LitTone &tone);

// The recipes, one per module, each kept beside its module's gauges.
ModuleArtwork korvo0Artwork();
ModuleArtwork korvo6Artwork();
ModuleArtwork vantrelArtwork();

} // namespace artwork

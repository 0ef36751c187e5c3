// The host's renderer: turns a gauge instance, as its last evaluation left
// it, into pixels.
//
// How each element kind is drawn (all in the gauge's own pixels, those of its
// root bitmap; a pixel's centre is at +0.5):
//  - Pure black in any bitmap is transparent, the root's included. Hidden
//    elements are not drawn. Elements draw in chain order, each over those
//    before it.
//  - StaticImage: its bitmap with the top-left corner at position.
//  - Icon: picture resourceId + the value truncated toward zero, top-left at
//    position; an index outside 0 .. iconCount - 1 draws nothing.
//  - Needle: its bitmap turned about offset, that pixel placed on position's.
//    See render_geometry.h for the angle.
//  - Slider: its bitmap at position moved by value x scale on each axis,
//    rounded to whole pixels; a displacement that is not a number counts 0.
//  - Sprite: its bitmap's centre pixel (width / 2, height / 2) on the pixel
//    position + offset. The x and y values times their scales move the
//    sprite's picture under that centre the way a texture offset does: the
//    picture moves by minus that amount along its own axes, then turns
//    counterclockwise by rotation x scaleRotation degrees about the centre.
//    textureScaleX / Y size the picture (1.0 natural; other values that are
//    not positive count 1.0).
//  - StringElement: the box (position, boxSize) filled with background, the
//    text on one line in foreground (render_text.h).
#pragma once

#include "host.h"
#include "render_image.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace host::render {

// The bitmaps of one module, by resource id.
class BitmapSet {
public:
    void add(Bitmap bitmap);
    const Bitmap *find(int32_t id) const;
    size_t size() const { return bitmaps_.size(); }

private:
    std::unordered_map<int32_t, Bitmap> bitmaps_;
};

// One element as the renderer will draw it.
struct DrawItem {
    enum class Kind : uint8_t { Nothing, Picture, Text };
    Kind kind = Kind::Nothing;
    const Bitmap *bitmap = nullptr; // Picture
    Affine gaugeMap;                // bitmap pixels to gauge pixels
    IRect bounds;                   // in the target, clipped to the gauge
    uint64_t textVersion = 0;       // Text: changes whenever its picture does

    friend bool operator==(const DrawItem &, const DrawItem &) = default;
};

// Draws one gauge instance into a rectangle of a target image, and keeps what
// does not change from frame to frame: the leading run of the chain whose
// picture is fixed (the root, plain background icons and hidden elements) is
// composed once into a layer; text boxes are drawn only when their text
// changes; update() redraws only the part of the gauge that moved.
class GaugeRenderer {
public:
    GaugeRenderer(const GaugeInstance &gauge, const BitmapSet &bitmaps);

    // The gauge's own size: its root bitmap's (0 x 0 without one).
    int width() const { return width_; }
    int height() const { return height_; }

    // Where the gauge goes in the target: its pixels scaled into rect.
    void place(const IRect &rect);
    const IRect &rect() const { return rect_; }

    // Draws the whole gauge over what target holds in its rectangle.
    void draw(Image &target);
    // Brings the gauge's rectangle of target up to date, given that target
    // holds what the previous update() left there (or anything, on the first
    // call), over a background colour. Returns the part it redrew.
    IRect update(Image &target, uint32_t background);

    // Works out how each element is to be drawn from the gauge's last
    // evaluation (draw() and update() do this themselves); the text boxes
    // are drawn here when their text changed.
    const std::vector<DrawItem> &prepare();
    // The chain as last prepared.
    const std::vector<DrawItem> &items() const { return items_; }
    // The leading elements composed into the fixed layer.
    size_t fixedCount() const { return fixedCount_; }
    // A Text item's picture and where it goes in the target.
    const Image &textImage(size_t index) const { return texts_[index].image; }
    IRect textBox(size_t index) const { return texts_[index].box; }
    // The map from gauge pixels to the target.
    const Affine &placement() const { return placement_; }

private:
    struct TextBox {
        std::string text;
        IRect box;
        uint64_t version = 0;
        Image image;
    };

    bool fixedChanged() const;
    void rebuildFixedLayer();
    void drawItem(Image &target, const IRect &clip, size_t index);

    const GaugeInstance *gauge_;
    const BitmapSet *bitmaps_;
    int width_ = 0;
    int height_ = 0;
    IRect rect_;
    Affine placement_;
    std::vector<DrawItem> items_;
    std::vector<DrawItem> previous_;
    std::vector<TextBox> texts_;
    uint64_t textVersions_ = 0;
    size_t fixedCount_ = 0;
    std::vector<DrawItem> fixedKey_;
    bool fixedValid_ = false;
    Image fixedLayer_;        // the fixed run, the rectangle's size
    Image fixedOnBackground_; // the same over the update() background
    uint32_t background_ = 0;
    bool updatedOnce_ = false;
};

// The gauge alone at its own size, transparent where nothing is drawn.
Image renderGauge(const GaugeInstance &gauge, const BitmapSet &bitmaps);

// The gauge enlarged by scale with its mouse areas over it: every parent area
// with its tooltip id, every click area tinted by its cursor and numbered,
// and a key beside the picture listing each area's cursor, key event or mouse
// function, mouse flags and tooltip id.
Image renderMouseAreas(const GaugeInstance &gauge, const BitmapSet &bitmaps, int scale);

// The scale renderMouseAreas uses by default: the gauge at least about 480
// pixels across, at most 8 times.
int mouseAreasScale(int width, int height);

} // namespace host::render

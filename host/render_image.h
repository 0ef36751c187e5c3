// The host's pictures and its one drawing operation: images of premultiplied
// colour, bitmaps ready to draw (black already transparent), and a bitmap
// drawn through an affine map with bilinear filtering.
//
// A pixel is a uint32 0xAARRGGBB with the colour premultiplied by alpha, the
// layout of cairo's ARGB32, so cairo can draw into an Image directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace host::render {

struct IRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    friend bool operator==(const IRect &, const IRect &) = default;
};

IRect intersect(const IRect &a, const IRect &b);
// The smallest rectangle holding both; an empty one adds nothing.
IRect unite(const IRect &a, const IRect &b);

// An opaque colour from a gauge record's 0x00BBGGRR.
uint32_t colourFromRecord(uint32_t bbggrr);
// 0xRRGGBB as an opaque pixel.
constexpr uint32_t opaque(uint32_t rrggbb)
{
    return 0xff000000u | (rrggbb & 0xffffffu);
}

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // rows top-down, width pixels each

    Image() = default;
    Image(int width, int height, uint32_t fill = 0);
    uint32_t *row(int y) { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
    const uint32_t *row(int y) const { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
    uint32_t at(int x, int y) const { return row(y)[x]; }
    IRect bounds() const { return {0, 0, width, height}; }
};

// Maps (x, y) to (a x + c y + e, b x + d y + f).
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static Affine translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static Affine scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // Clockwise on a y-down grid by degrees.
    static Affine rotation(double degrees);

    // this after other: (this * other)(p) = this(other(p)).
    Affine operator*(const Affine &other) const;
    Affine inverse() const;
    double determinant() const { return a * d - b * c; }
    void apply(double x, double y, double &outX, double &outY) const
    {
        outX = a * x + c * y + e;
        outY = b * x + d * y + f;
    }
    friend bool operator==(const Affine &, const Affine &) = default;
};

// One picture of a module, ready to draw: premultiplied colour, every pure
// black pixel of the stored bitmap transparent. Holds a chain of halved
// copies for drawing at small scales, each with a transparent border of one
// pixel so that filtering needs no bounds checks.
class Bitmap {
public:
    struct Level {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> padded; // (width + 2) x (height + 2)
        const uint32_t *pixel(int x, int y) const
        {
            return padded.data() + static_cast<size_t>(y + 1) * static_cast<size_t>(width + 2) + (x + 1);
        }
    };

    // pixels are premultiplied 0xAARRGGBB, width x height, rows top-down.
    Bitmap(int32_t id, int width, int height, std::vector<uint32_t> pixels);
    // From 8-bit indices into a palette of 0xRRGGBB colours; palette colour
    // 0x000000 is transparent, every other colour opaque.
    static Bitmap fromIndexed(int32_t id, int width, int height, const uint8_t *indices, const uint32_t *palette,
                              int paletteSize = 256);

    int32_t id() const { return id_; }
    int width() const { return levels_[0].width; }
    int height() const { return levels_[0].height; }
    uint32_t at(int x, int y) const { return *levels_[0].pixel(x, y); }
    const Level &level(size_t k) const { return levels_[k < levels_.size() ? k : levels_.size() - 1]; }
    size_t levelCount() const { return levels_.size(); }
    // The unpadded picture (level 0) as an image.
    Image image() const;

private:
    int32_t id_;
    std::vector<Level> levels_;
};

// Draws src over dst through m, which maps the bitmap's pixel grid (pixel
// (i, j) covers [i, i+1) x [j, j+1)) onto dst's. Only pixels inside clip are
// touched. An integer translation is copied pixel for pixel; anything else is
// sampled bilinearly at each destination pixel's centre from the premultiplied
// colours (from a halved copy when the map shrinks the bitmap to half or
// less), so transparent edges stay clean.
void drawBitmap(Image &dst, const IRect &clip, const Bitmap &src, const Affine &m);

// The rectangle of dst that drawBitmap(dst, clip, src, m) may touch.
IRect drawBounds(const IRect &clip, int width, int height, const Affine &m);

// Composites src over dst, src's (0, 0) at (x, y), within clip.
void compositeOver(Image &dst, const IRect &clip, const Image &src, int x, int y);
// Copies src's pixels into dst as they are, src's (0, 0) at (x, y).
void copyInto(Image &dst, const IRect &clip, const Image &src, int x, int y);
void fillRect(Image &dst, const IRect &rect, uint32_t pixel);
// Fills with a colour over what is there (pixel premultiplied).
void blendRect(Image &dst, const IRect &rect, uint32_t pixel);

// Resamples src (covering [0, src.width) x [0, src.height)) onto the
// rectangle target of a new image of target's size: a box filter where it
// shrinks, a bilinear one where it grows.
Image resample(const Image &src, int targetWidth, int targetHeight);

// Straight (not premultiplied) RGBA bytes, rows top-down.
std::vector<uint8_t> straightRgba(const Image &image);

} // namespace host::render

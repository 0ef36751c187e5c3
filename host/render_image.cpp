#include "render_image.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace host::render {
namespace {

constexpr double Pi = 3.14159265358979323846;

// p scaled by k / 255 on all four channels at once.
inline uint32_t scaleBy(uint32_t p, uint32_t k)
{
    uint32_t rb = (p & 0x00ff00ffu) * k + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    uint32_t ag = ((p >> 8) & 0x00ff00ffu) * k + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
    return rb | ag;
}

// Premultiplied source over destination.
inline void over(uint32_t &d, uint32_t s)
{
    const uint32_t alpha = s >> 24;
    if (alpha == 0)
        return;
    d = alpha == 255 ? s : s + scaleBy(d, 255 - alpha);
}

// p towards q by f / 256 (f in 0..255), rounded; equal inputs come out
// unchanged.
inline uint32_t lerp(uint32_t p, uint32_t q, uint32_t f)
{
    const uint32_t g = 256 - f;
    const uint32_t rb = (((p & 0x00ff00ffu) * g + (q & 0x00ff00ffu) * f + 0x00800080u) >> 8) & 0x00ff00ffu;
    const uint32_t ag = (((p >> 8) & 0x00ff00ffu) * g + ((q >> 8) & 0x00ff00ffu) * f + 0x00800080u) & 0xff00ff00u;
    return rb | ag;
}

bool finite(const Affine &m)
{
    return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
           std::isfinite(m.e) && std::isfinite(m.f);
}

// Beyond this a coordinate is far off any image; it also keeps fixed-point
// arithmetic in range.
constexpr double CoordinateLimit = 1 << 20;
constexpr int MaxBitmapSide = 16384;

Bitmap::Level paddedLevel(int width, int height, const uint32_t *pixels)
{
    Bitmap::Level level;
    level.width = width;
    level.height = height;
    level.padded.assign(static_cast<size_t>(width + 2) * static_cast<size_t>(height + 2), 0);
    for (int y = 0; y < height; ++y)
        std::copy(pixels + static_cast<size_t>(y) * width, pixels + static_cast<size_t>(y + 1) * width,
                  const_cast<uint32_t *>(level.pixel(0, y)));
    return level;
}

// The next smaller copy: each pixel the mean of a 2 x 2 block, the block
// reaching past an odd edge taking transparency there.
Bitmap::Level halved(const Bitmap::Level &from)
{
    const int width = (from.width + 1) / 2;
    const int height = (from.height + 1) / 2;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t *p = from.pixel(2 * x, 2 * y);
            const size_t stride = static_cast<size_t>(from.width + 2);
            const uint32_t block[4] = {p[0], p[1], p[stride], p[stride + 1]};
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 2;
                for (uint32_t v : block)
                    sum += (v >> shift) & 0xff;
                out |= (sum / 4) << shift;
            }
            pixels[static_cast<size_t>(y) * width + x] = out;
        }
    }
    return paddedLevel(width, height, pixels.data());
}

// Weights of one output sample along one axis.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// The filter of an axis of src pixels resampled to target pixels.
std::vector<Taps> axisTaps(int src, int target)
{
    std::vector<Taps> taps(static_cast<size_t>(target));
    const double scale = static_cast<double>(target) / src;
    for (int j = 0; j < target; ++j) {
        Taps &t = taps[static_cast<size_t>(j)];
        if (scale < 1.0) {
            // Box: the source interval this output pixel covers.
            const double from = j / scale;
            const double to = (j + 1) / scale;
            t.first = static_cast<int>(std::floor(from));
            const int last = std::min(src - 1, static_cast<int>(std::ceil(to)) - 1);
            for (int i = t.first; i <= last; ++i) {
                const double overlap = std::min<double>(to, i + 1) - std::max<double>(from, i);
                t.weights.push_back(static_cast<float>(std::max(0.0, overlap) * scale));
            }
        } else {
            // Tent between the two nearest centres; the edge colour carries on
            // to the border.
            const double centre = std::clamp((j + 0.5) / scale - 0.5, 0.0, static_cast<double>(src - 1));
            t.first = std::min(static_cast<int>(std::floor(centre)), std::max(0, src - 2));
            const double frac = centre - t.first;
            t.weights.push_back(static_cast<float>(1.0 - frac));
            if (src > 1)
                t.weights.push_back(static_cast<float>(frac));
        }
    }
    return taps;
}

} // namespace

IRect intersect(const IRect &a, const IRect &b)
{
    const int x0 = std::max(a.x, b.x);
    const int y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.right(), b.right());
    const int y1 = std::min(a.bottom(), b.bottom());
    if (x1 <= x0 || y1 <= y0)
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

IRect unite(const IRect &a, const IRect &b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const int x0 = std::min(a.x, b.x);
    const int y0 = std::min(a.y, b.y);
    return {x0, y0, std::max(a.right(), b.right()) - x0, std::max(a.bottom(), b.bottom()) - y0};
}

uint32_t colourFromRecord(uint32_t bbggrr)
{
    const uint32_t r = bbggrr & 0xff;
    const uint32_t g = (bbggrr >> 8) & 0xff;
    const uint32_t b = (bbggrr >> 16) & 0xff;
    return 0xff000000u | (r << 16) | (g << 8) | b;
}

Image::Image(int width, int height, uint32_t fill)
    : width(std::max(width, 0)), height(std::max(height, 0)),
      pixels(static_cast<size_t>(this->width) * static_cast<size_t>(this->height), fill)
{
}

Affine Affine::rotation(double degrees)
{
    const double r = std::fmod(degrees, 360.0) * Pi / 180.0;
    const double cs = std::cos(r);
    const double sn = std::sin(r);
    // On a y-down grid this matrix turns clockwise as seen.
    return {cs, sn, -sn, cs, 0, 0};
}

Affine Affine::operator*(const Affine &o) const
{
    return {a * o.a + c * o.b, b * o.a + d * o.b, a * o.c + c * o.d,
            b * o.c + d * o.d, a * o.e + c * o.f + e, b * o.e + d * o.f + f};
}

Affine Affine::inverse() const
{
    const double det = determinant();
    const double ia = d / det;
    const double ib = -b / det;
    const double ic = -c / det;
    const double id = a / det;
    return {ia, ib, ic, id, -(ia * e + ic * f), -(ib * e + id * f)};
}

Bitmap::Bitmap(int32_t id, int width, int height, std::vector<uint32_t> pixels) : id_(id)
{
    if (width <= 0 || height <= 0 || width > MaxBitmapSide || height > MaxBitmapSide ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
        throw std::invalid_argument("bitmap " + std::to_string(id) + " has an unusable size");
    levels_.push_back(paddedLevel(width, height, pixels.data()));
    while (levels_.back().width > 1 || levels_.back().height > 1)
        levels_.push_back(halved(levels_.back()));
}

Bitmap Bitmap::fromIndexed(int32_t id, int width, int height, const uint8_t *indices, const uint32_t *palette,
                           int paletteSize)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0)));
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int index = indices[i];
        const uint32_t colour = index < paletteSize ? palette[index] & 0xffffffu : 0u;
        // Pure black is the colour the host leaves undrawn.
        pixels[i] = colour == 0 ? 0u : opaque(colour);
    }
    return Bitmap(id, width, height, std::move(pixels));
}

Image Bitmap::image() const
{
    Image out(width(), height());
    for (int y = 0; y < out.height; ++y)
        std::copy(levels_[0].pixel(0, y), levels_[0].pixel(0, y) + out.width, out.row(y));
    return out;
}

IRect drawBounds(const IRect &clip, int width, int height, const Affine &m)
{
    if (!finite(m))
        return {};
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    const double corners[4][2] = {{0, 0}, {double(width), 0}, {0, double(height)}, {double(width), double(height)}};
    for (const auto &corner : corners) {
        double x, y;
        m.apply(corner[0], corner[1], x, y);
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    if (x0 < -CoordinateLimit || y0 < -CoordinateLimit || x1 > CoordinateLimit || y1 > CoordinateLimit) {
        x0 = std::max(x0, -CoordinateLimit);
        y0 = std::max(y0, -CoordinateLimit);
        x1 = std::min(x1, CoordinateLimit);
        y1 = std::min(y1, CoordinateLimit);
        if (x1 <= x0 || y1 <= y0)
            return {};
    }
    // One pixel more on every side: filtering spreads an edge by up to one.
    const int ix0 = static_cast<int>(std::floor(x0)) - 1;
    const int iy0 = static_cast<int>(std::floor(y0)) - 1;
    const int ix1 = static_cast<int>(std::ceil(x1)) + 1;
    const int iy1 = static_cast<int>(std::ceil(y1)) + 1;
    return intersect(clip, {ix0, iy0, ix1 - ix0, iy1 - iy0});
}

void drawBitmap(Image &dst, const IRect &clip, const Bitmap &src, const Affine &m)
{
    const IRect area = intersect(clip, dst.bounds());
    if (area.empty() || !finite(m))
        return;

    // Fast path: a whole-pixel move copies the bitmap as it is.
    if (m.a == 1 && m.b == 0 && m.c == 0 && m.d == 1 && std::fabs(m.e) < CoordinateLimit &&
        std::fabs(m.f) < CoordinateLimit && m.e == std::floor(m.e) && m.f == std::floor(m.f)) {
        const int ox = static_cast<int>(m.e);
        const int oy = static_cast<int>(m.f);
        const IRect box = intersect(area, {ox, oy, src.width(), src.height()});
        for (int y = box.y; y < box.bottom(); ++y) {
            uint32_t *out = dst.row(y);
            const uint32_t *in = src.level(0).pixel(0, y - oy);
            for (int x = box.x; x < box.right(); ++x)
                over(out[x], in[x - ox]);
        }
        return;
    }

    const double det = m.determinant();
    if (!(std::fabs(det) > 1e-12))
        return;
    // A copy halved k times keeps the sampled step near one source pixel.
    const double scale = std::sqrt(std::fabs(det));
    size_t k = 0;
    while (k + 1 < src.levelCount() && scale * static_cast<double>(size_t(1) << (k + 1)) <= 1.0 + 1e-9)
        ++k;
    const Bitmap::Level &level = src.level(k);
    const double unit = static_cast<double>(size_t(1) << k);
    const Affine mk = m * Affine::scaling(unit, unit);
    const Affine inv = mk.inverse();
    if (!finite(inv))
        return;

    const IRect box = drawBounds(area, level.width, level.height, mk);
    const int w = level.width;
    const int h = level.height;
    const size_t stride = static_cast<size_t>(w + 2);
    constexpr double One = 65536.0;
    const int32_t du = static_cast<int32_t>(std::lround(inv.a * One));
    const int32_t dv = static_cast<int32_t>(std::lround(inv.b * One));

    for (int y = box.y; y < box.bottom(); ++y) {
        // Texel coordinates of this row's pixel centres, less half a texel:
        // the filter's top-left tap.
        const double u0 = inv.a * (box.x + 0.5) + inv.c * (y + 0.5) + inv.e - 0.5;
        const double v0 = inv.b * (box.x + 0.5) + inv.d * (y + 0.5) + inv.f - 0.5;
        // The run of pixels whose taps touch the bitmap: -1 < u < w, -1 < v < h.
        double lo = 0.0, hi = box.width;
        auto limit = [&](double start, double step, double size) {
            if (step == 0.0) {
                if (!(start > -1.0 && start < size))
                    hi = lo;
                return;
            }
            double a = (-1.0 - start) / step;
            double b = (size - start) / step;
            if (a > b)
                std::swap(a, b);
            lo = std::max(lo, a);
            hi = std::min(hi, b);
        };
        limit(u0, inv.a, w);
        limit(v0, inv.b, h);
        if (!(hi > lo))
            continue;
        const int first = static_cast<int>(std::max(0.0, std::floor(lo)));
        const int last = static_cast<int>(std::min<double>(box.width, std::ceil(hi)));
        int32_t u = static_cast<int32_t>(std::lround((u0 + inv.a * first) * One));
        int32_t v = static_cast<int32_t>(std::lround((v0 + inv.b * first) * One));
        uint32_t *out = dst.row(y) + box.x;
        for (int i = first; i < last; ++i, u += du, v += dv) {
            // Rounding at the ends of the run may step just outside.
            const int32_t cu = std::clamp<int32_t>(u, -65536, w * 65536 - 1);
            const int32_t cv = std::clamp<int32_t>(v, -65536, h * 65536 - 1);
            const uint32_t *p = level.pixel(cu >> 16, cv >> 16);
            const uint32_t p00 = p[0], p10 = p[1], p01 = p[stride], p11 = p[stride + 1];
            if ((p00 | p10 | p01 | p11) == 0)
                continue;
            // Inside an even patch filtering changes nothing.
            if (p00 == p10 && p00 == p01 && p00 == p11) {
                over(out[i], p00);
                continue;
            }
            const uint32_t fx = (static_cast<uint32_t>(cu) >> 8) & 0xff;
            const uint32_t fy = (static_cast<uint32_t>(cv) >> 8) & 0xff;
            over(out[i], lerp(lerp(p00, p10, fx), lerp(p01, p11, fx), fy));
        }
    }
}

void compositeOver(Image &dst, const IRect &clip, const Image &src, int x, int y)
{
    const IRect box = intersect(intersect(clip, dst.bounds()), {x, y, src.width, src.height});
    for (int row = box.y; row < box.bottom(); ++row) {
        uint32_t *out = dst.row(row);
        const uint32_t *in = src.row(row - y) - x;
        for (int col = box.x; col < box.right(); ++col)
            over(out[col], in[col]);
    }
}

void copyInto(Image &dst, const IRect &clip, const Image &src, int x, int y)
{
    const IRect box = intersect(intersect(clip, dst.bounds()), {x, y, src.width, src.height});
    for (int row = box.y; row < box.bottom(); ++row)
        std::copy(src.row(row - y) + (box.x - x), src.row(row - y) + (box.right() - x), dst.row(row) + box.x);
}

void fillRect(Image &dst, const IRect &rect, uint32_t pixel)
{
    const IRect box = intersect(rect, dst.bounds());
    for (int y = box.y; y < box.bottom(); ++y)
        std::fill(dst.row(y) + box.x, dst.row(y) + box.right(), pixel);
}

void blendRect(Image &dst, const IRect &rect, uint32_t pixel)
{
    const IRect box = intersect(rect, dst.bounds());
    for (int y = box.y; y < box.bottom(); ++y)
        for (int x = box.x; x < box.right(); ++x)
            over(dst.row(y)[x], pixel);
}

Image resample(const Image &src, int targetWidth, int targetHeight)
{
    Image out(targetWidth, targetHeight);
    if (src.width <= 0 || src.height <= 0 || out.width == 0 || out.height == 0)
        return out;
    if (src.width == out.width && src.height == out.height)
        return src;
    const std::vector<Taps> across = axisTaps(src.width, out.width);
    const std::vector<Taps> down = axisTaps(src.height, out.height);
    // Across first, into floats; then down.
    std::vector<float> mid(static_cast<size_t>(out.width) * src.height * 4, 0.0f);
    for (int y = 0; y < src.height; ++y) {
        const uint32_t *in = src.row(y);
        for (int x = 0; x < out.width; ++x) {
            const Taps &t = across[static_cast<size_t>(x)];
            float *acc = &mid[(static_cast<size_t>(y) * out.width + x) * 4];
            for (size_t i = 0; i < t.weights.size(); ++i) {
                const uint32_t p = in[t.first + static_cast<int>(i)];
                for (int c = 0; c < 4; ++c)
                    acc[c] += t.weights[i] * static_cast<float>((p >> (8 * c)) & 0xff);
            }
        }
    }
    for (int y = 0; y < out.height; ++y) {
        const Taps &t = down[static_cast<size_t>(y)];
        uint32_t *row = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (size_t i = 0; i < t.weights.size(); ++i) {
                const float *m = &mid[(static_cast<size_t>(t.first + static_cast<int>(i)) * out.width + x) * 4];
                for (int c = 0; c < 4; ++c)
                    acc[c] += t.weights[i] * m[c];
            }
            // Keep premultiplied colour within its alpha.
            const int alpha = std::clamp(static_cast<int>(std::lround(acc[3])), 0, 255);
            uint32_t p = static_cast<uint32_t>(alpha) << 24;
            for (int c = 0; c < 3; ++c)
                p |= static_cast<uint32_t>(std::clamp(static_cast<int>(std::lround(acc[c])), 0, alpha)) << (8 * c);
            row[x] = p;
        }
    }
    return out;
}

std::vector<uint8_t> straightRgba(const Image &image)
{
    std::vector<uint8_t> bytes(image.pixels.size() * 4);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint32_t p = image.pixels[i];
        const uint32_t a = p >> 24;
        const uint32_t channel[3] = {(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff};
        for (int c = 0; c < 3; ++c)
            bytes[i * 4 + c] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (channel[c] * 255 + a / 2) / a));
        bytes[i * 4 + 3] = static_cast<uint8_t>(a);
    }
    return bytes;
}

} // namespace host::render

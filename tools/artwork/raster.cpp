#include "raster.h"

#include "draw.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <unordered_map>

namespace artwork {

// ---- Rendering -------------------------------------------------------------

RgbaImage render(const Picture &picture)
{
    if (!picture.draw)
        throw std::logic_error("picture " + std::to_string(picture.id) + " has nothing to draw");
    cairo_surface_t *surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
    cairo_t *cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GOOD);
    picture.draw(cr);
    const cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        throw std::runtime_error("drawing picture " + std::to_string(picture.id) +
                                 " failed: " + cairo_status_to_string(status));
    }

    RgbaImage image{picture.width, picture.height, {}};
    image.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    const unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < picture.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < picture.width; ++x) {
            // Premultiplied ARGB in native order; undo the premultiplication.
            const uint32_t v = row[x];
            const unsigned a = v >> 24;
            Rgba &out = image.pixels[static_cast<size_t>(y) * picture.width + x];
            out.a = static_cast<uint8_t>(a);
            if (a == 0)
                continue;
            auto straight = [a](unsigned premultiplied) {
                return static_cast<uint8_t>(std::min(255u, (premultiplied * 255 + a / 2) / a));
            };
            out.r = straight((v >> 16) & 0xff);
            out.g = straight((v >> 8) & 0xff);
            out.b = straight(v & 0xff);
        }
    }
    cairo_surface_destroy(surface);
    return image;
}

// ---- Lit transform ---------------------------------------------------------

Rgb litColour(Rgb day, const LitTone &tone)
{
    for (const auto &[from, to] : tone.exact)
        if (from == day)
            return to;
    const double luminance = (0.299 * day.r + 0.587 * day.g + 0.114 * day.b) / 255.0;
    const int highest = std::max({day.r, day.g, day.b});
    const int lowest = std::min({day.r, day.g, day.b});
    const double saturation = highest == 0 ? 0.0 : double(highest - lowest) / highest;
    // Greys and whites: along the warm ramp by luminance.
    const Rgb ramp = mix(tone.low, tone.high, luminance);
    // Colours: their own hue, dimmed and warmed (less blue, a little less green).
    const Rgb warmed = scaled({static_cast<int>(day.r * 1.0), static_cast<int>(day.g * 0.82),
                               static_cast<int>(day.b * 0.45)},
                              tone.colourDim);
    return mix(ramp, warmed, saturation);
}

RgbaImage litImage(const RgbaImage &day, const LitTone &tone)
{
    RgbaImage lit = day;
    std::unordered_map<uint32_t, Rgb> cache;
    for (Rgba &p : lit.pixels) {
        if (p.a == 0)
            continue;
        const Rgb in{p.r, p.g, p.b};
        auto found = cache.find(packRgb(in));
        if (found == cache.end())
            found = cache.emplace(packRgb(in), litColour(in, tone)).first;
        p.r = static_cast<uint8_t>(found->second.r);
        p.g = static_cast<uint8_t>(found->second.g);
        p.b = static_cast<uint8_t>(found->second.b);
    }
    return lit;
}

// ---- Quantising ------------------------------------------------------------

namespace {

constexpr size_t PaletteSize = 256;
constexpr size_t ShapeColours = PaletteSize - 1; // index 0 is black
constexpr size_t PinnedByFrequency = 24;
constexpr uint8_t CoverageThreshold = 128;

struct Weighted {
    uint32_t colour;
    uint64_t count;
};

int channel(uint32_t colour, int which)
{
    return static_cast<int>((colour >> (16 - 8 * which)) & 0xff);
}

struct Box {
    std::vector<Weighted> colours;
    uint64_t total = 0;
    int widest = 0;
    int range = 0;

    void measure()
    {
        total = 0;
        range = -1;
        for (int c = 0; c < 3; ++c) {
            int lo = 255;
            int hi = 0;
            for (const Weighted &w : colours) {
                lo = std::min(lo, channel(w.colour, c));
                hi = std::max(hi, channel(w.colour, c));
            }
            if (hi - lo > range) {
                range = hi - lo;
                widest = c;
            }
        }
        for (const Weighted &w : colours)
            total += w.count;
    }

    Rgb mean() const
    {
        double sum[3] = {0, 0, 0};
        for (const Weighted &w : colours)
            for (int c = 0; c < 3; ++c)
                sum[c] += double(channel(w.colour, c)) * double(w.count);
        auto at = [&](int c) { return static_cast<int>(std::lround(sum[c] / double(total))); };
        return {at(0), at(1), at(2)};
    }
};

// Median cut: split the box with the widest spread (weighted by how many
// pixels it holds) at its pixel-weighted median until there are enough.
std::vector<Rgb> medianCut(std::vector<Weighted> colours, size_t wanted)
{
    std::vector<Box> boxes;
    if (colours.empty() || wanted == 0)
        return {};
    boxes.push_back({std::move(colours)});
    boxes.back().measure();
    while (boxes.size() < wanted) {
        size_t pick = boxes.size();
        double best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2)
                continue;
            const double score = double(boxes[i].range) * std::sqrt(double(boxes[i].total));
            if (pick == boxes.size() || score > best) {
                pick = i;
                best = score;
            }
        }
        if (pick == boxes.size())
            break;
        Box &box = boxes[pick];
        const int c = box.widest;
        std::sort(box.colours.begin(), box.colours.end(), [c](const Weighted &a, const Weighted &b) {
            return channel(a.colour, c) != channel(b.colour, c) ? channel(a.colour, c) < channel(b.colour, c)
                                                                : a.colour < b.colour;
        });
        uint64_t running = 0;
        size_t cut = 1;
        for (; cut < box.colours.size(); ++cut) {
            running += box.colours[cut - 1].count;
            if (running * 2 >= box.total)
                break;
        }
        cut = std::clamp<size_t>(cut, 1, box.colours.size() - 1);
        Box upper{std::vector<Weighted>(box.colours.begin() + static_cast<long>(cut), box.colours.end())};
        box.colours.resize(cut);
        box.measure();
        upper.measure();
        boxes.push_back(std::move(upper));
    }
    std::vector<Rgb> palette;
    for (const Box &box : boxes)
        palette.push_back(box.mean());
    return palette;
}

int distance(Rgb a, Rgb b)
{
    const int dr = a.r - b.r;
    const int dg = a.g - b.g;
    const int db = a.b - b.b;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

} // namespace

IndexedImage quantise(const RgbaImage &image, const std::vector<Rgb> &keyColours)
{
    const size_t count = image.pixels.size();
    std::vector<uint32_t> colours(count, 0);
    std::vector<bool> shape(count, false);
    std::map<uint32_t, uint64_t> histogram;
    for (size_t i = 0; i < count; ++i) {
        const Rgba &p = image.pixels[i];
        if (p.a < CoverageThreshold)
            continue;
        Rgb c{p.r, p.g, p.b};
        if (c == PureBlack)
            c = NudgedBlack;
        shape[i] = true;
        colours[i] = packRgb(c);
        ++histogram[colours[i]];
    }

    std::vector<Rgb> palette{PureBlack};
    if (histogram.size() <= ShapeColours) {
        for (const auto &[colour, n] : histogram)
            palette.push_back(unpackRgb(colour));
    } else {
        std::vector<uint32_t> pinned;
        for (const Rgb &key : keyColours)
            if (!(key == PureBlack) && histogram.count(packRgb(key)) &&
                std::find(pinned.begin(), pinned.end(), packRgb(key)) == pinned.end())
                pinned.push_back(packRgb(key));
        std::vector<Weighted> byCount;
        for (const auto &[colour, n] : histogram)
            byCount.push_back({colour, n});
        std::stable_sort(byCount.begin(), byCount.end(),
                         [](const Weighted &a, const Weighted &b) { return a.count > b.count; });
        for (const Weighted &w : byCount) {
            if (pinned.size() >= PinnedByFrequency + keyColours.size())
                break;
            if (std::find(pinned.begin(), pinned.end(), w.colour) == pinned.end())
                pinned.push_back(w.colour);
        }
        std::vector<Weighted> rest;
        for (const auto &[colour, n] : histogram)
            if (std::find(pinned.begin(), pinned.end(), colour) == pinned.end())
                rest.push_back({colour, n});
        for (uint32_t colour : pinned)
            palette.push_back(unpackRgb(colour));
        for (const Rgb &c : medianCut(std::move(rest), ShapeColours - pinned.size()))
            palette.push_back(c == PureBlack ? NudgedBlack : c);
    }

    // Each distinct shape colour to its palette entry; black is never chosen.
    std::unordered_map<uint32_t, uint8_t> lookup;
    for (const auto &[colour, n] : histogram) {
        const Rgb c = unpackRgb(colour);
        size_t best = 1;
        int bestDistance = distance(c, palette[1]);
        for (size_t i = 2; i < palette.size() && bestDistance > 0; ++i) {
            const int d = distance(c, palette[i]);
            if (d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        lookup[colour] = static_cast<uint8_t>(best);
    }

    IndexedImage out{image.width, image.height, palette, std::vector<uint8_t>(count, 0)};
    out.palette.resize(PaletteSize, PureBlack);
    for (size_t i = 0; i < count; ++i)
        if (shape[i])
            out.pixels[i] = lookup[colours[i]];
    return out;
}

// ---- BMP -------------------------------------------------------------------

namespace {

void put16(std::vector<uint8_t> &out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

} // namespace

std::vector<uint8_t> encodeBmp(const IndexedImage &image)
{
    constexpr uint32_t FileHeaderSize = 14;
    constexpr uint32_t InfoHeaderSize = 40;
    const uint32_t stride = (static_cast<uint32_t>(image.width) + 3) & ~3u;
    const uint32_t pixelBytes = stride * static_cast<uint32_t>(image.height);
    const uint32_t pixelOffset = FileHeaderSize + InfoHeaderSize + 4 * PaletteSize;

    std::vector<uint8_t> out;
    out.reserve(pixelOffset + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, pixelOffset + pixelBytes);
    put32(out, 0);
    put32(out, pixelOffset);

    put32(out, InfoHeaderSize);
    put32(out, static_cast<uint32_t>(image.width));
    put32(out, static_cast<uint32_t>(image.height)); // positive: bottom-up rows
    put16(out, 1);                                   // planes
    put16(out, 8);                                   // bits per pixel
    put32(out, 0);                                   // no compression
    put32(out, pixelBytes);
    put32(out, 2835); // 72 dots per inch
    put32(out, 2835);
    put32(out, PaletteSize);
    put32(out, 0);

    for (size_t i = 0; i < PaletteSize; ++i) {
        const Rgb c = i < image.palette.size() ? image.palette[i] : PureBlack;
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t *row = image.pixels.data() + static_cast<size_t>(y) * image.width;
        out.insert(out.end(), row, row + image.width);
        out.insert(out.end(), stride - static_cast<uint32_t>(image.width), 0);
    }
    return out;
}

} // namespace artwork

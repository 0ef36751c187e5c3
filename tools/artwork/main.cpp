// gauge_artwork: draws every bitmap of a gauge module and writes what the
// build embeds in the module file.
//
//   gauge_artwork MODULE OUTDIR
//       OUTDIR/MODULE.bitmaps   the blob for the ELF section (see
//                               bitmap_blob_format.h)
//       OUTDIR/MODULE.rc        BITMAP resources by numeric id, for windres
//       OUTDIR/bmp/ID.bmp       one BMP file per bitmap (the .rc names them)
//   gauge_artwork --preview MODULE OUTDIR [SCALE]
//       OUTDIR/MODULE-NAME.png  the module's gauges composed from their
//                               bitmaps, for checking by eye
#include "bitmap_blob_format.h"
#include "draw.h"
#include "picture.h"
#include "raster.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using namespace artwork;

namespace {

ModuleArtwork moduleArtwork(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "korvo0")
        return korvo0Artwork();
    if (name == "korvo6")
        return korvo6Artwork();
    if (name == "vantrel")
        return vantrelArtwork();
    throw std::runtime_error("no artwork for module \"" + name + "\"");
}

// Draws every picture; lit twins from their day picture's rendering.
std::map<int32_t, IndexedImage> makeBitmaps(const ModuleArtwork &artwork)
{
    std::map<int32_t, RgbaImage> drawn;
    std::map<int32_t, IndexedImage> bitmaps;
    for (const Picture &picture : artwork.pictures)
        if (picture.draw)
            drawn[picture.id] = render(picture);
    for (const Picture &picture : artwork.pictures) {
        if (bitmaps.count(picture.id))
            throw std::runtime_error("bitmap id " + std::to_string(picture.id) + " listed twice");
        if (picture.draw) {
            bitmaps[picture.id] = quantise(drawn.at(picture.id), picture.keyColours);
            continue;
        }
        auto day = drawn.find(picture.litOf);
        if (day == drawn.end() || !picture.tone)
            throw std::runtime_error("lit bitmap " + std::to_string(picture.id) +
                                     " has no drawn day twin");
        bitmaps[picture.id] = quantise(litImage(day->second, *picture.tone), picture.keyColours);
    }
    return bitmaps;
}

void writeFile(const fs::path &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void put32(std::vector<uint8_t> &out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> makeBlob(const std::map<int32_t, std::vector<uint8_t>> &files)
{
    using namespace gauge_bitmaps;
    std::vector<uint8_t> blob(HeaderSize + EntrySize * files.size(), 0);
    std::copy(std::begin(Magic), std::end(Magic), blob.begin());
    put32(blob, 4, FormatVersion);
    put32(blob, 8, static_cast<uint32_t>(files.size()));
    size_t entry = HeaderSize;
    for (const auto &[id, bytes] : files) {
        while (blob.size() % 4)
            blob.push_back(0);
        put32(blob, entry, static_cast<uint32_t>(id));
        put32(blob, entry + 4, static_cast<uint32_t>(blob.size()));
        put32(blob, entry + 8, static_cast<uint32_t>(bytes.size()));
        blob.insert(blob.end(), bytes.begin(), bytes.end());
        entry += EntrySize;
    }
    return blob;
}

int generate(const std::string &module, const fs::path &outDir)
{
    const ModuleArtwork artwork = moduleArtwork(module);
    const std::map<int32_t, IndexedImage> bitmaps = makeBitmaps(artwork);
    fs::create_directories(outDir / "bmp");

    std::map<int32_t, std::vector<uint8_t>> files;
    std::string rc = "// Bitmap resources of " + artwork.module + ", by numeric id; generated.\n";
    for (const auto &[id, image] : bitmaps) {
        files[id] = encodeBmp(image);
        char name[32];
        std::snprintf(name, sizeof name, "%04X.bmp", static_cast<unsigned>(id));
        const fs::path bmp = fs::absolute(outDir / "bmp" / name);
        writeFile(bmp, files[id]);
        rc += std::to_string(id) + " BITMAP \"" + bmp.generic_string() + "\"\n";
    }
    writeFile(outDir / (module + ".bitmaps"), makeBlob(files));
    writeFile(outDir / (module + ".rc"), std::vector<uint8_t>(rc.begin(), rc.end()));
    return 0;
}

// An indexed bitmap as a cairo surface, black left transparent as the host
// leaves it.
cairo_surface_t *surfaceOf(const IndexedImage &image)
{
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < image.width; ++x) {
            const Rgb c = image.palette[image.pixels[static_cast<size_t>(y) * image.width + x]];
            row[x] = c == PureBlack ? 0u : (0xff000000u | packRgb(c));
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

int preview(const std::string &module, const fs::path &outDir, int scale)
{
    const ModuleArtwork artwork = moduleArtwork(module);
    const std::map<int32_t, IndexedImage> bitmaps = makeBitmaps(artwork);
    fs::create_directories(outDir);
    for (const Preview &p : artwork.previews) {
        cairo_surface_t *target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, p.width * scale, p.height * scale);
        cairo_t *cr = cairo_create(target);
        cairo_scale(cr, scale, scale);
        setColour(cr, {40, 60, 90}); // a panel colour, so black shows as see-through
        cairo_paint(cr);
        for (const PreviewLayer &layer : p.layers) {
            cairo_surface_t *source = surfaceOf(bitmaps.at(layer.id));
            cairo_save(cr);
            cairo_translate(cr, layer.position.x + 0.5, layer.position.y + 0.5);
            cairo_rotate(cr, radians(layer.angle));
            cairo_translate(cr, -layer.offset.x - 0.5, -layer.offset.y - 0.5);
            cairo_set_source_surface(cr, source, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
            cairo_paint(cr);
            cairo_restore(cr);
            cairo_surface_destroy(source);
        }
        cairo_destroy(cr);
        const fs::path file = outDir / (artwork.module + "-" + p.name + ".png");
        cairo_surface_write_to_png(target, file.c_str());
        cairo_surface_destroy(target);
    }
    return 0;
}

int usage()
{
    std::cerr << "usage: gauge_artwork MODULE OUTDIR\n"
                 "       gauge_artwork --preview MODULE OUTDIR [SCALE]\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        requireFonts();
        if (argc == 3 && argv[1][0] != '-')
            return generate(argv[1], argv[2]);
        if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--preview") == 0)
            return preview(argv[2], argv[3], argc == 5 ? std::clamp(std::atoi(argv[4]), 1, 8) : 1);
        return usage();
    } catch (const std::exception &error) {
        std::cerr << "gauge_artwork: " << error.what() << "\n";
        return 1;
    }
}

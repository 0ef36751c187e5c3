// Reading the bitmaps a module file carries: from the ".gauge_bitmaps"
// section of an ELF module, or from the BITMAP resources of a PE module.
// The file is untrusted input: every count, offset and size is checked
// before it is used, and a malformed file gives a ResourceError, never a
// read outside the file.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

struct ResourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct PaletteColour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const PaletteColour &, const PaletteColour &) = default;
};

// One palette bitmap, decoded.
struct BitmapResource {
    int32_t id = 0;
    int32_t width = 0;
    int32_t height = 0;
    int bitsPerPixel = 0;     // 1, 4 or 8, as the file stores it
    int paletteSize = 0;      // entries in the file's palette
    std::vector<PaletteColour> palette;
    std::vector<uint8_t> pixels; // palette indices, top-down rows, width x height

    uint8_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    PaletteColour colourAt(int32_t x, int32_t y) const { return palette[at(x, y)]; }
};

// The largest picture accepted, so a forged header cannot ask for gigabytes.
constexpr int32_t MaxBitmapSide = 16384;
constexpr uint64_t MaxBitmapPixels = 64ull * 1024 * 1024;

// All bitmaps of a module file, in ascending id. A module without any
// bitmaps gives an empty list; a file that is neither ELF nor PE, or whose
// bitmap data is malformed, throws.
std::vector<BitmapResource> readModuleBitmaps(const std::string &path);
std::vector<BitmapResource> readModuleBitmaps(std::span<const uint8_t> file, const std::string &name);

// The pieces, for tests and for other readers.
std::vector<BitmapResource> readBitmapBlob(std::span<const uint8_t> blob);
std::vector<BitmapResource> readPeBitmaps(std::span<const uint8_t> file);
// A BMP file (with its 14-byte file header) or a bare DIB (info header,
// palette, pixels) as a BITMAP resource holds it.
BitmapResource decodeBmpFile(std::span<const uint8_t> bytes, int32_t id);
BitmapResource decodeDib(std::span<const uint8_t> bytes, int32_t id);

} // namespace host

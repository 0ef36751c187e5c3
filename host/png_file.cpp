#include "png_file.h"

#include "host.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace host::render {
namespace {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void pngError(png_structp png, png_const_charp message)
{
    auto *text = static_cast<std::string *>(png_get_error_ptr(png));
    if (text)
        *text = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

void writePng(const std::string &path, const Image &image)
{
    if (image.width <= 0 || image.height <= 0)
        throw HostError("cannot write " + path + ": the picture is empty");
    const bool opaqueOnly =
        std::all_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return (p >> 24) == 0xff; });
    const std::vector<uint8_t> rgba = straightRgba(image);
    const int channels = opaqueOnly ? 3 : 4;
    std::vector<uint8_t> bytes(static_cast<size_t>(image.width) * image.height * channels);
    for (size_t i = 0, o = 0; i < image.pixels.size(); ++i)
        for (int c = 0; c < channels; ++c)
            bytes[o++] = rgba[i * 4 + c];

    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw HostError("cannot write " + path);
    std::string problem;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &problem, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        throw HostError("cannot write " + path + ": out of memory");
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[static_cast<size_t>(y)] = bytes.data() + static_cast<size_t>(y) * image.width * channels;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw HostError("cannot write " + path + ": " + problem);
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 opaqueOnly ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0)
        throw HostError("cannot write " + path);
}

Image readPng(const std::string &path)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw HostError("cannot read " + path);
    std::string problem;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &problem, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw HostError("cannot read " + path + ": out of memory");
    }
    Image image;
    std::vector<uint8_t> bytes;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw HostError("cannot read " + path + ": " + problem);
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) != 8 || (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGBA) ||
        width == 0 || height == 0 || width > 16384 || height > 16384) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw HostError("cannot read " + path + ": not an 8-bit RGB or RGBA picture");
    }
    const int channels = type == PNG_COLOR_TYPE_RGBA ? 4 : 3;
    bytes.resize(static_cast<size_t>(width) * height * channels);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = bytes.data() + static_cast<size_t>(y) * width * channels;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);

    image = Image(static_cast<int>(width), static_cast<int>(height));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const uint8_t *p = &bytes[i * channels];
        const uint32_t a = channels == 4 ? p[3] : 255;
        auto premultiply = [a](uint32_t c) { return (c * a + 127) / 255; };
        image.pixels[i] = (a << 24) | (premultiply(p[0]) << 16) | (premultiply(p[1]) << 8) | premultiply(p[2]);
    }
    return image;
}

} // namespace host::render

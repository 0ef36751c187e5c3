#include "animation.h"

#include "host.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace host {

GifAnimation::GifAnimation(std::string path, double framesPerSecond)
    : path_(std::move(path)), framesPerSecond_(framesPerSecond > 0 ? framesPerSecond : 18.0)
{
}

GifAnimation::~GifAnimation()
{
    if (gif_) {
        int error = 0;
        EGifCloseFile(gif_, &error);
        std::remove(path_.c_str());
    }
}

void GifAnimation::fail(const std::string &what)
{
    if (gif_) {
        int error = 0;
        EGifCloseFile(gif_, &error);
        gif_ = nullptr;
        std::remove(path_.c_str());
    }
    throw HostError("cannot write " + path_ + ": " + what);
}

void GifAnimation::open(int width, int height)
{
    // Opened here rather than by giflib, which would make the file private.
    const int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (file < 0)
        throw HostError("cannot write " + path_ + ": " + std::strerror(errno));
    int error = 0;
    gif_ = EGifOpenFileHandle(file, &error);
    if (!gif_) {
        ::close(file);
        throw HostError("cannot write " + path_ + ": " + GifErrorString(error));
    }
    width_ = width;
    height_ = height;
    EGifSetGifVersion(gif_, true);
    if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR)
        fail("screen description");
    // Loop forever.
    static const GifByteType netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, sizeof netscape, netscape) == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, sizeof loop, loop) == GIF_ERROR || EGifPutExtensionTrailer(gif_) == GIF_ERROR)
        fail("loop extension");
}

void GifAnimation::add(const render::Image &image)
{
    if (image.width <= 0 || image.height <= 0)
        throw HostError("cannot record an empty picture");
    if (!gif_)
        open(image.width, image.height);
    else if (image.width != width_ || image.height != height_)
        throw HostError("every recorded frame must have the size of the first");
    ++framesAdded_;
    if (pendingRepeats_ && image.pixels == lastSource_) {
        ++pendingRepeats_;
        return;
    }
    writePending();
    lastSource_ = image.pixels;

    const size_t count = image.pixels.size();
    std::vector<GifByteType> red(count), green(count), blue(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pixel = image.pixels[i];
        const uint32_t alpha = pixel >> 24;
        // Premultiplied colour back to plain; transparent reads as black.
        auto channel = [&](int shift) -> GifByteType {
            const uint32_t value = (pixel >> shift) & 0xff;
            return static_cast<GifByteType>(alpha == 0 ? 0 : std::min<uint32_t>(255, value * 255 / alpha));
        };
        red[i] = channel(16);
        green[i] = channel(8);
        blue[i] = channel(0);
    }
    int paletteSize = 256;
    std::vector<GifColorType> palette(256);
    pendingIndices_.assign(count, 0);
    if (GifQuantizeBuffer(static_cast<unsigned>(width_), static_cast<unsigned>(height_), &paletteSize, red.data(),
                          green.data(), blue.data(), pendingIndices_.data(), palette.data()) == GIF_ERROR)
        fail("a frame cannot be reduced to 256 colours");
    pendingPalette_.clear();
    for (const GifColorType &colour : palette) {
        pendingPalette_.push_back(colour.Red);
        pendingPalette_.push_back(colour.Green);
        pendingPalette_.push_back(colour.Blue);
    }
    pendingRepeats_ = 1;
}

void GifAnimation::writePending()
{
    if (!pendingRepeats_)
        return;
    // Display times in hundredths, rounded on the running total so that the
    // animation keeps the host's pace over its whole length.
    const auto start = std::lround(static_cast<double>(framesWritten_) * 100.0 / framesPerSecond_);
    framesWritten_ += pendingRepeats_;
    const auto end = std::lround(static_cast<double>(framesWritten_) * 100.0 / framesPerSecond_);
    pendingRepeats_ = 0;

    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = static_cast<int>(std::max(2L, end - start));
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    std::vector<GifColorType> colours(256);
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = {pendingPalette_[3 * i], pendingPalette_[3 * i + 1], pendingPalette_[3 * i + 2]};
    ColorMapObject *map = GifMakeMapObject(256, colours.data());
    const bool ok = map &&
                    EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) != GIF_ERROR &&
                    EGifPutImageDesc(gif_, 0, 0, width_, height_, false, map) != GIF_ERROR;
    GifFreeMapObject(map);
    if (!ok)
        fail("frame header");
    for (int y = 0; y < height_; ++y)
        if (EGifPutLine(gif_, pendingIndices_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_), width_) ==
            GIF_ERROR)
            fail("frame pixels");
}

void GifAnimation::finish()
{
    if (!gif_)
        throw HostError("nothing was recorded for " + path_);
    writePending();
    int error = 0;
    GifFileType *gif = gif_;
    gif_ = nullptr;
    if (EGifCloseFile(gif, &error) == GIF_ERROR)
        throw HostError("cannot finish " + path_ + ": " + GifErrorString(error));
}

} // namespace host

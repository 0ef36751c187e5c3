// Writing a run of panel pictures as an animated GIF, frame by frame.
#pragma once

#include "render_image.h"

#include <cstdint>
#include <string>
#include <vector>

struct GifFileType;

namespace host {

// Writes frames as a looping GIF as they come. Each frame is quantised to a
// palette of its own; a frame equal to the one before only lengthens its
// display time. finish() completes the file; an unfinished animation is
// removed.
class GifAnimation {
public:
    GifAnimation(std::string path, double framesPerSecond);
    ~GifAnimation();
    GifAnimation(const GifAnimation &) = delete;
    GifAnimation &operator=(const GifAnimation &) = delete;

    // Adds one frame; every frame has the size of the first. Throws HostError.
    void add(const render::Image &frame);
    // Host frames added so far, repeats included.
    size_t frames() const { return framesAdded_; }
    // Writes what is pending and closes the file. Throws HostError.
    void finish();

private:
    void open(int width, int height);
    void writePending();
    [[noreturn]] void fail(const std::string &what);

    std::string path_;
    double framesPerSecond_;
    GifFileType *gif_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> lastSource_;
    std::vector<unsigned char> pendingIndices_;
    std::vector<unsigned char> pendingPalette_; // r, g, b per entry
    size_t pendingRepeats_ = 0;
    size_t framesWritten_ = 0; // host frames already on file
    size_t framesAdded_ = 0;
};

} // namespace host

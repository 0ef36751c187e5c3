// PNG files of the host's images (libpng).
#pragma once

#include "render_image.h"

#include <string>

namespace host::render {

// Writes image as an 8-bit PNG: RGBA with its transparency, or RGB when every
// pixel is opaque. Throws HostError naming the file when it cannot.
void writePng(const std::string &path, const Image &image);

// Reads an 8-bit RGB or RGBA PNG back into a premultiplied image. Throws
// HostError when the file is not one.
Image readPng(const std::string &path);

} // namespace host::render

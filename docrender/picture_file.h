// Writes a rendered page: PNG through libpng (RGB on a white background,
// RGBA with straight alpha on none), or a 32-bit BMP (bottom-up BGRA rows,
// straight alpha), which the viewer reads fastest.
#pragma once

#include <cairo.h>

#include <string>

namespace hi {

enum class TPictureFormat { png, bmp };

// False when the surface is no ARGB32 image or the file cannot be written.
bool WritePicture(cairo_surface_t* surface, const std::string& utf8Name, TPictureFormat format, bool opaque);

}  // namespace hi

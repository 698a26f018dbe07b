#include "docrender/picture_file.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

#include "docrender/platform.h"

namespace hi {
namespace {

struct TFileCloser {
  std::FILE* f;
  ~TFileCloser() {
    if (f) std::fclose(f);
  }
};

// One row of premultiplied native-endian ARGB as straight bytes in the
// order R, G, B[, A] (PNG) or B, G, R, A (BMP).
void Unpremultiply(const uint32_t* in, int width, uint8_t* out, bool bgra, bool alpha) {
  for (int x = 0; x < width; ++x) {
    uint32_t p = in[x];
    uint32_t a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
    if (a != 0 && a != 255) {
      r = (r * 255 + a / 2) / a;
      g = (g * 255 + a / 2) / a;
      b = (b * 255 + a / 2) / a;
    }
    if (bgra) {
      *out++ = uint8_t(b);
      *out++ = uint8_t(g);
      *out++ = uint8_t(r);
    } else {
      *out++ = uint8_t(r);
      *out++ = uint8_t(g);
      *out++ = uint8_t(b);
    }
    if (alpha) *out++ = uint8_t(a);
  }
}

bool WritePng(std::FILE* f, const uint8_t* data, int stride, int width, int height, bool opaque) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(size_t(width) * 4);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, f);
  // A fast setting, the pictures are read once: the left-neighbour filter
  // turns a drawing's flat areas into runs of zeros, which run-length
  // matching at the lowest level packs nearly as well as a full search.
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    Unpremultiply(reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride)), width, row.data(), false,
                  !opaque);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool WriteBmp(std::FILE* f, const uint8_t* data, int stride, int width, int height) {
  uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
  if (bytes > 0xFFFFFFFFu - 54) return false;
  uint8_t head[54] = {'B', 'M'};
  Put32(head + 2, uint32_t(54 + bytes));
  Put32(head + 10, 54);
  Put32(head + 14, 40);
  Put32(head + 18, uint32_t(width));
  Put32(head + 22, uint32_t(height));
  head[26] = 1;
  head[28] = 32;
  Put32(head + 34, uint32_t(bytes));
  if (std::fwrite(head, 1, sizeof head, f) != sizeof head) return false;
  std::vector<uint8_t> row(size_t(width) * 4);
  for (int y = height - 1; y >= 0; --y) {
    Unpremultiply(reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride)), width, row.data(), true, true);
    if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) return false;
  }
  return true;
}

}  // namespace

bool WritePicture(cairo_surface_t* surface, const std::string& utf8Name, TPictureFormat format, bool opaque) {
  if (!surface || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) return false;
  cairo_surface_flush(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  if (!data || width <= 0 || height <= 0) return false;
  TFileCloser file{OpenUtf8(utf8Name, "wb")};
  if (!file.f) return false;
  bool ok = format == TPictureFormat::png ? WritePng(file.f, data, stride, width, height, opaque)
                                          : WriteBmp(file.f, data, stride, width, height);
  std::FILE* f = file.f;
  file.f = nullptr;
  return std::fclose(f) == 0 && ok;
}

}  // namespace hi

#include "painter/bmp_raster.h"

namespace hi {
namespace {

uint32_t U32(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

std::shared_ptr<const TRaster> ReadBmpRaster(const uint8_t* data, size_t size, uint64_t maxPixels) {
  if (!data || size < 54 || data[0] != 'B' || data[1] != 'M') return nullptr;
  uint64_t offset = U32(data + 10);
  if (U32(data + 14) < 40) return nullptr;
  int64_t width = int32_t(U32(data + 18));
  int64_t height = int32_t(U32(data + 22));
  uint16_t bits = U16(data + 28);
  uint32_t compression = U32(data + 30);
  if (compression != 0 || (bits != 32 && bits != 24)) return nullptr;
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return nullptr;
  if (uint64_t(width) * uint64_t(height) > maxPixels) return nullptr;
  uint64_t stride = (uint64_t(width) * bits / 8 + 3) & ~uint64_t(3);
  if (offset > size || stride * uint64_t(height) > size - offset) return nullptr;
  auto raster = std::make_shared<TRaster>();
  raster->width = int32_t(width);
  raster->height = int32_t(height);
  raster->pixels.resize(size_t(width) * size_t(height));
  size_t step = bits / 8;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* row = data + offset + stride * uint64_t(topDown ? y : height - 1 - y);
    uint32_t* out = raster->pixels.data() + size_t(y) * size_t(width);
    for (int64_t x = 0; x < width; ++x, row += step)
      out[x] = 0xFF000000u | uint32_t(row[2]) << 16 | uint32_t(row[1]) << 8 | row[0];
  }
  return raster;
}

}  // namespace hi

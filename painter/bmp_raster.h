// The bitmaps the format library hands over: BMP files it writes itself
// (file header, 40-byte info header, 32-bit uncompressed rows, bottom-up),
// read with every size checked. 24-bit rows and top-down rows are read too;
// anything else is refused. The fourth byte of 32-bit rows is not alpha in
// these files: the pixels are opaque.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "painter/draw_list.h"

namespace hi {

std::shared_ptr<const TRaster> ReadBmpRaster(const uint8_t* data, size_t size, uint64_t maxPixels);

}  // namespace hi

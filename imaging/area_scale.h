// Downscaling by area averaging: each output pixel is the mean of the source
// area it covers, partial pixels weighted by the part covered. Thin lines
// keep their share of ink instead of appearing or vanishing by chance as
// they do under nearest-neighbour sampling.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hi {

// The largest size of (width, height) that fits inside (boxWidth,
// boxHeight) with its proportions kept, rounded to the nearest pixel and at
// least 1. A picture already inside the box keeps its own size: this never
// enlarges. False when a size is not positive.
bool FitInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& outWidth,
               int32_t& outHeight);

// Scales 3-byte pixels (any channel order) from src (srcWidth x srcHeight,
// rows srcStride bytes apart) to dst (dstWidth x dstHeight, rows dstStride
// apart). Strides may be negative, for bottom-up rows. Only shrinks or
// keeps a size: false when an output size is not in 1..source size, or when
// the source's triples would pass MaxPixelBytes.
bool AreaScale24(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, ptrdiff_t srcStride, uint8_t* dst,
                 int32_t dstWidth, int32_t dstHeight, ptrdiff_t dstStride);

}  // namespace hi

// Shared by the fuzz targets: a picture that comes out is walked whole, so
// that any inconsistency between its header and its rows shows up.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/expand.h"

inline void TouchPicture(hi::TBitmapObject* b) {
  if (!b || b->IsEmpty()) return;
  if (int64_t(b->Width()) * b->Height() > (int64_t(1) << 22)) {
    // Large pictures: the first and last rows, to keep each run short.
    int64_t stride = b->ScanLineSize();
    if (stride > 0 && b->ScanLine(0)) {
      volatile uint8_t v = b->ScanLine(0)[stride - 1];
      v = b->ScanLine(b->Height() - 1)[stride - 1];
      (void)v;
    }
    return;
  }
  std::vector<uint8_t> rgb;
  if (hi::ExpandToRgb(*b, rgb)) {
    volatile uint8_t sum = 0;
    for (uint8_t v : rgb) sum = uint8_t(sum + v);
    (void)sum;
  }
}

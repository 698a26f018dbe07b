// Shared by the fuzz targets: a picture that comes out is walked whole, so
// that any inconsistency between its header and its rows shows up.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/expand.h"

inline void TouchPicture(hi::TBitmapObject* b) {
  if (!b || b->IsEmpty()) return;
  std::vector<uint8_t> rgb;
  if (hi::ExpandToRgb(*b, rgb)) {
    volatile uint8_t sum = 0;
    for (uint8_t v : rgb) sum = uint8_t(sum + v);
    (void)sum;
  }
}

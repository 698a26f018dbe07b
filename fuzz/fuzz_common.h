// Shared by the fuzz targets: a picture that comes out is walked whole, so
// that any inconsistency between its header and its rows shows up.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/expand.h"

// The readers refuse pictures over hi::MaxPixelBytes, but filling a buffer
// near that size costs about a quarter second per input, and the fuzzer
// favours large pictures once they are allowed: a 256 KiB bound gave about
// 600 runs a second, this one about 4500 (PNG). Every code path of a reader
// is reached with small pictures. The harnesses skip inputs that declare a
// buffer between this bound and the product's limit; larger declarations
// still reach the reader, so its refusal stays covered.
constexpr int64_t FuzzPixelBytes = int64_t(32) << 10;

// Walking the pixels is the check, not the code under test: without
// coverage tracing its per-pixel loops do not dominate each run.
__attribute__((no_sanitize("coverage"))) inline void TouchPicture(hi::TBitmapObject* b) {
  if (!b || b->IsEmpty()) return;
  if (int64_t(b->Width()) * b->Height() > FuzzPixelBytes) {
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

inline bool WorthDecoding(int64_t declaredBytes) {
  return declaredBytes <= FuzzPixelBytes || declaredBytes > hi::MaxPixelBytes;
}

inline uint32_t FuzzGet32Be(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t FuzzGet16Le(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline uint32_t FuzzGet32Le(const uint8_t* p) { return FuzzGet16Le(p) | (FuzzGet16Le(p + 2) << 16); }

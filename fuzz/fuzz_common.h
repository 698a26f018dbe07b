// Shared by the fuzz targets: a picture that comes out is walked whole, so
// that any inconsistency between its header and its rows shows up.
#pragma once

#include <cstdint>

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

// Walking the pixels is the check, not the code under test: fuzz.sh builds
// expand.cpp without coverage tracing, so its per-pixel loops do not
// dominate each run. A picture whose rows disagree with its header stops
// the run as a finding.
inline void TouchPicture(hi::TBitmapObject* b) {
  if (!hi::WalkPicture(b, FuzzPixelBytes)) __builtin_trap();
}

inline bool WorthDecoding(int64_t declaredBytes) {
  return declaredBytes <= FuzzPixelBytes || declaredBytes > hi::MaxPixelBytes;
}

inline uint32_t FuzzGet32Be(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t FuzzGet16Le(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
inline uint32_t FuzzGet32Le(const uint8_t* p) { return FuzzGet16Le(p) | (FuzzGet16Le(p + 2) << 16); }

// Byte counts formed from what a file declares: width times height times
// bytes per pixel, a stride times rows. Each product is formed in 64 bits
// and compared with a limit before anything uses it, so that no size wraps,
// in a 32-bit build either, whatever the factors are.
#pragma once

#include <cstdint>

namespace hi {

// a * b, or -1 when a factor is negative or the product passes limit.
constexpr int64_t CheckedProduct(int64_t a, int64_t b, int64_t limit) {
  if (a < 0 || b < 0 || limit < 0) return -1;
  if (a != 0 && b > limit / a) return -1;
  return a * b;
}

// a * b * c, or -1 when a factor is negative or a product passes limit.
constexpr int64_t CheckedProduct(int64_t a, int64_t b, int64_t c, int64_t limit) {
  const int64_t ab = CheckedProduct(a, b, limit);
  return ab < 0 ? -1 : CheckedProduct(ab, c, limit);
}

}  // namespace hi

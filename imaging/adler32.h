#pragma once
// The Adler-32 checksum of zlib streams, with the vector unit where the
// processor has one: zlib's own loop takes a sixth of the time of inflating
// a picture.
#include <cstddef>
#include <cstdint>

namespace hi {

// The checksum continued over n bytes at p; start with 1. Equal to zlib's
// adler32(adler, p, n) for every adler whose halves are below 65521.
uint32_t Adler32(uint32_t adler, const uint8_t* p, size_t n);

}  // namespace hi

#include "imaging/adler32.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hi {

#if defined(__SSE2__)

namespace {

constexpr uint32_t Base = 65521;
// Blocks of 32 bytes per reduction: 173 * 32 stays within zlib's 5552, the
// most bytes after which the running sums still fit in 32 bits.
constexpr size_t BlocksPerRound = 173;

uint32_t Sum32(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return uint32_t(_mm_cvtsi128_si32(v));
}

}  // namespace

uint32_t Adler32(uint32_t adler, const uint8_t* p, size_t n) {
  uint32_t a = adler & 0xFFFFu, b = adler >> 16;
  const __m128i zero = _mm_setzero_si128();
  const __m128i w0 = _mm_setr_epi16(32, 31, 30, 29, 28, 27, 26, 25);
  const __m128i w1 = _mm_setr_epi16(24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i w2 = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i w3 = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  while (n >= 32) {
    size_t blocks = n / 32 < BlocksPerRound ? n / 32 : BlocksPerRound;
    n -= blocks * 32;
    // Over a block of 32 bytes x0..x31, a grows by their sum and b by
    // 32 a + 32 x0 + 31 x1 + ... + 1 x31. sums holds the bytes' sum so far,
    // prefix the sum of sums before each block, weighted the weighted sums.
    __m128i sums = zero, prefix = zero, weighted = zero;
    for (size_t k = 0; k < blocks; ++k, p += 32) {
      __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      prefix = _mm_add_epi32(prefix, sums);
      sums = _mm_add_epi32(sums, _mm_add_epi32(_mm_sad_epu8(v0, zero), _mm_sad_epu8(v1, zero)));
      __m128i m0 = _mm_madd_epi16(_mm_unpacklo_epi8(v0, zero), w0);
      __m128i m1 = _mm_madd_epi16(_mm_unpackhi_epi8(v0, zero), w1);
      __m128i m2 = _mm_madd_epi16(_mm_unpacklo_epi8(v1, zero), w2);
      __m128i m3 = _mm_madd_epi16(_mm_unpackhi_epi8(v1, zero), w3);
      weighted = _mm_add_epi32(weighted, _mm_add_epi32(_mm_add_epi32(m0, m1), _mm_add_epi32(m2, m3)));
    }
    uint64_t bb = b + uint64_t(32) * blocks * a + uint64_t(32) * Sum32(prefix) + Sum32(weighted);
    a = uint32_t((a + uint64_t(Sum32(sums))) % Base);
    b = uint32_t(bb % Base);
  }
  for (size_t i = 0; i < n; ++i) {
    a += p[i];
    b += a;
  }
  return ((b % Base) << 16) | (a % Base);
}

#else

uint32_t Adler32(uint32_t adler, const uint8_t* p, size_t n) {
  // zlib takes its length as a 32-bit count.
  while (n > 0) {
    uInt part = n > 0x40000000u ? 0x40000000u : uInt(n);
    adler = uint32_t(adler32(adler, p, part));
    p += part;
    n -= part;
  }
  return adler;
}

#endif

}  // namespace hi

#include "imaging/png_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/checked_size.h"
#include "framework/data.h"
#include "imaging/adler32.h"
#include "imaging/stream.h"

namespace hi {

namespace {

const uint8_t Signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uInt InputSize = 65535;
// Deflate's largest expansion: a 258-byte match coded in two bits.
constexpr int64_t MaxInflateRatio = 1032;

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool SameType(const char* a, const char* b) { return std::memcmp(a, b, 4) == 0; }

// The colour type and depth pairs the conversion table covers.
bool SupportedFormat(uint8_t colorType, uint8_t depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

// Bytes of one filtered row of w pixels.
int64_t RowBytes(uint8_t colorType, uint8_t depth, int64_t w) {
  switch (colorType) {
    case 0:
    case 3: return (w * depth + 7) / 8;
    case 2: return w * depth * 3 / 8;
    case 4: return w * depth * 2 / 8;
    case 6: return w * depth * 4 / 8;
    default: return 0;
  }
}

int PixelBytes(uint8_t colorType, uint8_t depth) {
  switch (colorType) {
    case 0: return depth == 16 ? 2 : 1;
    case 3: return 1;
    case 2: return depth * 3 / 8;
    case 4: return depth / 4;
    case 6: return depth / 2;
    default: return 1;
  }
}

inline uint8_t Paeth(int a, int b, int c) {
  int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// The filters pixel by pixel, with the left and upper-left bytes of each
// channel carried in registers: reading them back from the row just written
// would chain every byte to a store. Before the first pixel both are zero,
// which is what the filters define there. B is the filter's byte distance.
template <int B>
void UnfilterPixels(uint8_t filter, uint8_t* cur, const uint8_t* up, int64_t len) {
  int64_t whole = len - len % B;
  uint8_t a[B] = {}, c[B] = {};
  switch (filter) {
    case 1:
      for (int64_t i = 0; i < whole; i += B)
        for (int k = 0; k < B; ++k) a[k] = cur[i + k] = uint8_t(cur[i + k] + a[k]);
      break;
    case 2:
      for (int64_t i = 0; i < len; ++i) cur[i] = uint8_t(cur[i] + up[i]);
      return;
    case 3:
      for (int64_t i = 0; i < whole; i += B)
        for (int k = 0; k < B; ++k) a[k] = cur[i + k] = uint8_t(cur[i + k] + ((unsigned(a[k]) + up[i + k]) >> 1));
      break;
    case 4:
      for (int64_t i = 0; i < whole; i += B)
        for (int k = 0; k < B; ++k) {
          uint8_t b = up[i + k];
          a[k] = cur[i + k] = uint8_t(cur[i + k] + Paeth(a[k], b, c[k]));
          c[k] = b;
        }
      break;
    default: return;
  }
  // A row whose length is not a whole number of pixels (never in a valid
  // file) ends byte by byte.
  for (int64_t i = whole; i < len; ++i) {
    uint8_t left = i >= B ? cur[i - B] : 0, upLeft = i >= B ? up[i - B] : 0;
    if (filter == 1)
      cur[i] = uint8_t(cur[i] + left);
    else if (filter == 3)
      cur[i] = uint8_t(cur[i] + ((unsigned(left) + up[i]) >> 1));
    else
      cur[i] = uint8_t(cur[i] + Paeth(left, up[i], upLeft));
  }
}

void Unfilter(uint8_t* row, const uint8_t* prev, int64_t len, int bpp) {
  uint8_t filter = row[0];
  uint8_t* cur = row + 1;
  const uint8_t* up = prev + 1;
  switch (bpp) {
    case 1: UnfilterPixels<1>(filter, cur, up, len); break;
    case 2: UnfilterPixels<2>(filter, cur, up, len); break;
    case 3: UnfilterPixels<3>(filter, cur, up, len); break;
    case 4: UnfilterPixels<4>(filter, cur, up, len); break;
    case 6: UnfilterPixels<6>(filter, cur, up, len); break;
    default: UnfilterPixels<8>(filter, cur, up, len); break;
  }
}

// The Average filter of an 8-bit RGB row into blue-green-red, all but its
// last pixel (whose four-byte load and store would leave the rows); returns
// where it stopped, with the last pixel's bytes in a in file order. The
// pixels depend on each other, so the three channels of a pixel go together
// through one short chain. With complements, ~floor((a + b) / 2) is the
// rounding-up average of ~a and ~b (what the processor has), so the chain
// keeps ~a: ~out = avg(~a, ~b) - x, two steps per pixel. The residuals are
// turned into blue-green-red order first, five pixels at a time, in scratch
// (len bytes), which keeps the loop of the chain short.
int64_t AverageBgr(const uint8_t* src, const uint8_t* up, uint8_t* dst, int64_t len, uint8_t a[3], uint8_t* scratch) {
#if defined(__SSE2__)
  if (len < 6) return 0;
  // Byte 3p + 1 stays, 3p + 2 takes 3p's, 3p takes 3p + 2's; byte 15 is
  // the sixth pixel's, rewritten by the next step.
  const __m128i middle = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
  const __m128i last = _mm_setr_epi8(0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0);
  const __m128i first = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
  int64_t i = 0;
  for (; i + 16 <= len; i += 15) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i r = _mm_or_si128(_mm_and_si128(v, middle), _mm_and_si128(_mm_slli_si128(v, 2), last));
    r = _mm_or_si128(r, _mm_and_si128(_mm_srli_si128(v, 2), first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(scratch + i), r);
  }
  for (; i < len; i += 3) {
    scratch[i] = src[i + 2];
    scratch[i + 1] = src[i + 1];
    scratch[i + 2] = src[i];
  }
  const __m128i ones = _mm_set1_epi8(-1);
  __m128i na = ones;  // ~0 before the first pixel
  for (i = 0; i + 3 < len; i += 3) {
    uint32_t x, b;
    std::memcpy(&x, scratch + i, 4);
    std::memcpy(&b, up + i, 4);
    __m128i nb = _mm_xor_si128(_mm_cvtsi32_si128(int(b)), ones);
    na = _mm_sub_epi8(_mm_avg_epu8(na, nb), _mm_cvtsi32_si128(int(x)));
    uint32_t out = uint32_t(_mm_cvtsi128_si32(_mm_xor_si128(na, ones)));
    std::memcpy(dst + i, &out, 4);  // the fourth byte is the next pixel's, written next
  }
  uint32_t left = ~uint32_t(_mm_cvtsi128_si32(na));
  a[0] = uint8_t(left >> 16);
  a[1] = uint8_t(left >> 8);
  a[2] = uint8_t(left);
  return i;
#else
  (void)src, (void)up, (void)dst, (void)len, (void)a, (void)scratch;
  return 0;
#endif
}

// Whether the N bytes at p (a multiple of 8) are all zero.
template <int N>
bool ZeroBytes(const uint8_t* p) {
  uint64_t any = 0;
  for (int w = 0; w < N; w += 8) {
    uint64_t v;
    std::memcpy(&v, p + w, 8);
    any |= v;
  }
  return any == 0;
}

// The filters of a non-interlaced row straight into its destination: src
// holds the filtered bytes (it may be dst itself), up the previous row as it
// was stored, in destination order. With Reverse (8-bit RGB, B = 3) each
// pixel's bytes land in the opposite order, so the blue-green-red DIB row is
// written in the same pass. The filters work on each channel alone, which is
// why they can run on the reordered bytes. len is a whole number of pixels
// for every format that takes this way. scratch holds len bytes for the
// Average filter of reordered rows.
template <int B, bool Reverse>
void UnfilterInto(uint8_t filter, const uint8_t* src, const uint8_t* up, uint8_t* dst, int64_t len, uint8_t* scratch) {
  static_assert(!Reverse || B == 3, "only blue-green-red rows are reordered");
  constexpr int Block = 16 * B;  // runs without residuals are looked for this many bytes at a time
  auto at = [](int k) { return Reverse ? B - 1 - k : k; };
  uint8_t a[B] = {}, c[B] = {};
  switch (filter) {
    case 1:
      for (int64_t i = 0; i < len; i += B)
        for (int k = 0; k < B; ++k) a[k] = dst[i + at(k)] = uint8_t(src[i + k] + a[k]);
      break;
    case 2:
      if (!Reverse) {
        for (int64_t i = 0; i < len; ++i) dst[i] = uint8_t(src[i] + up[i]);
      } else {
        // Reordered bytes defeat the vector unit; blocks without residuals
        // (the unchanged parts of a drawing) are the row above as it is.
        for (int64_t i = 0; i < len;) {
          if (i + Block <= len && ZeroBytes<Block>(src + i)) {
            std::memcpy(dst + i, up + i, Block);
            i += Block;
            continue;
          }
          for (int64_t end = std::min<int64_t>(len, i + Block); i < end; i += B)
            for (int k = 0; k < B; ++k) dst[i + at(k)] = uint8_t(src[i + k] + up[i + at(k)]);
        }
      }
      break;
    case 3: {
      int64_t i = 0;
      if (Reverse) i = AverageBgr(src, up, dst, len, a, scratch);
      // x + (a + b) / 2 is (2x + b + a) / 2 in 9 bits: only the addition of
      // a and the halving wait for the pixel to the left.
      unsigned s[B];
      for (int k = 0; k < B; ++k) s[k] = a[k];
      for (; i < len; i += B)
        for (int k = 0; k < B; ++k) {
          unsigned pre = 2u * src[i + k] + up[i + at(k)];
          s[k] = ((pre + s[k]) & 511u) >> 1;
          dst[i + at(k)] = uint8_t(s[k]);
        }
      break;
    }
    case 4:
      for (int64_t i = 0; i < len;) {
        // Where the residuals are zero and the left pixel equals the one
        // above it, the predictor is the byte above all the way: a run of
        // unchanged rows (most of a drawing) is a copy of the row above.
        if (i + Block <= len && std::memcmp(a, c, B) == 0) {
          if (ZeroBytes<Block>(src + i)) {
            std::memcpy(dst + i, up + i, Block);
            i += Block;
            for (int k = 0; k < B; ++k) a[k] = c[k] = up[i - B + at(k)];
            continue;
          }
        }
        int64_t end = std::min<int64_t>(len, i + Block);
        for (; i < end; i += B)
          for (int k = 0; k < B; ++k) {
            int b = up[i + at(k)];
            a[k] = dst[i + at(k)] = uint8_t(src[i + k] + Paeth(a[k], b, c[k]));
            c[k] = uint8_t(b);
          }
      }
      break;
    default:
      // 0 and values above 4: the bytes as they are.
      if (src != dst) {
        if (!Reverse) {
          std::memcpy(dst, src, size_t(len));
        } else {
          for (int64_t i = 0; i < len; i += B)
            for (int k = 0; k < B; ++k) dst[i + at(k)] = src[i + k];
        }
      }
      break;
  }
}

// Inflates the image data of one or more consecutive IDAT chunks.
class TIdatStream {
 public:
  TIdatStream(TStream& s, TPngDecoder& d, int64_t chunkEnd) : stream_(s), decoder_(d), chunkEnd_(chunkEnd) {}
  ~TIdatStream() {
    if (ready_) inflateEnd(&z_);
  }
  bool Init() {
    input_ = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[InputSize]);
    if (!input_) return false;
    std::memset(&z_, 0, sizeof(z_));
    ready_ = inflateInit_(&z_, "1.1.3", int(sizeof(z_stream))) == Z_OK;
    // zlib still reads the header and the stored checksum, which this class
    // compares with its own, faster sum of the output.
    if (ready_) inflateValidate(&z_, 0);
    return ready_;
  }
  int64_t ChunkEnd() const { return chunkEnd_; }
  bool AtNextChunk() const { return atNextChunk_; }

  bool Failed() const { return failed_; }

  // Bytes produced into out (up to count); fewer when the data ends or on an
  // error, which Failed() tells apart.
  int64_t Fill(uint8_t* out, uInt count) {
    z_.next_out = out;
    z_.avail_out = count;
    while (z_.avail_out > 0 && !failed_) {
      if (z_.avail_in == 0 && stream_.Position() >= chunkEnd_) {
        uint8_t head[12];
        // CRC of the chunk just finished, then the next chunk's length and type.
        if (stream_.Read(head, 12) < 12) break;
        if (!SameType(reinterpret_cast<char*>(head + 8), "IDAT")) {
          // The chunk loop goes on with this chunk from its start.
          stream_.Seek(stream_.Position() - 8);
          atNextChunk_ = true;
          decoder_.Fail(png_not_idat);
          failed_ = true;
          break;
        }
        uint32_t len = BigEndian32(head + 4);
        chunkEnd_ = stream_.Position() + len;
      }
      if (z_.avail_in == 0) {
        Remember(recent_, input_.get(), inputRead_);
        inputRead_ = 0;
        int64_t left = std::min<int64_t>(InputSize, chunkEnd_ - stream_.Position());
        size_t got = left > 0 ? stream_.Read(input_.get(), size_t(left)) : 0;
        if (got == 0) {
          if (left > 0 || stream_.Position() < chunkEnd_) break;
          continue;  // an empty IDAT chunk: go on with the next one
        }
        z_.next_in = input_.get();
        z_.avail_in = uInt(got);
        inputRead_ = got;
      }
      uint8_t* produced = z_.next_out;
      int r = inflate(&z_, Z_NO_FLUSH);
      adler_ = Adler32(adler_, produced, size_t(z_.next_out - produced));
      if (r == Z_STREAM_END) {
        // Once: zlib answers the same again for every later call.
        if (!ended_ && !ChecksumMatches()) {
          decoder_.Fail(png_data_checksum);
          failed_ = true;
        }
        ended_ = true;
        break;
      }
      if (r != Z_OK) {
        // Negative results are zlib's errors; a preset dictionary could
        // never make progress and is refused the same way.
        decoder_.Fail(png_inflate);
        failed_ = true;
      }
    }
    return int64_t(count - z_.avail_out);
  }

 private:
  // Keeps the last four of n input bytes used up.
  static void Remember(uint8_t recent[4], const uint8_t* p, size_t n) {
    for (size_t i = n > 4 ? n - 4 : 0; i < n; ++i) {
      std::memmove(recent, recent + 1, 3);
      recent[3] = p[i];
    }
  }
  // At the end of the stream zlib has just taken the four bytes of the
  // stored checksum, the last input it used; some of them may lie in
  // earlier input buffers.
  bool ChecksumMatches() const {
    uint8_t last[4];
    std::memcpy(last, recent_, 4);
    Remember(last, input_.get(), size_t(z_.next_in - input_.get()));
    return BigEndian32(last) == adler_;
  }

  TStream& stream_;
  TPngDecoder& decoder_;
  int64_t chunkEnd_;
  z_stream z_;
  bool ready_ = false;
  bool atNextChunk_ = false;  // the CRC is read and the stream is at a chunk
  bool failed_ = false;
  std::unique_ptr<uint8_t[]> input_;
  size_t inputRead_ = 0;  // bytes of the input buffer filled by the last read
  uint8_t recent_[4] = {};
  uint32_t adler_ = 1;
  bool ended_ = false;
};

// Hands out inflated rows (filter byte and samples) from a batch of several:
// one inflate call for many rows spends less of zlib's time in its slow path
// at the end of each output buffer and in copying output to its window. A
// batch never crosses the end of an interlace pass, so no more is asked for
// than the rows still wanted. A row cut short where the data ends is padded
// with zeros; one cut short by an error is not handed out.
class TRowSource {
 public:
  static constexpr int64_t BatchBytes = 65536;

  explicit TRowSource(TIdatStream& z) : z_(z) {}
  bool Init(int64_t maxRowBytes) {
    perBatch_ = std::max<int64_t>(1, BatchBytes / maxRowBytes);
    // Spare bytes past the last row for loads a little beyond a row's end.
    buffer_ = std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size_t(perBatch_ * maxRowBytes + 16)]);
    return buffer_ != nullptr;
  }
  // The next rows hold rowBytes bytes each, and count of them are wanted.
  void Start(int64_t rowBytes, uint32_t count) {
    rowBytes_ = rowBytes;
    left_ = count;
    pos_ = have_ = 0;
  }
  // The next row, or none when the rows stop.
  const uint8_t* Next() {
    if (left_ == 0) return nullptr;
    if (pos_ == have_) {
      if (ended_) return nullptr;
      int64_t want = std::min<int64_t>(perBatch_, left_) * rowBytes_;
      have_ = z_.Fill(buffer_.get(), uInt(want));
      pos_ = 0;
      ended_ = have_ < want;
      partialKept_ = !z_.Failed();
      // When the data ends with rows still wanted past the rows this batch
      // holds, look once more, as the next row's own read would: that is
      // where a following chunk other than IDAT is met and recorded.
      int64_t handed = (have_ + rowBytes_ - 1) / rowBytes_;
      if (ended_ && partialKept_ && handed < left_) {
        uint8_t spare;
        z_.Fill(&spare, 1);
      }
    }
    int64_t rest = have_ - pos_;
    if (rest < rowBytes_) {
      if (rest == 0 || !partialKept_) {
        pos_ = have_;
        return nullptr;
      }
      std::memset(buffer_.get() + have_, 0, size_t(rowBytes_ - rest));
      have_ = pos_ + rowBytes_;
    }
    const uint8_t* row = buffer_.get() + pos_;
    pos_ += rowBytes_;
    --left_;
    return row;
  }

 private:
  TIdatStream& z_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t perBatch_ = 1, rowBytes_ = 1, pos_ = 0, have_ = 0;
  uint32_t left_ = 0;
  bool ended_ = false;
  bool partialKept_ = true;  // a short row is padded, not dropped: no error cut it
};

struct TConversion {
  TPngHeaderChunk* h;
  const uint8_t* gamma;
  int dibBits;
  bool identity;  // the gamma table changes nothing
};

// One unfiltered row of w pixels into DIB row y (non-interlaced).
void ConvertRow(const TConversion& c, const uint8_t* src, uint32_t y) {
  TPngHeaderChunk* h = c.h;
  uint32_t w = h->Width;
  uint8_t* dst = h->Rows + int64_t(h->Stride) * (h->Height - 1 - y);
  uint8_t* alpha = h->Alpha ? h->Alpha + int64_t(w) * y : nullptr;
  const uint8_t* g = c.gamma;
  switch (h->ColorType) {
    case 0:
    case 3:
      if (h->BitDepth == 16) {
        for (size_t x = 0; x < w; ++x) dst[x] = src[2 * x];
      } else if (h->BitDepth == 2) {
        // Grey levels 0..3 land on the 16-step ramp at 0, 5, 10, 15.
        int mul = h->ColorType == 0 ? 5 : 1;
        for (uint32_t x = 0; x < w; ++x) {
          uint8_t s = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
          uint8_t v = uint8_t(s * mul);
          if (x & 1)
            dst[x >> 1] |= v;
          else
            dst[x >> 1] = uint8_t(v << 4);
        }
      } else {
        std::memcpy(dst, src, size_t(RowBytes(h->ColorType, h->BitDepth, w)));
      }
      break;
    case 2:
      if (h->BitDepth == 8) {
        for (uint32_t x = 0; x < w; ++x, src += 3, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
      } else {
        for (uint32_t x = 0; x < w; ++x, src += 6, dst += 3) {
          dst[0] = g[src[4]];
          dst[1] = g[src[2]];
          dst[2] = g[src[0]];
        }
      }
      break;
    case 4: {
      int step = h->BitDepth / 4;
      int a = step / 2;
      for (uint32_t x = 0; x < w; ++x, src += step) {
        dst[x] = src[0];
        alpha[x] = src[a];
      }
      break;
    }
    case 6: {
      const size_t n = h->BitDepth / 8;
      for (uint32_t x = 0; x < w; ++x, src += 4 * n, dst += 3) {
        dst[0] = g[src[2 * n]];
        dst[1] = g[src[n]];
        dst[2] = g[src[0]];
        alpha[x] = src[3 * n];
      }
      break;
    }
  }
}

// Pixel k of an unfiltered pass row placed at column x of DIB row y.
void PlacePixel(const TConversion& c, const uint8_t* src, size_t k, size_t x, uint32_t y) {
  TPngHeaderChunk* h = c.h;
  uint8_t* dst = h->Rows + int64_t(h->Stride) * (h->Height - 1 - y);
  const uint8_t* g = c.gamma;
  uint8_t depth = h->BitDepth;
  switch (h->ColorType) {
    case 0:
    case 3: {
      uint8_t v;
      if (depth == 16)
        v = src[2 * k];
      else if (depth == 8)
        v = src[k];
      else {
        int perByte = 8 / depth;
        v = uint8_t((src[k / perByte] >> (8 - depth * (1 + k % perByte))) & ((1 << depth) - 1));
        if (depth == 2 && h->ColorType == 0) v = uint8_t(v * 5);
      }
      int bits = c.dibBits;
      if (bits == 8) {
        dst[x] = v;
      } else {
        uint64_t bit = uint64_t(x) * bits;
        dst[bit >> 3] |= uint8_t(v << (8 - bits - (bit & 7)));
      }
      break;
    }
    case 2: {
      const size_t n = depth / 8;
      const uint8_t* p = src + k * n * 3;
      dst += 3 * x;
      dst[0] = g[p[2 * n]];
      dst[1] = g[p[n]];
      dst[2] = g[p[0]];
      break;
    }
    case 4: {
      const size_t n = depth / 8;
      const uint8_t* p = src + k * 2 * n;
      dst[x] = p[0];
      h->Alpha[int64_t(h->Width) * y + x] = p[n];
      break;
    }
    case 6: {
      const size_t n = depth / 8;
      const uint8_t* p = src + k * 4 * n;
      dst += 3 * x;
      dst[0] = g[p[2 * n]];
      dst[1] = g[p[n]];
      dst[2] = g[p[0]];
      h->Alpha[int64_t(h->Width) * y + x] = p[3 * n];
      break;
    }
  }
}

// The pw pixels of an unfiltered pass row of 8-bit RGB, already in
// blue-green-red order, placed through gamma at columns x0, x0 + step, ...
// of DIB row y.
void PlaceBgrPassRow(const TConversion& c, const uint8_t* src, uint32_t pw, uint32_t x0, size_t step, uint32_t y) {
  TPngHeaderChunk* h = c.h;
  uint8_t* dst = h->Rows + int64_t(h->Stride) * (h->Height - 1 - y) + 3 * int64_t(x0);
  const uint8_t* g = c.gamma;
  if (!c.identity) {
    for (uint32_t k = 0; k < pw; ++k, src += 3, dst += 3 * step) {
      dst[0] = g[src[0]];
      dst[1] = g[src[1]];
      dst[2] = g[src[2]];
    }
  } else {
    for (uint32_t k = 0; k < pw; ++k, src += 3, dst += 3 * step) std::memcpy(dst, src, 3);
  }
}

// The pw pixels of an unfiltered pass row placed at columns x0, x0 + step,
// ... of DIB row y; the common 8-bit forms without a call per pixel.
void PlacePassRow(const TConversion& c, const uint8_t* src, uint32_t pw, uint32_t x0, uint32_t step, uint32_t y) {
  TPngHeaderChunk* h = c.h;
  if (h->BitDepth == 8 && (h->ColorType == 0 || h->ColorType == 3)) {
    uint8_t* dst = h->Rows + int64_t(h->Stride) * (h->Height - 1 - y) + x0;
    for (uint32_t k = 0; k < pw; ++k, dst += step) *dst = src[k];
  } else {
    for (uint32_t k = 0; k < pw; ++k) PlacePixel(c, src, k, x0 + k * step, y);
  }
}

}  // namespace

void BuildGammaTable(uint32_t gamma, uint8_t table[256]) {
  double exponent = 1.0 / (double(gamma) / 100000.0 * 2.2);
  for (int i = 0; i < 256; ++i) {
    double base = i / 255.0;
    double p = exponent == 0.0 ? 1.0 : (base == 0.0 ? 0.0 : std::pow(base, exponent));
    int64_t v = RoundHalfEven(255.0 * p);
    table[i] = uint8_t(std::clamp<int64_t>(v, 0, 255));
  }
}

// ---- chunk records ----------------------------------------------------------

TPngChunk::TPngChunk(const char* type, TPngDecoder* owner) : Owner(owner) { std::memcpy(Type, type, 4); }

bool TPngChunk::IsType(const char* type) const { return SameType(Type, type); }

bool TPngChunk::ReadPlain(TStream& stream, uint32_t length) {
  int64_t avail = std::max<int64_t>(0, stream.Remaining());
  Length = uint32_t(std::min<int64_t>(length, avail));
  Data.assign(size_t(Length) + 1, 0);
  Length = uint32_t(stream.Read(Data.data(), Length));
  // The CRC is read past, not computed: nothing would compare it, and zlib
  // and the image data's Adler-32 already catch damage where it matters.
  uint8_t crc[4];
  stream.Read(crc, 4);
  return true;
}

TPngHeaderChunk::TPngHeaderChunk(TPngDecoder* owner) : TPngChunk("IHDR", owner) {}

TPngHeaderChunk::~TPngHeaderChunk() {
  FreeBuffer();
  std::free(Info);
}

void TPngHeaderChunk::FreeBuffer() {
  std::free(Rows);
  Rows = nullptr;
  std::free(Alpha);
  Alpha = nullptr;
  Stride = 0;
}

bool TPngHeaderChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length < 13) {
    Owner->Fail(png_short_header);
    return false;
  }
  const uint8_t* d = Data.data();
  Width = BigEndian32(d);
  Height = BigEndian32(d + 4);
  BitDepth = d[8];
  ColorType = d[9];
  CompressionMethod = d[10];
  FilterMethod = d[11];
  InterlaceMethod = d[12];
  if (Width > PngMaxSide || Height > PngMaxSide) {
    Owner->Fail(png_side_limit);
    return false;
  }
  if (CompressionMethod != 0) {
    Owner->Fail(png_compression);
    return false;
  }
  if (InterlaceMethod > 1) {
    Owner->Fail(png_interlace);
    return false;
  }
  // Pairs outside the conversion table are refused before anything is made.
  if (!SupportedFormat(ColorType, BitDepth)) {
    Owner->Fail(png_format);
    return false;
  }

  if (!Info) Info = AllocHeaderBlock();
  if (!Info) {
    Owner->Fail(pic_no_memory);
    return false;
  }
  std::memset(Info, 0, HeaderBlockSize);
  FreeBuffer();
  int bits;
  if (ColorType == 2 || ColorType == 6) {
    bits = 24;
    Paletted = false;
  } else {
    bits = BitDepth == 2 ? 4 : BitDepth == 16 ? 8 : BitDepth;
    Paletted = true;
  }
  Info->biSize = 40;
  Info->biWidth = int32_t(Width);
  Info->biHeight = int32_t(Height);
  Info->biPlanes = 1;
  Info->biBitCount = uint16_t(bits);
  Info->biCompression = 0;
  const int64_t stride = RowStride(bits, Width);
  const int64_t size = CheckedProduct(stride, Height, MaxPixelBytes);
  // The alpha plane counts too: grey with alpha would otherwise take twice
  // the limit.
  const bool hasAlpha = ColorType == 4 || ColorType == 6;
  const int64_t alphaSize = hasAlpha ? CheckedProduct(Width, Height, MaxPixelBytes) : 0;
  if (size < 0 || alphaSize < 0 || size + alphaSize > MaxPixelBytes ||
      CheckedProduct(Width, Height, Owner->MaxPixels) < 0) {
    // Too large for the host: refused as a failed load.
    Owner->Fail(pic_over_limit);
    return false;
  }
  if (Width == 0 || Height == 0) return true;  // no buffer: nothing is decoded
  // Deflate makes at most MaxInflateRatio bytes of each byte it reads: rows
  // that the rest of the stream cannot hold are refused before the buffer
  // for them is made.
  const int64_t filtered = (RowBytes(ColorType, BitDepth, Width) + 1) * int64_t(Height);
  if (filtered / MaxInflateRatio > stream.Remaining()) {
    Owner->Fail(pic_truncated);
    return false;
  }
  if (hasAlpha) {
    Alpha = AllocRows(alphaSize);
    if (!Alpha) {
      Owner->Fail(pic_no_memory);
      return false;
    }
  }
  Rows = AllocRows(size);
  if (!Rows) {
    FreeBuffer();
    Owner->Fail(pic_no_memory);
    return false;
  }
  Stride = int32_t(stride);
  return true;
}

bool TPngPaletteChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length % 3 != 0 || Length > 768) {
    Owner->Fail(png_palette_length);
    return false;
  }
  EntryCount = int(Length / 3);
  TPngHeaderChunk* h = Owner->Header();
  if (!h || !h->Info) return true;
  uint8_t* colors = reinterpret_cast<uint8_t*>(h->Info + 1);
  const uint8_t* g = Owner->GammaTable;
  for (size_t i = 0; i < size_t(EntryCount); ++i) {
    colors[4 * i] = g[Data[3 * i + 2]];
    colors[4 * i + 1] = g[Data[3 * i + 1]];
    colors[4 * i + 2] = g[Data[3 * i]];
    colors[4 * i + 3] = 0;
  }
  return true;
}

bool TPngGammaChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length != 4) {
    Data.assign(5, 0);
    Length = 4;
    Gamma = 1;
  } else {
    Gamma = BigEndian32(Data.data());
  }
  if (Gamma != 0) BuildGammaTable(Gamma, Owner->GammaTable);
  return true;
}

bool TPngTransparencyChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length > 256) {
    Owner->Fail(png_transparency_length);
    return false;
  }
  std::memset(Table, 255, sizeof Table);
  std::memcpy(Table, Data.data(), Length);
  TPngHeaderChunk* h = Owner->Header();
  uint8_t type = h ? h->ColorType : 0;
  if (type == 0 || type == 2) {
    OneTransparentColor = true;
  } else if (type == 3) {
    int differ = 0;
    for (uint32_t i = 0; i < Length; ++i) differ += Table[i] != 255;
    OneTransparentColor = differ == 1;
  }
  return true;
}

bool TPngTextChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length > 2) {
    const char* p = reinterpret_cast<const char*>(Data.data());
    size_t key = strnlen(p, Length);
    Keyword.assign(p, key);
    if (key < Length) Text.assign(p + key + 1, Length - key - 1);
  }
  return true;
}

bool TPngTimeChunk::Read(TStream& stream, uint32_t length) {
  ReadPlain(stream, length);
  if (Length == 7) {
    std::memcpy(&Year, Data.data(), 2);
    Month = Data[2];
    Day = Data[3];
    Hour = Data[4];
    Minute = Data[5];
    Second = Data[6];
  }
  return true;
}

// The image decoding: reads the image data of this and the following IDAT
// chunks straight from the stream.
bool TPngDataChunk::Read(TStream& stream, uint32_t length) {
  TPngDecoder& d = *Owner;
  TPngHeaderChunk* h = d.Header();
  int64_t end = stream.Position() + length;
  if (h && h->Rows) {
    int dibBits = h->Info->biBitCount;
    if (h->Paletted && (h->ColorType == 0 || h->ColorType == 4)) {
      const size_t n = size_t(1) << dibBits;
      uint8_t* colors = reinterpret_cast<uint8_t*>(h->Info + 1);
      for (size_t i = 0; i < n; ++i) {
        uint8_t v = d.GammaTable[i * 255 / (n - 1)];
        colors[4 * i] = colors[4 * i + 1] = colors[4 * i + 2] = v;
        colors[4 * i + 3] = 0;
      }
    }
    int64_t fullLen = RowBytes(h->ColorType, h->BitDepth, h->Width);
    int bpp = PixelBytes(h->ColorType, h->BitDepth);
    TIdatStream z(stream, d, end);
    std::vector<uint8_t> prevBuf(size_t(fullLen) + 12 + bpp, 0), curBuf(size_t(fullLen) + 12 + bpp, 0);
    bool bgr = h->ColorType == 2 && h->BitDepth == 8;
    std::vector<uint8_t> scratch(bgr ? size_t(fullLen) : 0);  // for reordered Average rows
    // Row buffers start bpp bytes in, so that the above-left byte of the
    // first pixel reads as zero for the Paeth filter.
    uint8_t* prev = prevBuf.data() + bpp;
    uint8_t* cur = curBuf.data() + bpp;
    bool identity = true;
    for (int i = 0; i < 256; ++i) identity = identity && d.GammaTable[i] == i;
    TConversion conv{h, d.GammaTable, dibBits, identity};
    TRowSource rows(z);
    if (!z.Init() || !rows.Init(fullLen + 1)) {
      d.Fail(pic_no_memory);
    } else {
      auto readRow = [&](int64_t len) -> bool {
        const uint8_t* row = rows.Next();
        if (!row) return false;
        std::memcpy(cur, row, size_t(len + 1));
        Unfilter(cur, prev, len, bpp);
        return true;
      };
      // A row needs no conversion when the DIB keeps the file's samples (grey
      // and palette indices of 1, 4 and 8 bits) or only their order turns
      // round (8-bit RGB): such rows are unfiltered straight into the DIB,
      // against the DIB row above.
      bool samePixels = (h->ColorType == 0 || h->ColorType == 3) && h->BitDepth != 2 && h->BitDepth != 16;
      if (h->InterlaceMethod == 0) {
        rows.Start(fullLen + 1, h->Height);
        for (uint32_t y = 0; y < h->Height; ++y) {
          uint8_t* dst = h->Rows + int64_t(h->Stride) * (h->Height - 1 - y);
          const uint8_t* up = y == 0 ? prev + 1 : dst + h->Stride;
          if (samePixels || bgr) {
            const uint8_t* row = rows.Next();
            if (!row) break;
            if (bgr)
              UnfilterInto<3, true>(row[0], row + 1, up, dst, fullLen, scratch.data());
            else
              UnfilterInto<1, false>(row[0], row + 1, up, dst, fullLen, nullptr);
          } else {
            if (!readRow(fullLen)) break;
            ConvertRow(conv, cur + 1, y);
            std::swap(cur, prev);
          }
        }
      } else {
        static const uint8_t rowStart[7] = {0, 0, 4, 0, 2, 0, 1}, colStart[7] = {0, 4, 0, 2, 0, 1, 0};
        static const uint8_t rowStep[7] = {8, 8, 8, 4, 4, 2, 2}, colStep[7] = {8, 8, 4, 4, 2, 2, 1};
        bool stop = false;
        for (int pass = 0; pass < 7 && !stop; ++pass) {
          uint32_t pw = (h->Width + colStep[pass] - colStart[pass] - 1) / colStep[pass];
          int64_t len = RowBytes(h->ColorType, h->BitDepth, pw);
          if (len == 0) continue;
          rows.Start(len + 1, (h->Height - rowStart[pass] + rowStep[pass] - 1) / rowStep[pass]);
          std::memset(prev, 0, size_t(len) + 1);
          for (uint32_t y = rowStart[pass]; y < h->Height; y += rowStep[pass]) {
            if (bgr) {
              // Unfiltered in blue-green-red order, against the row above
              // kept in the same order.
              const uint8_t* row = rows.Next();
              if (!row) {
                stop = true;
                break;
              }
              // The last pass fills whole rows: without gamma, straight into
              // the DIB, against its own previous row there.
              bool whole = colStep[pass] == 1 && conv.identity;
              uint8_t* dst = whole ? h->Rows + int64_t(h->Stride) * (h->Height - 1 - y) : cur + 1;
              const uint8_t* up = whole && y != rowStart[pass] ? dst + int64_t(rowStep[pass]) * h->Stride : prev + 1;
              UnfilterInto<3, true>(row[0], row + 1, up, dst, len, scratch.data());
              if (!whole) {
                PlaceBgrPassRow(conv, cur + 1, pw, colStart[pass], colStep[pass], y);
                std::swap(cur, prev);
              }
              continue;
            }
            if (!readRow(len)) {
              stop = true;
              break;
            }
            PlacePassRow(conv, cur + 1, pw, colStart[pass], colStep[pass], y);
            std::swap(cur, prev);
          }
        }
      }
    }
    if (z.AtNextChunk()) return true;
    end = z.ChunkEnd();
  }
  // Whatever the rows used, go on after the data of the last IDAT read.
  if (end > stream.Position()) stream.Seek(end);
  uint8_t crc[4];
  stream.Read(crc, 4);  // passed over like every chunk's
  return true;
}

// ---- the decoder ------------------------------------------------------------

std::unique_ptr<TPngDecoder> CreatePngDecoder() { return std::make_unique<TPngDecoder>(); }

TPngDecoder::TPngDecoder() { ResetGamma(); }

TPngDecoder::~TPngDecoder() { Clear(); }

void TPngDecoder::ResetGamma() {
  for (int i = 0; i < 256; ++i) GammaTable[i] = uint8_t(i);
}

void TPngDecoder::Clear() {
  // The bitmap views the header record's rows: it goes before them.
  lent_.reset();
  ResetGamma();
  Chunks.clear();
}

TPngChunk* TPngDecoder::Find(const char* type) const {
  for (auto& c : Chunks)
    if (c->IsType(type)) return c.get();
  return nullptr;
}

TPngHeaderChunk* TPngDecoder::Header() const {
  if (Chunks.empty() || !Chunks[0]->IsType("IHDR")) return nullptr;
  return static_cast<TPngHeaderChunk*>(Chunks[0].get());
}

TPngChunk* TPngDecoder::AddRecord(const char* type) {
  std::unique_ptr<TPngChunk> rec;
  bool beforeEnd = false;
  if (SameType(type, "IHDR")) {
    if (Find("IHDR")) return nullptr;
    Chunks.insert(Chunks.begin(), std::make_unique<TPngHeaderChunk>(this));
    return Chunks.front().get();
  }
  if (SameType(type, "PLTE") || SameType(type, "IDAT") || SameType(type, "gAMA") || SameType(type, "tRNS")) {
    if (Find(type)) return nullptr;
    if (SameType(type, "PLTE"))
      rec = std::make_unique<TPngPaletteChunk>(type, this);
    else if (SameType(type, "IDAT"))
      rec = std::make_unique<TPngDataChunk>(type, this);
    else if (SameType(type, "gAMA"))
      rec = std::make_unique<TPngGammaChunk>(type, this);
    else
      rec = std::make_unique<TPngTransparencyChunk>(type, this);
  } else if (SameType(type, "IEND")) {
    if (!Chunks.empty() && Chunks.back()->IsType("IEND")) return nullptr;
    rec = std::make_unique<TPngChunk>(type, this);
  } else {
    if (SameType(type, "tEXt"))
      rec = std::make_unique<TPngTextChunk>(type, this);
    else if (SameType(type, "tIME"))
      rec = std::make_unique<TPngTimeChunk>(type, this);
    else
      rec = std::make_unique<TPngChunk>(type, this);
    beforeEnd = true;
  }
  TPngChunk* p = rec.get();
  if (beforeEnd && !Chunks.empty() && Chunks.back()->IsType("IEND"))
    Chunks.insert(Chunks.end() - 1, std::move(rec));
  else
    Chunks.push_back(std::move(rec));
  return p;
}

bool TPngDecoder::LoadFromFile(const std::string& name) {
  TFileStream f(name, TFileStream::fmOpenRead);
  if (!f.IsOpen()) {
    Clear();
    lastError_ = pic_cannot_open;
    return false;
  }
  return LoadFromStream(f);
}

bool TPngDecoder::LoadFromStream(TStream& stream) {
  lastError_ = pic_ok;
  Clear();
  uint8_t sig[8];
  if (stream.Read(sig, 8) < 8 || std::memcmp(sig, Signature, 8) != 0) {
    Fail(png_signature);
    return false;
  }
  bool sawIdat = false;
  for (;;) {
    uint8_t head[4];
    if (stream.Read(head, 4) < 4) {
      Fail(png_no_iend);
      return Header() != nullptr && Find("IDAT") != nullptr;
    }
    uint32_t length = BigEndian32(head);
    char type[4] = {0, 0, 0, 0};
    stream.Read(type, 4);
    if (Chunks.empty() && !SameType(type, "IHDR")) {
      Fail(png_no_ihdr);
      return false;
    }
    if (SameType(type, "cHRM") || (SameType(type, "IDAT") && sawIdat)) {
      stream.Seek(stream.Position() + int64_t(length) + 4);
      continue;
    }
    if (SameType(type, "IDAT")) sawIdat = true;
    TPngChunk* rec = AddRecord(type);
    if (!rec) {
      Fail(png_duplicate_chunk);
      return false;
    }
    if (!rec->Read(stream, length)) break;
    if (SameType(type, "IEND")) break;
  }
  if (!sawIdat) {
    Fail(png_no_idat);
    return false;
  }
  return true;
}

TBitmapObject* TPngDecoder::GetBitmap() {
  if (lent_) return lent_.get();
  TPngHeaderChunk* h = Header();
  if (!h || !h->Rows) return nullptr;
  lent_ = std::make_unique<TBitmapObject>();
  lent_->ViewLentRows(h->Info, h->Rows, int32_t(h->Width), int32_t(h->Height));
  return lent_.get();
}

}  // namespace hi

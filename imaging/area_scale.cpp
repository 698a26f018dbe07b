#include "imaging/area_scale.h"

#include <algorithm>
#include <vector>

#include "framework/checked_size.h"
#include "imaging/bitmap.h"

namespace hi {

namespace {

// Weights are fixed-point fractions of one output pixel; those of one output
// pixel add up to exactly WeightOne, so a flat area stays flat.
constexpr int WeightShift = 14;
constexpr uint32_t WeightOne = uint32_t(1) << WeightShift;
// Horizontal sums are kept with 8 fraction bits, which leaves room for the
// vertical sum in 32 bits: 255 * 2^8 * 2^14 < 2^32.
constexpr int RowShift = WeightShift - 8;
constexpr int FinalShift = 8 + WeightShift;

// The source pixels one output pixel along an axis covers, with weights.
struct TSpan {
  int32_t first = 0;
  int32_t count = 0;
  size_t weights = 0;  // index of the first weight in TAxis::weights
};

struct TAxis {
  std::vector<TSpan> spans;
  std::vector<uint16_t> weights;
};

// Output pixel k covers [k*src, (k+1)*src) and source pixel i covers
// [i*dst, (i+1)*dst), both in units of 1/dst source pixel. The weights are
// the overlaps, rounded on the running sum so that none of the whole is lost.
TAxis MakeAxis(int32_t src, int32_t dst) {
  TAxis axis;
  axis.spans.resize(size_t(dst));
  axis.weights.reserve(size_t(src) + size_t(dst));
  const int64_t s = src, d = dst;
  for (int64_t k = 0; k < d; ++k) {
    const int64_t begin = k * s, end = begin + s;
    TSpan& span = axis.spans[size_t(k)];
    span.first = int32_t(begin / d);
    span.weights = axis.weights.size();
    const int64_t last = (end - 1) / d;
    int64_t covered = 0;
    uint32_t given = 0;
    for (int64_t i = span.first; i <= last; ++i) {
      covered += std::min((i + 1) * d, end) - std::max(i * d, begin);
      const uint32_t upTo = uint32_t((covered * WeightOne + s / 2) / s);
      axis.weights.push_back(uint16_t(upTo - given));
      given = upTo;
    }
    span.count = int32_t(last - span.first + 1);
  }
  return axis;
}

void ScaleRow(const uint8_t* src, const TAxis& axis, uint16_t* out) {
  for (const TSpan& span : axis.spans) {
    const uint8_t* p = src + size_t(span.first) * 3;
    const uint16_t* w = axis.weights.data() + span.weights;
    uint32_t c0 = 0, c1 = 0, c2 = 0;
    for (int32_t j = 0; j < span.count; ++j, p += 3) {
      c0 += p[0] * uint32_t(w[j]);
      c1 += p[1] * uint32_t(w[j]);
      c2 += p[2] * uint32_t(w[j]);
    }
    constexpr uint32_t half = uint32_t(1) << (RowShift - 1);
    out[0] = uint16_t((c0 + half) >> RowShift);
    out[1] = uint16_t((c1 + half) >> RowShift);
    out[2] = uint16_t((c2 + half) >> RowShift);
    out += 3;
  }
}

}  // namespace

bool FitInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight, int32_t& outWidth,
               int32_t& outHeight) {
  outWidth = outHeight = 0;
  if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return false;
  if (width <= boxWidth && height <= boxHeight) {
    outWidth = width;
    outHeight = height;
    return true;
  }
  const int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
  if (w * bh >= h * bw) {  // the width is the tighter side
    outWidth = boxWidth;
    outHeight = int32_t(std::clamp<int64_t>((h * bw + w / 2) / w, 1, bh));
  } else {
    outHeight = boxHeight;
    outWidth = int32_t(std::clamp<int64_t>((w * bh + h / 2) / h, 1, bw));
  }
  return true;
}

bool AreaScale24(const uint8_t* src, int32_t srcWidth, int32_t srcHeight, ptrdiff_t srcStride, uint8_t* dst,
                 int32_t dstWidth, int32_t dstHeight, ptrdiff_t dstStride) {
  if (src == nullptr || dst == nullptr) return false;
  if (dstWidth < 1 || dstHeight < 1 || dstWidth > srcWidth || dstHeight > srcHeight) return false;
  // No reader here makes a larger picture; the axes' tables and the row
  // buffers grow with the sizes, so a larger one is refused unread.
  if (CheckedProduct(srcWidth, srcHeight, 3, MaxPixelBytes) < 0) return false;
  const TAxis across = MakeAxis(srcWidth, dstWidth);
  const TAxis down = MakeAxis(srcHeight, dstHeight);
  const size_t samples = size_t(dstWidth) * 3;
  std::vector<uint16_t> row(samples);
  std::vector<uint32_t> sum(samples);
  // Neighbouring output rows share at most their boundary source row, so
  // keeping the last scaled row scales each source row once.
  int32_t rowIndex = -1;
  for (int32_t y = 0; y < dstHeight; ++y) {
    const TSpan& span = down.spans[size_t(y)];
    std::fill(sum.begin(), sum.end(), 0u);
    for (int32_t j = 0; j < span.count; ++j) {
      const int32_t sy = span.first + j;
      if (sy != rowIndex) {
        ScaleRow(src + ptrdiff_t(sy) * srcStride, across, row.data());
        rowIndex = sy;
      }
      const uint32_t w = down.weights[span.weights + size_t(j)];
      for (size_t i = 0; i < samples; ++i) sum[i] += row[i] * w;
    }
    uint8_t* out = dst + ptrdiff_t(y) * dstStride;
    constexpr uint32_t half = uint32_t(1) << (FinalShift - 1);
    for (size_t i = 0; i < samples; ++i) out[i] = uint8_t((sum[i] + half) >> FinalShift);
  }
  return true;
}

}  // namespace hi

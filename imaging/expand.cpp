#include "imaging/expand.h"

#include <cstddef>

#include "framework/checked_size.h"
#include "imaging/bitmap.h"

namespace hi {

bool ExpandToRgb(TBitmapObject& b, std::vector<uint8_t>& rgb, int64_t limit) {
  rgb.clear();
  if (b.IsEmpty() || !b.Header() || !b.Bits()) return false;
  TPixelLayout layout = b.PixelLayout();
  if (layout == pxDevice || layout == pxCustom) return false;
  // Rows must hold the width at the header's depth (a header's planes can
  // make the layout disagree with the stored rows).
  if (int64_t(b.ScanLineSize()) < RowStride(LayoutBits(layout), b.Width())) return false;
  int32_t w = b.Width(), h = b.Height();
  const int64_t size = CheckedProduct(w, h, 3, limit);
  if (size < 0 || CheckedProduct(b.ScanLineSize(), h, b.BitsSize()) < 0) return false;
  const uint32_t* pal = b.Colors();
  const uint32_t* masks = b.Colors();
  rgb.resize(size_t(size));
  uint8_t* o = rgb.data();
  // Rows lie at equal steps (up or down): two lookups serve them all.
  const uint8_t* first = b.ScanLine(0);
  const std::ptrdiff_t step = h > 1 ? b.ScanLine(1) - first : 0;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* r = first + step * y;
    for (int32_t x = 0; x < w; ++x, o += 3) {
      uint32_t v;
      switch (layout) {
        case px1Bit: v = pal[(r[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case px4Bit: v = pal[(r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case px8Bit: v = pal[r[x]]; break;
        case px15Bit:
        case px16Bit: {
          uint32_t p = r[2 * size_t(x)] | (r[2 * size_t(x) + 1] << 8);
          uint32_t rm = 0x7C00, gm = 0x03E0, bm = 0x001F;
          if (layout == px16Bit) {
            rm = masks[0];
            gm = masks[1];
            bm = masks[2];
          }
          auto chan = [p](uint32_t m) -> uint32_t {
            if (!m) return 0;
            int shift = 0;
            while (!((m >> shift) & 1)) ++shift;
            uint64_t max = m >> shift, c = (p & m) >> shift;
            return uint32_t((c * 255 + max / 2) / max);
          };
          v = chan(bm) | (chan(gm) << 8) | (chan(rm) << 16);
          break;
        }
        case px24Bit: v = r[3 * size_t(x)] | (r[3 * size_t(x) + 1] << 8) | (r[3 * size_t(x) + 2] << 16); break;
        default: v = r[4 * size_t(x)] | (r[4 * size_t(x) + 1] << 8) | (r[4 * size_t(x) + 2] << 16); break;
      }
      o[0] = uint8_t(v >> 16);
      o[1] = uint8_t(v >> 8);
      o[2] = uint8_t(v);
    }
  }
  return true;
}

bool WalkPicture(TBitmapObject* b, int64_t wholePixels) {
  if (!b || b->IsEmpty()) return true;
  const int64_t stride = b->ScanLineSize();
  const bool rowsHeld = CheckedProduct(stride, b->Height(), b->BitsSize()) >= 0;
  if (CheckedProduct(b->Width(), b->Height(), wholePixels) < 0) {
    if (!rowsHeld) return false;
    if (stride > 0 && b->ScanLine(0)) {
      volatile uint8_t v = b->ScanLine(0)[stride - 1];
      v = b->ScanLine(b->Height() - 1)[stride - 1];
      (void)v;
    }
    return true;
  }
  if (b->Bits() && !rowsHeld) return false;
  std::vector<uint8_t> rgb;
  if (!ExpandToRgb(*b, rgb)) return true;  // a layout without plain colours
  volatile uint8_t sum = 0;
  for (uint8_t v : rgb) sum = uint8_t(sum + v);
  (void)sum;
  return int64_t(rgb.size()) == int64_t(b->Width()) * b->Height() * 3;
}

}  // namespace hi

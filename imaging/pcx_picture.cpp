#include "imaging/pcx_picture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/checked_size.h"
#include "imaging/stream.h"

namespace hi {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

TPixelLayout LayoutOf(int bits, int planes) {
  if (bits == 1 && planes == 1) return px1Bit;
  if (bits == 1 && planes == 4) return px4Bit;
  if (bits == 4 && planes == 1) return px4Bit;
  if (bits == 8 && planes == 1) return px8Bit;
  if (bits == 8 && planes == 3) return px24Bit;
  return pxDevice;
}

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16); }

}  // namespace

std::unique_ptr<TPcxPicture> CreatePcxPicture() { return std::make_unique<TPcxPicture>(); }

bool TPcxPicture::LoadFromFile(const std::string& name) {
  TFileStream f(name, TFileStream::fmOpenRead);
  if (!f.IsOpen()) {
    bitmap_.reset();
    lastError_ = pic_cannot_open;
    return false;
  }
  return LoadFromStream(f);
}

bool TPcxPicture::LoadFromStream(TStream& stream) {
  bitmap_.reset();
  int64_t start = stream.Position();
  lastError_ = Read(stream);
  if (lastError_ == pic_ok) return true;
  bitmap_.reset();
  stream.Seek(start);
  return false;
}

TPictureResult TPcxPicture::Read(TStream& stream) {
  uint8_t h[128];
  if (stream.Read(h, 128) < 128) return pic_truncated;
  if (h[0] != 10) return pcx_manufacturer;
  int version = h[1], bits = h[3], planes = h[65];
  TPixelLayout layout = LayoutOf(bits, planes);
  if (layout == pxDevice) return pcx_format;
  int32_t width = int32_t(Get16(h + 8)) - Get16(h + 4) + 1;
  int32_t height = int32_t(Get16(h + 10)) - Get16(h + 6) + 1;
  int64_t bytesPerLine = Get16(h + 66);
  if (width <= 0 || height <= 0) return pcx_size;
  // Both buffers are bounded before anything is allocated.
  const int64_t decodedSize = CheckedProduct(planes, bytesPerLine, height, MaxPixelBytes);
  if (decodedSize < 0 || CheckedProduct(RowStride(LayoutBits(layout), width), height, MaxPixelBytes) < 0)
    return pic_over_limit;

  // Bytes the encoded data never reach read as zero.
  std::vector<uint8_t> decoded;
  std::vector<uint8_t> encoded;
  try {
    decoded.assign(size_t(decodedSize), 0);
    int64_t want = std::min<int64_t>(std::max<int64_t>(0, stream.Remaining()), 2 * decodedSize);
    encoded.resize(size_t(want));
    encoded.resize(stream.Read(encoded.data(), size_t(want)));
  } catch (const std::bad_alloc&) {
    return pic_no_memory;
  }
  size_t out = 0, in = 0;
  while (out < decoded.size() && in < encoded.size()) {
    uint8_t b = encoded[in++];
    if (b < 0xC0) {
      decoded[out++] = b;
    } else {
      if (in >= encoded.size()) break;
      uint8_t v = encoded[in++];
      size_t n = std::min<size_t>(b & 0x3F, decoded.size() - out);
      std::memset(decoded.data() + out, v, n);
      out += n;
    }
  }

  bitmap_ = CreateDibBitmap(width, height, layout);
  if (bitmap_->IsEmpty()) return pic_no_memory;  // under the limit, checked above
  int64_t stride = bitmap_->ScanLineSize();
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* dst = bitmap_->ScanLine(y);
    const uint8_t* row = decoded.data() + int64_t(y) * planes * bytesPerLine;
    if (bits == 1 && planes == 4) {
      // Every pixel, the last of an odd width included, from its bit in
      // the four planes.
      for (int32_t x = 0; x < width && (x >> 3) < bytesPerLine; ++x) {
        uint8_t nibble = 0;
        for (int p = 0; p < 4; ++p)
          if ((row[p * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1) nibble |= uint8_t(1 << p);
        dst[x >> 1] |= (x & 1) ? nibble : uint8_t(nibble << 4);
      }
    } else if (bits == 8 && planes == 3) {
      for (int64_t x = 0; x < width && x < bytesPerLine; ++x) {
        dst[3 * x] = row[2 * bytesPerLine + x];
        dst[3 * x + 1] = row[bytesPerLine + x];
        dst[3 * x + 2] = row[x];
      }
    } else {
      // Packed pixels lie in PCX rows as in DIB rows, high nibble first.
      if (bytesPerLine > 0) std::memcpy(dst, row, size_t(std::min(bytesPerLine, stride)));
    }
  }

  if (layout == px8Bit) {
    int64_t size = stream.Size();
    if (size > 768) {
      uint8_t marker = 0;
      stream.Seek(size - 769);
      stream.Read(&marker, 1);
      if ((version == 2 || version == 5) && (marker == 10 || marker == 12)) {
        uint8_t pal[768];
        if (stream.Read(pal, 768) == 768) {
          int mul = marker == 10 ? 4 : 1;
          for (size_t i = 0; i < 256; ++i)
            bitmap_->SetPaletteEntry(
                int(i), Rgb(uint8_t(pal[3 * i] * mul), uint8_t(pal[3 * i + 1] * mul), uint8_t(pal[3 * i + 2] * mul)));
        }
      }
    }
  } else if (layout == px1Bit || layout == px4Bit) {
    int n = layout == px1Bit ? 2 : 16;
    for (int i = 0; i < n; ++i) bitmap_->SetPaletteEntry(i, Rgb(h[16 + 3 * i], h[17 + 3 * i], h[18 + 3 * i]));
  }
  return pic_ok;
}

}  // namespace hi

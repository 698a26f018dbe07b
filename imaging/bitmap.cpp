#include "imaging/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "framework/checked_size.h"
#include "framework/exception.h"
#include "imaging/stream.h"

namespace hi {

namespace {

constexpr uint16_t BmSignature = 0x4D42;
// Rows a file with a file header may lack and still load, the rest read as
// zero: files cut a little short and run-length rows, which are taken as
// plain rows, keep showing.
constexpr int64_t MaxMissingRowBytes = int64_t(64) << 10;

// Bit count times planes; a product past any real depth reads as 65 bits,
// which no layout has.
int HeaderBits(const TBitmapInfoHeader* h) {
  int64_t bits = int64_t(h->biBitCount) * h->biPlanes;
  return bits > 64 ? 65 : int(bits);
}

void FillNewHeader(TBitmapInfoHeader* h, int32_t width, int32_t height, TPixelLayout layout) {
  h->biSize = 40;
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = static_cast<uint16_t>(LayoutBits(layout));
  h->biCompression = 0;
  if (layout == px16Bit) {
    uint32_t* masks = reinterpret_cast<uint32_t*>(h + 1);
    h->biCompression = 3;
    masks[0] = 0xF800;
    masks[1] = 0x07E0;
    masks[2] = 0x001F;
  }
}

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Colour of pixel x of a row as 0x00RRGGBB, for the portable re-formatting.
uint32_t PixelColor(const TBitmapInfoHeader* h, const uint8_t* row, size_t x) {
  const uint32_t* colors = reinterpret_cast<const uint32_t*>(h + 1);
  switch (HeaderBits(h)) {
    case 1: return colors[(row[x >> 3] >> (7 - (x & 7))) & 1] & 0xFFFFFF;
    case 4: return colors[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15] & 0xFFFFFF;
    case 8: return colors[row[x]] & 0xFFFFFF;
    case 16: {
      uint16_t v = Get16(row + 2 * x);
      uint32_t r, g, b;
      if (h->biCompression == 3) {
        r = (v >> 11) & 31;
        g = (v >> 5) & 63;
        b = v & 31;
        g = (g << 2) | (g >> 4);
      } else {
        r = (v >> 10) & 31;
        g = (v >> 5) & 31;
        b = v & 31;
        g = (g << 3) | (g >> 2);
      }
      r = (r << 3) | (r >> 2);
      b = (b << 3) | (b >> 2);
      return (r << 16) | (g << 8) | b;
    }
    case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    case 32: return Get32(row + 4 * x) & 0xFFFFFF;
    default: return 0;
  }
}

void PutColor(const TBitmapInfoHeader* h, uint8_t* row, size_t x, uint32_t c) {
  uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
  switch (HeaderBits(h)) {
    case 16: {
      uint16_t v = h->biCompression == 3 ? uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
                                         : uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
      row[2 * x] = uint8_t(v);
      row[2 * x + 1] = uint8_t(v >> 8);
      break;
    }
    case 24:
      row[3 * x] = uint8_t(b);
      row[3 * x + 1] = uint8_t(g);
      row[3 * x + 2] = uint8_t(r);
      break;
    case 32:
      row[4 * x] = uint8_t(b);
      row[4 * x + 1] = uint8_t(g);
      row[4 * x + 2] = uint8_t(r);
      row[4 * x + 3] = 0;
      break;
    default: break;
  }
}

// Memory row of the picture row counted from the bottom.
uint8_t* RowFromBottom(const TBitmapInfoHeader* h, uint8_t* bits, int64_t stride, int32_t r) {
  int32_t height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  return bits + stride * (h->biHeight < 0 ? height - 1 - r : r);
}

}  // namespace

int LayoutBits(TPixelLayout layout) {
  static const int bits[] = {0, 1, 4, 8, 16, 16, 24, 32, 0};
  return layout <= pxCustom ? bits[layout] : 0;
}

TPixelLayout BitsToLayout(int bits) {
  for (int l = px1Bit; l <= px32Bit; ++l)
    if (LayoutBits(TPixelLayout(l)) == bits) return TPixelLayout(l);
  return pxCustom;
}

int64_t RowStride(int64_t bitsPerPixel, int64_t width) { return ((bitsPerPixel * width + 31) >> 3) & ~int64_t(3); }

TBitmapInfoHeader* AllocHeaderBlock() { return static_cast<TBitmapInfoHeader*>(std::calloc(1, HeaderBlockSize)); }

uint8_t* AllocRows(int64_t size) {
  if (size < 0 || size > MaxPixelBytes) return nullptr;
  return static_cast<uint8_t*>(std::calloc(1, size > 0 ? size_t(size) : 1));
}

std::unique_ptr<TBitmapObject> CreateDeviceBitmap(int32_t width, int32_t height) {
  auto b = std::make_unique<TBitmapObject>();
  b->storage_ = bsDDB;
  b->width_ = width;
  b->height_ = height;
  if (width != 0 && height != 0) b->ReformatDevice(0, 0);
  return b;
}

std::unique_ptr<TBitmapObject> CreateDibBitmap(int32_t width, int32_t height, TPixelLayout layout) {
  auto b = std::make_unique<TBitmapObject>();
  b->storage_ = bsDIB;
  if (width <= 0 || height <= 0) return b;
  if (LayoutBits(layout) == 0) layout = pxDefault;
  const int64_t size = CheckedProduct(RowStride(LayoutBits(layout), width), height, MaxPixelBytes);
  TBitmapInfoHeader* h = AllocHeaderBlock();
  uint8_t* rows = AllocRows(size);
  if (!h || !rows) {
    // Too large for any reader here: stays an empty bitmap.
    std::free(h);
    std::free(rows);
    return b;
  }
  FillNewHeader(h, width, height, layout);
  b->header_ = h;
  b->bits_ = rows;
  b->bitsSize_ = int32_t(size);
  b->layout_ = layout;
  b->width_ = width;
  b->height_ = height;
  return b;
}

TBitmapObject::~TBitmapObject() { Clear(); }

void TBitmapObject::Clear() {
  ReleasePixelData();
  width_ = 0;
  height_ = 0;
  sectionOwnsRows_ = false;
}

void TBitmapObject::ReleasePixelData() {
  if (handle_) {
    if (sectionOwnsRows_) bits_ = nullptr;  // the section's memory goes with it
    DeleteHandle();
  }
  if (bits_ != lentRows_) std::free(bits_);
  bits_ = nullptr;
  lentRows_ = nullptr;
  std::free(header_);
  header_ = nullptr;
  bitsSize_ = 0;
  scanLineSize_ = 0;
  scanLineCache_[0] = scanLineCache_[1] = 0;
}

int32_t TBitmapObject::ScanLineSize() {
  if (!header_) return 0;
  if (scanLineSize_ == 0) {
    // No row of a bitmap here passes the pixel limit: a header that says
    // otherwise gives rows of no size, which every reader of rows refuses.
    const int64_t stride = RowStride(HeaderBits(header_), header_->biWidth);
    scanLineSize_ = stride <= MaxPixelBytes ? int32_t(stride) : 0;
  }
  return scanLineSize_;
}

uint8_t* TBitmapObject::ScanLine(int32_t y) {
  if (!header_ || !bits_ || y < 0 || y >= height_) return nullptr;
  int32_t r = header_->biHeight > 0 ? height_ - y - 1 : y;
  return bits_ + int64_t(r) * ScanLineSize();
}

TPixelLayout TBitmapObject::PixelLayout() const {
  if (storage_ == bsDDB || !header_ || !bits_) return pxDevice;
  TPixelLayout l = BitsToLayout(HeaderBits(header_));
  if (l == px15Bit) {
    if (header_->biCompression == 3) return px16Bit;
    // The BMP reader refuses such headers: only a header changed by hand
    // afterwards gets here.
    HI_ASSERT(header_->biCompression == 0, "Unsupported bitmap format");
  }
  return l;
}

int TBitmapObject::PaletteColorCount() const {
  if (IsEmpty()) return 0;
  switch (PixelLayout()) {
    case px1Bit: return 2;
    case px4Bit: return 16;
    case px8Bit: return 256;
    default: return 0;
  }
}

void TBitmapObject::SetPaletteEntry(int index, uint32_t color) {
  if (!header_ || !bits_) return;
  if (handle_) {
    // Keep the rows in memory before the section that holds them goes.
    if (sectionOwnsRows_) {
      uint8_t* own = AllocRows(bitsSize_);
      if (!own) return;
      std::memcpy(own, bits_, size_t(bitsSize_));
      bits_ = own;
      sectionOwnsRows_ = false;
    }
    DeleteHandle();
  }
  if (index < 0 || index >= ColorSlots) return;
  Colors()[index] = ResolveColor(color);
}

void TBitmapObject::SetWidth(int32_t w) {
  if (w == width_) return;
  width_ = w;
  Reformat();
}

void TBitmapObject::SetHeight(int32_t h) {
  if (h == height_) return;
  storage_ = bsDDB;
  height_ = h;
  Reformat();
}

void TBitmapObject::SetStorage(TBitmapStorage kind) {
  if (kind == storage_) return;
  storage_ = kind;
  Reformat();
}

void TBitmapObject::Reformat() {
  if (IsEmpty()) return;
  scanLineSize_ = 0;
  scanLineCache_[0] = scanLineCache_[1] = 0;
  int32_t oldW = width_, oldH = height_;
  if (header_ && bits_) {
    oldW = header_->biWidth;
    oldH = header_->biHeight < 0 ? -header_->biHeight : header_->biHeight;
  } else if (handle_) {
    DeviceSize(oldW, oldH);
  }
  if (storage_ == bsDDB)
    ReformatDevice(oldW, oldH);
  else
    ReformatMemory(oldW, oldH);
}

void TBitmapObject::ReformatMemory(int32_t oldWidth, int32_t oldHeight) {
  TPixelLayout layout = LayoutBits(layout_) == 0 ? pxDefault : layout_;
  if (width_ <= 0 || height_ <= 0) {
    ReleasePixelData();
    return;
  }
  const int64_t size = CheckedProduct(RowStride(LayoutBits(layout), width_), height_, MaxPixelBytes);
  TBitmapInfoHeader* h = AllocHeaderBlock();
  uint8_t* rows = AllocRows(size);
  if (!h || !rows) {
    std::free(h);
    std::free(rows);
    ReleasePixelData();
    width_ = height_ = 0;
    return;
  }
  FillNewHeader(h, width_, height_, layout);
  int32_t lines = std::min(height_, oldHeight);
  if (!ConvertIntoMemory(h, rows, lines) && header_ && bits_) {
    // No device to convert with: the bottom lines are carried over pixel by
    // pixel, indices as they are when the depth stays the same.
    int64_t oldStride = RowStride(HeaderBits(header_), header_->biWidth);
    int64_t newStride = RowStride(LayoutBits(layout), width_);
    bool sameBits = HeaderBits(header_) == LayoutBits(layout) && header_->biCompression == h->biCompression;
    if (sameBits && LayoutBits(layout) <= 8)
      std::memcpy(h + 1, header_ + 1, HeaderBlockSize - sizeof(TBitmapInfoHeader));
    for (int32_t r = 0; r < lines; ++r) {
      uint8_t* src = RowFromBottom(header_, bits_, oldStride, r);
      uint8_t* dst = rows + newStride * r;
      if (sameBits) {
        std::memcpy(dst, src, size_t(std::min(oldStride, newStride)));
      } else if (LayoutBits(layout) > 8) {
        for (size_t x = 0; x < size_t(std::min(width_, oldWidth)); ++x)
          PutColor(h, dst, x, PixelColor(header_, src, x));
      }
    }
  }
  ReleasePixelData();
  header_ = h;
  bits_ = rows;
  bitsSize_ = int32_t(size);
  layout_ = layout;
}

void TBitmapObject::ViewLentRows(const TBitmapInfoHeader* info, uint8_t* rows, int32_t width, int32_t height) {
  Clear();
  storage_ = bsDIB;
  header_ = AllocHeaderBlock();
  if (!header_) return;
  std::memcpy(header_, info, HeaderBlockSize);
  bits_ = rows;
  lentRows_ = rows;
  width_ = width;
  height_ = height;
  layout_ = BitsToLayout(HeaderBits(header_));
  // Making a handle copies the rows into the section and leaves these alone.
  sectionOwnsRows_ = true;
  // The lender checked its buffer against the limit; a view that claims
  // more holds no rows to read.
  const int64_t size = CheckedProduct(ScanLineSize(), height, MaxPixelBytes);
  bitsSize_ = size < 0 ? 0 : int32_t(size);
}

bool TBitmapObject::Assign(const TBitmapObject* source) {
  Clear();
  if (!source || source->IsEmpty()) return false;
  width_ = source->width_;
  height_ = source->height_;
  storage_ = source->storage_;
  layout_ = source->layout_;
  if (storage_ == bsDDB) {
    handle_ = source->DuplicateHandle();
    if (!handle_) {
      Clear();
      return false;
    }
    return true;
  }
  if (!source->header_ || !source->bits_) {
    Clear();
    return false;
  }
  header_ = AllocHeaderBlock();
  bits_ = AllocRows(source->bitsSize_);
  if (!header_ || !bits_) {
    Clear();
    return false;
  }
  std::memcpy(header_, source->header_, HeaderBlockSize);
  std::memcpy(bits_, source->bits_, size_t(source->bitsSize_));
  bitsSize_ = source->bitsSize_;
  return true;
}

bool TBitmapObject::LoadFromFile(const std::string& name) {
  TFileStream f(name, TFileStream::fmOpenRead);
  if (!f.IsOpen()) {
    Clear();
    lastError_ = pic_cannot_open;
    return false;
  }
  return LoadFromStream(f);
}

bool TBitmapObject::LoadFromStream(TStream& stream) {
  Clear();
  int64_t start = stream.Position();
  lastError_ = ReadBmp(stream);
  if (lastError_ == pic_ok) return true;
  stream.Seek(start);
  Clear();
  return false;
}

// Header faults (format, width, height, memory) are refusals like a short
// file: every caller treats them as an unreadable picture, so none raises.
TPictureResult TBitmapObject::ReadBmp(TStream& stream) {
  int64_t start = stream.Position();
  storage_ = bsDIB;
  uint8_t fileHeader[14];
  if (stream.Read(fileHeader, 14) < 14) return pic_truncated;
  int64_t fileSize = 0, gap = 0;
  bool hasFileHeader = Get16(fileHeader) == BmSignature;
  if (hasFileHeader) {
    fileSize = Get32(fileHeader + 2);
    gap = int64_t(Get32(fileHeader + 10)) - 14;
  } else {
    stream.Seek(start);
  }

  header_ = AllocHeaderBlock();
  if (!header_) return pic_no_memory;
  uint8_t raw[40];
  if (stream.Read(raw, 4) < 4) return pic_truncated;
  uint32_t headerSize = Get32(raw);
  int entrySize;
  if (headerSize == 40) {
    if (stream.Read(raw + 4, 36) < 36) return pic_truncated;
    std::memcpy(header_, raw, 40);
    entrySize = 4;
  } else if (headerSize == 12) {
    if (stream.Read(raw + 4, 8) < 8) return pic_truncated;
    header_->biSize = 40;
    header_->biWidth = Get16(raw + 4);
    header_->biHeight = Get16(raw + 6);
    header_->biPlanes = Get16(raw + 8);
    header_->biBitCount = Get16(raw + 10);
    entrySize = 3;
  } else {
    return bmp_header_size;
  }

  int bits = HeaderBits(header_);
  layout_ = BitsToLayout(bits);
  if (layout_ == px15Bit && header_->biCompression != 0 && header_->biCompression != 3) return bmp_unsupported_format;
  width_ = header_->biWidth;
  if (width_ <= 0) return bmp_width;
  int64_t absHeight = header_->biHeight < 0 ? -int64_t(header_->biHeight) : header_->biHeight;
  // -2^31 has no positive row count in 32 bits: no height to keep.
  if (absHeight <= 0 || absHeight > INT32_MAX) return bmp_height;
  const int64_t size = CheckedProduct(RowStride(bits, width_), absHeight, MaxPixelBytes);
  if (size < 0) return pic_over_limit;

  int64_t table;
  if (header_->biBitCount <= 8)
    table = (int64_t(1) << header_->biBitCount) * entrySize;
  else
    table = (layout_ == px15Bit || layout_ == px16Bit) ? 12 : 0;
  if (gap > 0) gap -= headerSize;
  // A bare DIB has no offset field: its table follows the header as the
  // bit count says (the icon reader passes such DIBs).
  if (hasFileHeader && table != gap) {
    if (!((layout_ == px15Bit || layout_ == px16Bit) && gap != 0)) table = gap;
  }
  if (table > 0) {
    if (table <= gap) gap -= table;
    uint8_t* slots = reinterpret_cast<uint8_t*>(Colors());
    // The colour area holds 256 entries; a longer table is skipped.
    int64_t excess;
    if (entrySize == 4) {
      int64_t n = std::min<int64_t>(table, int64_t(ColorSlots) * 4);
      if (int64_t(stream.Read(slots, size_t(n))) < n) return pic_truncated;
      excess = table - n;
    } else {
      int64_t entries = std::min<int64_t>(table / 3, ColorSlots);
      for (int64_t i = 0; i < entries; ++i)
        if (stream.Read(slots + 4 * i, 3) < 3) return pic_truncated;
      excess = table - entries * 3;
    }
    if (excess > 0) {
      if (stream.Remaining() < excess) return pic_truncated;
      stream.Seek(stream.Position() + excess);
    }
  }
  if (gap > 0) stream.Seek(stream.Position() + gap);

  int64_t want = size;
  if (fileSize != 0) want = std::max<int64_t>(0, std::min(size, stream.Size() - stream.Position()));
  bool fromEnd = want < size && stream.Position() >= size - want;
  // The rows are compared with the bytes the file holds before they are
  // made: a header that declares rows it lacks costs no more than its file.
  if (fileSize == 0 && stream.Remaining() < size) return pic_truncated;
  if (!fromEnd && size - want > MaxMissingRowBytes) return pic_truncated;
  height_ = int32_t(absHeight);
  bits_ = AllocRows(size);
  if (!bits_) return pic_no_memory;
  bitsSize_ = int32_t(size);
  if (fromEnd) {
    stream.Seek(stream.Position() - (size - want));
    want = size;
  }
  if (int64_t(stream.Read(bits_, size_t(want))) < want) return pic_truncated;
  return pic_ok;
}

void TBitmapObject::SaveToStream(TStream& stream) {
  if (IsEmpty()) return;
  int64_t start = stream.Position();
  SetStorage(bsDIB);
  if (!header_ || !bits_) return;
  int64_t table = header_->biBitCount <= 8 ? int64_t(4) << header_->biBitCount : 0;
  int64_t headerBytes = 40 + table + (header_->biCompression != 0 ? 74 : 0);
  uint32_t offset = uint32_t(14 + headerBytes);
  uint8_t fh[14] = {'B', 'M'};
  uint32_t total = offset + uint32_t(bitsSize_);
  for (int i = 0; i < 4; ++i) {
    fh[2 + i] = uint8_t(total >> (8 * i));
    fh[10 + i] = uint8_t(offset >> (8 * i));
  }
  bool ok = stream.Write(fh, 14) == 14;
  // A compressed 8-bit header asks for more than the block holds: zeros
  // stand for the bytes past it.
  int64_t fromBlock = std::min<int64_t>(headerBytes, HeaderBlockSize);
  ok = ok && int64_t(stream.Write(header_, size_t(fromBlock))) == fromBlock;
  if (ok && headerBytes > fromBlock) {
    uint8_t zeros[128] = {};
    ok = int64_t(stream.Write(zeros, size_t(headerBytes - fromBlock))) == headerBytes - fromBlock;
  }
  ok = ok && int64_t(stream.Write(bits_, size_t(bitsSize_))) == bitsSize_;
  if (!ok) stream.Seek(start);
}

}  // namespace hi

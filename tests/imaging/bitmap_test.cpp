#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

struct BmpSpec {
  bool fileHeader = true;
  bool core = false;  // 12-byte header with 3-byte colour entries
  int32_t width = 4, height = 2;
  uint16_t bits = 8, planes = 1;
  uint32_t compression = 0;
  int tableEntries = -1;    // -1: 2^bits for bits <= 8, else 0
  int64_t offsetDelta = 0;  // added to the natural offset field
  Bytes masks;              // written after the header
};

// A BMP file whose rows hold the byte values row*16 + column.
Bytes MakeBmp(const BmpSpec& s, Bytes* rowsOut = nullptr) {
  Bytes hdr;
  if (s.core) {
    Put32(hdr, 12);
    Put16(hdr, uint16_t(s.width));
    Put16(hdr, uint16_t(s.height));
    Put16(hdr, s.planes);
    Put16(hdr, s.bits);
  } else {
    Put32(hdr, 40);
    Put32(hdr, uint32_t(s.width));
    Put32(hdr, uint32_t(s.height));
    Put16(hdr, s.planes);
    Put16(hdr, s.bits);
    Put32(hdr, s.compression);
    for (int i = 0; i < 5; ++i) Put32(hdr, 0);
  }
  int entries = s.tableEntries >= 0 ? s.tableEntries : (s.bits <= 8 ? 1 << s.bits : 0);
  int entrySize = s.core ? 3 : 4;
  Bytes table;
  for (int i = 0; i < entries; ++i) {
    table.push_back(uint8_t(i));        // blue
    table.push_back(uint8_t(255 - i));  // green
    table.push_back(uint8_t(i * 3));    // red
    if (entrySize == 4) table.push_back(0);
  }
  table.insert(table.end(), s.masks.begin(), s.masks.end());
  int64_t stride = RowStride(s.bits * s.planes, s.width);
  int32_t absH = s.height < 0 ? -s.height : s.height;
  Bytes rows(size_t(stride * absH));
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t((i / stride) * 16 + i % stride);
  if (rowsOut) *rowsOut = rows;
  Bytes out;
  if (s.fileHeader) {
    uint32_t offset = uint32_t(14 + hdr.size() + table.size() + s.offsetDelta);
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(offset + rows.size()));
    Put32(out, 0);
    Put32(out, offset);
  }
  out.insert(out.end(), hdr.begin(), hdr.end());
  out.insert(out.end(), table.begin(), table.end());
  if (s.offsetDelta > 0) out.insert(out.end(), size_t(s.offsetDelta), 0xEE);
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

std::unique_ptr<TBitmapObject> Load(const Bytes& file, bool* ok = nullptr, int64_t* endPos = nullptr) {
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  TMemoryStream s(file);
  bool r = b->LoadFromStream(s);
  if (ok) *ok = r;
  if (endPos) *endPos = s.Position();
  return b;
}

// Why a file is refused; a refusal leaves the bitmap empty and the stream
// where reading began.
TPictureResult Refusal(const Bytes& file) {
  bool ok;
  int64_t end;
  std::unique_ptr<TBitmapObject> b = Load(file, &ok, &end);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(b->IsEmpty());
  EXPECT_EQ(b->Bits(), nullptr);
  EXPECT_EQ(end, 0);
  return b->LastError();
}

}  // namespace

TEST(Bitmap, LayoutRulesAndStrides) {
  EXPECT_EQ(BitsToLayout(1), px1Bit);
  EXPECT_EQ(BitsToLayout(4), px4Bit);
  EXPECT_EQ(BitsToLayout(8), px8Bit);
  EXPECT_EQ(BitsToLayout(16), px15Bit);  // the first match wins
  EXPECT_EQ(BitsToLayout(24), px24Bit);
  EXPECT_EQ(BitsToLayout(32), px32Bit);
  EXPECT_EQ(BitsToLayout(0), pxCustom);
  EXPECT_EQ(BitsToLayout(2), pxCustom);
  EXPECT_EQ(BitsToLayout(64), pxCustom);
  EXPECT_EQ(RowStride(24, 1), 4);
  EXPECT_EQ(RowStride(1, 3), 4);
  EXPECT_EQ(RowStride(1, 33), 8);
  EXPECT_EQ(RowStride(24, 5), 16);
}

TEST(Bitmap, CreateDibBitmapMakesBottomUpRowsAndPalettes) {
  std::unique_ptr<TBitmapObject> b = CreateDibBitmap(10, 10, pxDevice);
  ASSERT_FALSE(b->IsEmpty());
  EXPECT_EQ(b->Storage(), bsDIB);
  EXPECT_EQ(b->Header()->biBitCount, 16);
  EXPECT_EQ(b->Header()->biCompression, 3u);
  EXPECT_EQ(b->Colors()[0], 0xF800u);
  EXPECT_EQ(b->Colors()[1], 0x07E0u);
  EXPECT_EQ(b->Colors()[2], 0x001Fu);
  EXPECT_EQ(b->PixelLayout(), px16Bit);
  EXPECT_EQ(b->PaletteColorCount(), 0);
  EXPECT_EQ(b->ScanLineSize(), 20);
  EXPECT_EQ(b->BitsSize(), 200);
  EXPECT_EQ(b->ScanLine(9), b->Bits());
  EXPECT_EQ(b->ScanLine(0), b->Bits() + 9 * 20);
  EXPECT_EQ(b->ScanLine(10), nullptr);
  EXPECT_EQ(b->ScanLine(-1), nullptr);

  std::unique_ptr<TBitmapObject> p = CreateDibBitmap(3, 2, px4Bit);
  EXPECT_EQ(p->PaletteColorCount(), 16);
  p->SetPaletteEntry(5, 0x00112233);
  p->SetPaletteEntry(256, 0x00FFFFFF);  // past the colour area: ignored
  p->SetPaletteEntry(-1, 0x00FFFFFF);
  EXPECT_EQ(p->Colors()[5], 0x00112233u);
  EXPECT_EQ(CreateDibBitmap(1, 1, px1Bit)->PaletteColorCount(), 2);
  EXPECT_EQ(CreateDibBitmap(1, 1, px8Bit)->PaletteColorCount(), 256);

  std::unique_ptr<TBitmapObject> e = CreateDeviceBitmap(0, 0);
  EXPECT_TRUE(e->IsEmpty());
  EXPECT_EQ(e->PaletteColorCount(), 0);
  EXPECT_EQ(e->PixelLayout(), pxDevice);
  EXPECT_EQ(e->ScanLine(0), nullptr);
  EXPECT_EQ(e->ScanLineSize(), 0);

  // More than the readers ever allocate: an empty bitmap, not a crash.
  std::unique_ptr<TBitmapObject> huge = CreateDibBitmap(65535, 65535, px32Bit);
  EXPECT_TRUE(huge->IsEmpty());
  EXPECT_EQ(huge->Bits(), nullptr);
}

TEST(Bitmap, ReadsFileHeaderAndBareDibWithBothHeaderKinds) {
  Bytes rows;
  BmpSpec s;
  bool ok;
  int64_t end;
  auto b = Load(MakeBmp(s, &rows), &ok, &end);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Width(), 4);
  EXPECT_EQ(b->Height(), 2);
  EXPECT_EQ(b->PixelLayout(), px8Bit);
  EXPECT_EQ(b->Colors()[7], 0x0015F807u);  // red 21, green 248, blue 7
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));
  EXPECT_EQ(b->ScanLine(0)[0], 0x10);  // bottom-up: the top row is last in memory

  s.fileHeader = false;
  b = Load(MakeBmp(s), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Colors()[7], 0x0015F807u);
  EXPECT_EQ(b->ScanLine(1)[3], 0x03);

  s.fileHeader = true;
  s.core = true;
  s.bits = 4;
  b = Load(MakeBmp(s, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Header()->biSize, 40u);
  EXPECT_EQ(b->Header()->biBitCount, 4);
  EXPECT_EQ(b->PixelLayout(), px4Bit);
  EXPECT_EQ(b->Colors()[15], 0x002DF00Fu);  // 3-byte entries widened, fourth byte 0
  EXPECT_EQ(b->Colors()[16], 0u);
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));

  // A header size other than 40 or 12 is refused quietly.
  Bytes v4 = MakeBmp(BmpSpec{});
  v4[14] = 108;
  EXPECT_EQ(Refusal(v4), bmp_header_size);
}

TEST(Bitmap, OffsetsGapsTopDownAndShortFiles) {
  Bytes rows;
  bool ok;
  BmpSpec gap;
  gap.offsetDelta = 10;  // bytes between the table and the rows are skipped
  auto b = Load(MakeBmp(gap, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));

  // An offset shorter than the table: only offset - 54 bytes of colours.
  BmpSpec small;
  small.bits = 8;
  small.tableEntries = 3;
  b = Load(MakeBmp(small, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Colors()[2], 0x0006FD02u);
  EXPECT_EQ(b->Colors()[3], 0u);
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));

  // A table far larger than the colour area: read up to 256 entries, the
  // rest skipped, the rows still found.
  BmpSpec big;
  big.bits = 8;
  big.tableEntries = 400;
  b = Load(MakeBmp(big, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Colors()[255], 0x00FD00FFu);
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));

  BmpSpec down;
  down.height = -2;
  b = Load(MakeBmp(down, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->Height(), 2);
  EXPECT_EQ(b->Header()->biHeight, -2);
  EXPECT_EQ(b->ScanLine(0), b->Bits());
  EXPECT_EQ(b->ScanLine(1)[0], 0x10);

  // A file missing its last 3 bytes: its rows are the last bits-size bytes.
  Bytes file = MakeBmp(BmpSpec{}, &rows);
  file.resize(file.size() - 3);
  int64_t fileSize = int64_t(file.size());
  b = Load(file, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(0, std::memcmp(b->Bits(), file.data() + fileSize - int64_t(rows.size()), rows.size()));

  // A header cut short fails and leaves the stream where it began.
  Bytes cut(file.begin(), file.begin() + 30);
  EXPECT_EQ(Refusal(cut), pic_truncated);
  EXPECT_EQ(Refusal(Bytes(10, 'B')), pic_truncated);

  // A bare DIB without all its rows has no file size to go by: a failure.
  BmpSpec bare;
  bare.fileHeader = false;
  Bytes bareFile = MakeBmp(bare);
  bareFile.pop_back();
  EXPECT_EQ(Refusal(bareFile), pic_truncated);
}

TEST(Bitmap, SixteenBitHeadersAndRefusedSizes) {
  bool ok;
  BmpSpec s;
  s.bits = 16;
  auto b = Load(MakeBmp(s), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->PixelLayout(), px15Bit);

  s.compression = 3;
  s.masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  Bytes rows;
  b = Load(MakeBmp(s, &rows), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(b->PixelLayout(), px16Bit);
  EXPECT_EQ(b->Colors()[0], 0xF800u);
  EXPECT_EQ(b->Colors()[2], 0x001Fu);
  EXPECT_EQ(0, std::memcmp(b->Bits(), rows.data(), rows.size()));

  s.compression = 1;
  s.masks.clear();
  EXPECT_EQ(Refusal(MakeBmp(s)), bmp_unsupported_format);
  BmpSpec w;
  w.width = 0;
  EXPECT_EQ(Refusal(MakeBmp(w)), bmp_width);
  w.width = -3;
  EXPECT_EQ(Refusal(MakeBmp(w)), bmp_width);
  BmpSpec h;
  h.height = 0;
  EXPECT_EQ(Refusal(MakeBmp(h)), bmp_height);

  // A 16-bit buffer whose compression was changed afterwards: only such a
  // header, which no reader lets through, still raises the assertion.
  std::unique_ptr<TBitmapObject> m = CreateDibBitmap(2, 2, px15Bit);
  m->Header()->biCompression = 2;
  try {
    m->PixelLayout();
    ADD_FAILURE() << "no assertion";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Kind(), exc_assertion);
    EXPECT_EQ(e.Message().rfind("Unsupported bitmap format (bitmap.cpp, line ", 0), 0u) << e.Message();
  }

  // Dimensions whose rows would need gigabytes: a quiet failure.
  BmpSpec huge;
  huge.width = 65535;
  huge.height = 65535;
  huge.bits = 32;
  Bytes head = MakeBmp(BmpSpec{});
  head[18] = head[19] = 0xFF;
  head[22] = head[23] = 0xFF;
  head[28] = 32;
  EXPECT_EQ(Refusal(head), pic_over_limit);
}

TEST(Bitmap, SaveAndReadBackEveryLayout) {
  for (TPixelLayout l : {px1Bit, px4Bit, px8Bit, px15Bit, px16Bit, px24Bit, px32Bit}) {
    std::unique_ptr<TBitmapObject> b = CreateDibBitmap(7, 3, l);
    for (int32_t i = 0; i < b->BitsSize(); ++i) b->Bits()[i] = uint8_t(i * 7 + 1);
    for (int i = 0; i < b->PaletteColorCount(); ++i) b->SetPaletteEntry(i, uint32_t(i * 0x010203));
    TMemoryStream s;
    b->SaveToStream(s);
    int table = LayoutBits(l) <= 8 ? 4 << LayoutBits(l) : 0;
    int extra = l == px16Bit ? 74 : 0;
    ASSERT_EQ(s.Size(), 54 + table + extra + b->BitsSize()) << int(l);
    EXPECT_EQ(s.Data()[0], 'B');
    EXPECT_EQ(s.Data()[10], uint8_t(54 + table + extra));
    s.Seek(0);
    std::unique_ptr<TBitmapObject> r = CreateDeviceBitmap(0, 0);
    ASSERT_TRUE(r->LoadFromStream(s)) << int(l);
    EXPECT_EQ(r->PixelLayout(), l);
    EXPECT_EQ(0, std::memcmp(r->Header(), b->Header(), 40));
    EXPECT_EQ(0, std::memcmp(r->Colors(), b->Colors(), size_t(table ? table : (l == px16Bit ? 12 : 0))));
    EXPECT_EQ(0, std::memcmp(r->Bits(), b->Bits(), size_t(b->BitsSize())));
  }
  // A compressed 8-bit header asks for more than the block holds.
  std::unique_ptr<TBitmapObject> c = CreateDibBitmap(4, 4, px8Bit);
  c->Header()->biCompression = 1;
  c->SetPaletteEntry(255, 0x00ABCDEF);
  TMemoryStream s;
  c->SaveToStream(s);
  EXPECT_EQ(s.Size(), 54 + 1024 + 74 + c->BitsSize());
  s.Seek(0);
  std::unique_ptr<TBitmapObject> r = CreateDeviceBitmap(0, 0);
  ASSERT_TRUE(r->LoadFromStream(s));
  EXPECT_EQ(r->Colors()[255], 0x00ABCDEFu);

  TMemoryStream none;
  std::unique_ptr<TBitmapObject> e = CreateDeviceBitmap(0, 0);
  e->SaveToStream(none);
  EXPECT_EQ(none.Size(), 0);
}

TEST(Bitmap, AssignCopiesWithoutSharing) {
  std::unique_ptr<TBitmapObject> src = CreateDibBitmap(5, 4, px8Bit);
  src->Bits()[3] = 42;
  src->SetPaletteEntry(42, 0x00102030);
  std::unique_ptr<TBitmapObject> dst = CreateDibBitmap(2, 2, px24Bit);
  ASSERT_TRUE(dst->Assign(src.get()));
  EXPECT_EQ(dst->Width(), 5);
  EXPECT_EQ(dst->Height(), 4);
  EXPECT_EQ(dst->PixelLayout(), px8Bit);
  EXPECT_NE(dst->Bits(), src->Bits());
  EXPECT_EQ(dst->Handle(), nullptr);
  EXPECT_EQ(dst->Bits()[3], 42);
  EXPECT_EQ(dst->Colors()[42], 0x00102030u);
  src->Bits()[3] = 1;
  EXPECT_EQ(dst->Bits()[3], 42);

  std::unique_ptr<TBitmapObject> empty = CreateDeviceBitmap(0, 0);
  EXPECT_FALSE(dst->Assign(empty.get()));
  EXPECT_TRUE(dst->IsEmpty());
  EXPECT_FALSE(dst->Assign(nullptr));
  EXPECT_TRUE(dst->IsEmpty());
}

TEST(Bitmap, SetWidthKeepsTheBottomLeftOfThePicture) {
  std::unique_ptr<TBitmapObject> b = CreateDibBitmap(3, 3, px24Bit);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      uint8_t* p = b->ScanLine(y) + 3 * x;
      p[0] = uint8_t(10 * y + x);
      p[1] = 100;
      p[2] = 200;
    }
  b->SetWidth(5);
  ASSERT_EQ(b->Width(), 5);
  ASSERT_EQ(b->PixelLayout(), px24Bit);
  EXPECT_EQ(b->ScanLineSize(), 16);
  EXPECT_EQ(b->ScanLine(0)[3 * 2], 2);
  EXPECT_EQ(b->ScanLine(2)[3 * 1], 21);
  EXPECT_EQ(b->ScanLine(2)[3 * 1 + 2], 200);
  b->SetWidth(5);  // unchanged: nothing happens
  EXPECT_EQ(b->ScanLine(2)[3], 21);
  b->Clear();
  EXPECT_TRUE(b->IsEmpty());
  EXPECT_EQ(b->Bits(), nullptr);
  EXPECT_EQ(b->Header(), nullptr);
}

TEST(Bitmap, ExpandToRgbResolvesEveryLayout) {
  std::unique_ptr<TBitmapObject> p = CreateDibBitmap(3, 1, px4Bit);
  p->SetPaletteEntry(1, 0x00102030);
  p->SetPaletteEntry(2, 0x00405060);
  p->ScanLine(0)[0] = 0x12;
  p->ScanLine(0)[1] = 0x10;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(ExpandToRgb(*p, rgb));
  EXPECT_EQ(rgb, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x10, 0x20, 0x30}));
  std::unique_ptr<TBitmapObject> s = CreateDibBitmap(1, 1, px16Bit);
  s->ScanLine(0)[0] = 0x1F;  // full blue
  s->ScanLine(0)[1] = 0xF8;  // full red
  ASSERT_TRUE(ExpandToRgb(*s, rgb));
  EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 255}));
}

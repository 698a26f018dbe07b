#include <gtest/gtest.h>

#include <memory>

#include "imaging/pcx_picture.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

// Header plus data, every byte run-length encoded as one-byte runs or
// literals; palette256 is appended with its marker when given.
Bytes MakePcx(int version, int bits, int planes, int w, int h, int bpl, const Bytes& decoded,
              const Bytes& palette256 = {}, int marker = 12) {
  Bytes f(128, 0);
  f[0] = 10;
  f[1] = uint8_t(version);
  f[2] = 1;
  f[3] = uint8_t(bits);
  f[8] = uint8_t(w - 1);
  f[9] = uint8_t((w - 1) >> 8);
  f[10] = uint8_t(h - 1);
  f[11] = uint8_t((h - 1) >> 8);
  for (int i = 0; i < 48; ++i) f[16 + i] = uint8_t(i * 5);
  f[65] = uint8_t(planes);
  f[66] = uint8_t(bpl);
  f[67] = uint8_t(bpl >> 8);
  for (size_t i = 0; i < decoded.size();) {
    size_t n = 1;
    while (i + n < decoded.size() && decoded[i + n] == decoded[i] && n < 63) ++n;
    if (n > 1 || decoded[i] >= 0xC0) {
      f.push_back(uint8_t(0xC0 | n));
      f.push_back(decoded[i]);
    } else {
      f.push_back(decoded[i]);
    }
    i += n;
  }
  if (!palette256.empty()) {
    f.push_back(uint8_t(marker));
    f.insert(f.end(), palette256.begin(), palette256.end());
  }
  return f;
}

std::unique_ptr<TPcxPicture> Load(const Bytes& f, bool* ok, int64_t* pos = nullptr) {
  std::unique_ptr<TPcxPicture> p = CreatePcxPicture();
  TMemoryStream s(f);
  *ok = p->LoadFromStream(s);
  if (pos) *pos = s.Position();
  return p;
}

}  // namespace

TEST(Pcx, EightBitWithPaletteRulesAndRuns) {
  Bytes data = {1, 1, 1, 1, 0xC5, 2, 3, 0, 0, 0, 0, 0xFF, 0xFF, 9, 9, 9};  // 2 rows of 8 (bpl 8)
  Bytes pal(768);
  for (int i = 0; i < 768; ++i) pal[i] = uint8_t(i / 3 + (i % 3) * 7);
  bool ok;
  auto p = Load(MakePcx(5, 8, 1, 7, 2, 8, data, pal, 12), &ok);
  ASSERT_TRUE(ok);
  TBitmapObject* b = p->Bitmap();
  EXPECT_EQ(b->Width(), 7);
  EXPECT_EQ(b->Height(), 2);
  EXPECT_EQ(b->PixelLayout(), px8Bit);
  EXPECT_EQ(b->ScanLine(0)[4], 0xC5);  // values of 0xC0 and more come as runs
  EXPECT_EQ(b->ScanLine(1)[3], 0xFF);
  EXPECT_EQ(b->ScanLine(1)[5], 9);
  // Entry 5: red 5, green 12, blue 19, stored blue lowest.
  EXPECT_EQ(b->Colors()[5], 0x00050C13u);

  // Marker 10 holds 6-bit values.
  p = Load(MakePcx(5, 8, 1, 7, 2, 8, data, pal, 10), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->Colors()[5], 0x0014304Cu);
  // Version 3 has no 256-colour palette: all black.
  p = Load(MakePcx(3, 8, 1, 7, 2, 8, data, pal, 12), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->Colors()[5], 0u);
}

TEST(Pcx, PlanarAndPackedFormats) {
  bool ok;
  // 1 bit, 4 planes, odd width 9: two bytes per plane line.
  Bytes planes = {0xAA, 0x80, 0x0F, 0x80, 0x00, 0x00, 0xFF, 0x00};
  auto p = Load(MakePcx(5, 1, 4, 9, 1, 2, planes), &ok);
  ASSERT_TRUE(ok);
  TBitmapObject* b = p->Bitmap();
  EXPECT_EQ(b->PixelLayout(), px4Bit);
  const uint8_t* r = b->ScanLine(0);
  EXPECT_EQ(r[0], 0x98);                   // pixel 0: planes 0 and 3; pixel 1: plane 3
  EXPECT_EQ(r[2], 0xBA);                   // pixel 4: planes 0, 1 and 3; pixel 5: planes 1 and 3
  EXPECT_EQ(r[4], 0x30);                   // the last pixel of the odd width is converted too
  EXPECT_EQ(b->Colors()[1], 0x000F1419u);  // header entry 1: red 15, green 20, blue 25
  // 4 bits packed: nibbles as they are, high first (the odd last one too).
  p = Load(MakePcx(5, 4, 1, 3, 1, 2, {0x12, 0x30}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->ScanLine(0)[0], 0x12);
  EXPECT_EQ(p->Bitmap()->ScanLine(0)[1], 0x30);
  // 8 bits, 3 planes: red, green, blue lines into blue, green, red.
  p = Load(MakePcx(5, 8, 3, 2, 1, 2, {10, 11, 20, 21, 30, 31}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->PixelLayout(), px24Bit);
  const uint8_t* c = p->Bitmap()->ScanLine(0);
  EXPECT_EQ(Bytes(c, c + 6), (Bytes{30, 20, 10, 31, 21, 11}));
  // 1 bit: the first two header entries.
  p = Load(MakePcx(5, 1, 1, 8, 2, 2, {0x81, 0, 0x7E, 0}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->PixelLayout(), px1Bit);
  EXPECT_EQ(p->Bitmap()->ScanLine(1)[0], 0x7E);
  EXPECT_EQ(p->Bitmap()->Colors()[0], 0x0000050Au);
}

TEST(Pcx, FailuresAndBounds) {
  bool ok;
  int64_t pos;
  Bytes good = MakePcx(5, 8, 1, 4, 4, 4, Bytes(16, 7));
  Bytes bad = good;
  bad[0] = 11;
  auto p = Load(bad, &ok, &pos);
  EXPECT_FALSE(ok);
  EXPECT_EQ(p->Bitmap(), nullptr);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(p->LastError(), pcx_manufacturer);
  for (auto bp : {std::pair<int, int>{2, 1}, {8, 2}, {4, 4}, {24, 1}}) {
    Bytes u = good;
    u[3] = uint8_t(bp.first);
    u[65] = uint8_t(bp.second);
    EXPECT_EQ(Load(u, &ok, &pos)->LastError(), pcx_format);
    EXPECT_FALSE(ok);
    EXPECT_EQ(pos, 0);
  }
  EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + 100), &ok)->LastError(), pic_truncated);
  EXPECT_FALSE(ok);
  Bytes inverted = good;
  inverted[4] = 9;  // x min past x max
  EXPECT_EQ(Load(inverted, &ok)->LastError(), pcx_size);
  // 65535 x 65535 with 3 planes: refused before any allocation.
  Bytes huge = good;
  huge[8] = huge[9] = huge[10] = huge[11] = 0xFE;
  huge[65] = 3;
  huge[66] = huge[67] = 0xFF;
  EXPECT_EQ(Load(huge, &ok)->LastError(), pic_over_limit);
  EXPECT_FALSE(ok);
  // Early end: the reached rows are right, the rest zero.
  Bytes early = MakePcx(5, 8, 1, 4, 4, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  p = Load(early, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->LastError(), pic_ok);
  EXPECT_EQ(p->Bitmap()->ScanLine(1)[3], 8);
  EXPECT_EQ(p->Bitmap()->ScanLine(3)[3], 0);
  // A run past the end, bytes per line wider than the row and narrower
  // than the width needs.
  Bytes over = MakePcx(5, 8, 1, 4, 1, 40, {});
  over.push_back(0xFF);
  over.push_back(3);
  p = Load(over, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->ScanLine(0)[3], 3);
  p = Load(MakePcx(5, 8, 3, 30, 2, 1, Bytes(6, 200)), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->ScanLine(1)[0], 200);
  EXPECT_EQ(p->Bitmap()->ScanLine(1)[3], 0);
  p = Load(MakePcx(5, 1, 4, 40, 2, 1, Bytes(8, 0xFF)), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(p->Bitmap()->ScanLine(0)[3], 0xFF);
  EXPECT_EQ(p->Bitmap()->ScanLine(0)[4], 0);
}

#include <gtest/gtest.h>

#include <memory>

#include "imaging/icon.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

// An icon with one 4-bit entry per width: colour index = (x + y) % 16,
// mask set (transparent) on the left half.
Bytes MakeIco(const std::vector<int>& widths, bool doubleHeight = true) {
  Bytes dir, data;
  size_t offset = 6 + 16 * widths.size();
  for (int w : widths) {
    Bytes img;
    Put32(img, 40);
    Put32(img, uint32_t(w));
    Put32(img, uint32_t(doubleHeight ? 2 * w : w));
    Put16(img, 1);
    Put16(img, 4);
    for (int i = 0; i < 6; ++i) Put32(img, 0);
    for (int i = 0; i < 16; ++i) Put32(img, uint32_t(i * 0x00100F01));
    int stride = int(RowStride(4, w)), mstride = int(RowStride(1, w));
    for (int y = 0; y < w; ++y)
      for (int b = 0; b < stride; ++b) {
        int x = 2 * b;
        img.push_back(x < w ? uint8_t((((x + y) % 16) << 4) | ((x + 1 + y) % 16)) : 0);
      }
    for (int y = 0; y < w; ++y)
      for (int b = 0; b < mstride; ++b) {
        uint8_t m = 0;
        for (int k = 0; k < 8; ++k)
          if (8 * b + k < w / 2) m |= uint8_t(0x80 >> k);
        img.push_back(m);
      }
    dir.push_back(uint8_t(w));
    dir.push_back(uint8_t(doubleHeight ? w : w));
    dir.push_back(16);
    dir.push_back(0);
    Put16(dir, 1);
    Put16(dir, 4);
    Put32(dir, uint32_t(img.size()));
    Put32(dir, uint32_t(offset + data.size()));
    data.insert(data.end(), img.begin(), img.end());
  }
  Bytes f = {0, 0, 1, 0};
  Put16(f, uint16_t(widths.size()));
  f.insert(f.end(), dir.begin(), dir.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

}  // namespace

TEST(Icon, ChoosesTheNearestEntry) {
  TIconDirEntry e[3] = {};
  e[0].Width = 16;
  e[1].Width = 32;
  e[2].Width = 48;
  EXPECT_EQ(ChooseIconEntry(e, 3, 32), 1);
  EXPECT_EQ(ChooseIconEntry(e, 3, 40), 1);  // a tie keeps the earlier
  EXPECT_EQ(ChooseIconEntry(e, 3, 47), 2);
  EXPECT_EQ(ChooseIconEntry(e, 3, 1), 0);

  Bytes f = MakeIco({16, 32, 48});
  for (int want : {32, 40, 16, 100}) {
    std::unique_ptr<TIconObject> icon = CreateIconObject();
    icon->Size = want;
    TMemoryStream s(f);
    ASSERT_TRUE(icon->LoadFromStream(s)) << want;
    int expect = want == 16 ? 16 : want == 100 ? 48 : 32;
    EXPECT_EQ(icon->Size, expect);
    ASSERT_NE(icon->ColorImage(), nullptr);
    EXPECT_EQ(icon->ColorImage()->Width(), expect);
    EXPECT_EQ(icon->ColorImage()->Height(), expect);
    EXPECT_EQ(s.Position(), int64_t(f.size()));
  }
}

TEST(Icon, ColourImageMaskAndComposition) {
  std::unique_ptr<TIconObject> icon = CreateIconObject();
  icon->Size = 16;
  TMemoryStream s(MakeIco({16}));
  ASSERT_TRUE(icon->LoadFromStream(s));
  TBitmapObject* c = const_cast<TBitmapObject*>(icon->ColorImage());
  TBitmapObject* m = const_cast<TBitmapObject*>(icon->MaskImage());
  EXPECT_EQ(c->PixelLayout(), px4Bit);
  EXPECT_EQ(m->PixelLayout(), px1Bit);
  EXPECT_EQ(m->Colors()[1], 0x00FFFFFFu);
  // Row 3 from the top is file row 12 (rows are stored bottom-up): pixel
  // 10 has index 6.
  EXPECT_EQ(c->ScanLine(3)[5] >> 4, 6);
  EXPECT_EQ(m->ScanLine(3)[0], 0xFF);
  EXPECT_EQ(m->ScanLine(3)[1], 0x00);
  std::unique_ptr<TBitmapObject> out = icon->ComposeBitmap(0x00336699);
  ASSERT_FALSE(out->IsEmpty());
  const uint8_t* px = out->ScanLine(3);
  // Left half: background XOR colour (index 12 at x = 0), right half: colour.
  uint32_t c12 = 12 * 0x00100F01, c6 = 6 * 0x00100F01;
  // The background is a colour value (red in the low byte): blue is 0x33.
  EXPECT_EQ(px[0], uint8_t(0x33 ^ (c12 & 0xFF)));
  EXPECT_EQ(px[3 * 10], uint8_t(c6 & 0xFF));
  EXPECT_EQ(px[3 * 10 + 2], uint8_t(c6 >> 16));
}

TEST(Icon, RefusesBadDirectories) {
  // Why the load failed; a failure leaves no images and the stream at its start.
  auto refusal = [](Bytes f) {
    std::unique_ptr<TIconObject> icon = CreateIconObject();
    TMemoryStream s(f);
    s.Seek(0);
    EXPECT_FALSE(icon->LoadFromStream(s));
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(icon->ColorImage(), nullptr);
    return icon->LastError();
  };
  Bytes f = MakeIco({16, 32});
  Bytes zero = f;
  zero[6 + 16] = 0;  // a 256-pixel entry
  EXPECT_EQ(refusal(zero), ico_entry_size);
  Bytes reserved = f;
  reserved[0] = 1;
  EXPECT_EQ(refusal(reserved), ico_directory);
  Bytes type = f;
  type[2] = 3;
  EXPECT_EQ(refusal(type), ico_directory);
  Bytes none = f;
  none[4] = 0;
  EXPECT_EQ(refusal(none), ico_directory);
  Bytes height = f;
  height[6 + 1] = 17;  // neither the width nor twice it
  EXPECT_EQ(refusal(height), ico_entry_size);
  EXPECT_EQ(refusal(Bytes(f.begin(), f.end() - 5)), pic_truncated);
  Bytes hugeCount = {0, 0, 1, 0, 0xFF, 0xFF};
  EXPECT_EQ(refusal(hugeCount), pic_truncated);
}

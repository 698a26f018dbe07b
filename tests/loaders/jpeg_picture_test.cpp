#include <gtest/gtest.h>

#include <cmath>

#include "imaging/jpeg_picture.h"
#include "tests/loaders/loader_files.h"

using namespace hi;
using namespace loaders_test;

namespace {

// Mean and largest channel difference between a bitmap and a plain decode.
struct Diff {
  double mean = 0;
  int max = 0;
};
Diff Compare(TBitmapObject* b, const Plain& p) {
  Diff d;
  double sum = 0;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      int c = ChannelDiff(PixelRgb(b, x, y), p.Rgb(x, y));
      sum += c;
      if (c > d.max) d.max = c;
    }
  d.mean = sum / (double(p.width) * p.height);
  return d;
}

class JpegPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveSamples()) GTEST_FAIL() << "third-party sample folders not configured";
    orig = ReadBytes(LibjpegSample("testorig.jpg"));
    ASSERT_FALSE(orig.empty());
  }
  Bytes orig;
};

}  // namespace

TEST_F(JpegPictureTest, BaselineRowsAreLibjpegsInBlueGreenRedOrder) {
  TJpegPicture j;
  ASSERT_TRUE(j.LoadFromFile(LibjpegSample("testorig.jpg")));
  EXPECT_EQ(j.Width(), 227);
  EXPECT_EQ(j.Height(), 149);
  EXPECT_FALSE(j.Grayscale());
  EXPECT_FALSE(j.Progressive());
  TBitmapObject* b = j.GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(j.GetBitmap(), b);  // decoded once
  EXPECT_EQ(j.LastError(), pic_ok);
  EXPECT_EQ(b->PixelLayout(), px24Bit);
  EXPECT_EQ(b->Width(), 227);
  EXPECT_EQ(b->Height(), 149);
  Diff d = Compare(b, PlainDecode(orig));
  EXPECT_EQ(d.max, 0);

  // Against the uncompressed original (PPM, RGB order): close everywhere,
  // so red and blue are not swapped and rows are not upside down.
  Bytes ppm = ReadBytes(LibjpegSample("testorig.ppm"));
  ASSERT_GT(ppm.size(), 227u * 149 * 3);
  const uint8_t* rgb = ppm.data() + ppm.size() - 227 * 149 * 3;
  double sum = 0;
  for (int32_t y = 0; y < 149; ++y)
    for (int32_t x = 0; x < 227; ++x) {
      const uint8_t* p = rgb + (y * 227 + x) * 3;
      sum += ChannelDiff(PixelRgb(b, x, y), uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    }
  EXPECT_LT(sum / (227 * 149), 8.0);
}

TEST_F(JpegPictureTest, ProgressiveGreyAndPaletted) {
  Bytes prog = MakeProgressive(orig);
  TJpegPicture p;
  ASSERT_TRUE(p.LoadFromMemory(prog.data(), prog.size()));
  EXPECT_TRUE(p.Progressive());
  ASSERT_NE(p.GetBitmap(), nullptr);
  EXPECT_EQ(p.GetBitmap()->PixelLayout(), px24Bit);
  EXPECT_EQ(Compare(p.GetBitmap(), PlainDecode(orig)).max, 0);

  // Incremental display: one progress call per output pass, the last pass
  // close to the full decode (fast integer transform).
  TJpegPicture inc;
  inc.IncrementalDisplay = true;
  int passes = 0;
  inc.OnProgress = [&](TJpegPicture&) { ++passes; };
  ASSERT_TRUE(inc.LoadFromMemory(prog.data(), prog.size()));
  ASSERT_NE(inc.GetBitmap(), nullptr);
  EXPECT_GE(passes, 2);
  EXPECT_LT(Compare(inc.GetBitmap(), PlainDecode(orig)).mean, 2.0);

  // Greyscale: 8-bit with the decoder's 236 grey levels.
  Bytes greyFile = ReadBytes(PillowSample("hopper_gray.jpg"));
  TJpegPicture g;
  ASSERT_TRUE(g.LoadFromFile(PillowSample("hopper_gray.jpg")));
  EXPECT_TRUE(g.Grayscale());
  TBitmapObject* gb = g.GetBitmap();
  ASSERT_NE(gb, nullptr);
  EXPECT_EQ(gb->PixelLayout(), px8Bit);
  EXPECT_EQ(gb->Colors()[0] & 0xFFFFFF, 0u);
  EXPECT_EQ(gb->Colors()[235] & 0xFFFFFF, 0xFFFFFFu);
  for (int i = 0; i < 236; ++i) {
    uint32_t c = gb->Colors()[i];
    EXPECT_EQ(c & 255, (c >> 8) & 255);
    EXPECT_EQ(c & 255, (c >> 16) & 255);
  }
  Diff gd = Compare(gb, PlainDecode(greyFile, true));
  EXPECT_LT(gd.mean, 1.5);
  EXPECT_LE(gd.max, 4);

  // Paletted colour output: the colour map goes into the table in the
  // table's own order.
  TJpegPicture q;
  q.PalettedOutput = true;
  ASSERT_TRUE(q.LoadFromMemory(orig.data(), orig.size()));
  ASSERT_NE(q.GetBitmap(), nullptr);
  EXPECT_EQ(q.GetBitmap()->PixelLayout(), px8Bit);
  EXPECT_LT(Compare(q.GetBitmap(), PlainDecode(orig)).mean, 8.0);
}

TEST_F(JpegPictureTest, CmykBecomesBlueGreenRed) {
  // Adobe's inverted samples, a third-party file against its RGB twin.
  TJpegPicture c;
  ASSERT_TRUE(c.LoadFromFile(PillowSample("pil_sample_cmyk.jpg")));
  TBitmapObject* b = c.GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->PixelLayout(), px32Bit);
  Diff d = Compare(b, PlainDecode(ReadBytes(PillowSample("pil_sample_rgb.jpg"))));
  EXPECT_LT(d.mean, 12.0);
  EXPECT_LE(ChannelDiff(PixelRgb(b, 0, 0), 0xFF0D19), 2);  // red, as ImageMagick shows it

  // The same ink written with and without the Adobe marker: cyan either way.
  const int32_t w = 16, h = 16;
  Bytes inverted(w * h * 4), plain(w * h * 4);
  for (int i = 0; i < w * h; ++i) {
    const uint8_t inv[4] = {0, 255, 255, 255}, pl[4] = {255, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      inverted[i * 4 + k] = inv[k];
      plain[i * 4 + k] = pl[k];
    }
  }
  for (bool adobe : {true, false}) {
    Bytes file = Compress(adobe ? inverted : plain, w, h, 4, 95, adobe);
    TJpegPicture j;
    ASSERT_TRUE(j.LoadFromMemory(file.data(), file.size()));
    ASSERT_NE(j.GetBitmap(), nullptr);
    EXPECT_LE(ChannelDiff(PixelRgb(j.GetBitmap(), 8, 8), 0x00FFFF), 3) << adobe;
    EXPECT_EQ(j.GetBitmap()->ScanLine(8)[8 * 4 + 3], 0) << adobe;
  }

  uint8_t row[8] = {255, 128, 0, 255, 0, 0, 0, 0};
  CmykRowToBgr(row, 2, true);
  EXPECT_EQ(row[0], 0);    // blue = Y * K
  EXPECT_EQ(row[1], 128);  // green = M * K
  EXPECT_EQ(row[2], 255);  // red = C * K
  EXPECT_EQ(row[4], 0);    // inverted K 0: black
  uint8_t row2[4] = {0, 0, 255, 51};
  CmykRowToBgr(row2, 1, false);
  EXPECT_EQ(row2[0], 0);
  EXPECT_EQ(row2[1], 204);
  EXPECT_EQ(row2[2], 204);
}

TEST_F(JpegPictureTest, DamagedFilesFailQuietly) {
  TJpegPicture j;
  EXPECT_FALSE(j.LoadFromFile(Scratch() + "no_such.jpg"));
  EXPECT_EQ(j.GetBitmap(), nullptr);
  std::string empty = WriteScratch("empty.jpg", {});
  EXPECT_FALSE(j.LoadFromFile(empty));
  Bytes text(100, 'x');
  EXPECT_FALSE(j.LoadFromMemory(text.data(), text.size()));
  EXPECT_EQ(j.GetBitmap(), nullptr);
  Bytes cut(orig.begin(), orig.begin() + 100);  // inside the tables
  EXPECT_FALSE(j.LoadFromMemory(cut.data(), cut.size()));
  EXPECT_EQ(j.Width(), 0);
  EXPECT_EQ(j.LastError(), jpeg_header);

  // Cut inside the image data: a warning only, the lower rows stay grey.
  Bytes half(orig.begin(), orig.begin() + orig.size() / 2);
  ASSERT_TRUE(j.LoadFromMemory(half.data(), half.size()));
  ASSERT_NE(j.GetBitmap(), nullptr);
  EXPECT_EQ(j.LastError(), pic_ok);

  // A second frame header before the end is fatal once the rows are read:
  // the error flag is set and the rows decoded before it are kept.
  size_t sof = 0;
  for (size_t i = 0; i + 1 < orig.size(); ++i)
    if (orig[i] == 0xFF && orig[i + 1] == 0xC0) {
      sof = i;
      break;
    }
  ASSERT_GT(sof, 0u);
  size_t sofLen = (size_t(orig[sof + 2]) << 8 | orig[sof + 3]) + 2;
  Bytes twice(orig.begin(), orig.end() - 2);
  twice.insert(twice.end(), orig.begin() + sof, orig.begin() + sof + sofLen);
  twice.push_back(0xFF);
  twice.push_back(0xD9);
  TJpegPicture f;
  ASSERT_TRUE(f.LoadFromMemory(twice.data(), twice.size()));
  TBitmapObject* b = f.GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(f.LastError(), jpeg_decode);
  Plain ref = PlainDecode(orig);
  int same = 0;
  for (int32_t x = 0; x < 227; ++x) same += PixelRgb(b, x, 148) == ref.Rgb(x, 148);
  EXPECT_EQ(same, 227);

  // A scan naming a component the frame lacks: in the header, a failed
  // load; in a later scan of a progressive file, fatal before any row.
  Bytes badFirst = orig;
  for (size_t i = 0; i + 5 < badFirst.size(); ++i)
    if (badFirst[i] == 0xFF && badFirst[i + 1] == 0xDA) {
      badFirst[i + 5] = 0x77;
      break;
    }
  EXPECT_FALSE(j.LoadFromMemory(badFirst.data(), badFirst.size()));
  EXPECT_EQ(j.LastError(), jpeg_header);
  Bytes badScan = MakeProgressive(orig);
  int scans = 0;
  for (size_t i = 0; i + 5 < badScan.size(); ++i)
    if (badScan[i] == 0xFF && badScan[i + 1] == 0xDA && ++scans == 3) {
      badScan[i + 5] = 0x77;
      break;
    }
  ASSERT_EQ(scans, 3);
  TJpegPicture s;
  ASSERT_TRUE(s.LoadFromMemory(badScan.data(), badScan.size()));
  ASSERT_NE(s.GetBitmap(), nullptr);
  EXPECT_EQ(s.LastError(), jpeg_decode);
  EXPECT_EQ(s.GetBitmap()->Width(), 227);
}

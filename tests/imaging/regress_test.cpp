// Every file kept in regress/ (inputs that once crashed or misbehaved in a
// reader) goes through all four readers; none may crash or read out of
// bounds, and a picture that comes out must be consistent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "imaging/area_scale.h"
#include "imaging/bitmap.h"
#include "imaging/expand.h"
#include "imaging/icon.h"
#include "imaging/pcx_picture.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"

using namespace hi;
using namespace testing_imaging;

namespace {

// Larger pictures are checked at their first and last rows only.
constexpr int64_t WholePixels = int64_t(1) << 22;

// Processor seconds since start: a refusal must cost next to nothing.
double Seconds(std::clock_t start) { return double(std::clock() - start) / CLOCKS_PER_SEC; }
constexpr double Instant = 0.25;

}  // namespace

TEST(Regress, KeptInputsGoThroughEveryReader) {
  std::vector<std::string> files = ListFiles(REGRESS_DIR, "");
  ASSERT_FALSE(files.empty()) << "no files in " << REGRESS_DIR;
  int run = 0;
  for (const auto& name : files) {
    if (name.find("README") != std::string::npos) continue;
    Bytes data = ReadFileBytes(name);
    SCOPED_TRACE(name);
    {
      std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
      TMemoryStream s(data);
      d->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(d->GetBitmap(), WholePixels));
    }
    {
      std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
      TMemoryStream s(data);
      b->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(b.get(), WholePixels));
    }
    {
      std::unique_ptr<TIconObject> icon = CreateIconObject();
      TMemoryStream s(data);
      if (icon->LoadFromStream(s)) {
        EXPECT_TRUE(WalkPicture(icon->ComposeBitmap(0).get(), WholePixels));
      }
    }
    {
      std::unique_ptr<TPcxPicture> p = CreatePcxPicture();
      TMemoryStream s(data);
      p->LoadFromStream(s);
      EXPECT_TRUE(WalkPicture(p->Bitmap(), WholePixels));
    }
    ++run;
  }
  EXPECT_GT(run, 0);
}

// Headers whose sizes wrapped in 32-bit builds (1-bit pictures whose RGB
// triples take 2^32 + a few bytes) or whose rows are missing: each reader
// refuses with its code before making rows, and what comes after a reader
// refuses sizes past the pixel limit unread.
TEST(Regress, HostileSizesAreRefusedCheaply) {
  const std::string dir = std::string(REGRESS_DIR) + "/";
  struct BmpCase {
    const char* file;
    TPictureResult want;
  } bmps[] = {
      {"bmp-1bit-1431655766x1-without-rows.bmp", pic_truncated},
      {"bmp-24bit-30000x30000-without-rows.bmp", pic_over_limit},
      {"bmp-height-minus-2147483648.bmp", bmp_height},
  };
  for (const BmpCase& c : bmps) {
    SCOPED_TRACE(c.file);
    Bytes data = ReadFileBytes(dir + c.file);
    TMemoryStream s(data);
    TBitmapObject b;
    const std::clock_t start = std::clock();
    EXPECT_FALSE(b.LoadFromStream(s));
    EXPECT_LT(Seconds(start), Instant);
    EXPECT_EQ(b.LastError(), c.want) << PictureResultMessage(b.LastError());
    EXPECT_EQ(b.Bits(), nullptr);
  }
  {
    Bytes data = ReadFileBytes(dir + "png-rgb-20000x20000-three-rows.png");
    TMemoryStream s(data);
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    const std::clock_t start = std::clock();
    EXPECT_FALSE(d->LoadFromStream(s));
    EXPECT_LT(Seconds(start), Instant);
    EXPECT_EQ(d->LastError(), pic_over_limit);
    EXPECT_EQ(d->GetBitmap(), nullptr);
  }
  // Within the buffer limit every row is decoded, but its triples are not
  // made; a caller that would make them refuses the header.
  Bytes png = ReadFileBytes(dir + "png-1bit-grey-65535x21846-every-row.png");
  {
    TMemoryStream s(png);
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    ASSERT_TRUE(d->LoadFromStream(s));
    EXPECT_EQ(d->LastError(), pic_ok);
    TBitmapObject* b = d->GetBitmap();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Width(), 65535);
    EXPECT_EQ(b->Height(), 21846);
    std::vector<uint8_t> rgb;
    const std::clock_t start = std::clock();
    EXPECT_FALSE(ExpandToRgb(*b, rgb));
    EXPECT_TRUE(rgb.empty());
    uint8_t out[3 * 128];
    EXPECT_FALSE(AreaScale24(b->Bits(), b->Width(), b->Height(), 3 * 65535, out, 128, 1, 3 * 128));
    EXPECT_LT(Seconds(start), Instant);
  }
  {
    TMemoryStream s(png);
    std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
    d->MaxPixels = MaxPixelBytes / 3;
    const std::clock_t start = std::clock();
    EXPECT_FALSE(d->LoadFromStream(s));
    EXPECT_LT(Seconds(start), Instant);
    EXPECT_EQ(d->LastError(), pic_over_limit);
  }
  // A 1-bit row of 1,431,655,766 pixels over a lender of 16 bytes: its
  // triples pass the limit, so nothing is read or made.
  Bytes bmp = ReadFileBytes(dir + "bmp-1bit-1431655766x1-without-rows.bmp");
  TBitmapInfoHeader* info = AllocHeaderBlock();
  ASSERT_NE(info, nullptr);
  std::memcpy(info, bmp.data() + 14, 48);
  uint8_t rows[16] = {};
  TBitmapObject view;
  view.ViewLentRows(info, rows, info->biWidth, 1);
  std::free(info);
  std::vector<uint8_t> rgb;
  EXPECT_FALSE(ExpandToRgb(view, rgb));
  EXPECT_TRUE(rgb.empty());
}

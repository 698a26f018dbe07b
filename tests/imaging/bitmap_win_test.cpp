// The device half of the bitmap under the real GDI: pictures are drawn into
// a memory device context and read back pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "imaging/bitmap.h"
#include "imaging/icon.h"
#include "imaging/png_decoder.h"
#include "imaging/stream.h"
#include "tests/imaging/test_files.h"
#include "toolkit/handles.h"

using namespace hi;
using namespace testing_imaging;

namespace {

// A 32-bit canvas selected into a memory DC, filled with one colour.
class Canvas {
 public:
  Canvas(int w, int h, COLORREF fill)
      : bmp_(Section(w, h)), dc_(kol::CompatibleDc(nullptr)), select_(dc_.get(), bmp_.get()) {
    RECT r = {0, 0, w, h};
    kol::GdiBrush b(CreateSolidBrush(fill));
    FillRect(dc_.get(), &r, b.get());
  }
  HDC dc() const { return dc_.get(); }
  COLORREF At(int x, int y) const {
    GdiFlush();
    return GetPixel(dc_.get(), x, y);
  }

 private:
  static HBITMAP Section(int w, int h) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits;
    return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  }

  kol::GdiBitmap bmp_;
  kol::MemoryDc dc_;
  kol::SelectGuard select_;
};

// 3 x 2, 24 bits: pixel (x, y) is red 40x+1, green 80y+2, blue 7.
std::unique_ptr<TBitmapObject> Sample() {
  std::unique_ptr<TBitmapObject> b = CreateDibBitmap(3, 2, px24Bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      uint8_t* p = b->ScanLine(y) + 3 * x;
      p[0] = 7;
      p[1] = uint8_t(80 * y + 2);
      p[2] = uint8_t(40 * x + 1);
    }
  return b;
}

COLORREF SampleColor(int x, int y) { return RGB(40 * x + 1, 80 * y + 2, 7); }

}  // namespace

TEST(BitmapWin, DrawAndStretchDrawFromMemoryAndFromHandles) {
  std::unique_ptr<TBitmapObject> b = Sample();
  {
    Canvas c(10, 10, RGB(9, 9, 9));
    b->Draw(c.dc(), 2, 3);
    EXPECT_EQ(c.At(2, 3), SampleColor(0, 0));
    EXPECT_EQ(c.At(4, 4), SampleColor(2, 1));
    EXPECT_EQ(c.At(5, 3), RGB(9, 9, 9));
    EXPECT_EQ(c.At(1, 3), RGB(9, 9, 9));
  }
  {
    Canvas c(10, 10, RGB(9, 9, 9));
    b->StretchDraw(c.dc(), TRect{0, 0, 6, 4});
    EXPECT_EQ(c.At(0, 0), SampleColor(0, 0));
    EXPECT_EQ(c.At(5, 3), SampleColor(2, 1));
    EXPECT_EQ(c.At(3, 1), SampleColor(1, 0));
    EXPECT_EQ(c.At(6, 0), RGB(9, 9, 9));
  }
  // A DIB section mirrors the rows; drawing goes through the handle then.
  uint8_t* before = b->Bits();
  ASSERT_NE(b->GetHandle(), nullptr);
  EXPECT_TRUE(b->SectionOwnsRows());
  EXPECT_NE(b->Bits(), before);
  EXPECT_EQ(b->ScanLine(1)[3 * 2 + 2], 81);
  {
    Canvas c(4, 4, 0);
    b->Draw(c.dc(), 0, 0);
    EXPECT_EQ(c.At(1, 1), SampleColor(1, 1));
  }
  kol::GdiBitmap owned(static_cast<HBITMAP>(b->ReleaseHandle()));
  const HBITMAP h = owned.get();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(b->Handle(), nullptr);
  EXPECT_FALSE(b->SectionOwnsRows());
  EXPECT_EQ(b->ScanLine(1)[3 * 2 + 2], 81);  // own rows again
  BITMAP bm;
  ASSERT_NE(GetObjectA(h, sizeof bm, &bm), 0);
  EXPECT_EQ(bm.bmWidth, 3);
}

TEST(BitmapWin, DeviceBitmapsHandlesAndStorage) {
  std::unique_ptr<TBitmapObject> d = CreateDeviceBitmap(5, 4);
  EXPECT_EQ(d->Storage(), bsDDB);
  ASSERT_NE(d->Handle(), nullptr);
  EXPECT_EQ(d->PixelLayout(), pxDevice);

  // A memory picture turned into a device bitmap keeps its pixels.
  std::unique_ptr<TBitmapObject> b = Sample();
  b->SetStorage(bsDDB);
  ASSERT_NE(b->Handle(), nullptr);
  EXPECT_EQ(b->Bits(), nullptr);
  {
    Canvas c(4, 4, 0);
    b->Draw(c.dc(), 0, 0);
    EXPECT_EQ(c.At(2, 0), SampleColor(2, 0));
  }
  std::unique_ptr<TBitmapObject> copy = CreateDeviceBitmap(0, 0);
  ASSERT_TRUE(copy->Assign(b.get()));
  EXPECT_NE(copy->Handle(), b->Handle());
  // And back to memory rows.
  copy->SetStorage(bsDIB);
  ASSERT_NE(copy->Bits(), nullptr);
  EXPECT_EQ(copy->PixelLayout(), px24Bit);  // the layout it was made with
  EXPECT_EQ(copy->ScanLine(1)[3 * 2 + 2], 81);
  {
    Canvas c(4, 4, 0);
    copy->Draw(c.dc(), 0, 0);
    EXPECT_EQ(c.At(2, 1), SampleColor(2, 1));
  }

  HBITMAP raw = CreateCompatibleBitmap(kol::WindowDc::ForWindow(nullptr).get(), 7, 6);
  std::unique_ptr<TBitmapObject> s = CreateDeviceBitmap(0, 0);
  s->SetHandle(raw);
  EXPECT_EQ(s->Width(), 7);
  EXPECT_EQ(s->Height(), 6);
  EXPECT_EQ(s->Storage(), bsDDB);
  s->SetHandle(nullptr);
  EXPECT_TRUE(s->IsEmpty());
}

TEST(BitmapWin, IconHandleDrawsColourOverBackground) {
  // 16 x 16, 24 bits: colour RGB(200, 10, 30); mask set on the top half.
  Bytes img;
  Put32(img, 40);
  Put32(img, 16);
  Put32(img, 32);
  Put16(img, 1);
  Put16(img, 24);
  for (int i = 0; i < 6; ++i) Put32(img, 0);
  for (int i = 0; i < 16 * 16; ++i) {
    bool top = i / 16 >= 8;  // rows are bottom-up
    img.push_back(top ? 0 : 30);
    img.push_back(top ? 0 : 10);
    img.push_back(top ? 0 : 200);
  }
  for (int y = 0; y < 16; ++y) {
    uint8_t m = y >= 8 ? 0xFF : 0;
    img.insert(img.end(), {m, m, 0, 0});
  }
  Bytes f = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 24, 0};
  Put32(f, uint32_t(img.size()));
  Put32(f, 22);
  f.insert(f.end(), img.begin(), img.end());
  std::unique_ptr<TIconObject> icon = CreateIconObject();
  icon->Size = 16;
  TMemoryStream s(f);
  ASSERT_TRUE(icon->LoadFromStream(s));
  ASSERT_NE(icon->Handle, nullptr);
  HBITMAP bh = static_cast<HBITMAP>(icon->ToBitmapHandle(RGB(0, 255, 0)));
  ASSERT_NE(bh, nullptr);
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  b->SetHandle(bh);
  EXPECT_EQ(b->Width(), 16);
  Canvas c(16, 16, 0);
  b->Draw(c.dc(), 0, 0);
  EXPECT_EQ(c.At(3, 2), RGB(0, 255, 0));
  EXPECT_EQ(c.At(3, 12), RGB(200, 10, 30));
}

TEST(BitmapWin, LentPngBitmapWithAHandleIsReturnedCleanly) {
  Bytes png = PngSignature();
  AddChunk(png, "IHDR", IhdrData(2, 2, 8, 2));
  AddChunk(png, "IDAT", Deflate({0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 1, 2, 3, 4}));
  AddChunk(png, "IEND", {});
  std::unique_ptr<TPngDecoder> d = CreatePngDecoder();
  TMemoryStream s(png);
  ASSERT_TRUE(d->LoadFromStream(s));
  TBitmapObject* b = d->GetBitmap();
  ASSERT_NE(b->GetHandle(), nullptr);
  Canvas c(2, 2, 0);
  b->Draw(c.dc(), 0, 0);
  EXPECT_EQ(c.At(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(c.At(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(c.At(0, 1), RGB(0, 0, 255));
  d->Clear();
  EXPECT_EQ(d->GetBitmap(), nullptr);
}

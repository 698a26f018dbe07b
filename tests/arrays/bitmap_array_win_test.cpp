#include <windows.h>

#include <gtest/gtest.h>

#include "framework/array_rw.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_array.h"
#include "toolkit/handles.h"

using namespace hi;

namespace {

// A 50 x 50 32-bit device-independent section filled with one colour, like
// the placeholder resources.
HBITMAP SolidHandle(uint32_t bgrx) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 50;
  bi.bmiHeader.biHeight = 50;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP h = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (h && bits)
    for (int i = 0; i < 50 * 50; ++i) static_cast<uint32_t*>(bits)[i] = bgrx;
  return h;
}

struct BitmapSink {
  std::vector<TBitmapObject*> got;
  void doIn(TData& v, uint16_t) { got.push_back(static_cast<TBitmapObject*>(v.ObjRef)); }
};

COLORREF DrawnColour(TBitmapObject* b) {
  kol::WindowDc screen = kol::WindowDc::ForWindow(nullptr);
  kol::MemoryDc mem = kol::CompatibleDc(screen.get());
  kol::GdiBitmap target(CreateCompatibleBitmap(screen.get(), 50, 50));
  kol::SelectGuard select(mem.get(), target.get());
  b->Draw(mem.get(), 0, 0);
  return GetPixel(mem.get(), 25, 25);
}

}  // namespace

TEST(BitmapArrayWin, SetBitmapsTakesOverHandles) {
  InstallDispatchers();
  HBITMAP thumb = SolidHandle(0x00203040), no7za = SolidHandle(0x00A0B0C0);
  ASSERT_NE(thumb, nullptr);
  ASSERT_NE(no7za, nullptr);
  {
    THIBitmapArray arr;
    arr.NamedIndex = true;
    arr.SetBitmaps(ParseNameList("No_Thumb\r\nNo_7za", {thumb, no7za}));
    THIArrayRW rw;
    BitmapSink sink;
    rw.ArrayLink = LinkTo<&TArray::Array>(static_cast<TArray*>(&arr));
    rw.onRead = LinkTo<&BitmapSink::doIn>(&sink);
    TEventLink read = LinkTo<&THIArrayRW::doRead>(&rw);
    FireInteger(read, 0);
    FireInteger(read, 1);
    FireString(read, "No_Thumb");
    FireInteger(read, 2);
    FireString(read, "no_thumb");
    ASSERT_EQ(sink.got.size(), 3u);
    ASSERT_NE(sink.got[0], nullptr);
    EXPECT_EQ(sink.got[0], sink.got[2]);
    EXPECT_EQ(sink.got[0]->Handle(), thumb);
    EXPECT_EQ(sink.got[1]->Handle(), no7za);
    EXPECT_EQ(sink.got[0]->Width(), 50);
    EXPECT_EQ(sink.got[1]->Height(), 50);
    EXPECT_EQ(DrawnColour(sink.got[0]), RGB(0x20, 0x30, 0x40));
    EXPECT_EQ(DrawnColour(sink.got[1]), RGB(0xA0, 0xB0, 0xC0));
  }
  // The array owned the handles and deleted them with its items.
  BITMAP bm;
  EXPECT_EQ(GetObjectA(thumb, sizeof bm, &bm), 0);
  EXPECT_EQ(GetObjectA(no7za, sizeof bm, &bm), 0);
  ResetDispatchers();
}

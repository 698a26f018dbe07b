#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/bitmap.h"
#include "imaging/image_win.h"
#include "imaging/png_element.h"
#include "tests/loaders/loader_files.h"
#include "toolkit/handles.h"
#include "toolkit/platform.h"

using namespace hi;

namespace {

void PumpAll() {
  MSG m;
  for (int round = 0; round < 3; ++round) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(10);
  }
}

constexpr COLORREF Band = RGB(0, 128, 255);
constexpr COLORREF Red = RGB(255, 0, 0), Green = RGB(0, 255, 0), Blue = RGB(0, 0, 255), Yellow = RGB(255, 255, 0),
                   Magenta = RGB(255, 0, 255);

// 100 x 50 in quadrants (red, green / blue, yellow) with the first 20
// columns magenta, so that flips, shifts and cut-offs all show.
std::unique_ptr<TBitmapObject> Quadrants(int32_t w = 100, int32_t h = 50) {
  std::unique_ptr<TBitmapObject> b = CreateDibBitmap(w, h, px24Bit);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      COLORREF c = x < w / 5 ? Magenta : (y < h / 2 ? (x < w / 2 ? Red : Green) : (x < w / 2 ? Blue : Yellow));
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  return b;
}

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDispatchers();
    form = kol::TControl::NewForm(nullptr, "image test");
    form->SetMargin(0);
    form->RemoveBorder();
    form->SetPosition(20, 20);
    form->SetSize(392, 266);
    image = std::make_unique<THIImage>(form.get());
    image->Width = 392;
    image->Height = 266;
    image->Align = 5;
    image->Color = Band;
    image->SetSmooth(true);
    image->Init();
    form->SetVisible(true);
    SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    PumpAll();
  }
  void TearDown() override {
    image.reset();
    form.reset();
    ResetDispatchers();
  }

  HWND Wnd() { return image->Control()->Handle(); }
  SIZE Client() {
    RECT r;
    GetClientRect(Wnd(), &r);
    return {r.right, r.bottom};
  }

  void Load(TBitmapObject* b) {
    TData v;
    MakeBitmap(v, b);
    image->doLoad(v, 0);
  }
  void Style(int32_t s) {
    TData v;
    MakeInteger(v, s);
    image->doViewStyle(v, 0);
  }

  // What the window shows now, read back from the screen after repainting.
  COLORREF At(int x, int y) {
    PumpAll();
    UpdateWindow(Wnd());
    POINT p{x, y};
    ClientToScreen(Wnd(), &p);
    return GetPixel(kol::WindowDc::ForWindow(nullptr).get(), p.x, p.y);
  }

  bool Pending() {
    RECT r;
    return GetUpdateRect(Wnd(), &r, FALSE) != 0;
  }

  std::unique_ptr<kol::TControl> form;
  std::unique_ptr<THIImage> image;
};

}  // namespace

// The builds run on NT systems only; on every one of them smoothing is
// halftone scaling.
TEST(SystemFamily, NtSystemsScaleSmoothly) {
  EXPECT_GT(SystemFamily(), 2);  // Wine reports an NT system
  for (DWORD major : {5u, 6u, 10u})
    for (DWORD minor : {0u, 1u, 2u, 3u}) EXPECT_GT(ClassifySystemFamily(VER_PLATFORM_WIN32_NT, major, minor), 2);
  THIImage image(nullptr);
  image.SetSmooth(true);
  EXPECT_EQ(image.StretchMode(), HALFTONE);
}

TEST_F(ImageTest, SixPlacementsOnScreen) {
  ASSERT_EQ(Client().cx, 392);
  ASSERT_EQ(Client().cy, 266);
  EXPECT_EQ(image->StretchMode(), HALFTONE);
  EXPECT_EQ(image->ViewStyle(), vsFit);
  EXPECT_EQ(At(196, 133), Band);  // empty picture: all background

  {
    auto pic = Quadrants();
    Load(pic.get());
  }  // the element keeps its own copy

  // Fit: (0, 35)-(392, 231), bands above and below.
  EXPECT_EQ(At(196, 10), Band);
  EXPECT_EQ(At(196, 255), Band);
  EXPECT_EQ(At(100, 60), Red);
  EXPECT_EQ(At(340, 60), Green);
  EXPECT_EQ(At(100, 200), Blue);
  EXPECT_EQ(At(340, 200), Yellow);
  EXPECT_EQ(At(40, 60), Magenta);

  Style(vsCenter);  // (146, 108)-(246, 158)
  EXPECT_EQ(At(10, 10), Band);
  EXPECT_EQ(At(196, 100), Band);
  EXPECT_EQ(At(196, 160), Band);
  EXPECT_EQ(At(140, 130), Band);
  EXPECT_EQ(At(250, 130), Band);
  EXPECT_EQ(At(146, 108), Magenta);
  EXPECT_EQ(At(180, 115), Red);
  EXPECT_EQ(At(240, 115), Green);
  EXPECT_EQ(At(180, 150), Blue);
  EXPECT_EQ(At(245, 157), Yellow);

  Style(vsStretch);
  EXPECT_EQ(At(50, 20), Magenta);
  EXPECT_EQ(At(150, 20), Red);
  EXPECT_EQ(At(380, 10), Green);
  EXPECT_EQ(At(150, 255), Blue);
  EXPECT_EQ(At(380, 255), Yellow);

  Style(vsTile);  // tiles at multiples of 100 x 50, the last ones cut off
  EXPECT_EQ(At(30, 10), Red);
  EXPECT_EQ(At(130, 10), Red);
  EXPECT_EQ(At(160, 40), Yellow);
  EXPECT_EQ(At(5, 260), Magenta);
  EXPECT_EQ(At(391, 265), Green);
  EXPECT_EQ(At(370, 240), Yellow);

  Style(vsTopLeft);
  EXPECT_EQ(At(30, 10), Red);
  EXPECT_EQ(At(99, 49), Yellow);
  EXPECT_EQ(At(100, 10), Band);
  EXPECT_EQ(At(10, 50), Band);
  EXPECT_EQ(At(300, 200), Band);

  Style(vsCover);  // full height, (-70, 0)-(462, 266): the magenta is cut to 36 columns
  EXPECT_EQ(At(20, 20), Magenta);
  EXPECT_EQ(At(50, 20), Red);
  EXPECT_EQ(At(370, 20), Green);
  EXPECT_EQ(At(50, 250), Blue);
  EXPECT_EQ(At(370, 250), Yellow);

  // Any other value keeps the placement but still repaints.
  PumpAll();
  Style(7);
  EXPECT_TRUE(Pending());
  EXPECT_EQ(image->ViewStyle(), vsCover);
  EXPECT_EQ(At(50, 20), Red);
}

TEST_F(ImageTest, FitOfATallPictureAndResizing) {
  auto tall = Quadrants(50, 100);
  Load(tall.get());
  // (130, 0)-(262, 266): l = round(129.5) = 130.
  EXPECT_EQ(At(129, 100), Band);
  EXPECT_EQ(At(131, 100), Magenta);
  EXPECT_EQ(At(250, 30), Green);
  EXPECT_EQ(At(250, 200), Yellow);
  EXPECT_EQ(At(263, 100), Band);

  // A new size is painted by the same rule from the element's copy.
  auto wide = Quadrants();
  Load(wide.get());
  form->SetSize(300, 300);
  PumpAll();
  ASSERT_EQ(Client().cx, 300);
  ASSERT_EQ(Client().cy, 300);
  // Full width, t = round((300 - 150) / 2) = 75.
  EXPECT_EQ(At(150, 70), Band);
  EXPECT_EQ(At(100, 80), Red);
  EXPECT_EQ(At(250, 220), Yellow);
  EXPECT_EQ(At(150, 230), Band);
}

TEST_F(ImageTest, RepaintsOnlyWhenSomethingChanged) {
  auto pic = Quadrants();
  Load(pic.get());
  EXPECT_TRUE(Pending());
  EXPECT_EQ(At(100, 60), Red);
  EXPECT_FALSE(Pending());

  // No bitmap: nothing changes, nothing is repainted.
  TData text;
  MakeString(text, "not a bitmap");
  image->doLoad(text, 0);
  EXPECT_FALSE(Pending());
  EXPECT_FALSE(image->Picture().IsEmpty());

  TData none;
  image->doClear(none, 0);
  EXPECT_TRUE(Pending());
  EXPECT_EQ(At(100, 60), Band);
  EXPECT_FALSE(Pending());
  image->doClear(none, 0);
  EXPECT_FALSE(Pending());

  // An empty bitmap leaves the picture empty and repaints the background.
  std::unique_ptr<TBitmapObject> empty = CreateDeviceBitmap(0, 0);
  Load(empty.get());
  EXPECT_TRUE(Pending());
  EXPECT_TRUE(image->Picture().IsEmpty());
  EXPECT_EQ(At(196, 133), Band);
}

TEST_F(ImageTest, ClickAutoSizeAndLink) {
  struct Clicks {
    int n = 0;
    uint8_t kind = 255;
    void doIn(TData& v, uint16_t) {
      ++n;
      kind = TypeOf(v);
    }
  } clicks;
  image->onClick = LinkTo<&Clicks::doIn>(&clicks);
  SendMessageA(Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(Wnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(clicks.n, 1);
  EXPECT_EQ(clicks.kind, data_null);

  // A second element, sized by its picture, reading it through its link.
  struct Source {
    TBitmapObject* b = nullptr;
    void Get(TData& v, uint16_t) { MakeBitmap(v, b); }
  };
  auto pic = Quadrants(60, 40);
  Source src{pic.get()};
  THIImage sized(form.get());
  sized.Width = 10;
  sized.Height = 10;
  sized.AutoSize = 1;
  sized.Init();
  sized.BitmapLink = LinkTo<&Source::Get>(&src);
  TData ignored;
  MakeInteger(ignored, 3);
  sized.doLoad(ignored, 0);
  EXPECT_EQ(sized.Control()->Width(), 60);
  EXPECT_EQ(sized.Control()->Height(), 40);
  EXPECT_EQ(sized.Picture().Width(), 60);

  image->SetSmooth(false);
  EXPECT_EQ(image->StretchMode(), COLORONCOLOR);
}

TEST(PngElementWin, BareNameIsLookedUpBesideTheExecutable) {
  if (!loaders_test::HaveSamples()) GTEST_FAIL() << "third-party sample folders not configured";
  InstallDispatchers();
  std::string bare = "hi_loaders_bare_test.png";
  std::string beside = kol::ExeFolder() + bare;
  {
    loaders_test::Bytes png = loaders_test::ReadBytes(loaders_test::PngSuiteSample("basn2c08.png"));
    ASSERT_FALSE(png.empty());
    std::ofstream out(beside, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  }
  struct Sink {
    int32_t w = -1;
    void doIn(TData& v, uint16_t) {
      auto* b = static_cast<TBitmapObject*>(v.ObjRef);
      w = b ? b->Width() : 0;
    }
  } sink;
  THIPNG png;
  png.onBitmap = LinkTo<&Sink::doIn>(&sink);
  TData v;
  MakeString(v, bare);
  png.doLoad(v, 0);
  png.doGetBitmap(v, 2);
  EXPECT_EQ(sink.w, 32);
  DeleteFileA(beside.c_str());
  ResetDispatchers();
}

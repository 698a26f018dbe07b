// The image element's rendered document in a real window: which picture is
// on screen, and when it asks for a page in which box.
#include <windows.h>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/image_win.h"
#include "toolkit/platform.h"

using namespace hi;

namespace {

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG m;
  do {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

std::unique_ptr<TBitmapObject> Solid(int32_t w, int32_t h, COLORREF c) {
  std::unique_ptr<TBitmapObject> b = CreateDibBitmap(w, h, px24Bit);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = b->ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  return b;
}

constexpr COLORREF Preview = RGB(200, 0, 0), Drawing = RGB(0, 160, 0), NoThumb = RGB(90, 90, 90),
                   No7za = RGB(0, 0, 200);

// What the renderer would be asked: the requests, and the pages whose
// stored picture is wanted.
struct Renderer {
  THIImage* image = nullptr;
  int requests = 0;
  int32_t page = 0, width = 0, height = 0;
  int pagePictures = 0;
  int32_t lastPagePicture = 0;
  void doRender(TData&, uint16_t) {
    ++requests;
    TData v;
    image->RenderPage(v, 0);
    page = ToInteger(v);
    image->RenderWidth(v, 0);
    width = ToInteger(v);
    image->RenderHeight(v, 0);
    height = ToInteger(v);
  }
  void doPage(TData& v, uint16_t) {
    ++pagePictures;
    lastPagePicture = ToInteger(v);
  }
};

class ImageViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDispatchers();
    form = kol::TControl::NewForm(nullptr, "image view test");
    form->SetMargin(0);
    form->RemoveBorder();
    form->SetPosition(20, 20);
    form->SetSize(392, 266);
    image = std::make_unique<THIImage>(form.get());
    image->Width = 392;
    image->Height = 266;
    image->Align = 5;
    image->Color = RGB(255, 255, 255);
    image->Init();
    image->SetRendering(true);
    noThumb = Solid(8, 8, NoThumb);
    no7za = Solid(8, 8, No7za);
    image->AddArtwork(noThumb.get(), nullptr, nullptr, nullptr, true);
    image->AddArtwork(no7za.get(), nullptr, nullptr, nullptr, false);
    renderer.image = image.get();
    image->onRender = LinkTo<&Renderer::doRender>(&renderer);
    image->onPage = LinkTo<&Renderer::doPage>(&renderer);
    form->SetVisible(true);
    SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    PumpFor(30);
  }
  void TearDown() override {
    image.reset();
    form.reset();
    ResetDispatchers();
  }

  void Send(void (THIImage::*point)(TData&, uint16_t), TBitmapObject* b) {
    TData v;
    MakeBitmap(v, b);
    (image.get()->*point)(v, 0);
  }
  void Send(void (THIImage::*point)(TData&, uint16_t), int32_t i) {
    TData v;
    MakeInteger(v, i);
    (image.get()->*point)(v, 0);
  }
  // A new document, its stored preview, and the first request answered.
  void Open() {
    Send(&THIImage::doClear, 0);
    Send(&THIImage::doLoad, preview.get());
    PumpFor(60);
  }
  COLORREF Centre() {
    PumpFor(20);
    UpdateWindow(image->Control()->Handle());
    RECT r;
    GetClientRect(image->Control()->Handle(), &r);
    POINT p{r.right / 2, r.bottom / 2};
    ClientToScreen(image->Control()->Handle(), &p);
    return GetPixel(kol::WindowDc::ForWindow(nullptr).get(), p.x, p.y);
  }

  std::unique_ptr<kol::TControl> form;
  std::unique_ptr<THIImage> image;
  std::unique_ptr<TBitmapObject> noThumb, no7za, preview = Solid(64, 48, Preview);
  Renderer renderer;
};

}  // namespace

TEST_F(ImageViewTest, TheRenderingReplacesThePreviewAndNoThumbButNeverNo7za) {
  Open();
  ASSERT_EQ(renderer.requests, 1);
  EXPECT_EQ(renderer.page, 1);
  EXPECT_EQ(renderer.width, 392);
  EXPECT_EQ(renderer.height, 266);
  EXPECT_EQ(Centre(), Preview);
  auto drawing = Solid(392, 200, Drawing);
  Send(&THIImage::doRendered, drawing.get());
  EXPECT_EQ(Centre(), Drawing);
  // The stored picture is one key away, and back.
  Send(&THIImage::doKey, 'T');
  EXPECT_EQ(Centre(), Preview);
  Send(&THIImage::doKey, 'T');
  EXPECT_EQ(Centre(), Drawing);
  // Copy takes what is shown: the rendering.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  struct Answer {
    int32_t value = -1;
    void doIn(TData& v, uint16_t) { value = ToInteger(v); }
  } copied;
  image->onCopy = LinkTo<&Answer::doIn>(&copied);
  Send(&THIImage::doCopy, 0);
  EXPECT_EQ(copied.value, 1);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(GetClipboardData(CF_DIB)));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biWidth, 392);
  EXPECT_EQ(header->biHeight, 200);
  GlobalUnlock(GetClipboardData(CF_DIB));
  CloseClipboard();

  Send(&THIImage::doLoadArtwork, noThumb.get());
  EXPECT_EQ(Centre(), Drawing);
  Send(&THIImage::doLoadArtwork, no7za.get());
  EXPECT_EQ(Centre(), No7za);

  // A new document forgets the rendering; one that shows "No_7za" asks for none.
  Send(&THIImage::doClear, 0);
  Send(&THIImage::doLoadArtwork, no7za.get());
  PumpFor(60);
  EXPECT_EQ(renderer.requests, 1);
  EXPECT_EQ(Centre(), No7za);
}

TEST_F(ImageViewTest, PagesZoomAndResizeAskForTheRightBoxes) {
  Open();
  auto fitted = Solid(392, 266, Drawing);
  Send(&THIImage::doRendered, fitted.get());
  // Before the page count is known there is nowhere to step.
  Send(&THIImage::doKey, VK_NEXT);
  EXPECT_EQ(image->Page(), 1);
  Send(&THIImage::doPageCount, 3);
  Send(&THIImage::doKey, VK_NEXT);
  PumpFor(60);
  EXPECT_EQ(renderer.lastPagePicture, 2);
  EXPECT_EQ(renderer.page, 2);
  EXPECT_EQ(renderer.requests, 2);
  // Page 2 is not rendered yet: its stored picture shows (none here).
  EXPECT_NE(Centre(), Drawing);
  Send(&THIImage::doKey, VK_END);
  Send(&THIImage::doKey, VK_NEXT);
  EXPECT_EQ(image->Page(), 3);
  Send(&THIImage::doKey, VK_HOME);
  PumpFor(60);
  // Page 1's stored picture is the preview, not read again, and its
  // rendering is still at hand: nothing is asked.
  EXPECT_EQ(renderer.pagePictures, 2);
  EXPECT_EQ(renderer.requests, 2);
  EXPECT_EQ(Centre(), Drawing);

  // Zooming in asks for the larger box once the keys rest.
  const int before = renderer.requests;
  Send(&THIImage::doKey, VK_ADD);
  Send(&THIImage::doKey, VK_ADD);
  EXPECT_EQ(renderer.requests, before);
  PumpFor(400);
  EXPECT_EQ(renderer.requests, before + 1);
  EXPECT_EQ(renderer.width, int32_t(392 * 1.25 * 1.25));
  Send(&THIImage::doKey, '0');
  EXPECT_TRUE(image->View().IsFit());

  // Shrinking scales down; growing past the rendering asks again.
  auto back = Solid(392, 266, Drawing);
  Send(&THIImage::doRendered, back.get());
  PumpFor(400);
  const int settled = renderer.requests;
  form->SetSize(300, 200);
  PumpFor(400);
  EXPECT_EQ(renderer.requests, settled);
  form->SetSize(500, 400);
  PumpFor(400);
  EXPECT_EQ(renderer.requests, settled + 1);
  EXPECT_EQ(renderer.width, 500);
  EXPECT_EQ(renderer.height, 400);
}

TEST_F(ImageViewTest, WithRenderingOffKeysAndLoadsAskForNothing) {
  image->SetRendering(false);
  Open();
  Send(&THIImage::doPageCount, 3);
  Send(&THIImage::doKey, VK_NEXT);
  Send(&THIImage::doKey, VK_ADD);
  PumpFor(400);
  EXPECT_EQ(renderer.requests, 0);
  EXPECT_EQ(renderer.pagePictures, 0);
  EXPECT_TRUE(image->View().IsFit());
  EXPECT_EQ(Centre(), Preview);
}

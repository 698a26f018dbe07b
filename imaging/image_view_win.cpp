// The image element's rendered document: which picture is shown, when a
// page is asked for, and the pages, zoom and pan a user steps through.
#include <algorithm>
#include <cstdio>

#include "imaging/image_win.h"
#include "toolkit/platform.h"

namespace hi {

namespace {

constexpr UINT_PTR RenderTimer = 1;
constexpr UINT_PTR LabelTimer = 2;
constexpr UINT_PTR HoldTimer = 3;
// The first request waits only for the host to size the new window; later
// ones for the user to stop resizing or zooming.
constexpr UINT FirstRenderMs = 10;
constexpr UINT SettleMs = 250;
constexpr UINT PageLabelMs = 1500;
// The stored preview is always seen first: a rendering that is ready
// before it, or right after it, waits until the preview has been on screen
// this long.
constexpr DWORD PreviewHoldMs = 80;
// 64 MiB of 32-bit pixels: a zoomed page of a large window within what a
// 32-bit file manager can spare; beyond it the rendering is scaled up.
constexpr int64_t MaxRenderPixels = int64_t(16) << 20;
constexpr double ZoomStep = 1.25;

bool Held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

void THIImage::SetRendering(bool on) { rendering_ = on; }

bool THIImage::ArtworkGivesWay() const {
  for (const TArtwork& a : artworkVariants_)
    if (a.Light == artwork_) return a.GivesWay;
  return false;
}

bool THIImage::ShowsRendering() const {
  return rendering_ && settled_ && !holding_ && !showStored_ && renderedPage_ == page_ && !rendered_->IsEmpty() &&
         (!artwork_ || ArtworkGivesWay());
}

void THIImage::Settle(bool shown) {
  if (settled_) return;
  settled_ = true;
  shownPreview_ = shown;
  if (shown && !rendered_->IsEmpty()) HoldPreview();
}

void THIImage::HoldPreview() {
  HWND wnd = Control() ? Control()->HandleIfCreated() : nullptr;
  if (!wnd || !shownPreview_) return;
  holding_ = true;
  // Not painted yet: painted now, before a rendering queued behind it.
  if (previewAt_ == 0) UpdateWindow(wnd);
  const DWORD since = previewAt_ == 0 ? 0 : GetTickCount() - previewAt_;
  if (since >= PreviewHoldMs) {
    holding_ = false;
    return;
  }
  SetTimer(wnd, HoldTimer, PreviewHoldMs - since, nullptr);
}

void THIImage::PaintedPreview() {
  if (rendering_ && shownPreview_ && previewAt_ == 0 && !ShowsRendering())
    previewAt_ = std::max<DWORD>(1, GetTickCount());
}

void THIImage::doSettled(TData&, uint16_t) {
  if (rendering_) Settle(false);
  Invalidate();
}

TPixelSize THIImage::ClientSize() const {
  HWND wnd = Control() ? Control()->HandleIfCreated() : nullptr;
  RECT r{};
  if (!wnd || !GetClientRect(wnd, &r)) return {};
  return {r.right - r.left, r.bottom - r.top};
}

TViewPlacement THIImage::Place(const RECT& client, int32_t& w, int32_t& h, TBitmapObject*& shown) {
  const int32_t cw = client.right - client.left, ch = client.bottom - client.top;
  if (ShowsRendering()) {
    shown = rendered_.get();
    w = shown->Width();
    h = shown->Height();
  } else {
    shown = &Displayed(WindowDpi(Control()->Handle()), w, h);
  }
  // Without rendering the view is the view style's alone.
  lastPlacement_ = rendering_ ? PlaceZoomed(viewStyle_, cw, ch, w, h, fitLargerOnly_, view_)
                              : PlaceView(viewStyle_, cw, ch, w, h, fitLargerOnly_);
  lastClientW_ = cw;
  lastClientH_ = ch;
  // A new scale of the screen calls for a new rendering.
  if (rendering_ && requested_ && WindowDpi(Control()->Handle()) != requestedDpi_) ScheduleRender(SettleMs);
  return lastPlacement_;
}

void THIImage::StartDocument() {
  rendered_->Clear();
  preview_->Clear();
  previewArtwork_ = nullptr;
  renderedPage_ = 0;
  page_ = 1;
  pageCount_ = 0;
  showStored_ = false;
  settled_ = false;
  holding_ = false;
  shownPreview_ = false;
  previewAt_ = 0;
  labelShown_ = false;
  view_ = TZoomView();
  requested_ = false;
  dragging_ = false;
  ScheduleRender(FirstRenderMs);
}

void THIImage::ScheduleRender(UINT delayMs) {
  if (HWND wnd = Control() ? Control()->HandleIfCreated() : nullptr) SetTimer(wnd, RenderTimer, delayMs, nullptr);
}

void THIImage::RequestRender() {
  kol::TControl* c = Control();
  if (!rendering_ || !c || !c->HandleIfCreated()) return;
  // "No_7za" keeps its place: nothing to render for.
  if (artwork_ && !ArtworkGivesWay()) return;
  const TPixelSize client = ClientSize();
  const TPixelSize want = RenderBox(client.Width, client.Height, view_.Zoom, MaxRenderPixels);
  if (want.Width <= 0 || want.Height <= 0) return;
  const int dpi = WindowDpi(c->HandleIfCreated());
  const bool have = renderedPage_ == page_ && !rendered_->IsEmpty();
  const TPixelSize got = have ? TPixelSize{rendered_->Width(), rendered_->Height()} : TPixelSize{};
  // Centred at its own size, a rendering larger than the window would be cut.
  const bool tooLarge = viewStyle_ != vsFit && (got.Width > want.Width || got.Height > want.Height);
  if (have && !NeedsRender(got, want) && !tooLarge && dpi == requestedDpi_) return;
  // The same request again (under way, or failed) is not made twice.
  if (requested_ && requestedPage_ == page_ && requestedBox_ == want && requestedDpi_ == dpi) return;
  requested_ = true;
  requestedPage_ = page_;
  requestedBox_ = want;
  requestedDpi_ = dpi;
  FireNull(onRender);
}

void THIImage::RenderPage(TData& value, uint16_t) { MakeInteger(value, requestedPage_); }
void THIImage::RenderWidth(TData& value, uint16_t) { MakeInteger(value, requestedBox_.Width); }
void THIImage::RenderHeight(TData& value, uint16_t) { MakeInteger(value, requestedBox_.Height); }

void THIImage::doRendered(TData& value, uint16_t) {
  TBitmapObject* source = ReadBitmap(value, BitmapLink, nullptr);
  if (!rendering_ || !source || source->IsEmpty()) return;
  rendered_->Assign(source);
  renderedPage_ = requestedPage_;
  if (settled_ && !holding_) HoldPreview();
  Invalidate();
}

void THIImage::doPageCount(TData& value, uint16_t) {
  if (rendering_) pageCount_ = std::max<int32_t>(0, ToInteger(value));
}

void THIImage::doPagePicture(TData& value, uint16_t) {
  TBitmapObject* source = ReadBitmap(value, BitmapLink, nullptr);
  if (!rendering_ || !source || page_ == 1) return;
  picture_->Assign(source);
  artwork_ = nullptr;
  Invalidate();
}

void THIImage::GoToPage(int32_t page) {
  if (pageCount_ <= 0) return;  // known from the first rendering on
  page = std::clamp(page, 1, pageCount_);
  if (page == page_) return;
  page_ = page;
  // The user has moved on: the load's own route no longer holds anything up.
  settled_ = true;
  // The zoom stays; the new page starts at its top.
  view_.CenterY = 0.0;
  if (page == 1) {
    picture_->Assign(preview_.get());
    artwork_ = previewArtwork_;
  } else {
    picture_->Clear();
    artwork_ = nullptr;
    FireInteger(onPage, page);
  }
  ShowPageLabel();
  Invalidate();
  ScheduleRender(FirstRenderMs);
}

void THIImage::ShowPageLabel() {
  HWND wnd = Control() ? Control()->HandleIfCreated() : nullptr;
  if (!wnd) return;
  labelShown_ = true;
  SetTimer(wnd, LabelTimer, PageLabelMs, nullptr);
}

void THIImage::PaintPageLabel(HDC dc, const RECT& client) {
  char text[32];
  std::snprintf(text, sizeof text, "%d / %d", int(page_), int(pageCount_));
  const int length = int(std::char_traits<char>::length(text));
  HGDIOBJ oldFont = Control()->FontHandle() ? SelectObject(dc, Control()->FontHandle()) : nullptr;
  SIZE size{};
  GetTextExtentPoint32A(dc, text, length, &size);
  const int pad = std::max<int>(4, int(size.cy / 3));
  RECT box{client.right - size.cx - 3 * pad, client.top + pad, client.right - pad, client.top + size.cy + 3 * pad};
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, box.left + pad, box.top + pad, text, length);
  if (oldFont) SelectObject(dc, oldFont);
}

void THIImage::ZoomBy(double factor, int32_t x, int32_t y) {
  ZoomAt(view_, lastPlacement_.Dest, lastClientW_, lastClientH_, factor, x, y);
  Invalidate();
  ScheduleRender(SettleMs);
}

void THIImage::doKey(TData& value, uint16_t) {
  if (!rendering_) return;
  const int32_t key = ToInteger(value);
  const int32_t cx = lastClientW_ / 2, cy = lastClientH_ / 2;
  const int32_t step = std::max<int32_t>(16, std::min(lastClientW_, lastClientH_) / 10);
  switch (key) {
    case VK_NEXT: GoToPage(page_ + 1); break;
    case VK_PRIOR: GoToPage(page_ - 1); break;
    case VK_HOME: GoToPage(1); break;
    case VK_END: GoToPage(pageCount_); break;
    case VK_ADD:
    case VK_OEM_PLUS: ZoomBy(ZoomStep, cx, cy); break;
    case VK_SUBTRACT:
    case VK_OEM_MINUS: ZoomBy(1.0 / ZoomStep, cx, cy); break;
    case '0':
    case VK_NUMPAD0:
      view_ = TZoomView();
      Invalidate();
      ScheduleRender(SettleMs);
      break;
    case 'T':
      showStored_ = !showStored_;
      Invalidate();
      break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
      const int32_t dx = key == VK_LEFT ? step : key == VK_RIGHT ? -step : 0;
      const int32_t dy = key == VK_UP ? step : key == VK_DOWN ? -step : 0;
      PanBy(view_, lastPlacement_.Dest, lastClientW_, lastClientH_, dx, dy);
      Invalidate();
      break;
    }
    default: break;
  }
}

void THIImage::doWheel(TData& value, uint16_t) {
  if (!rendering_) return;
  const int32_t delta = ToInteger(value);
  if (delta == 0) return;
  if (Held(VK_CONTROL)) {
    POINT at{lastClientW_ / 2, lastClientH_ / 2};
    HWND wnd = Control()->HandleIfCreated();
    POINT cursor{};
    if (wnd && GetCursorPos(&cursor) && ScreenToClient(wnd, &cursor) && cursor.x >= 0 && cursor.y >= 0 &&
        cursor.x < lastClientW_ && cursor.y < lastClientH_)
      at = cursor;
    ZoomBy(delta > 0 ? ZoomStep : 1.0 / ZoomStep, at.x, at.y);
    return;
  }
  // One notch moves a tenth of the window, as a page scrolls in a reader.
  const int32_t notch = int32_t(int64_t(delta) * std::max(lastClientW_, lastClientH_) / 10 / WHEEL_DELTA);
  if (Held(VK_SHIFT))
    PanBy(view_, lastPlacement_.Dest, lastClientW_, lastClientH_, notch, 0);
  else
    PanBy(view_, lastPlacement_.Dest, lastClientW_, lastClientH_, 0, notch);
  Invalidate();
}

void THIImage::MouseDown(const kol::MouseData& m) {
  const TRect& d = lastPlacement_.Dest;
  if (rendering_ && m.Button == 1 && (d.right - d.left > lastClientW_ || d.bottom - d.top > lastClientH_)) {
    dragging_ = true;
    dragX_ = m.X;
    dragY_ = m.Y;
    SetCapture(Control()->HandleIfCreated());
  }
  THIWin::MouseDown(m);
}

void THIImage::MouseMove(const kol::MouseData& m) {
  if (dragging_) {
    PanBy(view_, lastPlacement_.Dest, lastClientW_, lastClientH_, m.X - dragX_, m.Y - dragY_);
    dragX_ = m.X;
    dragY_ = m.Y;
    Invalidate();
  }
  THIWin::MouseMove(m);
}

void THIImage::MouseUp(const kol::MouseData& m) {
  if (dragging_) {
    dragging_ = false;
    ReleaseCapture();
  }
  THIWin::MouseUp(m);
}

void THIImage::Resized() {
  THIWin::Resized();
  // Before the first request its timer is pending and takes the new size.
  if (rendering_ && requested_) ScheduleRender(SettleMs);
}

bool THIImage::Message(MSG& msg, LRESULT& result) {
  if (msg.message == WM_TIMER && (msg.wParam == RenderTimer || msg.wParam == LabelTimer || msg.wParam == HoldTimer)) {
    KillTimer(msg.hwnd, msg.wParam);
    if (msg.wParam == RenderTimer) {
      RequestRender();
    } else {
      labelShown_ = labelShown_ && msg.wParam != LabelTimer;
      holding_ = holding_ && msg.wParam != HoldTimer;
      Invalidate();
    }
    result = 0;
    return true;
  }
  return THIWin::Message(msg, result);
}

}  // namespace hi

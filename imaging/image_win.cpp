#include "imaging/image_win.h"

namespace hi {

int ClassifySystemFamily(DWORD platform, DWORD major, DWORD minor) {
  if (platform == VER_PLATFORM_WIN32_NT) {
    if (major >= 6) return 6;
    if (major <= 4) return 3;
    return minor == 0 ? 4 : 5;
  }
  if (platform == VER_PLATFORM_WIN32_WINDOWS) return (major > 4 || (major == 4 && minor > 9)) ? 2 : 1;
  return 0;
}

int SystemFamily() {
  static const int family = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
    return ClassifySystemFamily(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
  }();
  return family;
}

THIImage::THIImage(kol::TControl* parentControl) : THIWin(parentControl), picture_(CreateDeviceBitmap(0, 0)) {}

THIImage::~THIImage() {
  // The window outlives this part of the element: it must not paint a
  // picture that is about to go.
  if (kol::TControl* c = Control()) {
    c->OnPaint = nullptr;
    c->OnClick = nullptr;
  }
}

void THIImage::SetViewStyle(int32_t style) {
  if (style >= vsCenter && style <= vsCover) viewStyle_ = style;
}

void THIImage::SetSmooth(bool smooth) { stretchMode_ = (smooth && SystemFamily() > 2) ? HALFTONE : COLORONCOLOR; }

void THIImage::Init() {
  if (!Control()) SetControl(kol::TControl::NewPaintBox(ParentControl));
  THIWin::Init();
  kol::TControl* c = Control();
  c->OnClick = [this](kol::TControl&) { FireNull(onClick); };
  c->OnPaint = [this](kol::TControl&, HDC dc, const RECT& client) { Paint(dc, client); };
  c->SetColor(Color);
  ApplyAutoSize();
}

void THIImage::Invalidate() {
  if (kol::TControl* c = Control()) c->Invalidate();
}

void THIImage::ApplyAutoSize() {
  kol::TControl* c = Control();
  if (!AutoSize || !c || picture_->IsEmpty()) return;
  int w = picture_->Width() ? picture_->Width() : c->Width();
  int h = picture_->Height() ? picture_->Height() : c->Height();
  c->SetSize(w, h);
}

void THIImage::doLoad(TData& value, uint16_t) {
  TBitmapObject* source = ReadBitmap(value, BitmapLink, nullptr);
  if (!source) return;
  picture_->Assign(source);
  ApplyAutoSize();
  Invalidate();
}

void THIImage::doClear(TData&, uint16_t) {
  if (picture_->IsEmpty()) return;
  picture_->Clear();
  Invalidate();
}

void THIImage::doViewStyle(TData& value, uint16_t) {
  SetViewStyle(ToInteger(value));
  Invalidate();
}

void THIImage::Paint(HDC dc, const RECT& client) {
  kol::TControl* c = Control();
  int32_t cw = client.right - client.left, ch = client.bottom - client.top;
  TViewPlacement p = PlaceView(viewStyle_, cw, ch, picture_->Width(), picture_->Height());
  HBRUSH brush = c->BackBrush();
  for (int i = 0; i < p.BandCount; ++i) {
    const TRect& b = p.Bands[i];
    if (!RectHasArea(b)) continue;
    RECT r{b.left, b.top, b.right, b.bottom};
    FillRect(dc, &r, brush);
  }
  switch (p.Draw) {
    case vdDraw:
      picture_->Draw(dc, p.Dest.left, p.Dest.top);
      break;
    case vdStretch:
      SetStretchBltMode(dc, stretchMode_);
      // HALFTONE needs the brush origin reset after the mode is set.
      if (stretchMode_ == HALFTONE) SetBrushOrgEx(dc, 0, 0, nullptr);
      picture_->StretchDraw(dc, p.Dest);
      break;
    case vdTile:
      for (int32_t a = 0; a <= p.TilesX; ++a)
        for (int32_t b = 0; b <= p.TilesY; ++b) picture_->Draw(dc, a * picture_->Width(), b * picture_->Height());
      break;
    case vdNothing:
      break;
  }
}

}  // namespace hi

#include "imaging/image_win.h"

#include <cstring>

#include "framework/checked_size.h"
#include "toolkit/platform.h"

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

THIImage::THIImage(kol::TControl* parentControl)
    : THIWin(parentControl),
      picture_(CreateDeviceBitmap(0, 0)),
      rendered_(CreateDeviceBitmap(0, 0)),
      preview_(CreateDeviceBitmap(0, 0)) {}

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

void THIImage::Load(TData& value, bool artwork) {
  TBitmapObject* source = ReadBitmap(value, BitmapLink, nullptr);
  if (!source) return;
  if (rendering_) {
    // The load's picture is page 1's; on another page it waits for the
    // return to page 1.
    preview_->Assign(source);
    previewArtwork_ = artwork ? source : nullptr;
    if (page_ != 1) return;
  }
  picture_->Assign(source);
  artwork_ = artwork ? source : nullptr;
  ApplyAutoSize();
  Invalidate();
  if (rendering_) Settle(true);
}

void THIImage::doLoad(TData& value, uint16_t) { Load(value, false); }

void THIImage::doLoadArtwork(TData& value, uint16_t) { Load(value, true); }

void THIImage::doClear(TData&, uint16_t) {
  artwork_ = nullptr;
  if (rendering_) StartDocument();
  if (picture_->IsEmpty()) return;
  picture_->Clear();
  Invalidate();
}

void THIImage::AddArtwork(const TBitmapObject* light, const TBitmapObject* dark, const TBitmapObject* light2x,
                          const TBitmapObject* dark2x, bool givesWayToRendering) {
  if (!light) return;
  TArtwork artwork{givesWayToRendering, light, {}};
  const TBitmapObject* sources[2][2] = {{nullptr, light2x}, {dark, dark2x}};
  for (int d = 0; d < 2; ++d)
    for (int x = 0; x < 2; ++x) {
      if (!sources[d][x] || sources[d][x]->IsEmpty()) continue;
      artwork.Variant[d][x] = CreateDeviceBitmap(0, 0);
      artwork.Variant[d][x]->Assign(sources[d][x]);
    }
  artworkVariants_.push_back(std::move(artwork));
}

TBitmapObject& THIImage::Displayed(int dpi, int32_t& width, int32_t& height) {
  width = picture_->Width();
  height = picture_->Height();
  if (!artwork_) return *picture_;
  // Artwork is drawn for 96 dots per inch; the 200 % variant serves from
  // 150 % up, and either is scaled smoothly to the exact size.
  width = int32_t((int64_t(width) * dpi + 48) / 96);
  height = int32_t((int64_t(height) * dpi + 48) / 96);
  const bool large = dpi * 2 >= 96 * 3;
  const int d = dark_ ? 1 : 0;
  TBitmapObject* chosen = nullptr;
  for (TArtwork& a : artworkVariants_) {
    if (a.Light != artwork_) continue;
    if (large) chosen = a.Variant[d][1].get();
    if (!chosen) chosen = a.Variant[d][0].get();
    break;
  }
  return chosen ? *chosen : *picture_;
}

void THIImage::doShowFlags(TData& value, uint16_t) {
  int32_t flags = ToInteger(value);
  fitLargerOnly_ = (flags & kShowFitLargerOnly) != 0;
  dark_ = (flags & kShowDarkMode) != 0;
  if (kol::TControl* c = Control()) c->SetColor(dark_ ? kDarkBackground : Color);
  Invalidate();
}

void THIImage::doCopy(TData&, uint16_t) { FireInteger(onCopy, CopyToClipboard() ? 1 : 0); }

bool THIImage::CopyToClipboard() {
  kol::TControl* c = Control();
  // What is shown: the rendering, or the document's own picture; never artwork.
  TBitmapObject* shown = ShowsRendering() ? rendered_.get() : artwork_ ? nullptr : picture_.get();
  if (!c || !shown || shown->IsEmpty()) return false;
  const int32_t w = shown->Width(), h = shown->Height();
  // A bottom-up 24-bit DIB, the form every reader of the clipboard takes.
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = w;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  // The copy keeps to the pixel limit of every picture here.
  const int64_t size = CheckedProduct(RowStride(24, w), h, MaxPixelBytes);
  if (size < 0) return false;
  header.biSizeImage = DWORD(size);

  void* bits = nullptr;
  kol::GdiBitmap section(
      CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0));
  kol::MemoryDc dc = kol::CompatibleDc(nullptr);
  if (!section || !dc || !bits) return false;
  {
    kol::SelectGuard selected(dc.get(), section.get());
    shown->Draw(dc.get(), 0, 0);
    GdiFlush();
  }
  kol::GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(sizeof header + size)));
  if (!memory) return false;
  {
    kol::GlobalLock locked(memory.get());
    if (!locked.get()) return false;
    std::memcpy(locked.get(), &header, sizeof header);
    std::memcpy(static_cast<uint8_t*>(locked.get()) + sizeof header, bits, size_t(size));
  }
  if (!OpenClipboard(c->Handle())) return false;
  EmptyClipboard();
  // The clipboard owns the memory once it has taken it.
  bool taken = SetClipboardData(CF_DIB, memory.get()) != nullptr;
  if (taken) memory.release();
  CloseClipboard();
  return taken;
}

void THIImage::doViewStyle(TData& value, uint16_t) {
  SetViewStyle(ToInteger(value));
  Invalidate();
}

void THIImage::Paint(HDC dc, const RECT& client) {
  kol::TControl* c = Control();
  int32_t w = 0, h = 0;
  TBitmapObject* shown = nullptr;
  TViewPlacement p = Place(client, w, h, shown);
  TBitmapObject& picture = *shown;
  // Artwork at another scale than its pixels is placed unscaled but drawn
  // scaled.
  if (p.Draw == vdDraw && (w != picture.Width() || h != picture.Height())) p.Draw = vdStretch;
  HBRUSH brush = c->BackBrush();
  for (int i = 0; i < p.BandCount; ++i) {
    const TRect& b = p.Bands[i];
    if (!RectHasArea(b)) continue;
    RECT r{b.left, b.top, b.right, b.bottom};
    FillRect(dc, &r, brush);
  }
  switch (p.Draw) {
    case vdDraw: picture.Draw(dc, p.Dest.left, p.Dest.top); break;
    case vdStretch:
      SetStretchBltMode(dc, stretchMode_);
      // HALFTONE needs the brush origin reset after the mode is set.
      if (stretchMode_ == HALFTONE) SetBrushOrgEx(dc, 0, 0, nullptr);
      picture.StretchDraw(dc, p.Dest);
      break;
    case vdTile:
      for (int32_t a = 0; a <= p.TilesX; ++a)
        for (int32_t b = 0; b <= p.TilesY; ++b) {
          const int32_t x = a * w, y = b * h;
          if (w == picture.Width() && h == picture.Height())
            picture.Draw(dc, x, y);
          else
            picture.StretchDraw(dc, TRect{x, y, x + w, y + h});
        }
      break;
    case vdNothing: break;
  }
  if (labelShown_) PaintPageLabel(dc, client);
  PaintedPreview();
}

}  // namespace hi

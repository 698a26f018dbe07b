// The icon handle: made from the colour image and mask, drawn onto bitmaps.
#include <windows.h>

#include "framework/exception.h"
#include "imaging/icon.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"

namespace hi {

int32_t TIconObject::SystemIconSize() { return GetSystemMetrics(SM_CXICON); }

bool TIconObject::MakeHandle() {
  TBitmapObject* mask = mask_.get();
  if (!mask || mask->IsEmpty()) return false;
  ICONINFO ii = {};
  ii.fIcon = TRUE;
  try {
    ii.hbmMask = static_cast<HBITMAP>(mask->GetHandle());
    ii.hbmColor = color_ ? static_cast<HBITMAP>(color_->GetHandle()) : nullptr;
  } catch (const Exception&) {
    // A DIB section the system refuses (a header it cannot take) makes no
    // icon, which the reader reports like any other refusal.
    return false;
  }
  Handle = CreateIconIndirect(&ii);
  return Handle != nullptr;
}

void TIconObject::ReleaseIcon() {
  if (Handle && !Shared) DestroyIcon(static_cast<HICON>(Handle));
  Handle = nullptr;
  Shared = false;
}

void* TIconObject::ToBitmapHandle(uint32_t background) {
  if (!Handle) return nullptr;
  kol::GdiBitmap bmp(CreateCompatibleBitmap(kol::WindowDc::ForWindow(nullptr).get(), Size, Size));
  if (!bmp) return nullptr;
  {
    kol::MemoryDc dc = kol::CompatibleDc(nullptr);
    kol::SelectGuard select(dc.get(), bmp.get());
    kol::GdiBrush brush(CreateSolidBrush(kol::ResolveColor(background)));
    RECT r = {0, 0, Size, Size};
    FillRect(dc.get(), &r, brush.get());
    DrawIconEx(dc.get(), 0, 0, static_cast<HICON>(Handle), Size, Size, 0, nullptr, DI_NORMAL);
  }
  return bmp.release();
}

}  // namespace hi

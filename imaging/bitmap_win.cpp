// The device half of the bitmap: DIB sections, device bitmaps and drawing.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "framework/checked_size.h"
#include "framework/exception.h"
#include "imaging/bitmap.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"

namespace hi {

namespace {

// A memory device context with one bitmap selected into it; the selection
// is undone before the context is deleted.
struct TSelectedDC {
  explicit TSelectedDC(HGDIOBJ bitmap) noexcept : dc(kol::CompatibleDc(nullptr)), select(dc.get(), bitmap) {}
  HDC get() const { return dc.get(); }

  kol::MemoryDc dc;
  kol::SelectGuard select;
};

std::string SystemErrorText(DWORD code) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                           sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ')) buf[--n] = 0;
  return buf;
}

const BITMAPINFO* Info(const TBitmapInfoHeader* h) { return reinterpret_cast<const BITMAPINFO*>(h); }

}  // namespace

uint32_t TBitmapObject::ResolveColor(uint32_t color) { return kol::ResolveColor(color); }

void TBitmapObject::DeleteHandle() {
  // Handed to an owner that deletes it here.
  kol::GdiBitmap owned(static_cast<HBITMAP>(handle_));
  handle_ = nullptr;
}

bool TBitmapObject::DeviceSize(int32_t& width, int32_t& height) const {
  BITMAP bm;
  if (!handle_ || GetObjectA(static_cast<HBITMAP>(handle_), sizeof bm, &bm) == 0) return false;
  width = bm.bmWidth;
  height = bm.bmHeight;
  return true;
}

void* TBitmapObject::DuplicateHandle() const {
  return handle_ ? CopyImage(static_cast<HBITMAP>(handle_), IMAGE_BITMAP, 0, 0, 0) : nullptr;
}

void TBitmapObject::ReformatDevice(int32_t oldWidth, int32_t oldHeight) {
  kol::GdiBitmap fresh(CreateCompatibleBitmap(kol::WindowDc::ForWindow(nullptr).get(), width_, height_));
  if (!fresh) {
    ReleasePixelData();
    return;
  }
  {
    TSelectedDC dc(fresh.get());
    kol::GdiBrush brush(CreateSolidBrush(ResolveColor(BackgroundColor)));
    RECT r = {0, 0, width_, height_};
    FillRect(dc.get(), &r, brush.get());
    if (header_ && bits_) {
      SetDIBits(dc.get(), fresh.get(), 0, UINT(height_), bits_, Info(header_), DIB_RGB_COLORS);
    } else if (handle_) {
      TSelectedDC src(handle_);
      BitBlt(dc.get(), 0, 0, oldWidth, oldHeight, src.get(), 0, 0, SRCCOPY);
    }
  }
  ReleasePixelData();
  handle_ = fresh.release();
}

bool TBitmapObject::ConvertIntoMemory(TBitmapInfoHeader* newHeader, uint8_t*& newBits, int32_t lines) {
  HBITMAP old = static_cast<HBITMAP>(GetHandle());
  if (!old || lines <= 0) return old != nullptr;
  const int got = GetDIBits(kol::WindowDc::ForWindow(nullptr).get(), old, 0, UINT(lines), newBits,
                            reinterpret_cast<BITMAPINFO*>(newHeader), DIB_RGB_COLORS);
  if (got >= lines) return true;
  // The system could not convert: draw the old picture into a section of
  // the new format and take its rows.
  void* sectionBits = nullptr;
  kol::GdiBitmap section(CreateDIBSection(kol::WindowDc::ForWindow(nullptr).get(),
                                          reinterpret_cast<BITMAPINFO*>(newHeader), DIB_RGB_COLORS, &sectionBits,
                                          nullptr, 0));
  if (!section) return true;
  {
    TSelectedDC dst(section.get());
    TSelectedDC src(old);
    BitBlt(dst.get(), 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY);
  }
  GdiFlush();
  // The new rows were made at this size, within the limit.
  const int64_t size =
      CheckedProduct(RowStride(newHeader->biBitCount, newHeader->biWidth), newHeader->biHeight, MaxPixelBytes);
  if (size > 0) std::memcpy(newBits, sectionBits, size_t(size));
  return true;
}

void* TBitmapObject::GetHandle() {
  if (IsEmpty()) return nullptr;
  if (handle_) return handle_;
  if (!bits_ || !header_) return nullptr;
  void* sectionBits = nullptr;
  kol::GdiBitmap section(CreateDIBSection(kol::WindowDc::ForWindow(nullptr).get(), Info(header_), DIB_RGB_COLORS,
                                          &sectionBits, nullptr, 0));
  if (!section || !sectionBits) {
    DWORD code = GetLastError();
    section.reset();
    AssertionFailed("Can not create DIB section, error: " + std::to_string(code) + ", " + SystemErrorText(code),
                    __FILE__, __LINE__);
  }
  std::memcpy(sectionBits, bits_, size_t(bitsSize_));
  if (!sectionOwnsRows_) std::free(bits_);
  bits_ = static_cast<uint8_t*>(sectionBits);
  sectionOwnsRows_ = true;
  scanLineCache_[0] = scanLineCache_[1] = 0;
  handle_ = section.release();
  return handle_;
}

void* TBitmapObject::ReleaseHandle() {
  SetStorage(bsDIB);
  if (!GetHandle()) return nullptr;
  if (sectionOwnsRows_ && bits_) {
    uint8_t* own = AllocRows(bitsSize_);
    if (own) std::memcpy(own, bits_, size_t(bitsSize_));
    bits_ = own;
  }
  sectionOwnsRows_ = false;
  void* h = handle_;
  handle_ = nullptr;
  return h;
}

void TBitmapObject::SetHandle(void* handle) {
  Clear();
  BITMAP bm;
  if (!handle || GetObjectA(static_cast<HBITMAP>(handle), sizeof bm, &bm) == 0) return;
  width_ = bm.bmWidth;
  height_ = bm.bmHeight;
  handle_ = handle;
  storage_ = bsDDB;
}

void TBitmapObject::Draw(void* dcHandle, int32_t x, int32_t y) {
  if (IsEmpty()) return;
  HDC dc = static_cast<HDC>(dcHandle);
  if (!handle_ && header_ && bits_) {
    int32_t h = header_->biHeight < 0 ? -header_->biHeight : header_->biHeight;
    if (StretchDIBits(dc, x, y, width_, h, 0, 0, width_, h, bits_, Info(header_), DIB_RGB_COLORS, SRCCOPY) != 0) return;
    if (!GetHandle()) return;
  }
  if (!handle_) return;
  int32_t w = width_, h = height_;
  DeviceSize(w, h);
  TSelectedDC src(handle_);
  BitBlt(dc, x, y, width_, h, src.get(), 0, 0, SRCCOPY);
}

void TBitmapObject::StretchDraw(void* dcHandle, const TRect& r) {
  if (IsEmpty()) return;
  HDC dc = static_cast<HDC>(dcHandle);
  int32_t dw = r.right - r.left, dh = r.bottom - r.top;
  if (!handle_ && header_ && bits_) {
    if (StretchDIBits(dc, r.left, r.top, dw, dh, 0, 0, width_, height_, bits_, Info(header_), DIB_RGB_COLORS, SRCCOPY) >
        0)
      return;
    if (!GetHandle()) return;
  }
  if (!handle_) return;
  TSelectedDC src(handle_);
  StretchBlt(dc, r.left, r.top, dw, dh, src.get(), 0, 0, width_, height_, SRCCOPY);
}

}  // namespace hi

// The file panel's thumbnail: ListGetPreviewBitmap[W]. The host calls them
// from its panel worker threads, two at once, beside open viewers; they use
// no project, window or shared state, only the document reader, the
// decoders and the scaler, each call on its own data.
#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>

#include "imaging/area_scale.h"
#include "imaging/bitmap.h"
#include "plugin/panel_preview.h"
#include "toolkit/handles.h"
#include "toolkit/wide.h"

using namespace hi;

#define LISTER_EXPORT extern "C" __declspec(dllexport)

namespace {

// A new 24-bit DIB section holding the picture fitted inside the box; the
// host owns it. Rows of a DIB section lie bottom-up, 4-byte aligned.
HBITMAP FittedBitmap(const TPanelPicture& picture, int boxWidth, int boxHeight) {
  int32_t width = 0, height = 0;
  if (!FitInside(picture.width, picture.height, boxWidth, boxHeight, width, height)) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  kol::GdiBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return nullptr;
  const ptrdiff_t stride = ptrdiff_t(RowStride(24, width));
  uint8_t* top = static_cast<uint8_t*>(bits) + stride * (height - 1);
  if (!AreaScale24(picture.rgb.data(), picture.width, picture.height, ptrdiff_t(picture.width) * 3, top, width, height,
                   -stride))
    return nullptr;
  // The scaler keeps the channel order; the section wants blue first.
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* p = top - stride * y;
    for (int32_t x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
  }
  GdiFlush();
  return bitmap.release();
}

HBITMAP PreviewBitmap(const std::string& utf8Name, int width, int height, const char* contentbuf,
                      int contentbuflen) noexcept {
  // No report on failure here: a message box from the panel's worker
  // thread would block the panel, and the host shows its own icon.
  try {
    if (width <= 0 || height <= 0) return nullptr;
    const size_t headSize = contentbuf != nullptr && contentbuflen > 0 ? size_t(contentbuflen) : 0;
    TPanelPicture picture;
    if (!LoadPanelPicture(utf8Name, contentbuf, headSize, picture)) return nullptr;
    return FittedBitmap(picture, width, height);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

LISTER_EXPORT HBITMAP __stdcall ListGetPreviewBitmap(char* FileToLoad, int width, int height, char* contentbuf,
                                                     int contentbuflen) {
  try {
    if (FileToLoad == nullptr) return nullptr;
    return PreviewBitmap(kol::Utf8FromAnsi(FileToLoad), width, height, contentbuf, contentbuflen);
  } catch (...) {
    return nullptr;
  }
}

LISTER_EXPORT HBITMAP __stdcall ListGetPreviewBitmapW(WCHAR* FileToLoad, int width, int height, char* contentbuf,
                                                      int contentbuflen) {
  try {
    if (FileToLoad == nullptr) return nullptr;
    return PreviewBitmap(kol::Utf8(FileToLoad, std::wcslen(FileToLoad)), width, height, contentbuf, contentbuflen);
  } catch (...) {
    return nullptr;
  }
}

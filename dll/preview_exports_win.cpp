// The file panel's thumbnail: ListGetPreviewBitmap[W]. The host calls them
// from its panel worker threads, two at once, beside open viewers; they use
// no project, window or shared state. The panel thumbnail service
// (plugin/panel_preview.h) makes the fitted rows, each call on its own data;
// here they only become the DIB section the host receives.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "plugin/panel_preview.h"
#include "toolkit/handles.h"
#include "toolkit/wide.h"

using namespace hi;

#define LISTER_EXPORT extern "C" __declspec(dllexport)

namespace {

// A new 24-bit DIB section holding the fitted rows; the host owns it. Rows
// of a DIB section lie bottom-up, 4-byte aligned.
HBITMAP SectionOf(const TPanelThumbnail& thumbnail) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = thumbnail.width;
  info.bmiHeader.biHeight = thumbnail.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  kol::GdiBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return nullptr;
  const size_t row = size_t(thumbnail.width) * 3;
  const size_t stride = (row + 3) & ~size_t(3);
  for (int32_t y = 0; y < thumbnail.height; ++y)
    std::memcpy(static_cast<uint8_t*>(bits) + stride * size_t(thumbnail.height - 1 - y),
                thumbnail.bgr.data() + row * size_t(y), row);
  GdiFlush();
  return bitmap.release();
}

HBITMAP PreviewBitmap(const std::string& utf8Name, int width, int height, const char* contentbuf,
                      int contentbuflen) noexcept {
  // No report on failure here: a message box from the panel's worker
  // thread would block the panel, and the host shows its own icon.
  try {
    const size_t headSize = contentbuf != nullptr && contentbuflen > 0 ? size_t(contentbuflen) : 0;
    TPanelThumbnail thumbnail;
    if (!MakePanelThumbnailFile(utf8Name, contentbuf, headSize, width, height, thumbnail).Ok()) return nullptr;
    return SectionOf(thumbnail);
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

#include "tools/listerhost_capture.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "toolkit/handles.h"
#include "toolkit/wide.h"

namespace listerhost {

namespace {

template <class T>
void Put(std::vector<char>& out, const T& v) {
  const char* p = reinterpret_cast<const char*>(&v);
  out.insert(out.end(), p, p + sizeof v);
}

}  // namespace

bool CaptureClient(HWND window, bool repaint, ClientPixels& pixels, std::string& error) {
  RECT rc;
  if (!IsWindow(window) || !GetClientRect(window, &rc) || rc.right <= 0 || rc.bottom <= 0) {
    error = "no client area";
    return false;
  }
  const int w = rc.right, h = rc.bottom;
  if (repaint) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  GdiFlush();

  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as the file stores it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  const size_t imageSize = stride * size_t(h);

  void* bits = nullptr;
  // The window's own device context without child clipping: the children's
  // pixels lie in the same surface and are read with the parent's.
  kol::WindowDc source = kol::WindowDc::ForWindow(window, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!source.get()) {
    error = "no device context";
    return false;
  }
  kol::GdiBitmap dib(CreateDIBSection(source.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  kol::MemoryDc memory = kol::CompatibleDc(source.get());
  if (!dib || !bits || !memory) {
    error = "cannot make the copy";
    return false;
  }
  {
    kol::SelectGuard select(memory.get(), dib.get());
    if (!BitBlt(memory.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY)) {
      error = "cannot copy the window's pixels";
      return false;
    }
    GdiFlush();
  }

  pixels.width = w;
  pixels.height = h;
  const char* bytes = static_cast<const char*>(bits);
  pixels.rows.assign(bytes, bytes + imageSize);
  return true;
}

bool WriteBmp(const ClientPixels& pixels, const std::string& path, std::string& error) {
  std::vector<char> file;
  BITMAPFILEHEADER fh = {};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  fh.bfSize = DWORD(fh.bfOffBits + pixels.rows.size());
  BITMAPINFOHEADER ih = {};
  ih.biSize = sizeof ih;
  ih.biWidth = pixels.width;
  ih.biHeight = pixels.height;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biCompression = BI_RGB;
  ih.biSizeImage = DWORD(pixels.rows.size());
  Put(file, fh);
  Put(file, ih);
  file.insert(file.end(), pixels.rows.begin(), pixels.rows.end());

  FILE* out = _wfopen(kol::Wide(path).c_str(), L"wb");
  const bool written = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
  const bool closed = out && std::fclose(out) == 0;
  if (!written || !closed) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

bool SaveClientBitmap(HWND window, const std::string& path, std::string& error) {
  ClientPixels pixels;
  return CaptureClient(window, true, pixels, error) && WriteBmp(pixels, path, error);
}

}  // namespace listerhost

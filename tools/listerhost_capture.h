// Saves a window's client pixels, children included, as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace listerhost {

// A window's client area as a 24-bit BMP file stores it: bottom-up rows
// padded to four bytes.
struct ClientPixels {
  int width = 0, height = 0;
  std::vector<char> rows;
};

// Copies the client area. With repaint, the window and its children are
// first painted again, as for a screenshot; without it the copy is what the
// screen shows at that moment. False and a reason on failure.
bool CaptureClient(HWND window, bool repaint, ClientPixels& pixels, std::string& error);

bool WriteBmp(const ClientPixels& pixels, const std::string& path, std::string& error);

// Repaints the window and its children, copies the client area and writes it.
bool SaveClientBitmap(HWND window, const std::string& path, std::string& error);

}  // namespace listerhost

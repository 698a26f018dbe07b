// Saves a window's client pixels, children included, as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace listerhost {

// Repaints the window and its children, copies the client area and writes
// it bottom-up with rows padded to four bytes. False and a reason on failure.
bool SaveClientBitmap(HWND window, const std::string& path, std::string& error);

}  // namespace listerhost

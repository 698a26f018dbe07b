// The library's single tooltip manager: window elements with a Hint get a
// tooltip window of the common controls.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "framework/object.h"
#include "framework/text.h"
#include "toolkit/handles.h"

namespace hi {

// One window with a tooltip.
struct THintTool {
  TOOLINFOW Info{};
  std::wstring Text;  // the hint as the tooltip holds it
  kol::WindowHandle Tip;
  // Kept here as well as in the tooltip, so that it is deleted even when
  // the tooltip window went first with its owner.
  kol::GdiFont Font;
};

class THIHintManager : public TObject {
 public:
  THIHintManager();

  uint8_t Balloon = 1;
  uint32_t BackColor = 0xFF000018;
  int InitialDelay = 500;
  int AutoPopDelay = 5000;
  int Margin = 0;
  uint8_t Tracking = 0;
  TFontRec Font;
  uint32_t TextColor = 0xFF000017;

  // The operations offered to window elements.
  virtual THintTool* CreateTool(HWND window);
  virtual void DestroyTool(THintTool* tool);
  virtual void SetText(THintTool* tool, const std::string& text);
  virtual void SetTitle(THintTool* tool, int icon, const std::string& text);
  virtual void PointerEntered(THintTool* tool);
  virtual void PointerLeft(THintTool* tool);
  virtual void PointerMoved(THintTool* tool, int x, int y);
};

// Made when the library is loaded, after the common controls were
// initialised; it lives until the library is unloaded (null afterwards).
THIHintManager* LibraryHintManager();
// Releases it; for the library's unload, when no window uses it any more.
void ReleaseLibraryHintManager();

// Live tooltip records (for the leak tests).
long LiveHintTools();

}  // namespace hi

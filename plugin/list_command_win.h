// Receives the host's numbered commands for one viewer window.
#pragma once

#include <windows.h>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

// The host's command numbers, and the parameter bit of "fit to window".
enum TListCommand : int32_t { lcCopy = 1, lcNewParams = 2, lcSelectAll = 3, lcSetPercent = 4 };
constexpr uint32_t lcpFitToWindow = 2;

class THitcListCommand : public TObject {
 public:
  // The viewer window must exist already: the element is found from it.
  explicit THitcListCommand(HWND viewerWindow);
  ~THitcListCommand() override;

  int32_t Result = 0;
  uint32_t Parameter = 0;
  HWND Window = nullptr;
  int32_t DefaultResult = 0;
  TEventLink onCommand1;
  TEventLink onCommand3;
  TEventLink onCommand4;
  TEventLink onParamsChanged;
  // Command 2 again, with its parameter, the host's new show flags, as an
  // integer: fired after onParamsChanged.
  TEventLink onShowFlags;

  void doResult(TData& value, uint16_t index);
  void FitToWindow(TData& value, uint16_t index);

  int32_t Command(int32_t command, int32_t parameter);

  static constexpr const char* PropName = "TCCOMOBJ";
  // The element of a viewer window, or null for a window that carries none.
  static THitcListCommand* Of(HWND window);
};

// ListSendCommand: a window without the property answers 0 and fires nothing.
int32_t SendListCommand(HWND viewerWindow, int32_t command, int32_t parameter);

}  // namespace hi

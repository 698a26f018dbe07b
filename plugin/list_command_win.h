// Receives the host's numbered commands for one viewer window.
#pragma once

#include <windows.h>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

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

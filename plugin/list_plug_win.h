// THiListPlug: the viewer container. It makes one viewer scheme instance
// per host quick-view window and carries out the load and close steps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "plugin/multi_element.h"
#include "plugin/plug_window_rec_win.h"

namespace hi {

class THiListPlug : public THIMultiElementEx {
 public:
  THiListPlug() : THIMultiElementEx(0, 0) {}

  uint8_t ErrorMode = 0;
  int32_t DefaultResult = 0;

  // Instances on demand; registers this as the library's viewer container.
  void SetUp();

  // ListLoad (viewer 0: the new window's handle, or 0) and ListLoadNext
  // (0 taken, 1 not).
  intptr_t LoadStep(HWND host, HWND viewer, const std::string& fileName, int32_t showFlags);
  // ListCloseWindow.
  void CloseStep(HWND viewer);
};

// The container that the exports use; null until the project exists.
extern THiListPlug* ViewerContainer;

}  // namespace hi

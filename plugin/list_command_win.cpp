#include "plugin/list_command_win.h"

namespace hi {

THitcListCommand::THitcListCommand(HWND viewerWindow) : Window(viewerWindow) {
  SetPropA(Window, PropName, reinterpret_cast<HANDLE>(this));
}

THitcListCommand::~THitcListCommand() {
  if (Of(Window) == this) RemovePropA(Window, PropName);
}

void THitcListCommand::doResult(TData& value, uint16_t) { Result = ToBoolean(value) ? 0 : 1; }

void THitcListCommand::FitToWindow(TData& value, uint16_t) {
  MakeInteger(value, (Parameter & lcpFitToWindow) != 0 ? 1 : 0);
}

int32_t THitcListCommand::Command(int32_t command, int32_t parameter) {
  Parameter = uint32_t(parameter);
  Result = DefaultResult;
  switch (command) {
    case lcCopy: FireNull(onCommand1); break;
    case lcNewParams:
      FireNull(onParamsChanged);
      FireInteger(onShowFlags, parameter);
      break;
    case lcSelectAll: FireNull(onCommand3); break;
    case lcSetPercent: FireInteger(onCommand4, parameter); break;
    default: break;
  }
  return Result;
}

THitcListCommand* THitcListCommand::Of(HWND window) {
  if (window == nullptr || !IsWindow(window)) return nullptr;
  return static_cast<THitcListCommand*>(GetPropA(window, PropName));
}

int32_t SendListCommand(HWND viewerWindow, int32_t command, int32_t parameter) {
  THitcListCommand* element = THitcListCommand::Of(viewerWindow);
  return element ? element->Command(command, parameter) : 0;
}

}  // namespace hi

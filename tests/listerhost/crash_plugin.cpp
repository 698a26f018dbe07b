// A plugin that crashes: ListLoad gives a plain child window, and the first
// command writes through a null pointer, as a broken plugin would.
#include <windows.h>

#define LISTER_EXPORT extern "C" __declspec(dllexport)

LISTER_EXPORT HWND __stdcall ListLoad(HWND parent, char*, int) {
  return CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
}

LISTER_EXPORT int __stdcall ListSendCommand(HWND, int command, int) {
  volatile int* nowhere = nullptr;
  *nowhere = command;
  return 0;
}

LISTER_EXPORT void __stdcall ListCloseWindow(HWND viewer) { DestroyWindow(viewer); }

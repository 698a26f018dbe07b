// A plugin that crashes, as a broken plugin would: command 1 writes through
// a null pointer at once, command 2 makes the viewer's window procedure do
// so while the host dispatches a message.
#include <windows.h>

#define LISTER_EXPORT extern "C" __declspec(dllexport)

namespace {

void Crash(int value) {
  volatile int* nowhere = nullptr;
  *nowhere = value;
}

LRESULT CALLBACK ViewerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP) Crash(int(wp));
  return DefWindowProcA(w, m, wp, lp);
}

}  // namespace

LISTER_EXPORT HWND __stdcall ListLoad(HWND parent, char*, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "CrashPluginViewer";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr, wc.hInstance,
                         nullptr);
}

LISTER_EXPORT int __stdcall ListSendCommand(HWND viewer, int command, int) {
  if (command == 1) Crash(command);
  if (command == 2) PostMessageA(viewer, WM_APP, 0, 0);
  return 0;
}

LISTER_EXPORT void __stdcall ListCloseWindow(HWND viewer) { DestroyWindow(viewer); }

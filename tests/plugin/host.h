// A stand-in for the file manager's Lister window: a real top-level (or
// child) window that records the keys posted to it.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/data.h"
#include "tests/toolkit/pump.h"

namespace test {

inline std::vector<WPARAM>& HostKeys() {
  static std::vector<WPARAM> keys;
  return keys;
}

inline LRESULT CALLBACK HostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_KEYDOWN) {
    HostKeys().push_back(wp);
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

// parent null: a top-level Lister window with caption and borders. It
// stays hidden: mapping a window under a display without a window manager
// costs Wine a two-second wait, and posted keys need no visible window.
inline HWND MakeHost(HWND parent = nullptr) {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TestListerHost";
    return RegisterClassA(&wc) != 0;
  }();
  (void)registered;
  DWORD style = parent ? (WS_CHILD | WS_VISIBLE) : WS_OVERLAPPEDWINDOW;
  return CreateWindowExA(0, "TestListerHost", "host", style, 10, 10, 600, 500, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Dispatchers installed and the start-up run done, as after the host's
// ListSetDefaultParams.
class StartedEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    hi::InstallDispatchers();
    hi::RunStartupHandlers();
  }
};

}  // namespace test

// Delivers what is queued for the test thread's windows.
#pragma once

#include <windows.h>

inline void Pump() {
  MSG m;
  for (int round = 0; round < 3; ++round) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
  }
}

// Makes GetKeyState see the modifiers while posted keys are handled.
inline void SetModifiers(bool shift, bool ctrl, bool alt) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_SHIFT] = state[VK_LSHIFT] = shift ? 0x80 : 0;
  state[VK_CONTROL] = state[VK_LCONTROL] = ctrl ? 0x80 : 0;
  state[VK_MENU] = state[VK_LMENU] = alt ? 0x80 : 0;
  SetKeyboardState(state);
}

inline void PostKey(HWND target, int vk) {
  // Key up only after the key down and its character, as typed keys come.
  PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
  Pump();
  PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
  Pump();
}

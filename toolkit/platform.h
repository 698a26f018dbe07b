// Services of the platform that the element framework uses: folders,
// screen resolution, message boxes and the guard at every boundary where
// control returns to the host.
#pragma once

#include <windows.h>

#include <string>

namespace kol {

// The Windows, temporary and system folders, each with one trailing backslash.
std::string WindowsFolder();
std::string TempFolder();
std::string SystemFolder();
// Folder of the process's executable (not of this library), with backslash.
std::string ExeFolder();

// Message boxes go through one replaceable procedure so that tests can see
// them without a person to press OK.
using MessageBoxProc = int (*)(HWND owner, const std::string& text, const char* caption, UINT flags);
MessageBoxProc SetMessageBoxProc(MessageBoxProc proc);
int ShowMessageBox(HWND owner, const std::string& text, const char* caption, UINT flags);

// The window that modal notices belong to: the application's active form,
// else its first form, else none. The window toolkit installs the provider.
using OwnerWindowProc = HWND (*)();
void SetOwnerWindowProc(OwnerWindowProc proc);
HWND NoticeOwnerWindow();

// This library's module handle (never the host's).
HMODULE ThisModule();
std::string ModulePath(HMODULE module);

}  // namespace kol

namespace hi {

std::string ExpandPathMacros(const std::string& s);
std::string ResolveFileName(const std::string& s);
// A font height in pixels for a size in points, at the screen's or at the
// given dots per inch.
int FontHeightFromPoints(int points);
int FontHeightFromPoints(int points, int dpi);
// The dots per inch of a window: its own when the system can tell
// (GetDpiForWindow), else the screen's.
int WindowDpi(HWND window);
void ShowDebugString(const std::string& text);

// Shows the uncaught-exception report for whatever is being thrown; called
// inside a catch block.
void ReportCurrentException() noexcept;

// Runs f; an exception never leaves it: it is reported and failValue is
// returned. Used at every export, window procedure and thread entry.
template <class R, class F>
R GuardedCall(R failValue, F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    ReportCurrentException();
    return failValue;
  }
}

template <class F>
void GuardedRun(F&& f) noexcept {
  try {
    f();
  } catch (...) {
    ReportCurrentException();
  }
}

}  // namespace hi

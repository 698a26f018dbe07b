#include "toolkit/platform.h"

#include <exception>
#include <new>
#include <typeinfo>
#include <vector>

#include "framework/exception.h"
#include "framework/text.h"
#include "toolkit/handles.h"
#include "toolkit/paths.h"
#include "toolkit/wide.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace kol {

// A folder query that reports the length it needs: asked again with a
// larger buffer so that a long path comes back whole.
template <class Query>
static std::string QueryFolder(Query query) {
  std::vector<wchar_t> buf(261);
  for (int attempt = 0; attempt < 4; ++attempt) {
    UINT n = query(buf.data(), UINT(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return Utf8(buf.data(), n);
    buf.resize(size_t(n) + 1);
  }
  return std::string();
}

std::string WindowsFolder() {
  return IncludeTrailingChar(QueryFolder([](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); }), '\\');
}

static std::string EnvironmentValue(const wchar_t* name) {
  return QueryFolder([name](wchar_t* b, UINT n) { return UINT(GetEnvironmentVariableW(name, b, n)); });
}

std::string TempFolder() {
  std::string path = QueryFolder([](wchar_t* b, UINT n) { return UINT(GetTempPathW(n, b)); });
  if (path.empty()) {
    // Some implementations refuse a temporary path longer than MAX_PATH;
    // the documented order of sources still gives it whole.
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
      path = EnvironmentValue(name);
      if (!path.empty()) break;
    }
  }
  if (path.empty()) return WindowsFolder();
  return IncludeTrailingChar(path, '\\');
}

std::string SystemFolder() {
  return IncludeTrailingChar(QueryFolder([](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); }), '\\');
}

std::string ModulePath(HMODULE module) {
  std::vector<wchar_t> buf(1024);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buf.data(), DWORD(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return Utf8(buf.data(), n);
    if (buf.size() >= 32768) return Utf8(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

std::string ExeFolder() {
  std::string path = ModulePath(nullptr);
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

static int DefaultMessageBox(HWND owner, const std::string& text, const char* caption, UINT flags) {
  return MessageBoxW(owner, Wide(text).c_str(), caption ? Wide(caption).c_str() : nullptr, flags);
}

static MessageBoxProc g_messageBox = &DefaultMessageBox;
static OwnerWindowProc g_ownerWindow = nullptr;

MessageBoxProc SetMessageBoxProc(MessageBoxProc proc) {
  MessageBoxProc old = g_messageBox;
  g_messageBox = proc ? proc : &DefaultMessageBox;
  return old;
}

int ShowMessageBox(HWND owner, const std::string& text, const char* caption, UINT flags) {
  return g_messageBox(owner, text, caption, flags);
}

void SetOwnerWindowProc(OwnerWindowProc proc) { g_ownerWindow = proc; }

HWND NoticeOwnerWindow() { return g_ownerWindow ? g_ownerWindow() : nullptr; }

}  // namespace kol

namespace hi {

std::string ExpandPathMacros(const std::string& s) {
  std::string r = s;
  ReplaceAll(r, "%windir%", kol::WindowsFolder());
  ReplaceAll(r, "%tmpdir%", kol::TempFolder());
  ReplaceAll(r, "%sysdir%", kol::SystemFolder());
  return r;
}

std::string ResolveFileName(const std::string& s) {
  std::string r = ExpandPathMacros(s);
  if (r.find(':') == std::string::npos && r.find('\\') == std::string::npos) r = kol::ExeFolder() + r;
  return r;
}

int FontHeightFromPoints(int points) {
  static int resolution = [] {
    kol::WindowDc screen = kol::WindowDc::ForWindow(nullptr);
    return screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  }();
  return FontHeightFromPoints(points, resolution);
}

int FontHeightFromPoints(int points, int dpi) { return (points * dpi + 36) / -72; }

int WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const GetDpiForWindowFn forWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (forWindow && window) {
    const UINT dpi = forWindow(window);
    if (dpi != 0) return int(dpi);
  }
  kol::WindowDc screen = kol::WindowDc::ForWindow(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

void ShowDebugString(const std::string& text) {
  kol::ShowMessageBox(kol::NoticeOwnerWindow(), text, "String-Debug", MB_OK);
}

void ReportCurrentException() noexcept {
  try {
    std::string className = "Exception";
    std::string message;
    try {
      throw;
    } catch (const Exception& e) {
      message = e.Message();
    } catch (const std::bad_alloc&) {
      message = KindMessage(exc_out_of_memory);
    } catch (const std::exception& e) {
      className = typeid(e).name();
    } catch (...) {
      className = "unknown";
    }
    // A C++ exception carries no faulting address; the report names this
    // library and the place of the guard inside it.
    HMODULE self = kol::ThisModule();
    const uintptr_t here = reinterpret_cast<uintptr_t>(&ReportCurrentException);
    const std::string text =
        UncaughtReportText(className, kol::ModulePath(self), here - reinterpret_cast<uintptr_t>(self), message);
    kol::ShowMessageBox(nullptr, text, nullptr, MB_ICONERROR | MB_TASKMODAL);
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

}  // namespace hi

// The functions the host calls. Nothing thrown inside ever reaches the
// host: each export is guarded and fails quietly after the report. File
// names come as UTF-16 (the W functions, which a host prefers when they
// exist) or in the system's ANSI code page, and go on as UTF-8.
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "dll/project_win.h"
#include "framework/data.h"
#include "framework/global_var.h"
#include "plugin/list_command_win.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

using namespace hi;

#define LISTER_EXPORT extern "C" __declspec(dllexport)

LISTER_EXPORT void __stdcall ListGetDetectString(char* buffer, int maxLength) {
  if (buffer == nullptr || maxLength <= 0) return;
  const size_t length = sizeof(DetectString) - 1;
  if (size_t(maxLength) > length) {
    std::memcpy(buffer, DetectString, length + 1);
  } else {
    std::memcpy(buffer, DetectString, size_t(maxLength) - 1);
    buffer[maxLength - 1] = '\0';
  }
}

LISTER_EXPORT void __stdcall ListSetDefaultParams(void* params) {
  GuardedRun([params] {
    if (params != nullptr) std::memcpy(DefaultParams, params, sizeof DefaultParams);
    // The host makes this call once; a repeated call keeps the first project.
    if (PluginProject == nullptr) new TClassListPlugProject_9772B88();
    PluginProjectElement = PluginProject->Project;
    InstallDispatchers();
    RunStartupHandlers();
  });
}

namespace {

// The file name as UTF-8, from the system's ANSI code page.
std::string HostName(const char* name) { return name ? kol::Utf8FromAnsi(name) : std::string(); }

// The file name as UTF-8, from UTF-16. A lone surrogate becomes U+FFFD: no
// file has that name, and the load goes on as for a missing file.
std::string HostName(const WCHAR* name) { return name ? kol::Utf8(name, std::wcslen(name)) : std::string(); }

template <class Char>
HWND Load(HWND parent, const Char* fileName, int showFlags) noexcept {
  return GuardedCall<HWND>(nullptr, [&]() -> HWND {
    if (ViewerContainer == nullptr) return nullptr;
    return reinterpret_cast<HWND>(ViewerContainer->LoadStep(parent, nullptr, HostName(fileName), showFlags));
  });
}

template <class Char>
int LoadNext(HWND parent, HWND viewer, const Char* fileName, int showFlags) noexcept {
  return GuardedCall(1, [&]() -> int {
    if (ViewerContainer == nullptr) return 1;
    return int(ViewerContainer->LoadStep(parent, viewer, HostName(fileName), showFlags));
  });
}

}  // namespace

LISTER_EXPORT HWND __stdcall ListLoad(HWND parent, char* fileName, int showFlags) {
  return Load(parent, fileName, showFlags);
}

LISTER_EXPORT HWND __stdcall ListLoadW(HWND parent, WCHAR* fileName, int showFlags) {
  return Load(parent, fileName, showFlags);
}

LISTER_EXPORT int __stdcall ListLoadNext(HWND parent, HWND viewer, char* fileName, int showFlags) {
  return LoadNext(parent, viewer, fileName, showFlags);
}

LISTER_EXPORT int __stdcall ListLoadNextW(HWND parent, HWND viewer, WCHAR* fileName, int showFlags) {
  return LoadNext(parent, viewer, fileName, showFlags);
}

LISTER_EXPORT void __stdcall ListCloseWindow(HWND viewer) {
  GuardedRun([viewer] {
    if (ViewerContainer != nullptr) ViewerContainer->CloseStep(viewer);
  });
}

LISTER_EXPORT int __stdcall ListSendCommand(HWND viewer, int command, int parameter) {
  return GuardedCall(0, [&] { return int(SendListCommand(viewer, command, parameter)); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // Only the shared variables are released at unload: the project, its
  // containers and the hint manager live as long as the process.
  if (reason == DLL_PROCESS_DETACH) GlobalVars::ReleaseAll();
  return TRUE;
}

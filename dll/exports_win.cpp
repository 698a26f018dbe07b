// The six functions the host calls. Nothing thrown inside ever reaches the
// host: each export is guarded and fails quietly after the report.
#include <windows.h>

#include <cstring>

#include "dll/project_win.h"
#include "framework/data.h"
#include "framework/global_var.h"
#include "plugin/list_command_win.h"
#include "toolkit/platform.h"

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

LISTER_EXPORT HWND __stdcall ListLoad(HWND parent, char* fileName, int showFlags) {
  return GuardedCall<HWND>(nullptr, [&]() -> HWND {
    if (ViewerContainer == nullptr) return nullptr;
    return reinterpret_cast<HWND>(ViewerContainer->LoadStep(parent, nullptr, fileName ? fileName : "", showFlags));
  });
}

LISTER_EXPORT int __stdcall ListLoadNext(HWND parent, HWND viewer, char* fileName, int showFlags) {
  return GuardedCall(1, [&]() -> int {
    if (ViewerContainer == nullptr) return 1;
    return int(ViewerContainer->LoadStep(parent, viewer, fileName ? fileName : "", showFlags));
  });
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

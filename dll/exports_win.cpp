// The functions the host calls. Nothing thrown inside ever reaches the
// host: each export is guarded and fails quietly after the report. File
// names come as UTF-16 (the W functions, which a host prefers when they
// exist) or in the system's ANSI code page, and go on as UTF-8.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>

#include "dll/project_win.h"
#include "framework/data.h"
#include "framework/global_var.h"
#include "plugin/list_command_win.h"
#include "toolkit/hint_manager.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

using namespace hi;

namespace __gnu_cxx {
// The C++ runtime's release of its own buffers (libstdc++, declared in no
// header).
void __freeres();
}  // namespace __gnu_cxx

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

namespace {

// The record starts with its own size. Hosts pass shorter and much longer
// records than the 272 bytes known here: only what the host gave is read.
void CopyDefaultParams(const void* params) {
  if (params == nullptr) return;
  int32_t size;
  std::memcpy(&size, params, sizeof size);
  if (size < int32_t(sizeof size)) return;
  std::memset(&DefaultParams, 0, sizeof DefaultParams);
  std::memcpy(&DefaultParams, params, std::min(size_t(size), sizeof DefaultParams));
}

// Hosts offer folders too (with a trailing backslash); there is nothing to
// extract from one, so no viewer is made and no archiver started.
bool IsFolder(const WCHAR* fileName) {
  if (fileName == nullptr || *fileName == L'\0') return false;
  DWORD attributes = GetFileAttributesW(fileName);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool IsFolder(const char* fileName) {
  return fileName != nullptr && *fileName != '\0' && IsFolder(kol::Wide(kol::Utf8FromAnsi(fileName)).c_str());
}

// The viewers render the document unless the host's settings file says
// Render=0 in the plugin's section; a record without a file name keeps it on.
void ReadRenderSetting() {
  const char* name = DefaultParams.DefaultIniName;
  const std::string ini(name, strnlen(name, sizeof DefaultParams.DefaultIniName));
  int32_t on = 1;
  if (!ini.empty()) {
    const std::wstring file = kol::Wide(kol::Utf8FromAnsi(ini.c_str()));
    on = GetPrivateProfileIntW(L"cdrthumb", L"Render", 1, file.c_str()) != 0 ? 1 : 0;
  }
  MakeInteger(*GlobalVars::Bind("render"), on);
}

}  // namespace

LISTER_EXPORT void __stdcall ListSetDefaultParams(void* params) {
  GuardedRun([params] {
    CopyDefaultParams(params);
    ReadRenderSetting();
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
    if (ViewerContainer == nullptr || IsFolder(fileName)) return nullptr;
    return reinterpret_cast<HWND>(ViewerContainer->LoadStep(parent, nullptr, HostName(fileName), showFlags));
  });
}

template <class Char>
int LoadNext(HWND parent, HWND viewer, const Char* fileName, int showFlags) noexcept {
  return GuardedCall(1, [&]() -> int {
    if (ViewerContainer == nullptr || IsFolder(fileName)) return 1;
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

namespace {

// A library unloaded while the process goes on (a host that loads it per
// file) gives back what it built. The loader lock is held: nothing here
// waits for a thread or loads a library. With a viewer still open its
// elements would lose their project, so then everything stays.
void ReleaseLibrary() noexcept {
  GuardedRun([] {
    if (ViewerContainer != nullptr && !ViewerContainer->Instances.empty()) return;
    std::unique_ptr<TClassListPlugProject_9772B88> project(PluginProject);
    project.reset();
    PluginProjectElement = nullptr;
    ReleaseLibraryHintManager();
    // The emergency exception pool of the statically linked C++ runtime.
    __gnu_cxx::__freeres();
  });
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason != DLL_PROCESS_DETACH) return TRUE;
  // At process exit (reserved set) other threads were stopped wherever they
  // were: nothing is released then but the shared variables.
  if (reserved == nullptr) ReleaseLibrary();
  GlobalVars::ReleaseAll();
  return TRUE;
}

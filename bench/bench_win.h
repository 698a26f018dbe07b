// What the Windows benchmarks share: a millisecond clock, a timed run of a
// console program as the plugin starts one, the host's message pump and
// medians.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace bench {

// The record of ListSetDefaultParams, and the file manager's first call
// with it, naming its settings file.
struct DefaultParams {
  int32_t size;
  uint32_t versionLow, versionHigh;
  char defaultIniName[MAX_PATH];
};
using DefaultsFn = void(__stdcall*)(DefaultParams*);

inline void SendDefaults(DefaultsFn defaults, const std::string& ini) {
  DefaultParams params = {};
  params.size = int32_t(sizeof params);
  params.versionLow = 10;
  params.versionHigh = 2;
  lstrcpynA(params.defaultIniName, ini.c_str(), MAX_PATH);
  defaults(&params);
}

inline double Now() {
  static LARGE_INTEGER f = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return v;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// Runs a command line hidden in its own console, its output on a pipe as
// the plugin's runner does, and waits for it. Milliseconds, or -1; created
// gets the milliseconds CreateProcess took to return.
inline double RunTimed(const std::string& commandLine, const std::string& dir = std::string(),
                       double* created = nullptr) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readRaw = nullptr, writeRaw = nullptr;
  if (!CreatePipe(&readRaw, &writeRaw, &sa, 1 << 16)) return -1;
  kol::KernelHandle readOwner(readRaw), writeEnd(writeRaw);
  const HANDLE readEnd = readRaw;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  si.hStdOutput = si.hStdError = writeEnd.get();
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const double start = Now();
  const BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                                 dir.empty() ? nullptr : dir.c_str(), &si, &pi);
  if (created) *created = Now() - start;
  writeEnd.reset();
  double took = -1;
  if (ok) {
    kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
    // Drain the pipe while waiting, so that the program never waits on it.
    char buf[4096];
    for (;;) {
      DWORD avail = 0, got = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
             ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) {
      }
      if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    took = code == 0 ? Now() - start : -1;
  }
  return took;
}

inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

inline void PumpFor(double ms) {
  const double end = Now() + ms;
  while (Now() < end) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// A Unix path as Wine's Z: drive sees it; other paths unchanged.
inline std::string WinePath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace bench

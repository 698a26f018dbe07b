// Drives the exported functions of a plugin file as the host does: loaded
// by path, called through GetProcAddress, on windows of this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/exports/pe_exports.h"

namespace {

using DetectFn = void(__stdcall*)(char*, int);
using DefaultsFn = void(__stdcall*)(void*);
using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using LoadNextFn = int(__stdcall*)(HWND, HWND, char*, int);
using CloseFn = void(__stdcall*)(HWND);
using CommandFn = int(__stdcall*)(HWND, int, int);
using TakeLogFn = int(__stdcall*)(char*, int);
using IntFn = int(__stdcall*)();
using VoidFn = void(__stdcall*)();

const char kDetect[] = "(FORCE|EXT=\"CDR\"|EXT=\"CDT\"|EXT=\"PAT\"|EXT=\"DES\")&([0]=\"P\" & [1]=\"K\" & [2]=3 & [3]=4)";

struct Plugin {
  HMODULE module = LoadLibraryA(test::WinePath(TEST_PLUGIN_PATH).c_str());
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  DetectFn detect = Get<DetectFn>("ListGetDetectString");
  DefaultsFn defaults = Get<DefaultsFn>("ListSetDefaultParams");
  LoadFn load = Get<LoadFn>("ListLoad");
  LoadNextFn loadNext = Get<LoadNextFn>("ListLoadNext");
  CloseFn close = Get<CloseFn>("ListCloseWindow");
  CommandFn command = Get<CommandFn>("ListSendCommand");
  TakeLogFn takeLog = Get<TakeLogFn>("TestTakeLog");
  std::string Log() {
    char buf[4096];
    takeLog(buf, sizeof buf);
    return buf;
  }
};

Plugin& ThePlugin() {
  static Plugin p;
  return p;
}

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

HWND MakeHostWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ExportsTestHost";
    RegisterClassA(&wc);
    registered = true;
  }
  return CreateWindowExA(0, "ExportsTestHost", "Lister", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 600, 400, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

#if defined(__i386__)
// Calls fn(buffer, n) and answers how far the stack pointer moved: 0 when
// the callee removed its arguments (the Windows API convention).
int StackDrift(void* fn, char* buffer, int n) {
  int drift;
  asm volatile(
      "mov %%esp, %%edi\n\t"
      "push %[n]\n\t"
      "push %[buf]\n\t"
      "call *%[fn]\n\t"
      "mov %%esp, %%eax\n\t"
      "sub %%edi, %%eax\n\t"
      "mov %%edi, %%esp\n\t"
      : "=a"(drift)
      : [n] "b"(n), [buf] "S"(buffer), [fn] "d"(fn)
      : "edi", "ecx", "memory", "cc");
  return drift;
}
#endif

}  // namespace

// Runs first (the tests of this program share one loaded plugin, whose
// project, as in a host, is built once).
TEST(Exports, A_BeforeDefaultParams) {
  Plugin& p = ThePlugin();
  ASSERT_NE(p.module, nullptr) << GetLastError();
  ASSERT_TRUE(p.detect && p.defaults && p.load && p.loadNext && p.close && p.command);

  // Detection works before anything else; nothing at or past index n.
  for (int n : {84, 83, 1, 0, 200}) {
    char buf[256];
    memset(buf, '#', sizeof buf);
    p.detect(buf, n);
    if (n > 83) {
      EXPECT_STREQ(buf, kDetect);
      EXPECT_EQ(buf[84], '#');
    } else if (n >= 1) {
      EXPECT_EQ(std::string(buf, size_t(n - 1)), std::string(kDetect, size_t(n - 1)));
      EXPECT_EQ(buf[n - 1], '\0');
      EXPECT_EQ(buf[n], '#') << n;
    } else {
      EXPECT_EQ(buf[0], '#');
    }
  }
  p.detect(nullptr, 10);  // no crash

  HWND host = MakeHostWindow();
  char name[] = "C:\\art\\logo.cdr";
  EXPECT_EQ(p.load(host, name, 0), nullptr);
  EXPECT_EQ(p.loadNext(host, host, name, 0), 1);
  p.close(host);
  EXPECT_EQ(p.command(host, 2, 2), 0);

  auto fires = p.Get<IntFn>("TestFireDelivers");
  EXPECT_EQ(fires(), 0);  // no dispatcher yet
  p.Get<VoidFn>("TestArmStartup")();
  auto runs = p.Get<IntFn>("TestStartupRuns");
  EXPECT_EQ(runs(), 0);

  unsigned char params[272];
  for (int i = 0; i < 272; ++i) params[i] = static_cast<unsigned char>(i);
  p.defaults(params);
  EXPECT_EQ(runs(), 1);
  EXPECT_EQ(fires(), 1);
  p.defaults(params);  // a second call builds nothing more
  EXPECT_EQ(runs(), 1);
  DestroyWindow(host);
}

TEST(Exports, B_LoadCommandsAndClose) {
  Plugin& p = ThePlugin();
  HWND host = MakeHostWindow();
  char name[] = "C:\\art\\logo.cdr";
  HWND viewer = p.load(host, name, 4);
  ASSERT_NE(viewer, nullptr);
  Pump();
  EXPECT_EQ(GetParent(viewer), host);
  EXPECT_EQ(DWORD(GetWindowLongA(viewer, GWL_STYLE)) & ~DWORD(WS_VISIBLE), DWORD(WS_CHILD | WS_MAXIMIZE));
  EXPECT_EQ(p.Log(), "load:C:\\art\\logo.cdr;flags:4;");

  struct Case {
    int param;
    const char* fit;
  };
  for (Case c : {Case{2, "1"}, Case{6, "1"}, Case{0, "0"}, Case{1, "0"}, Case{4, "0"}}) {
    EXPECT_EQ(p.command(viewer, 2, c.param), 0);
    EXPECT_EQ(p.Log(), std::string("params:fit=") + c.fit + ";") << c.param;
  }
  EXPECT_EQ(p.command(viewer, 5, 7), 0);
  EXPECT_EQ(p.Log(), "");
  EXPECT_EQ(p.command(viewer, 4, 50), 0);
  EXPECT_EQ(p.Log(), "cmd4:50;");
  EXPECT_EQ(p.command(viewer, 1, 0), 1);  // doResult with the integer 0
  EXPECT_EQ(p.command(viewer, 3, 0), 0);  // doResult with 1
  EXPECT_EQ(p.command(viewer, 2, 0), 0);  // the preset comes back each time
  EXPECT_EQ(p.Log(), "params:fit=0;");

  char next[] = "C:\\art\\second.cdr";
  EXPECT_EQ(p.loadNext(host, viewer, next, 0), 0);
  EXPECT_EQ(p.Log(), "unload:;load:C:\\art\\second.cdr;flags:0;");

  p.close(viewer);
  Pump();
  EXPECT_FALSE(IsWindow(viewer));
  EXPECT_EQ(p.Log(), "unload:;close:;");

  // Stale and foreign windows: nothing happens, nothing crashes.
  EXPECT_EQ(p.loadNext(host, viewer, next, 0), 1);
  EXPECT_EQ(p.command(viewer, 4, 1), 0);
  p.close(viewer);
  EXPECT_EQ(p.loadNext(host, host, next, 0), 1);
  EXPECT_EQ(p.command(host, 4, 1), 0);
  p.close(host);
  EXPECT_EQ(p.Log(), "");
  EXPECT_TRUE(IsWindow(host));
  DestroyWindow(host);
}

TEST(Exports, C_ExportTable) {
  std::vector<std::string> names = test::ExportNames(TEST_PLUGIN_PATH);
  std::vector<std::string> lister;
  for (const auto& n : names)
    if (n.rfind("Test", 0) != 0) lister.push_back(n);
  std::sort(lister.begin(), lister.end());
  EXPECT_EQ(lister, (std::vector<std::string>{"ListCloseWindow", "ListGetDetectString", "ListLoad", "ListLoadNext",
                                              "ListSendCommand", "ListSetDefaultParams"}));
  for (const auto& n : names) EXPECT_EQ(n.find('@'), std::string::npos) << n;
#if defined(__i386__)
  char buf[100];
  void* fn = reinterpret_cast<void*>(GetProcAddress(ThePlugin().module, "ListGetDetectString"));
  EXPECT_EQ(StackDrift(fn, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, kDetect);
#endif
}

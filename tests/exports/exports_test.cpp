// Drives the exported functions of a plugin file as the host does: loaded
// by path, called through GetProcAddress, on windows of this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "docreader/doc_signature.h"
#include "tests/exports/pe_exports.h"

namespace {

using DetectFn = void(__stdcall*)(char*, int);
using DefaultsFn = void(__stdcall*)(void*);
using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using LoadNextFn = int(__stdcall*)(HWND, HWND, char*, int);
using LoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
using LoadNextWFn = int(__stdcall*)(HWND, HWND, wchar_t*, int);
using CloseFn = void(__stdcall*)(HWND);
using CommandFn = int(__stdcall*)(HWND, int, int);
using TakeLogFn = int(__stdcall*)(char*, int);
using IntFn = int(__stdcall*)();
using VoidFn = void(__stdcall*)();

const char* const kDetect = hi::DetectString;
constexpr int kDetectLength = int(sizeof hi::DetectString) - 1;

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
  LoadWFn loadW = Get<LoadWFn>("ListLoadW");
  LoadNextWFn loadNextW = Get<LoadNextWFn>("ListLoadNextW");
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
  ASSERT_TRUE(p.detect && p.defaults && p.load && p.loadNext && p.loadW && p.loadNextW && p.close && p.command);

  // Detection works before anything else; nothing at or past index n.
  for (int n : {kDetectLength + 1, kDetectLength, 84, 83, 1, 0, kDetectLength + 40}) {
    char buf[512];
    memset(buf, '#', sizeof buf);
    p.detect(buf, n);
    if (n > kDetectLength) {
      EXPECT_STREQ(buf, kDetect);
      EXPECT_EQ(buf[kDetectLength + 1], '#');
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
  wchar_t wideName[] = L"C:\\art\\logo.cdr";
  EXPECT_EQ(p.load(host, name, 0), nullptr);
  EXPECT_EQ(p.loadNext(host, host, name, 0), 1);
  EXPECT_EQ(p.loadW(host, wideName, 0), nullptr);
  EXPECT_EQ(p.loadNextW(host, host, wideName, 0), 1);
  p.close(host);
  EXPECT_EQ(p.command(host, 2, 2), 0);

  auto fires = p.Get<IntFn>("TestFireDelivers");
  EXPECT_EQ(fires(), 0);  // no dispatcher yet
  p.Get<VoidFn>("TestArmStartup")();
  auto runs = p.Get<IntFn>("TestStartupRuns");
  EXPECT_EQ(runs(), 0);

  // A 12-byte record ending a readable page, the next page reserved only:
  // reading past the record's own size would fault.
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  auto* pages = static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pages, nullptr);
  ASSERT_NE(VirtualAlloc(pages, si.dwPageSize, MEM_COMMIT, PAGE_READWRITE), nullptr);
  unsigned char* shortRecord = pages + si.dwPageSize - 12;
  const int32_t shortSize = 12;
  memcpy(shortRecord, &shortSize, 4);
  memset(shortRecord + 4, 0xAB, 8);
  p.defaults(shortRecord);
  EXPECT_EQ(runs(), 1);
  EXPECT_EQ(fires(), 1);
  auto kept = p.Get<void(__stdcall*)(unsigned char*, int)>("TestDefaultParams");
  unsigned char copy[272];
  kept(copy, sizeof copy);
  EXPECT_EQ(memcmp(copy, shortRecord, 12), 0);
  EXPECT_EQ(std::count(copy + 12, copy + 272, 0), 260);
  VirtualFree(pages, 0, MEM_RELEASE);

  // A host's long record: the first 272 bytes are kept, and a second call
  // builds nothing more.
  std::vector<unsigned char> longRecord(32012);
  for (size_t i = 0; i < longRecord.size(); ++i) longRecord[i] = static_cast<unsigned char>(i * 7);
  const int32_t longSize = 32012;
  memcpy(longRecord.data(), &longSize, 4);
  p.defaults(longRecord.data());
  EXPECT_EQ(runs(), 1);
  kept(copy, sizeof copy);
  EXPECT_EQ(memcmp(copy, longRecord.data(), 272), 0);
  DestroyWindow(host);
}

TEST(Exports, B_LoadCommandsAndClose) {
  Plugin& p = ThePlugin();
  HWND host = MakeHostWindow();
  char name[] = "C:\\art\\logo.cdr";
  // A folder, as hosts pass it: no viewer, and the scheme never hears of it.
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  EXPECT_EQ(p.load(host, folder, 4), nullptr);
  EXPECT_EQ(p.Log(), "");

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

  EXPECT_EQ(p.loadNext(host, viewer, folder, 0), 1);
  EXPECT_EQ(p.Log(), "");
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

// The scheme sees every name as UTF-8, whichever function the host used.
TEST(Exports, C_NamesArriveAsUtf8) {
  Plugin& p = ThePlugin();
  HWND host = MakeHostWindow();
  wchar_t sketch[] = L"C:\\\u0430\u0440\u0442\\\u044d\u0441\u043a\u0438\u0437 \u56f3\u9762 \U0001F3A8.cdr";
  HWND viewer = p.loadW(host, sketch, 2);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(p.Log(),
            "load:C:\\\xd0\xb0\xd1\x80\xd1\x82\\\xd1\x8d\xd1\x81\xd0\xba\xd0\xb8\xd0\xb7 "
            "\xe5\x9b\xb3\xe9\x9d\xa2 \xf0\x9f\x8e\xa8.cdr;flags:2;");
  // A lone surrogate is no crash: it becomes U+FFFD, which no file has.
  wchar_t lone[] = {L'C', L':', L'\\', wchar_t(0xD83C), L'.', L'c', L'd', L'r', 0};
  EXPECT_EQ(p.loadNextW(host, viewer, lone, 0), 0);
  EXPECT_EQ(p.Log(), "unload:;load:C:\\\xef\xbf\xbd.cdr;flags:0;");
  // The ANSI functions: from the system's code page.
  ASSERT_EQ(GetACP(), 1252u) << "the names below are in code page 1252";
  char latin[] = "C:\\caf\xe9 \xf1.cdr";
  EXPECT_EQ(p.loadNext(host, viewer, latin, 0), 0);
  EXPECT_EQ(p.Log(), "unload:;load:C:\\caf\xc3\xa9 \xc3\xb1.cdr;flags:0;");
  p.close(viewer);
  p.Log();
  DestroyWindow(host);
}

TEST(Exports, D_ExportTable) {
  std::vector<std::string> names = test::ExportNames(TEST_PLUGIN_PATH);
  std::vector<std::string> lister;
  for (const auto& n : names)
    if (n.rfind("Test", 0) != 0) lister.push_back(n);
  std::sort(lister.begin(), lister.end());
  EXPECT_EQ(lister, (std::vector<std::string>{"ListCloseWindow", "ListGetDetectString", "ListGetPreviewBitmap",
                                              "ListGetPreviewBitmapW", "ListLoad", "ListLoadNext", "ListLoadNextW",
                                              "ListLoadW", "ListSendCommand", "ListSetDefaultParams"}));
  for (const auto& n : names) EXPECT_EQ(n.find('@'), std::string::npos) << n;
#if defined(__i386__)
  char buf[512];
  void* fn = reinterpret_cast<void*>(GetProcAddress(ThePlugin().module, "ListGetDetectString"));
  EXPECT_EQ(StackDrift(fn, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, kDetect);
#endif
}

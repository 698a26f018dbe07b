// listerhost [--ansi] [--ini=PATH] PLUGIN_FILE STEP...: plays the file
// manager's part for one Lister plugin, so that the plugin can be driven end
// to end from scripts.
// Every step prints one line "STEP -> RESULT" (UTF-8); the exit code is 0
// when every step ran, 1 when the plugin does not load, 2 on a bad step, 3 on
// a crash. File names go to ListLoadW and ListLoadNextW when the plugin
// exports them, as hosts do; --ansi always takes ListLoad and ListLoadNext,
// with the names in the ANSI code page as a host converts them for a plugin
// without the W functions ('?' for every character outside it). --ini names
// the INI file that ListSetDefaultParams passes (default
// C:\lister\lsplugin.ini).
// A 10 ms timer runs on the Lister thread the whole time; "watch" reports the
// longest wait between two of its ticks, which is how long the host's window
// thread was held at a time. The first "spawns" starts watching for child
// processes (every 5 ms, on a thread of its own); each "spawns" reports how
// many distinct ones were seen since.
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/checked_size.h"
#include "framework/utf.h"
#include "toolkit/handles.h"
#include "tools/detect_expr.h"
#include "tools/listerhost_capture.h"
#include "tools/listerhost_steps.h"
#include "tools/process_stats.h"

namespace listerhost {
namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;
constexpr DWORD kListerStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr size_t kDetectHead = 8192;  // bytes of a file that the detect string may test
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriod = 10;  // ms
constexpr char kDefaultIni[] = "C:\\lister\\lsplugin.ini";
constexpr int kDragMoves = 8;     // mouse moves between a drag's press and release
constexpr DWORD kDragPause = 10;  // ms of pumping after each of its messages
constexpr int kFramePeriod = 10;  // ms between two captures of the frames step

// The record ListSetDefaultParams receives: 272 bytes.
struct DefaultParams {
  int32_t size;
  uint32_t versionLow;
  uint32_t versionHigh;
  char defaultIniName[MAX_PATH];
};
static_assert(sizeof(DefaultParams) == 272, "the host's record is 272 bytes");

using DetectFn = void(__stdcall*)(char*, int);
using DefaultsFn = void(__stdcall*)(DefaultParams*);
using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using LoadNextFn = int(__stdcall*)(HWND, HWND, char*, int);
using LoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
using LoadNextWFn = int(__stdcall*)(HWND, HWND, wchar_t*, int);
using CloseFn = void(__stdcall*)(HWND);
using CommandFn = int(__stdcall*)(HWND, int, int);
using PreviewFn = HBITMAP(__stdcall*)(char*, int, int, char*, int);
using PreviewWFn = HBITMAP(__stdcall*)(WCHAR*, int, int, char*, int);

// Written before each step so that a crash report can name it.
const char* g_currentStep = "load";

// The arguments and step texts are UTF-8 inside; a lone surrogate of the
// command line is kept as is, so that it reaches the plugin unchanged.
std::wstring Wide(const std::string& utf8) {
  const std::u16string units = hi::Utf16FromUtf8(utf8, hi::LoneSurrogate::Keep);
  return std::wstring(units.begin(), units.end());
}

std::string Utf8(const wchar_t* text) {
  const std::u16string units(text, text + std::wcslen(text));
  return hi::Utf8FromUtf16(units, hi::LoneSurrogate::Keep);
}

// What a host passes to a plugin without the W functions.
std::string Ansi(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &out[0], n, nullptr, nullptr);
  return out;
}

void Line(const std::string& step, const std::string& result) {
  std::printf("%s -> %s\n", step.c_str(), result.c_str());
  std::fflush(stdout);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
  char text[96];
  std::snprintf(text, sizeof text, "crash: exception %08lX at %p",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                info->ExceptionRecord->ExceptionAddress);
  Line(g_currentStep, text);
  // Nothing of the plugin may run any more, not even its unload code.
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The plugin stays loaded until the process ends, as in the file manager:
// its worker threads may still be finishing when the last step is done.
class Plugin {
 public:
  explicit Plugin(HMODULE m) : module_(m) {}
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;

 public:
  DetectFn detect = Get<DetectFn>("ListGetDetectString");
  DefaultsFn defaults = Get<DefaultsFn>("ListSetDefaultParams");
  LoadFn load = Get<LoadFn>("ListLoad");
  LoadNextFn loadNext = Get<LoadNextFn>("ListLoadNext");
  LoadWFn loadW = Get<LoadWFn>("ListLoadW");
  LoadNextWFn loadNextW = Get<LoadNextWFn>("ListLoadNextW");
  CloseFn close = Get<CloseFn>("ListCloseWindow");
  CommandFn command = Get<CommandFn>("ListSendCommand");
  PreviewFn preview = Get<PreviewFn>("ListGetPreviewBitmap");
  PreviewWFn previewW = Get<PreviewWFn>("ListGetPreviewBitmapW");
};

// Child processes of this process, sampled until the host ends; a process
// that lives at least one sampling period is seen.
class SpawnWatch {
 public:
  SpawnWatch() = default;
  SpawnWatch(const SpawnWatch&) = delete;
  SpawnWatch& operator=(const SpawnWatch&) = delete;
  ~SpawnWatch() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Children that already run (a helper the system started for the host's
  // windows) are not counted.
  void Start() {
    if (thread_.joinable()) return;
    Sample(before_);
    thread_ = std::thread([this] { Loop(); });
  }
  size_t Seen() {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_.size();
  }

 private:
  static void Sample(std::set<DWORD>& children) {
    kol::KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return;
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32First(snap.get(), &e); ok; ok = Process32Next(snap.get(), &e))
      if (e.th32ParentProcessID == GetCurrentProcessId()) children.insert(e.th32ProcessID);
  }
  void Loop() {
    while (!stop_) {
      std::set<DWORD> now;
      Sample(now);
      {
        std::lock_guard<std::mutex> hold(lock_);
        for (DWORD pid : now)
          if (!before_.count(pid)) seen_.insert(pid);
      }
      Sleep(5);
    }
  }
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::set<DWORD> before_, seen_;
  std::thread thread_;
};

class Host {
 public:
  Host(Plugin& plugin, const Options& options) : plugin_(plugin), ansi_(options.ansi), ini_(options.ini) {}
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool Start(std::string& error);
  // Runs one step and prints its line; false when it could not run.
  bool Run(const Step& step);
  // The file manager closes the viewer when its Lister window goes.
  void Finish();

 private:
  static LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  void Pump();
  void PumpFor(DWORD ms);
  void FitViewer();
  void AfterLoad();
  void PostKey(HWND target, BYTE (&state)[256], int vk, bool down);
  // Presses (down) or releases the step's modifier keys, as the keyboard
  // sends them, leaving their state in `state`.
  void PostModifiers(HWND target, BYTE (&state)[256], const Step& step, bool down);
  // Which of the current Lister's windows `wnd` is, for the mouse steps.
  std::string Describe(HWND wnd);
  bool Fail(const Step& step, const std::string& why);

  bool Detect(const Step& step);
  bool Open(const Step& step);
  bool Next(const Step& step);
  bool Key(const Step& step);
  bool Command(const Step& step);
  bool Shot(const Step& step);
  bool Resize(const Step& step);
  bool Close(const Step& step);
  bool SelectLister(const Step& step);
  bool Watch(const Step& step);
  bool Preview(const Step& step);
  bool Previews(const Step& step);
  bool Wheel(const Step& step);
  bool Drag(const Step& step);
  bool Frames(const Step& step);

  // One Lister window and the viewer the plugin made in it.
  struct Lister {
    kol::WindowHandle wnd;
    HWND viewer = nullptr;
  };
  bool CreateLister(int index, std::string& error);
  Lister* FindLister(HWND wnd);
  // The steps work on the current Lister window.
  Lister& Cur() { return *listers_[current_]; }
  void Tick();

  // The load and next calls with a UTF-8 name, through the W functions
  // unless the ANSI path is forced or they are missing.
  HWND CallLoad(const std::string& name, uint32_t flags);
  int CallLoadNext(const std::string& name, uint32_t flags);

  Plugin& plugin_;
  const bool ansi_;
  const std::string ini_;  // as given on the command line, or empty
  std::string detectString_;
  std::unique_ptr<Lister> listers_[MaxListers];
  int current_ = 0;
  std::vector<int> keys_;           // WM_KEYDOWN codes the Lister windows received
  std::vector<HWND> mouseTargets_;  // the windows a step's mouse messages were dispatched to

  // The watch timer: when it last ticked, the longest gap and its step.
  LARGE_INTEGER frequency_ = {};
  LONGLONG lastTick_ = 0;
  LONGLONG longestGap_ = 0;
  std::string longestStep_;
  long ticks_ = 0;
  SpawnWatch spawns_;
};

Host* g_host = nullptr;

LRESULT CALLBACK Host::ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  Host* host = g_host;
  Lister* lister = host ? host->FindLister(wnd) : nullptr;
  if (lister) {
    switch (msg) {
      case WM_KEYDOWN:
        // The viewer's hot keys arrive here, posted: the Lister's own handler.
        host->keys_.push_back(int(wp));
        return 0;
      case WM_SIZE:
        if (lister->viewer) MoveWindow(lister->viewer, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
      case WM_SETFOCUS:
        if (lister->viewer && IsWindow(lister->viewer)) SetFocus(lister->viewer);
        return 0;
      case WM_TIMER:
        if (wp != kWatchTimer) break;
        host->Tick();
        return 0;
      case WM_CLOSE:
        // Only the steps end the Lister window.
        return 0;
      default: break;
    }
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

bool Host::Start(std::string& error) {
  if (plugin_.detect) {
    std::vector<char> buffer(2048, '\0');
    plugin_.detect(buffer.data(), int(buffer.size()));
    buffer.back() = '\0';
    detectString_ = buffer.data();
  }
  if (plugin_.defaults) {
    DefaultParams params = {};
    params.size = int32_t(sizeof params);
    params.versionLow = 10;
    params.versionHigh = 2;
    const std::string ini = ini_.empty() ? std::string(kDefaultIni) : Ansi(WindowsPath(ini_));
    if (ini.size() >= sizeof params.defaultIniName) {
      error = "the INI file's name is longer than the host's record holds";
      return false;
    }
    lstrcpynA(params.defaultIniName, ini.c_str(), MAX_PATH);
    plugin_.defaults(&params);
  }

  WNDCLASSW wc = {};
  wc.lpfnWndProc = &Host::ListerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TLister";
  if (!RegisterClassW(&wc)) {
    error = "cannot register the Lister window class";
    return false;
  }
  QueryPerformanceFrequency(&frequency_);
  if (!CreateLister(0, error)) return false;
  SetTimer(Cur().wnd.get(), kWatchTimer, kWatchPeriod, nullptr);
  return true;
}

bool Host::CreateLister(int index, std::string& error) {
  RECT r = {0, 0, kDefaultWidth, kDefaultHeight};
  AdjustWindowRectEx(&r, kListerStyle, FALSE, 0);
  auto lister = std::make_unique<Lister>();
  const int offset = 40 + 30 * index;
  lister->wnd.reset(CreateWindowExW(0, L"TLister", L"Lister", kListerStyle, offset, offset, r.right - r.left,
                                    r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!lister->wnd) {
    error = "cannot create the Lister window";
    return false;
  }
  listers_[index] = std::move(lister);
  current_ = index;
  ShowWindow(Cur().wnd.get(), SW_SHOW);
  UpdateWindow(Cur().wnd.get());
  SetForegroundWindow(Cur().wnd.get());
  Pump();
  // Showing a top-level window is the host's own wait, not the plugin's.
  lastTick_ = 0;
  return true;
}

Host::Lister* Host::FindLister(HWND wnd) {
  for (auto& l : listers_)
    if (l && l->wnd.get() == wnd) return l.get();
  return nullptr;
}

void Host::Tick() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (lastTick_ != 0 && now.QuadPart - lastTick_ > longestGap_) {
    longestGap_ = now.QuadPart - lastTick_;
    longestStep_ = g_currentStep;
  }
  lastTick_ = now.QuadPart;
  ++ticks_;
}

void Host::Finish() {
  g_currentStep = "finish";
  for (auto& l : listers_) {
    if (!l) continue;
    if (l->viewer && plugin_.close) plugin_.close(l->viewer);
    l->viewer = nullptr;
  }
  Pump();
  // The Lister windows go with the process. Hiding or destroying them first
  // costs two seconds each under Wine without a window manager, which waits
  // in vain for the window manager to confirm the unmapping.
  for (auto& l : listers_)
    if (l) l->wnd.release();
}

void Host::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_MOUSEWHEEL || msg.message == WM_LBUTTONDOWN || msg.message == WM_MOUSEMOVE ||
        msg.message == WM_LBUTTONUP)
      mouseTargets_.push_back(msg.hwnd);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Host::PumpFor(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    Pump();
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - now), QS_ALLINPUT);
  }
}

void Host::FitViewer() {
  if (!Cur().viewer) return;
  RECT rc;
  GetClientRect(Cur().wnd.get(), &rc);
  MoveWindow(Cur().viewer, 0, 0, rc.right, rc.bottom, TRUE);
}

void Host::AfterLoad() {
  FitViewer();
  SetFocus(Cur().viewer);
}

bool Host::Fail(const Step& step, const std::string& why) {
  Line(step.text, "error: " + why);
  return false;
}

bool Host::Run(const Step& step) {
  g_currentStep = step.text.c_str();
  keys_.clear();
  mouseTargets_.clear();
  bool ok = false;
  switch (step.kind) {
    case StepKind::detect: ok = Detect(step); break;
    case StepKind::open: ok = Open(step); break;
    case StepKind::next: ok = Next(step); break;
    case StepKind::wait:
      PumpFor(DWORD(step.first));
      Line(step.text, "ok");
      ok = true;
      break;
    case StepKind::key: ok = Key(step); break;
    case StepKind::cmd: ok = Command(step); break;
    case StepKind::shot: ok = Shot(step); break;
    case StepKind::resize: ok = Resize(step); break;
    case StepKind::close: ok = Close(step); break;
    case StepKind::lister: ok = SelectLister(step); break;
    case StepKind::watch: ok = Watch(step); break;
    case StepKind::preview: ok = Preview(step); break;
    case StepKind::previews: ok = Previews(step); break;
    case StepKind::wheel: ok = Wheel(step); break;
    case StepKind::drag: ok = Drag(step); break;
    case StepKind::frames: ok = Frames(step); break;
    case StepKind::spawns:
      spawns_.Start();
      Line(step.text, std::to_string(spawns_.Seen()));
      ok = true;
      break;
    case StepKind::font: {
      // The height of the viewer's font, as its window reports it.
      if (!Cur().viewer) {
        ok = Fail(step, "no viewer is open");
        break;
      }
      LOGFONTW lf = {};
      const auto font = reinterpret_cast<HFONT>(SendMessageW(Cur().viewer, WM_GETFONT, 0, 0));
      if (!font || GetObjectW(font, sizeof lf, &lf) == 0) {
        ok = Fail(step, "the viewer has no font");
        break;
      }
      Line(step.text, "height=" + std::to_string(lf.lfHeight));
      ok = true;
      break;
    }
    case StepKind::stats: {
      char text[96];
      Pump();
      std::snprintf(text, sizeof text, "handles=%ld windows=%ld private=%lu gdi=%ld threads=%ld",
                    procstats::CountProcessHandles(), procstats::CountThreadWindows(),
                    static_cast<unsigned long>(procstats::PrivateBytes() / 1024), procstats::CountGdiObjects(),
                    procstats::CountProcessThreads());
      Line(step.text, text);
      ok = true;
      break;
    }
  }
  // Between steps the Lister's thread goes on handling its messages.
  Pump();
  return ok;
}

bool Host::Detect(const Step& step) {
  if (!plugin_.detect) return Fail(step, "the plugin has no ListGetDetectString");
  DetectSubject subject;
  subject.fileName = WindowsPath(step.file);
  kol::KernelHandle file(CreateFileW(Wide(subject.fileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size)) return Fail(step, "cannot read " + subject.fileName);
  subject.size = static_cast<unsigned long long>(size.QuadPart);
  subject.head.resize(kDetectHead);
  DWORD got = 0;
  if (!ReadFile(file.get(), subject.head.data(), DWORD(subject.head.size()), &got, nullptr))
    return Fail(step, "cannot read " + subject.fileName);
  subject.head.resize(got);
  DetectResult r = EvaluateDetectString(detectString_, subject);
  if (!r.ok) return Fail(step, "detect string: " + r.error);
  Line(step.text, r.match ? "1" : "0");
  return true;
}

bool Host::Open(const Step& step) {
  if (!plugin_.load) return Fail(step, "the plugin has no ListLoad");
  // One viewer per Lister window: the previous one goes first.
  if (Cur().viewer && plugin_.close) plugin_.close(Cur().viewer);
  Cur().viewer = nullptr;
  const std::string name = WindowsPath(step.file);
  SetWindowTextW(Cur().wnd.get(), Wide("Lister - [" + name + "]").c_str());
  HWND viewer = CallLoad(name, step.flags);
  // The style as the plugin left it, before the host touches the window.
  const DWORD style = viewer ? DWORD(GetWindowLongA(viewer, GWL_STYLE)) : 0;
  if (viewer) {
    Cur().viewer = viewer;
    AfterLoad();
  }
  char text[64];
  std::snprintf(text, sizeof text, "%llX style=%lX",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(viewer)),
                static_cast<unsigned long>(style));
  Line(step.text, text);
  return true;
}

bool Host::Next(const Step& step) {
  if (!plugin_.loadNext) return Fail(step, "the plugin has no ListLoadNext");
  if (!Cur().viewer) return Fail(step, "no viewer is open");
  const std::string name = WindowsPath(step.file);
  SetWindowTextW(Cur().wnd.get(), Wide("Lister - [" + name + "]").c_str());
  const int r = CallLoadNext(name, step.flags);
  if (r == 0) AfterLoad();
  Line(step.text, std::to_string(r));
  return true;
}

HWND Host::CallLoad(const std::string& name, uint32_t flags) {
  if (plugin_.loadW && !ansi_) {
    std::wstring wide = Wide(name);
    return plugin_.loadW(Cur().wnd.get(), &wide[0], int(flags));
  }
  std::string ansi = Ansi(name);
  return plugin_.load(Cur().wnd.get(), &ansi[0], int(flags));
}

int Host::CallLoadNext(const std::string& name, uint32_t flags) {
  if (plugin_.loadNextW && !ansi_) {
    std::wstring wide = Wide(name);
    return plugin_.loadNextW(Cur().wnd.get(), Cur().viewer, &wide[0], int(flags));
  }
  std::string ansi = Ansi(name);
  return plugin_.loadNext(Cur().wnd.get(), Cur().viewer, &ansi[0], int(flags));
}

// One key message as the keyboard driver makes it: scan code, the previous
// state and transition bits, and the Alt context bit. Alt without Ctrl
// makes system keys.
void Host::PostKey(HWND target, BYTE (&state)[256], int vk, bool down) {
  const bool altHeld = (state[VK_MENU] & 0x80) != 0;
  const bool ctrlHeld = (state[VK_CONTROL] & 0x80) != 0;
  LPARAM lp = 1 | LPARAM(MapVirtualKeyA(UINT(vk), MAPVK_VK_TO_VSC) & 0xFF) << 16;
  switch (vk) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_DIVIDE:
    case VK_NUMLOCK: lp |= LPARAM(1) << 24; break;
    default: break;
  }
  if (altHeld) lp |= LPARAM(1) << 29;
  if (!down) lp |= LPARAM(3) << 30;
  UINT msg = down ? WM_KEYDOWN : WM_KEYUP;
  if (altHeld && !ctrlHeld) msg = down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
  // The state the receiver reads through GetKeyState while it handles the
  // message; posted messages do not change it by themselves.
  SetKeyboardState(state);
  PostMessageA(target, msg, WPARAM(vk), lp);
  Pump();
}

void Host::PostModifiers(HWND target, BYTE (&state)[256], const Step& step, bool down) {
  struct Modifier {
    bool on;
    int vk, left;
  };
  const Modifier mods[] = {
      {step.ctrl, VK_CONTROL, VK_LCONTROL}, {step.shift, VK_SHIFT, VK_LSHIFT}, {step.alt, VK_MENU, VK_LMENU}};
  // Released in the reverse order of pressing.
  for (int n = 0; n < 3; ++n) {
    const Modifier& m = mods[down ? n : 2 - n];
    if (!m.on) continue;
    if (down) {
      state[m.vk] |= 0x80;
      state[m.left] |= 0x80;
    }
    PostKey(target, state, m.vk, down);
    if (!down) {
      state[m.vk] &= 0x7F;
      state[m.left] &= 0x7F;
    }
  }
  SetKeyboardState(state);
}

bool Host::Key(const Step& step) {
  HWND target = GetFocus();
  if (!target) target = Cur().wnd.get();
  BYTE state[256];
  GetKeyboardState(state);
  PostModifiers(target, state, step, true);
  state[step.first] |= 0x80;
  PostKey(target, state, step.first, true);
  state[step.first] &= 0x7F;
  PostKey(target, state, step.first, false);
  PostModifiers(target, state, step, false);
  // What the viewer posted back to the Lister window arrives with these.
  PumpFor(50);
  std::string text;
  for (int k : keys_) text += (text.empty() ? "" : ",") + std::to_string(k);
  Line(step.text, text.empty() ? "none" : text);
  return true;
}

bool Host::Command(const Step& step) {
  if (!plugin_.command) return Fail(step, "the plugin has no ListSendCommand");
  if (!Cur().viewer) return Fail(step, "no viewer is open");
  Line(step.text, std::to_string(plugin_.command(Cur().viewer, step.first, step.second)));
  return true;
}

bool Host::Shot(const Step& step) {
  Pump();
  std::string error;
  if (!SaveClientBitmap(Cur().wnd.get(), WindowsPath(step.file), error)) return Fail(step, error);
  Line(step.text, step.file);
  return true;
}

// ---- The mouse and the frames ---------------------------------------------

std::string Host::Describe(HWND wnd) {
  if (!wnd) return "none";
  if (wnd == Cur().viewer) return "viewer";
  if (Cur().viewer && IsChild(Cur().viewer, wnd)) return "viewer child";
  if (wnd == Cur().wnd.get()) return "lister";
  return "other window";
}

// The wheel message goes to the focus window with the pointer at its
// centre, while the modifiers are held as the key step holds them.
bool Host::Wheel(const Step& step) {
  HWND target = GetFocus();
  if (!target) return Fail(step, "no window has the focus");
  RECT rc;
  GetClientRect(target, &rc);
  POINT centre = {rc.right / 2, rc.bottom / 2};
  ClientToScreen(target, &centre);
  BYTE state[256];
  GetKeyboardState(state);
  PostModifiers(target, state, step, true);
  const WORD keys = WORD((step.ctrl ? MK_CONTROL : 0) | (step.shift ? MK_SHIFT : 0));
  PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(keys, WORD(int16_t(step.first))),
               MAKELPARAM(WORD(int16_t(centre.x)), WORD(int16_t(centre.y))));
  Pump();
  PostModifiers(target, state, step, false);
  PumpFor(50);
  Line(step.text, Describe(mouseTargets_.empty() ? nullptr : mouseTargets_.front()));
  return true;
}

// The deepest visible child of `parent` under `point` (client coordinates of
// `parent`), or `parent`; `point` becomes client coordinates of the result.
HWND ChildAt(HWND parent, POINT& point) {
  for (;;) {
    HWND child = ChildWindowFromPointEx(parent, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (!child || child == parent) return parent;
    MapWindowPoints(parent, child, &point, 1);
    parent = child;
  }
}

// As the system sends a drag to a window that holds the mouse: every
// message to the window under the press, in its client coordinates, the
// left button held in wParam and in the keyboard state until the release.
bool Host::Drag(const Step& step) {
  if (!Cur().viewer) return Fail(step, "no viewer is open");
  POINT from = {step.first, step.second}, to = {step.third, step.fourth};
  HWND target = ChildAt(Cur().viewer, from);
  MapWindowPoints(Cur().viewer, target, &to, 1);
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_LBUTTON] |= 0x80;
  SetKeyboardState(state);
  auto post = [&](UINT msg, WPARAM keys, POINT p) {
    PostMessageW(target, msg, keys, MAKELPARAM(WORD(int16_t(p.x)), WORD(int16_t(p.y))));
    PumpFor(kDragPause);
  };
  post(WM_LBUTTONDOWN, MK_LBUTTON, from);
  for (int i = 1; i <= kDragMoves; ++i)
    post(WM_MOUSEMOVE, MK_LBUTTON,
         {from.x + (to.x - from.x) * i / kDragMoves, from.y + (to.y - from.y) * i / kDragMoves});
  state[VK_LBUTTON] &= 0x7F;
  SetKeyboardState(state);
  post(WM_LBUTTONUP, 0, to);
  size_t delivered = 0;
  for (HWND w : mouseTargets_) delivered += w == target;
  Line(step.text, Describe(target) + ", " + std::to_string(delivered) + " messages");
  return true;
}

// What the screen shows, every few milliseconds, without asking for a
// repaint: each picture that differs from the one before is saved.
bool Host::Frames(const Step& step) {
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  auto elapsed = [&] {
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency_.QuadPart);
  };
  ClientPixels last, shown;
  int saved = 0, captures = 0;
  std::string error;
  auto capture = [&](double t) {
    if (!CaptureClient(Cur().wnd.get(), false, shown, error)) return false;
    ++captures;
    if (shown.width == last.width && shown.height == last.height && shown.rows == last.rows) return true;
    const std::string name = step.output + "-" + std::to_string(++saved) + ".bmp";
    if (!WriteBmp(shown, WindowsPath(name), error)) return false;
    char text[32];
    std::snprintf(text, sizeof text, " at %.0f ms", t);
    Line(step.text, name + text);
    std::swap(last, shown);
    return true;
  };
  // The viewer paints on this thread: messages are handled one at a time
  // and the screen is read after every paint as well as every period, or a
  // picture replaced within one burst of messages would never be seen.
  for (double next = 0;;) {
    const double t = elapsed();
    if (t >= step.first) break;
    MSG msg;
    bool painted = false;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      painted = msg.message == WM_PAINT;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else if (t < next) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(next - t) + 1, QS_ALLINPUT);
      continue;
    }
    if (!painted && elapsed() < next) continue;
    if (!capture(elapsed())) return Fail(step, error);
    next = elapsed() + kFramePeriod;
  }
  Line(step.text, std::to_string(saved) + " frames of " + std::to_string(captures) + " captures");
  return true;
}

// ---- The file panel's thumbnails -------------------------------------------

// One call as a file panel's worker thread makes it: the wide function when
// the plugin has one, else the ANSI one, with up to 8 KB of the file's first
// bytes.
struct PreviewCall {
  const Plugin* plugin = nullptr;
  std::wstring wide;
  std::string ansi;
  std::vector<char> head;
  int width = 0, height = 0;
  bool useWide = false;
  HBITMAP Ask() const {
    std::vector<char> buf = head;  // each call gets its own copy, as from the host
    char* content = buf.empty() ? nullptr : buf.data();
    if (useWide) return plugin->previewW(const_cast<WCHAR*>(wide.c_str()), width, height, content, int(buf.size()));
    return plugin->preview(const_cast<char*>(ansi.c_str()), width, height, content, int(buf.size()));
  }
};

bool MakePreviewCall(const Plugin& plugin, const Step& step, bool ansi, PreviewCall& call) {
  if (!plugin.previewW && !plugin.preview) return false;
  call.plugin = &plugin;
  call.useWide = plugin.previewW && !ansi;
  call.wide = Wide(WindowsPath(step.file));
  call.ansi = Ansi(WindowsPath(step.file));
  call.width = step.first;
  call.height = step.second;
  kol::KernelHandle file(CreateFileW(call.wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    call.head.resize(kDetectHead);
    DWORD got = 0;
    if (!ReadFile(file.get(), call.head.data(), DWORD(call.head.size()), &got, nullptr)) got = 0;
    call.head.resize(got);
  }
  return true;
}

// The bitmap's size and kind ("128x96 24-bit DIB section"), or "null".
std::string DescribeBitmap(HBITMAP bitmap) {
  if (bitmap == nullptr) return "null";
  DIBSECTION ds = {};
  char text[80];
  if (GetObjectW(bitmap, sizeof ds, &ds) == int(sizeof ds)) {
    std::snprintf(text, sizeof text, "%ldx%ld %d-bit DIB section", long(ds.dsBm.bmWidth), long(ds.dsBm.bmHeight),
                  int(ds.dsBm.bmBitsPixel));
  } else {
    BITMAP bm = {};
    GetObjectW(bitmap, sizeof bm, &bm);
    std::snprintf(text, sizeof text, "%ldx%ld %d-bit device bitmap", long(bm.bmWidth), long(bm.bmHeight),
                  int(bm.bmBitsPixel));
  }
  return text;
}

// A 24-bit BMP file of any bitmap, through GetDIBits.
bool SaveBitmap(HBITMAP bitmap, const std::string& path, std::string& error) {
  BITMAP bm = {};
  if (!GetObjectW(bitmap, sizeof bm, &bm)) {
    error = "not a bitmap";
    return false;
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = bm.bmWidth;
  info.bmiHeader.biHeight = bm.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  // The file's size fields hold 32 bits.
  const int64_t size =
      hi::CheckedProduct((int64_t(bm.bmWidth) * 3 + 3) & ~int64_t(3), bm.bmHeight, int64_t(UINT32_MAX) - 54);
  if (size < 0) {
    error = "too large for a BMP file";
    return false;
  }
  std::vector<uint8_t> rows(static_cast<size_t>(size));
  kol::MemoryDc dc = kol::CompatibleDc(nullptr);
  if (GetDIBits(dc.get(), bitmap, 0, UINT(bm.bmHeight), rows.data(), &info, DIB_RGB_COLORS) != bm.bmHeight) {
    error = "GetDIBits failed";
    return false;
  }
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof(BITMAPINFOHEADER);
  file.bfSize = DWORD(file.bfOffBits + rows.size());
  std::FILE* f = _wfopen(Wide(path).c_str(), L"wb");
  if (!f) {
    error = "cannot write " + path;
    return false;
  }
  bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info.bmiHeader, 40, 1, f) == 1 &&
            std::fwrite(rows.data(), 1, rows.size(), f) == rows.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) error = "cannot write " + path;
  return ok;
}

struct PreviewJob {
  const PreviewCall* call;
  HBITMAP bitmap = nullptr;
};

DWORD WINAPI PreviewThread(void* param) noexcept {
  auto* job = static_cast<PreviewJob*>(param);
  job->bitmap = job->call->Ask();
  return 0;
}

struct PreviewWorker {
  const PreviewCall* call;
  const std::string* expected;
  int calls;
  long answered = 0, differing = 0;
};

DWORD WINAPI PreviewWorkerThread(void* param) noexcept {
  auto* w = static_cast<PreviewWorker*>(param);
  for (int i = 0; i < w->calls; ++i) {
    // The bitmap is the host's: it deletes it when done.
    const kol::GdiBitmap b(w->call->Ask());
    if (DescribeBitmap(b.get()) != *w->expected) ++w->differing;
    ++w->answered;
  }
  return 0;
}

bool Host::Preview(const Step& step) {
  PreviewCall call;
  if (!MakePreviewCall(plugin_, step, ansi_, call)) return Fail(step, "the plugin has no ListGetPreviewBitmap[W]");
  PreviewJob job{&call};
  kol::ThreadHandle thread(CreateThread(nullptr, 0, PreviewThread, &job, 0, nullptr));
  if (!thread) return Fail(step, "no worker thread");
  // The window thread goes on handling its messages meanwhile, as the file
  // manager's does.
  HANDLE raw = thread.get();
  while (MsgWaitForMultipleObjects(1, &raw, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) Pump();
  // The bitmap is the host's: it deletes it when done.
  const kol::GdiBitmap bitmap(job.bitmap);
  std::string result = DescribeBitmap(bitmap.get());
  std::string error;
  if (bitmap && !step.output.empty() && !SaveBitmap(bitmap.get(), WindowsPath(step.output), error))
    result += " (" + error + ")";
  Line(step.text, result);
  return true;
}

// N calls on each of two threads at once; every answer is checked to be a
// bitmap of the first answer's size (or null like it) and deleted.
bool Host::Previews(const Step& step) {
  PreviewCall call;
  if (!MakePreviewCall(plugin_, step, ansi_, call)) return Fail(step, "the plugin has no ListGetPreviewBitmap[W]");
  const std::string first = DescribeBitmap(kol::GdiBitmap(call.Ask()).get());
  PreviewWorker workers[2] = {{&call, &first, step.calls}, {&call, &first, step.calls}};
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  kol::ThreadHandle threads[2];
  HANDLE raw[2];
  for (int t = 0; t < 2; ++t) {
    threads[t] = kol::ThreadHandle(CreateThread(nullptr, 0, PreviewWorkerThread, &workers[t], 0, nullptr));
    if (!threads[t]) return Fail(step, "no worker thread");
    raw[t] = threads[t].get();
  }
  while (MsgWaitForMultipleObjects(2, raw, TRUE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 2) Pump();
  QueryPerformanceCounter(&end);
  char text[160];
  std::snprintf(text, sizeof text, "%ld calls, %ld differing from the first (%s), %.0f ms",
                workers[0].answered + workers[1].answered, workers[0].differing + workers[1].differing, first.c_str(),
                double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
  Line(step.text, text);
  return true;
}

bool Host::Resize(const Step& step) {
  RECT r = {0, 0, step.first, step.second};
  AdjustWindowRectEx(&r, DWORD(GetWindowLongA(Cur().wnd.get(), GWL_STYLE)), FALSE,
                     DWORD(GetWindowLongA(Cur().wnd.get(), GWL_EXSTYLE)));
  SetWindowPos(Cur().wnd.get(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  FitViewer();
  Line(step.text, "ok");
  return true;
}

bool Host::Close(const Step& step) {
  if (!plugin_.close) return Fail(step, "the plugin has no ListCloseWindow");
  if (!Cur().viewer) return Fail(step, "no viewer is open");
  HWND viewer = Cur().viewer;
  Cur().viewer = nullptr;
  plugin_.close(viewer);
  Line(step.text, "ok");
  return true;
}

bool Host::SelectLister(const Step& step) {
  if (listers_[step.first]) {
    current_ = step.first;
    SetForegroundWindow(Cur().wnd.get());
    if (Cur().viewer) SetFocus(Cur().viewer);
  } else {
    std::string error;
    if (!CreateLister(step.first, error)) return Fail(step, error);
  }
  Line(step.text, "ok");
  return true;
}

bool Host::Watch(const Step& step) {
  Pump();
  char text[96];
  const double ms = frequency_.QuadPart ? double(longestGap_) * 1000.0 / double(frequency_.QuadPart) : 0.0;
  std::snprintf(text, sizeof text, "longest=%.0fms ticks=%ld", ms, ticks_);
  Line(step.text, std::string(text) + (longestStep_.empty() ? "" : " during " + longestStep_));
  longestGap_ = 0;
  longestStep_.clear();
  ticks_ = 0;
  return true;
}

// The command line in UTF-16, whatever the ANSI code page holds.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
  LocalFree(argv);
  return args;
}

int Main() {
  std::vector<std::string> args = Arguments();
  Options options;
  std::string optionError;
  if (!ParseOptions(args, options, optionError) || args.empty()) {
    if (!optionError.empty()) std::fprintf(stderr, "listerhost: %s\n", optionError.c_str());
    std::fprintf(stderr, "usage: listerhost [--ansi] [--ini=PATH] PLUGIN_FILE STEP...\n");
    return 2;
  }
  // Every step is checked before the plugin is touched.
  std::vector<Step> steps(args.size() - 1);
  for (size_t i = 1; i < args.size(); ++i) {
    std::string error;
    if (!ParseStep(args[i], steps[i - 1], error)) {
      Line(args[i], "error: " + error);
      return 2;
    }
  }

  const std::string path = WindowsPath(args[0]);
  HMODULE module = LoadLibraryW(Wide(path).c_str());
  if (!module) {
    Line(args[0], "error: cannot load the plugin (error " + std::to_string(GetLastError()) + ")");
    return 1;
  }
  Plugin plugin(module);
  if (!plugin.load) {
    Line(args[0], "error: not a Lister plugin (no ListLoad)");
    return 1;
  }
  g_currentStep = args[0].c_str();
  Host host(plugin, options);
  g_host = &host;
  std::string error;
  if (!host.Start(error)) {
    Line(args[0], "error: " + error);
    return 1;
  }
  int code = 0;
  for (const Step& step : steps) {
    if (!host.Run(step)) {
      code = 2;
      break;
    }
  }
  host.Finish();
  g_host = nullptr;
  return code;
}

}  // namespace
}  // namespace listerhost

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(&listerhost::ReportCrash);
  // As the file manager: aware of the screen's dots per inch, so that its
  // windows are not scaled behind the plugin's back.
  SetProcessDPIAware();
  try {
    return listerhost::Main();
  } catch (const std::exception& e) {
    listerhost::Line(listerhost::g_currentStep, std::string("error: ") + e.what());
  } catch (...) {
    listerhost::Line(listerhost::g_currentStep, "error: unknown exception");
  }
  return 3;
}

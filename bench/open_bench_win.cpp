// From ListLoad to the thumbnail on the screen, against the archiver's own
// run for the same document, in the same run of this program.
//   open_bench PLUGIN_FILE [RUNS]   (7za.exe beside the plugin; RUNS default 15)
// The document is made here: a ZIP with a 256 x 192 PNG thumbnail whose
// centre is a block of one colour, so that "painted" is that colour at the
// centre of the Lister window. Both measures alternate; medians are printed.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace {

using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using CloseFn = void(__stdcall*)(HWND);
struct DefaultParams {
  int32_t size;
  uint32_t versionLow, versionHigh;
  char defaultIniName[MAX_PATH];
};
using DefaultsFn = void(__stdcall*)(DefaultParams*);

constexpr int kWidth = 256, kHeight = 192;
constexpr COLORREF kMark = RGB(10, 200, 30);
constexpr DWORD kGiveUpMs = 10000;

double Now() {
  static LARGE_INTEGER f = [] {
    LARGE_INTEGER v;
    QueryPerformanceFrequency(&v);
    return v;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

void Be32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
}

// Noise around a solid centre block, so that inflate and the filters have
// real work and the centre tells when the picture is up.
std::string MakePng() {
  std::string raw;
  uint32_t seed = 2024;
  for (int y = 0; y < kHeight; ++y) {
    raw += char(1);  // Sub filter on every row
    uint8_t left[3] = {0, 0, 0};
    for (int x = 0; x < kWidth; ++x) {
      const bool centre = x >= kWidth / 2 - 24 && x < kWidth / 2 + 24 && y >= kHeight / 2 - 24 && y < kHeight / 2 + 24;
      uint8_t px[3];
      seed = seed * 1664525u + 1013904223u;
      if (centre) {
        px[0] = GetRValue(kMark), px[1] = GetGValue(kMark), px[2] = GetBValue(kMark);
      } else {
        px[0] = uint8_t(x + (seed >> 29)), px[1] = uint8_t(y * 2 + (seed >> 30)), px[2] = uint8_t((x ^ y) + 40);
      }
      for (int c = 0; c < 3; ++c) {
        raw += char(uint8_t(px[c] - left[c]));
        left[c] = px[c];
      }
    }
  }
  uLongf n = compressBound(uLong(raw.size()));
  std::string z(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&z[0]), &n, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 6);
  z.resize(n);
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string s;
    Be32(s, uint32_t(data.size()));
    const std::string body = type + data;
    s += body;
    Be32(s, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    return s;
  };
  std::string ihdr;
  Be32(ihdr, kWidth);
  Be32(ihdr, kHeight);
  ihdr += {char(8), char(2), char(0), char(0), char(0)};
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", z) + chunk("IEND", "");
}

// Runs a command line hidden in its own console, its output on a pipe as
// the plugin's runner does, and waits for it. Milliseconds, or -1.
double RunTimed(const std::string& commandLine, const std::string& dir = std::string()) {
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
  writeEnd.reset();
  double took = -1;
  if (ok) {
    kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
    // Drain the pipe while waiting, so that the archiver never waits on it.
    char buf[4096];
    for (;;) {
      DWORD avail = 0, got = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
             ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) {
      }
      if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    took = Now() - start;
  }
  return took;
}

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_CLOSE) return 0;
  return DefWindowProcA(wnd, msg, wp, lp);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void PumpFor(DWORD ms) {
  const double end = Now() + ms;
  while (Now() < end) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

// One open: ListLoad until the centre of the Lister shows the mark.
double OpenTimed(HWND lister, LoadFn load, CloseFn close, const std::string& document) {
  RECT rc;
  GetClientRect(lister, &rc);
  kol::WindowDc listerDc = kol::WindowDc::ForWindow(lister);
  const HDC dc = listerDc.get();
  std::string name = document;
  const double start = Now();
  HWND viewer = load(lister, &name[0], 0);
  double took = -1;
  if (viewer) {
    MoveWindow(viewer, 0, 0, rc.right, rc.bottom, TRUE);
    for (;;) {
      Pump();
      if (GetPixel(dc, rc.right / 2, rc.bottom / 2) == kMark) {
        took = Now() - start;
        break;
      }
      if (Now() - start > kGiveUpMs) {
        std::fprintf(stderr, "open_bench: the centre stays %06lX\n",
                     static_cast<unsigned long>(GetPixel(dc, rc.right / 2, rc.bottom / 2)));
        break;
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    close(viewer);
  }
  listerDc.reset();
  Pump();
  return took;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: open_bench PLUGIN_FILE [RUNS]\n");
    return 2;
  }
  std::string plugin = argv[1];
  if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
  std::replace(plugin.begin(), plugin.end(), '/', '\\');
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  const std::string folder = plugin.substr(0, plugin.find_last_of('\\') + 1);
  const std::string archiver = folder + "7za.exe";

  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string work = std::string(tmp) + "open bench " + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(work.c_str(), nullptr);
  const std::string document = work + "bench.cdr";
  {
    const std::string png = MakePng();
    const std::string dir = work + "metadata\\thumbnails\\";
    CreateDirectoryA((work + "metadata").c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    {
      kol::KernelHandle f(
          CreateFileA((dir + "thumbnail.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
      DWORD put = 0;
      if (f) WriteFile(f.get(), png.data(), DWORD(png.size()), &put, nullptr);
    }
    if (RunTimed(Quote(archiver) + " a -tzip " + Quote(document) + " metadata\\thumbnails\\thumbnail.png", work) < 0 ||
        GetFileAttributesA(document.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::fprintf(stderr, "open_bench: cannot make the document with %s\n", archiver.c_str());
      return 1;
    }
  }

  HMODULE module = LoadLibraryA(plugin.c_str());
  if (!module) {
    std::fprintf(stderr, "open_bench: cannot load %s\n", plugin.c_str());
    return 1;
  }
  auto load = reinterpret_cast<LoadFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListLoad")));
  auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListCloseWindow")));
  auto defaults = reinterpret_cast<DefaultsFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListSetDefaultParams")));
  if (!load || !close || !defaults) {
    std::fprintf(stderr, "open_bench: not a Lister plugin\n");
    return 1;
  }
  // The file manager's first call, before any viewer is opened.
  DefaultParams params = {};
  params.size = int32_t(sizeof params);
  params.versionLow = 10;
  params.versionHigh = 2;
  lstrcpynA(params.defaultIniName, "C:\\lister\\lsplugin.ini", MAX_PATH);
  defaults(&params);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &ListerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "TLister";
  RegisterClassA(&wc);
  HWND lister = CreateWindowExA(0, "TLister", "Lister", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, 640, 480,
                                nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(lister, SW_SHOW);
  UpdateWindow(lister);
  PumpFor(300);

  // The archiver's command line as the plugin forms it.
  const std::string extract =
      Quote(folder + "\\7za.exe") + " e -o\"" + std::string(tmp) + "_tc\" " + Quote(document) + " thumbnail.* -r -aoa ";
  std::vector<double> viewer, alone, overhead;
  // One of each first, to warm the caches of both.
  OpenTimed(lister, load, close, document);
  RunTimed(extract);
  for (int i = 0; i < runs; ++i) {
    const double a = RunTimed(extract);
    PumpFor(100);
    const double v = OpenTimed(lister, load, close, document);
    PumpFor(100);
    if (a < 0 || v < 0) {
      std::fprintf(stderr, "open_bench: run %d failed (archiver %.1f ms, viewer %.1f ms)\n", i, a, v);
      return 1;
    }
    alone.push_back(a);
    viewer.push_back(v);
    overhead.push_back(v - a);
  }
  const double mv = Median(viewer), ma = Median(alone);
  std::printf("open_bench: %d runs, %s\n", runs, sizeof(void*) == 8 ? "win64" : "win32");
  std::printf("  ListLoad to thumbnail painted  median %7.1f ms (min %.1f, max %.1f)\n", mv,
              *std::min_element(viewer.begin(), viewer.end()), *std::max_element(viewer.begin(), viewer.end()));
  std::printf("  archiver alone                 median %7.1f ms (min %.1f, max %.1f)\n", ma,
              *std::min_element(alone.begin(), alone.end()), *std::max_element(alone.begin(), alone.end()));
  std::printf("  ratio %.3f, overhead %.1f ms (median of paired differences %.1f ms)\n", ma > 0 ? mv / ma : 0.0,
              mv - ma, Median(overhead));
  // The Lister window goes with the process (destroying it costs Wine a
  // wait for a window manager that is not there).
  RunTimed("cmd /c rd /s /q " + Quote(work));
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }

// From ListLoad to the thumbnail on the screen, against the archiver's own
// run for the same document, in the same run of this program; and how soon
// ListLoad, ListLoadNext and ListCloseWindow give the host's thread back,
// against the return of a bare CreateProcess of 7za.exe.
//   open_bench PLUGIN_FILE [RUNS]   (7za.exe beside the plugin; RUNS default 15)
// The document is made here: a ZIP with a 256 x 192 PNG thumbnail whose
// centre is a block of one colour, so that "painted" is that colour at the
// centre of the Lister window. The measures alternate; medians are printed.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_win.h"
#include "toolkit/handles.h"

namespace {

using bench::Median;
using bench::Now;
using bench::Pump;
using bench::PumpFor;
using bench::Quote;
using bench::RunTimed;
using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using LoadNextFn = int(__stdcall*)(HWND, HWND, char*, int);
using CloseFn = void(__stdcall*)(HWND);
using bench::DefaultsFn;

constexpr int kWidth = 256, kHeight = 192;
constexpr COLORREF kMark = RGB(10, 200, 30);
constexpr DWORD kGiveUpMs = 10000;

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

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_CLOSE) return 0;
  return DefWindowProcA(wnd, msg, wp, lp);
}

struct Plugin {
  LoadFn load;
  LoadNextFn next;
  CloseFn close;
};

// How long each call the host makes kept its thread, in milliseconds.
struct Returns {
  std::vector<double> load, next, close, closeIdle;
};

// One open: ListLoad until the centre of the Lister shows the mark, then
// ListCloseWindow with the archiver done.
double OpenTimed(HWND lister, const Plugin& plugin, const std::string& document, Returns& returns) {
  RECT rc;
  GetClientRect(lister, &rc);
  kol::WindowDc listerDc = kol::WindowDc::ForWindow(lister);
  const HDC dc = listerDc.get();
  std::string name = document;
  const double start = Now();
  HWND viewer = plugin.load(lister, &name[0], 0);
  returns.load.push_back(Now() - start);
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
    const double closing = Now();
    plugin.close(viewer);
    returns.closeIdle.push_back(Now() - closing);
  }
  listerDc.reset();
  Pump();
  return took;
}

// A user flicking through files: ListLoad, at once ListLoadNext and at once
// ListCloseWindow, each while the archiver of the call before is starting.
bool FlipTimed(HWND lister, const Plugin& plugin, const std::string& document, Returns& returns) {
  std::string name = document;
  double start = Now();
  HWND viewer = plugin.load(lister, &name[0], 0);
  returns.load.push_back(Now() - start);
  if (!viewer) return false;
  start = Now();
  const int next = plugin.next(lister, viewer, &name[0], 0);
  returns.next.push_back(Now() - start);
  start = Now();
  plugin.close(viewer);
  returns.close.push_back(Now() - start);
  Pump();
  return next == 0;
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

void PrintReturn(const char* what, const std::vector<double>& v, double peer) {
  std::printf("  %-34s median %6.2f ms, max %6.2f ms (ratio %.3f)\n", what, Median(v), Max(v),
              peer > 0 ? Median(v) / peer : 0.0);
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: open_bench PLUGIN_FILE [RUNS]\n");
    return 2;
  }
  const std::string plugin = bench::WinePath(argv[1]);
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
  auto next = reinterpret_cast<LoadNextFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListLoadNext")));
  auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListCloseWindow")));
  auto defaults = reinterpret_cast<DefaultsFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListSetDefaultParams")));
  if (!load || !next || !close || !defaults) {
    std::fprintf(stderr, "open_bench: not a Lister plugin\n");
    return 1;
  }
  // The file manager's first call, before any viewer is opened.
  bench::SendDefaults(defaults, "C:\\lister\\lsplugin.ini");
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
  const Plugin calls{load, next, close};
  std::vector<double> viewer, alone, overhead, created;
  Returns returns, warm;
  // One of each first, to warm the caches of both.
  OpenTimed(lister, calls, document, warm);
  RunTimed(extract);
  for (int i = 0; i < runs; ++i) {
    double c = -1;
    const double a = RunTimed(extract, std::string(), &c);
    PumpFor(100);
    const double v = OpenTimed(lister, calls, document, returns);
    PumpFor(100);
    const bool flipped = FlipTimed(lister, calls, document, returns);
    // The archivers the flip stopped are gone before the next measure.
    PumpFor(300);
    if (a < 0 || v < 0 || !flipped) {
      std::fprintf(stderr, "open_bench: run %d failed (archiver %.1f ms, viewer %.1f ms, flip %s)\n", i, a, v,
                   flipped ? "done" : "failed");
      return 1;
    }
    alone.push_back(a);
    created.push_back(c);
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
  const double peer = Median(created);
  std::printf("  the host's thread held by (ratio against the peer's median):\n");
  std::printf("  %-34s median %6.2f ms, max %6.2f ms (the peer)\n", "CreateProcess of 7za.exe", peer, Max(created));
  PrintReturn("ListLoad", returns.load, peer);
  PrintReturn("ListLoadNext at once after ListLoad", returns.next, peer);
  PrintReturn("ListCloseWindow at once after that", returns.close, peer);
  PrintReturn("ListCloseWindow, thumbnail painted", returns.closeIdle, peer);
  // The Lister window goes with the process (destroying it costs Wine a
  // wait for a window manager that is not there).
  RunTimed("cmd /c rd /s /q " + Quote(work));
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }

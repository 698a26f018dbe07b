// What the user of the viewer waits for: from ListLoadW into a 1200 x 900
// Lister window to the stored preview on the screen, and on to the sharp
// rendering that replaces it, against the peers run in the same program:
// one bare extraction by 7za.exe and one bare docrender.exe run at the
// window's size (CreateProcess to exit), both from the plugin's folder.
//   render_view_bench PLUGIN_FILE DOCUMENT... [--rounds N] [--give-up MS]
// The Lister's client area is captured every few milliseconds: the preview
// is up at the first capture of more than a few colours; the sharp picture at
// the next capture that differs from the preview and then stays for
// kSteadyMs. Medians over the rounds (default 5); a benchmark asserts no
// timing.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

using LoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
using CloseFn = void(__stdcall*)(HWND);
struct DefaultParams {
  int32_t size;
  uint32_t versionLow, versionHigh;
  char defaultIniName[MAX_PATH];
};
using DefaultsFn = void(__stdcall*)(DefaultParams*);

constexpr int kWidth = 1200, kHeight = 900;
constexpr int kFitToWindow = 2;
constexpr double kSteadyMs = 500;    // a picture unchanged this long is the last one
constexpr double kCapturePause = 2;  // ms between two captures

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_CLOSE) return 0;
  return DefWindowProcW(wnd, msg, wp, lp);
}

// The client area as 32-bit pixels, through one reused DIB section.
class Screen {
 public:
  explicit Screen(HWND wnd) : wnd_(wnd) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = kWidth;
    bi.bmiHeader.biHeight = -kHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    dib_.reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
    memory_ = kol::CompatibleDc(nullptr);
  }
  bool Ok() const { return dib_ && bits_ && memory_; }
  const std::vector<uint32_t>& Capture() {
    kol::WindowDc source = kol::WindowDc::ForWindow(wnd_, DCX_CACHE | DCX_CLIPSIBLINGS);
    {
      kol::SelectGuard select(memory_.get(), dib_.get());
      BitBlt(memory_.get(), 0, 0, kWidth, kHeight, source.get(), 0, 0, SRCCOPY);
      GdiFlush();
    }
    const auto* p = static_cast<const uint32_t*>(bits_);
    pixels_.assign(p, p + size_t(kWidth) * kHeight);
    return pixels_;
  }

 private:
  HWND wnd_;
  void* bits_ = nullptr;
  kol::GdiBitmap dib_;
  kol::MemoryDc memory_;
  std::vector<uint32_t> pixels_;
};

// The Lister's and the viewer's backgrounds and the viewer's frame are a
// few colours; a picture scaled to the window has many.
bool Blank(const std::vector<uint32_t>& p) {
  constexpr size_t kFew = 8;
  uint32_t seen[kFew];
  size_t n = 0;
  for (uint32_t v : p) {
    v &= 0xFFFFFF;
    if (std::find(seen, seen + n, v) != seen + n) continue;
    if (n == kFew) return false;
    seen[n++] = v;
  }
  return true;
}

struct Times {
  double preview = -1, sharp = -1;
};

// One open of the document; sharp stays -1 when no picture replaced the
// preview and stayed before giveUp (or when wantSharp is off).
Times OpenTimed(HWND lister, Screen& screen, LoadWFn load, CloseFn close, const std::wstring& document, bool wantSharp,
                double giveUp) {
  Times t;
  std::wstring name = document;
  const double start = Now();
  HWND viewer = load(lister, &name[0], kFitToWindow);
  if (!viewer) return t;
  MoveWindow(viewer, 0, 0, kWidth, kHeight, TRUE);
  std::vector<uint32_t> preview, latest;
  double latestAt = -1;
  for (;;) {
    Pump();
    const double at = Now() - start;
    const std::vector<uint32_t>& shown = screen.Capture();
    if (t.preview < 0) {
      if (!Blank(shown)) {
        t.preview = at;
        preview = shown;
        if (!wantSharp) break;
      }
    } else if (shown != (latest.empty() ? preview : latest)) {
      latest = shown;
      latestAt = at;
      if (shown == preview) latest.clear();  // back to the preview: nothing sharp yet
    } else if (!latest.empty() && at - latestAt >= kSteadyMs) {
      t.sharp = latestAt;
      break;
    }
    if (at > giveUp) break;
    PumpFor(kCapturePause);
  }
  close(viewer);
  // The renderer and the archiver the close stopped are gone before the
  // next measure.
  PumpFor(300);
  return t;
}

std::string Name(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

void PrintLine(const char* what, double ms, double peer) {
  if (peer > 0)
    std::printf("  %-42s median %7.1f ms (ratio %.2f)\n", what, ms, ms / peer);
  else
    std::printf("  %-42s median %7.1f ms\n", what, ms);
}

int Main(int argc, char** argv) {
  std::vector<std::string> documents;
  int rounds = 5;
  double giveUp = 5000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--give-up" && i + 1 < argc) {
      giveUp = std::max(100, std::atoi(argv[++i]));
    } else {
      documents.push_back(bench::WinePath(a));
    }
  }
  if (documents.size() < 2) {
    std::fprintf(stderr, "usage: render_view_bench PLUGIN_FILE DOCUMENT... [--rounds N] [--give-up MS]\n");
    return 2;
  }
  const std::string plugin = documents.front();
  documents.erase(documents.begin());
  const std::string folder = plugin.substr(0, plugin.find_last_of('\\') + 1);

  HMODULE module = LoadLibraryA(plugin.c_str());
  if (!module) {
    std::fprintf(stderr, "render_view_bench: cannot load %s\n", plugin.c_str());
    return 1;
  }
  auto load = reinterpret_cast<LoadWFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListLoadW")));
  auto close = reinterpret_cast<CloseFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListCloseWindow")));
  auto defaults = reinterpret_cast<DefaultsFn>(reinterpret_cast<void*>(GetProcAddress(module, "ListSetDefaultParams")));
  if (!load || !close || !defaults) {
    std::fprintf(stderr, "render_view_bench: not a Lister plugin with ListLoadW\n");
    return 1;
  }
  // The file manager's first call, before any viewer is opened.
  DefaultParams params = {};
  params.size = int32_t(sizeof params);
  params.versionLow = 10;
  params.versionHigh = 2;
  lstrcpynA(params.defaultIniName, "C:\\lister\\lsplugin.ini", MAX_PATH);
  defaults(&params);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &ListerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TLister";
  RegisterClassW(&wc);
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r = {0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  HWND lister = CreateWindowExW(0, L"TLister", L"Lister", style, 20, 20, r.right - r.left, r.bottom - r.top, nullptr,
                                nullptr, wc.hInstance, nullptr);
  ShowWindow(lister, SW_SHOW);
  UpdateWindow(lister);
  PumpFor(300);
  Screen screen(lister);
  if (!screen.Ok()) {
    std::fprintf(stderr, "render_view_bench: no capture bitmap\n");
    return 1;
  }

  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string work = std::string(tmp) + "render view bench " + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(work.c_str(), nullptr);
  std::printf("render_view_bench: %s, %d rounds, %dx%d, a sharp picture awaited for %.0f ms\n",
              sizeof(void*) == 8 ? "win64" : "win32", rounds, kWidth, kHeight, giveUp);
  int failed = 0;
  for (const std::string& document : documents) {
    const std::wstring wide(document.begin(), document.end());
    const std::string extract =
        Quote(folder + "7za.exe") + " e -o" + Quote(work + "_tc") + " " + Quote(document) + " thumbnail.* -r -aoa";
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", kWidth, kHeight);
    const std::string render =
        Quote(folder + "docrender.exe") + " " + Quote(document) + " " + Quote(work + "page.bmp") + " --size " + size;
    // One of each first, to warm the caches.
    OpenTimed(lister, screen, load, close, wide, false, giveUp);
    RunTimed(extract);
    std::vector<double> preview, sharp, archiver, renderer;
    bool wantSharp = true;
    for (int i = 0; i < rounds; ++i) {
      archiver.push_back(RunTimed(extract));
      renderer.push_back(RunTimed(render));
      const Times t = OpenTimed(lister, screen, load, close, wide, wantSharp, giveUp);
      if (t.preview >= 0) preview.push_back(t.preview);
      if (t.sharp >= 0) sharp.push_back(t.sharp);
      // Without a sharp picture once, the later rounds time the preview only.
      if (t.sharp < 0) wantSharp = false;
    }
    std::printf("%s\n", Name(document).c_str());
    const double a = Median(archiver), d = Median(renderer);
    if (a <= 0 || d <= 0) {
      std::printf("  a peer failed: 7za.exe %s, docrender.exe %s\n", a > 0 ? "ran" : "failed",
                  d > 0 ? "ran" : "failed");
      ++failed;
    }
    PrintLine("7za.exe extraction alone (the peer)", a, 0);
    PrintLine("docrender.exe alone (the peer)", d, 0);
    if (preview.empty())
      std::printf("  no preview within %.0f ms\n", giveUp);
    else
      PrintLine("ListLoadW to the stored preview on screen", Median(preview), a);
    if (sharp.empty())
      std::printf("  no sharp picture within %.0f ms\n", giveUp);
    else
      PrintLine(sharp.size() == size_t(rounds) ? "ListLoadW to the sharp picture"
                                               : "ListLoadW to the sharp picture (some rounds)",
                Median(sharp), d);
  }
  bench::RunTimed("cmd /c rd /s /q " + Quote(work));
  // The Lister window goes with the process (destroying it costs Wine a
  // wait for a window manager that is not there).
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }

// What the user of the viewer waits for: from ListLoadW into a 1200 x 900
// Lister window to the stored preview on the screen, and on to the sharp
// rendering that replaces it, against the peers run in the same program:
// one bare extraction by 7za.exe and one bare docrender.exe run at the
// window's size (CreateProcess to exit), both from the plugin's folder.
//   render_view_bench PLUGIN_FILE DOCUMENT... [--rounds N] [--give-up MS]
// The Lister's client area is captured after every paint and every few
// milliseconds, and compared with two reference pictures taken first: the
// preview as the viewer shows it with Render=0, and the picture it settles
// on with the rendering on. Medians over the rounds (default 5); a
// benchmark asserts no timing.
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
using bench::PumpFor;
using bench::Quote;
using bench::RunTimed;

using LoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
using CloseFn = void(__stdcall*)(HWND);
using bench::DefaultsFn;

constexpr int kWidth = 1200, kHeight = 900;
constexpr int kFitToWindow = 2;
constexpr double kSteadyMs = 1000;   // a picture unchanged this long is the last one
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

// Handles the messages one at a time and reads the screen after every paint
// and every few milliseconds, until seen(time, pixels) says enough or the
// time is up: the viewer paints on this thread, and a picture replaced
// within one burst of messages would otherwise never be seen.
template <class Seen>
void Watch(Screen& screen, double start, double giveUp, Seen seen) {
  for (double next = 0;;) {
    const double at = Now() - start;
    if (at > giveUp) return;
    MSG msg;
    bool painted = false;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      painted = msg.message == WM_PAINT;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else if (at < next) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(next - at) + 1, QS_ALLINPUT);
      continue;
    }
    if (!painted && Now() - start < next) continue;
    if (seen(Now() - start, screen.Capture())) return;
    next = Now() - start + kCapturePause;
  }
}

HWND Open(HWND lister, LoadWFn load, const std::wstring& document) {
  std::wstring name = document;
  HWND viewer = load(lister, &name[0], kFitToWindow);
  if (viewer) MoveWindow(viewer, 0, 0, kWidth, kHeight, TRUE);
  return viewer;
}

void Close(HWND viewer, CloseFn close) {
  close(viewer);
  // The renderer and the archiver the close stopped are gone before the
  // next measure.
  PumpFor(300);
}

// What the viewer ends up showing: the picture that stays kSteadyMs.
std::vector<uint32_t> Settled(HWND lister, Screen& screen, LoadWFn load, CloseFn close, const std::wstring& document,
                              double giveUp) {
  std::vector<uint32_t> last;
  double since = 0;
  const double start = Now();
  HWND viewer = Open(lister, load, document);
  if (!viewer) return last;
  Watch(screen, start, giveUp, [&](double at, const std::vector<uint32_t>& shown) {
    if (shown != last) {
      last = shown;
      since = at;
    }
    return at - since >= kSteadyMs;
  });
  Close(viewer, close);
  return last;
}

struct Times {
  double preview = -1, sharp = -1;
};

// One open of the document: when the stored preview and when the rendering
// were first on screen, each known from a reference capture.
Times OpenTimed(HWND lister, Screen& screen, LoadWFn load, CloseFn close, const std::wstring& document,
                const std::vector<uint32_t>& previewShown, const std::vector<uint32_t>& renderingShown, double giveUp) {
  Times t;
  const double start = Now();
  HWND viewer = Open(lister, load, document);
  if (!viewer) return t;
  Watch(screen, start, giveUp, [&](double at, const std::vector<uint32_t>& shown) {
    if (t.preview < 0 && shown == previewShown) t.preview = at;
    if (t.sharp < 0 && shown == renderingShown) t.sharp = at;
    return t.sharp >= 0;
  });
  Close(viewer, close);
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
  // The file manager's first call, before any viewer is opened: with the
  // rendering off for the reference pictures of the previews, then on.
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string work = std::string(tmp) + "render view bench " + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(work.c_str(), nullptr);
  const std::string renderOff = work + "render-off.ini";
  WritePrivateProfileStringA("cdrthumb", "Render", "0", renderOff.c_str());
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
    // The pictures to wait for, which also warms the caches: the preview
    // as the viewer shows it with the rendering off, and the rendering.
    bench::SendDefaults(defaults, renderOff);
    const std::vector<uint32_t> previewShown = Settled(lister, screen, load, close, wide, giveUp);
    bench::SendDefaults(defaults, "C:\\lister\\lsplugin.ini");
    const std::vector<uint32_t> renderingShown = Settled(lister, screen, load, close, wide, giveUp);
    RunTimed(extract);
    std::vector<double> preview, sharp, archiver, renderer;
    for (int i = 0; i < rounds; ++i) {
      archiver.push_back(RunTimed(extract));
      renderer.push_back(RunTimed(render));
      const Times t = OpenTimed(lister, screen, load, close, wide, previewShown,
                                renderingShown == previewShown ? std::vector<uint32_t>() : renderingShown, giveUp);
      if (t.preview >= 0) preview.push_back(t.preview);
      if (t.sharp >= 0) sharp.push_back(t.sharp);
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

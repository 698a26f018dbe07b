// The file panel's thumbnail exports of the real plugin file, called as the
// host calls them: by path and GetProcAddress, from worker threads, beside
// an open viewer, with the returned bitmaps deleted by the caller.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/docreader/doc_builder.h"
#include "tests/exports/pe_exports.h"
#include "tools/process_stats.h"

using namespace testing_doc;

namespace {

using PreviewFn = HBITMAP(__stdcall*)(char*, int, int, char*, int);
using PreviewWFn = HBITMAP(__stdcall*)(WCHAR*, int, int, char*, int);
using DefaultsFn = void(__stdcall*)(void*);
using LoadFn = HWND(__stdcall*)(HWND, char*, int);
using CloseFn = void(__stdcall*)(HWND);

struct Plugin {
  HMODULE module = LoadLibraryA(test::WinePath(PLUGIN_PATH).c_str());
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  PreviewFn preview = Get<PreviewFn>("ListGetPreviewBitmap");
  PreviewWFn previewW = Get<PreviewWFn>("ListGetPreviewBitmapW");
};

Plugin& ThePlugin() {
  static Plugin p;
  return p;
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return temp;
}

std::wstring Write(const std::wstring& name, const Bytes& bytes) {
  std::wstring path = TempFolder() + name;
  FILE* f = _wfopen(path.c_str(), L"wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return path;
}

std::string Narrow(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
  s.resize(size_t(n) - 1);
  return s;
}

// As the host asks: the first (up to) 8 KB of the file as contentbuf.
HBITMAP AskW(const std::wstring& path, int w, int h, const Bytes& file) {
  Bytes head(file.begin(), file.begin() + std::min<size_t>(file.size(), 8192));
  return ThePlugin().previewW(const_cast<WCHAR*>(path.c_str()), w, h, reinterpret_cast<char*>(head.data()),
                              int(head.size()));
}

struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // top-down 0xRRGGBB
};

// The bitmap must be a 24-bit DIB section; its pixels, read from the section.
Pixels Read(HBITMAP bitmap) {
  Pixels p;
  DIBSECTION ds = {};
  EXPECT_EQ(GetObjectW(bitmap, sizeof ds, &ds), int(sizeof ds)) << "not a DIB section";
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
  if (ds.dsBm.bmBits == nullptr || ds.dsBm.bmBitsPixel != 24) return p;
  p.width = ds.dsBm.bmWidth;
  p.height = ds.dsBm.bmHeight;
  const bool bottomUp = ds.dsBmih.biHeight > 0;
  for (int y = 0; y < p.height; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(ds.dsBm.bmBits) +
                         size_t(bottomUp ? p.height - 1 - y : y) * size_t(ds.dsBm.bmWidthBytes);
    for (int x = 0; x < p.width; ++x) p.rgb.push_back(row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]);
  }
  return p;
}

// Area average in floating point over the source colours: the reference.
double MeanError(const Pixels& got, int srcW, int srcH, uint32_t (*source)(int, int)) {
  const double sx = double(srcW) / got.width, sy = double(srcH) / got.height;
  double error = 0;
  for (int y = 0; y < got.height; ++y) {
    for (int x = 0; x < got.width; ++x) {
      double sum[3] = {}, area = 0;
      for (int j = int(y * sy); j < srcH && j < (y + 1) * sy; ++j) {
        const double wy = std::min<double>(j + 1, (y + 1) * sy) - std::max<double>(j, y * sy);
        for (int i = int(x * sx); i < srcW && i < (x + 1) * sx; ++i) {
          const double w = wy * (std::min<double>(i + 1, (x + 1) * sx) - std::max<double>(i, x * sx));
          const uint32_t c = source(i, j);
          for (int k = 0; k < 3; ++k) sum[k] += w * ((c >> (16 - 8 * k)) & 255);
          area += w;
        }
      }
      const uint32_t g = got.rgb[size_t(y) * got.width + x];
      for (int k = 0; k < 3; ++k) error += std::fabs(sum[k] / area - ((g >> (16 - 8 * k)) & 255));
    }
  }
  return error / (3.0 * got.width * got.height);
}

}  // namespace

TEST(PanelPreview, SizesAndPixelsOfEachEra) {
  ASSERT_NE(ThePlugin().previewW, nullptr);
  ASSERT_NE(ThePlugin().preview, nullptr);
  struct Case {
    const wchar_t* name;
    Bytes file;
    int srcW, srcH, wantW, wantH;
    uint32_t (*source)(int, int);
  } cases[] = {
      {L"panel-png.cdr", ModernDocument(Png24(400, 300, 7), 8), 400, 300, 128, 96,
       [](int x, int y) { return PixelAt(x, y, 7); }},
      {L"panel-bmp.cdr", BmpEraDocument(Bmp24(300, 600, 9), 8), 300, 600, 64, 128,
       [](int x, int y) { return PixelAt(x, y, 9); }},
      {L"panel-riff.cdr", BuildRiff({{"vrsn", Bytes(2, 1)}, {"DISP", DispData(64, 48, 0)}}), 64, 48, 64, 48,
       [](int x, int y) { return DispColor((x + 3 * y) & 255); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    std::wstring path = Write(c.name, c.file);
    HBITMAP b = AskW(path, 128, 128, c.file);
    ASSERT_NE(b, nullptr);
    Pixels got = Read(b);
    EXPECT_EQ(got.width, c.wantW);
    EXPECT_EQ(got.height, c.wantH);
    if (got.width == c.wantW && got.height == c.wantH) EXPECT_LT(MeanError(got, c.srcW, c.srcH, c.source), 1.0);
    // Two calls, two bitmaps: nothing is kept or handed out twice.
    HBITMAP again = ThePlugin().preview(const_cast<char*>(Narrow(path).c_str()), 128, 128, nullptr, 0);
    EXPECT_NE(again, nullptr);
    EXPECT_NE(again, b);
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_TRUE(DeleteObject(again));
    DeleteFileW(path.c_str());
  }
}

TEST(PanelPreview, NullWithoutAPicture) {
  Archive plain;
  plain.members.push_back({"content/root.dat", Bytes(300, 7), 8});
  Bytes bad = Png24(40, 30, 1);
  for (size_t i = 60; i < bad.size(); ++i) bad[i] ^= 0x5A;
  Archive huge;
  huge.members.push_back({"previews/thumbnail.png", Png24(4, 4, 1), 0});
  huge.members.back().declaredSize = int64_t(65) << 20;
  struct Case {
    const wchar_t* name;
    Bytes file;
  } cases[] = {
      {L"panel-text.cdr", Bytes{'h', 'e', 'l', 'l', 'o', 0, 'x'}},
      {L"panel-nopreview.cdr", BuildZip(plain)},
      {L"panel-damaged.cdr", ModernDocument(bad, 8)},
      {L"panel-damaged-riff.cdr", BuildRiff({{"DISP", Bytes(30, 1)}})},
      {L"panel-overlimit.cdr", BuildZip(huge)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    std::wstring path = Write(c.name, c.file);
    EXPECT_EQ(AskW(path, 128, 128, c.file), nullptr);
    EXPECT_EQ(ThePlugin().previewW(const_cast<WCHAR*>(path.c_str()), 128, 128, nullptr, 0), nullptr);
    DeleteFileW(path.c_str());
  }
  // A directory, as hosts pass it: with a trailing backslash.
  std::wstring folder = TempFolder();
  EXPECT_EQ(ThePlugin().previewW(const_cast<WCHAR*>(folder.c_str()), 128, 128, nullptr, 0), nullptr);
  EXPECT_EQ(ThePlugin().preview(const_cast<char*>(Narrow(folder).c_str()), 128, 128, nullptr, 0), nullptr);
  // The first bytes decide before the file does: a good document whose
  // contentbuf is not a document's start is not opened.
  Bytes doc = ModernDocument(Png24(8, 8, 2), 0);
  std::wstring path = Write(L"panel-good.cdr", doc);
  char junk[16] = "not a document";
  EXPECT_EQ(ThePlugin().previewW(const_cast<WCHAR*>(path.c_str()), 128, 128, junk, sizeof junk), nullptr);
  HBITMAP b = AskW(path, 128, 128, doc);
  EXPECT_NE(b, nullptr);
  DeleteObject(b);
  EXPECT_EQ(ThePlugin().previewW(const_cast<WCHAR*>(path.c_str()), 0, 128, nullptr, 0), nullptr);
  DeleteFileW(path.c_str());
}

TEST(PanelPreview, TwoThreadsBesideAnOpenViewerKeepResourcesFlat) {
  Plugin& p = ThePlugin();
  auto defaults = p.Get<DefaultsFn>("ListSetDefaultParams");
  auto load = p.Get<LoadFn>("ListLoad");
  auto close = p.Get<CloseFn>("ListCloseWindow");
  ASSERT_TRUE(defaults && load && close);
  struct {
    int32_t size;
    uint32_t low, high;
    char ini[MAX_PATH];
  } params = {int32_t(sizeof params), 1, 2, "lsplugin.ini"};
  defaults(&params);

  Bytes doc = ModernDocument(Png24(256, 256, 11), 0);
  std::wstring path = Write(L"panel-threads.cdr", doc);
  std::string narrow = Narrow(path);
  HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  HWND viewer = load(host, const_cast<char*>(narrow.c_str()), 0);
  ASSERT_NE(viewer, nullptr);
  auto pump = [](DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    MSG m;
    while (int(end - GetTickCount()) > 0) {
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(5);
    }
  };
  std::atomic<int> answered{0}, failed{0};
  auto round = [&](int calls) {
    const int until = answered + 2 * calls;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
      threads.emplace_back([&, calls] {
        for (int i = 0; i < calls; ++i) {
          HBITMAP b = AskW(path, 96 + (i & 31), 96, doc);
          if (b == nullptr) {
            ++failed;
          } else {
            DeleteObject(b);
          }
          ++answered;
        }
      });
    // The viewer's thread goes on handling its messages meanwhile.
    while (answered < until) pump(20);
    for (auto& th : threads) th.join();
  };
  pump(500);
  round(50);  // allocator and GDI tables settle
  const long handles = procstats::CountProcessHandles(), gdi = procstats::CountGdiObjects();
  const size_t priv = procstats::PrivateBytes();
  round(500);
  pump(100);
  EXPECT_EQ(answered, 2 * 550);
  EXPECT_EQ(failed, 0);
  EXPECT_LE(procstats::CountProcessHandles(), handles + 2);
  EXPECT_LE(procstats::CountGdiObjects(), gdi + 2);
  EXPECT_LT(procstats::PrivateBytes(), priv + (size_t(4) << 20));
  EXPECT_TRUE(IsWindow(viewer));
  close(viewer);
  DestroyWindow(host);
  DeleteFileW(path.c_str());
}

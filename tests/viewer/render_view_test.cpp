// The rendered document in the Lister, end to end: the plugin file beside
// 7za.exe and docrender.exe, driven by the host simulator, its window read
// back and compared with docrender's own pictures.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/viewer/viewer_fixture.h"

using namespace viewer_test;

namespace {

// A 32-bit BMP as docrender writes it (bottom-up rows of B, G, R, A).
struct Rendering {
  int w = 0, h = 0;
  std::string data;
  bool Load(const std::string& path) {
    data = ReadFileBytes(path);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    int16_t bits = 0;
    memcpy(&w, &data[18], 4);
    memcpy(&h, &data[22], 4);
    memcpy(&bits, &data[28], 2);
    return w > 0 && h > 0 && bits == 32;
  }
  Rgb At(int x, int y) const {
    uint32_t offset;
    memcpy(&offset, &data[10], 4);
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + offset + (size_t(h - 1 - y) * w + x) * 4;
    return {p[2], p[1], p[0]};
  }
};

// The mean difference per channel between the rendering and the window's
// pixels under it, the rendering's top left at (x0, y0).
double MeanDifference(const Shot& shot, const Rendering& r, int x0, int y0) {
  if (x0 < 0 || y0 < 0 || x0 + r.w > shot.w || y0 + r.h > shot.h) return 255;
  double sum = 0;
  for (int y = 0; y < r.h; ++y)
    for (int x = 0; x < r.w; ++x) {
      const Rgb a = shot.At(x0 + x, y0 + y), b = r.At(x, y);
      sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }
  return sum / (3.0 * r.w * r.h);
}

// The rendering as the fitted view centres it, give or take the rounding of
// the centring: the best of the placements a pixel around the centre.
double FittedDifference(const Shot& shot, const Rendering& r) {
  double best = 255;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      best = std::min(best, MeanDifference(shot, r, (shot.w - r.w) / 2 + dx, (shot.h - r.h) / 2 + dy));
  return best;
}

// Two captures of the same window size.
double ShotDifference(const Shot& a, const Shot& b) {
  if (a.w != b.w || a.h != b.h) return 255;
  double sum = 0;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x) {
      const Rgb p = a.At(x, y), q = b.At(x, y);
      sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
    }
  return sum / (3.0 * a.w * a.h);
}

// The window shows docrender's own pixels, drawn one to one: what differs
// is at most the rounding of a GDI stretch of the same size, so the mean
// stays far below one level. The stored preview blown up differs by many
// levels on the same page (blurred lines, a page frame of other extent).
constexpr double SameRendering = 1.0;
constexpr int kViewerFrame = 1;
constexpr double ClearlyOther = 4.0;

class RenderView : public Viewer {
 protected:
  // docrender's own picture of a page in the viewer's client area, a w x h
  // Lister window less the viewer window's frame.
  Rendering Render(const std::string& doc, int page, int w, int h) {
    w -= 2 * kViewerFrame;
    h -= 2 * kViewerFrame;
    const std::string out = root_ + "expected.bmp";
    DeleteFileW(Wide(out).c_str());
    DWORD code = 99;
    const std::string said =
        RunProgram(Quote(WinPath(DOCRENDER)) + " " + Quote(doc) + " " + Quote(out) + " --size " + std::to_string(w) +
                       "x" + std::to_string(h) + " --page " + std::to_string(page) + " --area content",
                   &code);
    EXPECT_EQ(code, 0u) << said;
    Rendering r;
    EXPECT_TRUE(r.Load(out)) << said;
    return r;
  }
  static Shot Load(const std::string& path) {
    Shot s;
    EXPECT_TRUE(s.Load(path)) << path;
    return s;
  }
};

std::string RealDoc(const char* name) {
  const std::string path = WinPath(REALDOCS_ZIP_DIR) + "\\" + name;
  return Exists(path) ? path : std::string();
}

}  // namespace

TEST_F(RenderView, PreviewFirstThenTheRenderingPagesAndResize) {
  const std::string doc = RealDoc("zip-v15-blocks-4pages.cdr");
  if (doc.empty()) GTEST_SKIP() << "the shared ZIP-era documents are not here";
  const std::string plugin = PluginFolder("render", true);
  const std::string preview = root_ + "preview.bmp", frames = root_ + "frame", page1 = root_ + "page1.bmp",
                    page2 = root_ + "page2.bmp", large = root_ + "large.bmp";
  // The stored preview alone, as the viewer shows it with rendering off.
  Host(plugin, {"resize:1200:900", "open:" + doc + ":2", "wait:1500", "shot:" + preview, "close"});
  renderSetting_ = RenderOn;
  std::string out =
      Host(plugin, {"resize:1200:900", "open:" + doc + ":2", "frames:4000:" + frames, "shot:" + page1, "key:34",
                    "wait:3000", "shot:" + page2, "resize:1600:1200", "wait:3000", "shot:" + large, "close"});

  // The frames as they changed: the empty window, then the pictures.
  std::vector<Shot> shown;
  for (int i = 1; Exists(frames + "-" + std::to_string(i) + ".bmp"); ++i) {
    Shot f = Load(frames + "-" + std::to_string(i) + ".bmp");
    if (f.Count(f.At(f.w / 2, f.h / 2)) < f.w * f.h / 100 * 97) shown.push_back(f);
  }
  ASSERT_GE(shown.size(), 2u) << out;
  const Shot stored = Load(preview), sharp = Load(page1);
  EXPECT_LT(ShotDifference(shown.back(), sharp), SameRendering) << out;
  // The archiver's route may flash "No_Thumb" before its preview, as it
  // always has: the preview is among the pictures before the rendering.
  double first = 255;
  for (size_t i = 0; i + 1 < shown.size(); ++i) first = std::min(first, ShotDifference(shown[i], stored));
  const Rendering expected = Render(doc, 1, 1200, 900);
  std::printf("[ figures  ] first picture vs preview %.3f, rendering vs docrender %.3f, preview vs docrender %.3f\n",
              first, FittedDifference(sharp, expected), FittedDifference(stored, expected));
  // The first picture on screen is the stored preview, the last the rendering.
  EXPECT_LT(first, SameRendering) << out;
  EXPECT_LT(FittedDifference(sharp, expected), SameRendering) << out;
  EXPECT_GT(FittedDifference(stored, expected), ClearlyOther) << out;
  // Page Down shows page 2, rendered.
  const Rendering second = Render(doc, 2, 1200, 900);
  EXPECT_LT(FittedDifference(Load(page2), second), SameRendering) << out;
  EXPECT_GT(FittedDifference(Load(page2), expected), ClearlyOther) << out;
  // After growing, the page is rendered again at the new size.
  EXPECT_LT(FittedDifference(Load(large), Render(doc, 2, 1600, 1200)), SameRendering) << out;
}

namespace {

// The renderer's stand-in in a plugin folder of its own, misbehaving as
// told.
std::string StandInFolder(const std::string& plugin, const char* mode) {
  const std::string dir = plugin.substr(0, plugin.find_last_of('\\') + 1);
  EXPECT_TRUE(CopyFileW(Wide(WinPath(FAKE_RENDERER)).c_str(), Wide(dir + "docrender.exe").c_str(), FALSE));
  WriteFile(dir + "mode.txt", mode);
  return plugin;
}

const Rgb kStandIn{0, 0, 255};  // what the stand-in draws when it behaves

}  // namespace

TEST_F(RenderView, TheSettingDecidesAndARenderingReplacesThePreview) {
  const std::string doc = Document("s.cdr", {{"thumbnail.png", Png(20, 20, kGreen)}});
  const std::string plugin = StandInFolder(PluginFolder("stand-in-ok", true), "ok");
  const std::string shot = root_ + "setting.bmp";
  for (const char* setting : {RenderOff, RenderOn}) {
    renderSetting_ = setting;
    const std::string out =
        Host(plugin, {"resize:400:300", "open:" + doc + ":0", "wait:1500", "shot:" + shot, "close"});
    const Shot s = Load(shot);
    const bool on = setting == RenderOn;
    EXPECT_EQ(s.Count(kGreen), on ? 0 : 20 * 20) << setting << "\n" << out;
    // Centred at its own size: half the box wide, the box high (the box is
    // the viewer's client area, inside its frame).
    EXPECT_GT(s.Count(kStandIn), on ? 196 * 296 : -1) << setting << "\n" << out;
    EXPECT_LE(s.Count(kStandIn), on ? 200 * 300 : 0) << setting << "\n" << out;
  }
}

TEST_F(RenderView, MisbehavingRendererLeavesThePreviewAndNeverHoldsTheHost) {
  const std::string doc = Document("r.cdr", {{"thumbnail.png", Png(20, 20, kGreen)}});
  renderSetting_ = RenderOn;
  for (const char* mode : {"crash", "hang", "flood", "truncated"}) {
    const std::string plugin = StandInFolder(PluginFolder(std::string("stand-in-") + mode, true), mode);
    const std::string shot = root_ + "stand-in.bmp";
    // The Lister thread's timer is served throughout, within the bound the
    // archiver's flood keeps; a machine's stall is told from a block by one
    // more run, as there.
    std::string out;
    int longest = -1;
    for (int attempt = 0; attempt < 2; ++attempt) {
      out = Host(plugin,
                 {"resize:400:300", "open:" + doc + ":0", "wait:1500", "shot:" + shot, "close", "wait:300", "watch"});
      const size_t w = out.find("watch -> longest=");
      longest = -1;
      if (w != std::string::npos) sscanf(out.c_str() + w, "watch -> longest=%dms", &longest);
      std::printf("[ figures  ] renderer %s, run %d: longest wait %d ms\n", mode, attempt + 1, longest);
      if (longest >= 0 && longest <= 100) break;
    }
    EXPECT_GE(longest, 0) << mode << "\n" << out;
    EXPECT_LE(longest, 100) << mode << "\n" << out;
    // The stored preview stays, centred at its own size.
    EXPECT_EQ(Load(shot).Count(kGreen), 20 * 20) << mode << "\n" << out;
    // No renderer outlives its viewer.
    for (int i = 0; i < 50 && CountProcesses("docrender.exe") > 0; ++i) Sleep(100);
    EXPECT_EQ(CountProcesses("docrender.exe"), 0) << mode;
  }
}

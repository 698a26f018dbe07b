#include <gtest/gtest.h>

#include <cstdio>

#include "plugin/list_plug_win.h"
#include "tests/plugin/host.h"
#include "tests/plugin/test_scheme.h"
#include "toolkit/handles.h"
#include "toolkit/window.h"
#include "tools/process_stats.h"

namespace {

struct Figures {
  long handles;
  long windows;
  long gdi;
  long controls;
  size_t priv;
};

Figures Measure() {
  return {procstats::CountProcessHandles(), procstats::CountThreadWindows(), kol::LiveGdiObjects(), kol::LiveControls(),
          procstats::PrivateBytes()};
}

}  // namespace

TEST(Leaks, ThousandLoadReloadCloseCyclesKeepResourcesLevel) {
  test::g_config = test::ViewerConfig();
  hi::THiListPlug plug;
  plug.SetUp();
  plug.SetFactory(&test::TViewerScheme::Create);
  HWND host = test::MakeHost();
  auto cycle = [&](int i) {
    HWND w = reinterpret_cast<HWND>(plug.LoadStep(host, nullptr, "a.cdr", 2));
    ASSERT_NE(w, nullptr) << "cycle " << i;
    EXPECT_EQ(plug.LoadStep(host, w, "b.cdr", 0), 0);
    PostKey(w, 'N');
    plug.CloseStep(w);
    test::g_log.clear();
    test::HostKeys().clear();
  };
  // Warm-up: first-use allocations of the system and the runtime.
  for (int i = 0; i < 20; ++i) cycle(i);
  Pump();
  Figures before = Measure();
  ASSERT_GT(before.handles, 0);
  for (int i = 0; i < 1000; ++i) {
    cycle(i);
    if (HasFatalFailure()) return;
  }
  // A failed first load takes the same way out.
  test::g_config.failLoad = true;
  for (int i = 0; i < 50; ++i) EXPECT_EQ(plug.LoadStep(host, nullptr, "x.cdr", 0), 0);
  test::g_config.failLoad = false;
  Pump();
  Figures after = Measure();
  std::printf(
      "leak figures over 1000 cycles: handles %ld -> %ld, windows %ld -> %ld, gdi %ld -> %ld, "
      "controls %ld -> %ld, private %zu KB -> %zu KB\n",
      before.handles, after.handles, before.windows, after.windows, before.gdi, after.gdi, before.controls,
      after.controls, before.priv / 1024, after.priv / 1024);
  RecordProperty("handles_delta", static_cast<int>(after.handles - before.handles));
  RecordProperty("private_kb_delta", static_cast<int>((static_cast<long long>(after.priv) - before.priv) / 1024));
  EXPECT_LE(after.handles, before.handles + 4);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(after.gdi, before.gdi);
  EXPECT_EQ(after.controls, before.controls);
  EXPECT_EQ(test::TViewerScheme::Live, 0);
  // One cycle makes and frees several kilobytes; a leak of even a small
  // record per cycle would show as tens of kilobytes here.
  EXPECT_LE(static_cast<long long>(after.priv), static_cast<long long>(before.priv) + 256 * 1024);
  DestroyWindow(host);
  hi::ViewerContainer = nullptr;
}

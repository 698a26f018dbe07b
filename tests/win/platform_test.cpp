#include "toolkit/platform.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "framework/exception.h"
#include "toolkit/handles.h"

namespace {

struct Box {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
};
std::vector<Box> g_boxes;
int Capture(HWND owner, const std::string& text, const char* caption, UINT flags) {
  g_boxes.push_back({owner, text, caption ? caption : "<none>", flags});
  return IDOK;
}

struct CaptureBoxes {
  kol::MessageBoxProc old;
  CaptureBoxes() : old(kol::SetMessageBoxProc(&Capture)) { g_boxes.clear(); }
  ~CaptureBoxes() { kol::SetMessageBoxProc(old); }
};

}  // namespace

TEST(Platform, FoldersEndWithOneBackslash) {
  for (const std::string& f : {kol::WindowsFolder(), kol::TempFolder(), kol::SystemFolder(), kol::ExeFolder()}) {
    ASSERT_GE(f.size(), 3u) << f;
    EXPECT_EQ(f.back(), '\\') << f;
    EXPECT_NE(f[f.size() - 2], '\\') << f;
    EXPECT_NE(GetFileAttributesA(f.c_str()), INVALID_FILE_ATTRIBUTES) << f;
  }
}

TEST(Platform, LongTempPathComesBackWhole) {
  std::string longDir = kol::TempFolder();
  for (int i = 0; i < 6; ++i) {
    longDir += std::string(40, char('a' + i)) + "\\";
    CreateDirectoryA(longDir.c_str(), nullptr);
  }
  ASSERT_GT(longDir.size(), 261u);
  char old[1024];
  DWORD n = GetEnvironmentVariableA("TMP", old, sizeof old);
  SetEnvironmentVariableA("TMP", longDir.c_str());
  EXPECT_EQ(kol::TempFolder(), longDir);
  SetEnvironmentVariableA("TMP", n ? old : nullptr);
  for (int i = 5; i >= 0; --i) {
    RemoveDirectoryA(longDir.c_str());
    longDir.erase(longDir.size() - 41);
  }
}

TEST(Platform, PathMacros) {
  const std::string win = kol::WindowsFolder();
  EXPECT_EQ(hi::ExpandPathMacros("%windir%\\x.txt"), win + "\\x.txt");  // doubled backslash kept
  EXPECT_EQ(hi::ExpandPathMacros("%tmpdir%a%sysdir%"), kol::TempFolder() + "a" + kol::SystemFolder());
  EXPECT_EQ(hi::ExpandPathMacros("%WINDIR%"), "%WINDIR%");  // case-sensitive
  EXPECT_EQ(hi::ResolveFileName("a.png"), kol::ExeFolder() + "a.png");
  EXPECT_EQ(hi::ResolveFileName("c:a.png"), "c:a.png");
  EXPECT_EQ(hi::ResolveFileName("sub\\a.png"), "sub\\a.png");
  EXPECT_EQ(hi::ResolveFileName("%tmpdir%a.png"), kol::TempFolder() + "a.png");
  // The executable's folder, not this test's module, is what counts.
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string e = exe;
  EXPECT_EQ(kol::ExeFolder(), e.substr(0, e.find_last_of('\\') + 1));
}

TEST(Platform, FontHeight) {
  const int dpi = GetDeviceCaps(kol::WindowDc::ForWindow(nullptr).get(), LOGPIXELSY);
  EXPECT_EQ(hi::FontHeightFromPoints(8), (8 * dpi + 36) / -72);
  EXPECT_LT(hi::FontHeightFromPoints(8), 0);
  EXPECT_EQ(hi::FontHeightFromPoints(0), 36 / -72);
}

TEST(Platform, DebugStringAndGuards) {
  CaptureBoxes capture;
  hi::ShowDebugString("Self destruction is not allowed !!!");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "String-Debug");
  EXPECT_EQ(g_boxes[0].text, "Self destruction is not allowed !!!");
  EXPECT_EQ(g_boxes[0].flags, UINT(MB_OK));

  // An exception never leaves a guarded call: it is reported, the call fails.
  int r = hi::GuardedCall(-1, []() -> int { hi::AssertionFailed("Bitmap width must be > 0", "KOL.pas", 10); });
  EXPECT_EQ(r, -1);
  ASSERT_EQ(g_boxes.size(), 2u);
  const std::string& text = g_boxes[1].text;
  EXPECT_EQ(text.rfind("Exception Exception in module ", 0), 0u) << text;
  EXPECT_NE(text.find(kol::ModulePath(kol::ThisModule())), std::string::npos) << text;
  EXPECT_NE(text.find(".\nBitmap width must be > 0 (KOL.pas, line 10)"), std::string::npos) << text;
  EXPECT_EQ(g_boxes[1].caption, "<none>");
  EXPECT_EQ(g_boxes[1].flags, UINT(MB_ICONERROR | MB_TASKMODAL));

  hi::GuardedRun([] { throw std::bad_alloc(); });
  ASSERT_EQ(g_boxes.size(), 3u);
  EXPECT_NE(g_boxes[2].text.find("Out of memory"), std::string::npos);
  hi::GuardedRun([] { throw std::runtime_error("x"); });
  ASSERT_EQ(g_boxes.size(), 4u);
  EXPECT_EQ(g_boxes[3].text.find("Exception Exception"), std::string::npos);
  EXPECT_EQ(hi::GuardedCall(7, [] { return 3; }), 3);
  EXPECT_EQ(g_boxes.size(), 4u);
}

// The plugin file as a user meets it: dropped into a folder with 7za.exe,
// opened on drawing documents by the host simulator, its pixels read back.
// Paths and command lines are UTF-8 here and go to the wide calls.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/utf.h"
#include "tests/viewer/viewer_fixture.h"
#include "toolkit/handles.h"
#include "tools/process_stats.h"

using namespace viewer_test;

TEST_F(Viewer, PlaceholdersAndThumbnails) {
  const std::string plugin = PluginFolder("plugin", true);
  const std::string png = Png(80, 60, kGreen), bmp = Bmp(80, 60, kBlue);

  // No archiver beside the plugin: "No_7za", and still a window.
  {
    const std::string bare = PluginFolder("bare", false);
    std::string out;
    Shot s = OpenAndShoot(bare, Document("a.cdr", {{"thumbnail.png", png}}), 0, &out);
    EXPECT_EQ(out.find("open:"), 0u);
    EXPECT_EQ(out.find("-> 0 "), std::string::npos) << out;  // ListLoad gave a window
    EXPECT_GT(s.Count(kRed), 50) << "No_7za is shown";
    EXPECT_EQ(s.Count(kGreen), 0);
  }
  // The thumbnail at the top and in a sub-folder.
  for (const char* where : {"thumbnail.png", "metadata\\thumbnails\\thumbnail.png"}) {
    Shot s = OpenAndShoot(plugin, Document("b.cdr", {{where, png}}), 0);
    EXPECT_EQ(s.At(s.w / 2, s.h / 2), kGreen) << where;
    EXPECT_EQ(s.Count(kGreen), 80 * 60) << "centred at its own size";
  }
  // A BMP thumbnail alone; both (the PNG wins); neither ("No_Thumb").
  {
    Shot s = OpenAndShoot(plugin, Document("c.cdr", {{"pics\\thumbnail.bmp", bmp}}), 0);
    EXPECT_EQ(s.At(s.w / 2, s.h / 2), kBlue);
  }
  {
    Shot s = OpenAndShoot(plugin, Document("d.cdr", {{"thumbnail.bmp", bmp}, {"thumbnail.png", png}}), 0);
    EXPECT_EQ(s.At(s.w / 2, s.h / 2), kGreen);
    EXPECT_EQ(s.Count(kBlue), 0);
  }
  {
    Shot s = OpenAndShoot(plugin, Document("e.cdr", {{"content.xml", "<doc/>"}}), 0);
    EXPECT_GT(s.Count(kFrame), 100) << "No_Thumb is shown";
  }
  // Corrupt thumbnails: no crash, the host simulator ends normally.
  OpenAndShoot(plugin, Document("f.cdr", {{"thumbnail.png", png.substr(0, 60) + std::string(100, 'x')}}), 0);
  OpenAndShoot(plugin, Document("g.cdr", {{"thumbnail.bmp", "BM" + std::string(60, '\xff')}}), 0);
}

TEST_F(Viewer, ShowFlagsCommandsAndNextFile) {
  const std::string plugin = PluginFolder("plugin2", true);
  const std::string green = Document("green.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  const std::string blue = Document("blue.cdr", {{"thumbnail.png", Png(80, 60, kBlue)}});

  // Bit 2 of the show flags fits the picture into the window.
  Shot fitted = OpenAndShoot(plugin, green, 2);
  EXPECT_GT(fitted.Count(kGreen), 80 * 60 * 20);
  EXPECT_EQ(fitted.At(fitted.w / 2, fitted.h / 2), kGreen);
  Shot centred = OpenAndShoot(plugin, green, 4);
  EXPECT_EQ(centred.Count(kGreen), 80 * 60);

  // Command 2 switches the style and answers 0; 1, 3 and 4 answer 0 and
  // change nothing; the next file replaces the first one's thumbnail.
  const std::string a = root_ + "s1.bmp", b = root_ + "s2.bmp", c = root_ + "s3.bmp";
  std::string out =
      Host(plugin, {"open:" + green + ":0", "wait:1500", "cmd:2:2", "wait:200", "shot:" + a, "cmd:1:0", "cmd:3:0",
                    "cmd:4:7", "wait:200", "shot:" + b, "next:" + blue + ":2", "wait:1500", "shot:" + c, "close"});
  EXPECT_NE(out.find("cmd:2:2 -> 0"), std::string::npos) << out;
  EXPECT_NE(out.find("cmd:1:0 -> 0"), std::string::npos) << out;
  EXPECT_NE(out.find("cmd:3:0 -> 0"), std::string::npos) << out;
  EXPECT_NE(out.find("cmd:4:7 -> 0"), std::string::npos) << out;
  EXPECT_EQ(out.compare(out.find(" -> ", out.find("next:")), 6, " -> 0\r"), 0) << out;
  Shot sa, sb, sc;
  ASSERT_TRUE(sa.Load(a) && sb.Load(b) && sc.Load(c)) << out;
  EXPECT_GT(sa.Count(kGreen), 80 * 60 * 20);
  EXPECT_EQ(sb.Count(kGreen), sa.Count(kGreen));
  EXPECT_GT(sc.Count(kBlue), 80 * 60 * 20);
  EXPECT_EQ(sc.Count(kGreen), 0);
}

// Show flags 32 (fit larger only) and 128 (dark mode), from ListLoad and
// from command 2, in a 600 x 400 Lister.
TEST_F(Viewer, FitLargerOnlyAndDarkMode) {
  const std::string plugin = PluginFolder("flags", true);
  const std::string small = Document("small.cdr", {{"thumbnail.png", Png(64, 48, kGreen)}});
  const std::string large = Document("large.cdr", {{"thumbnail.png", Png(1000, 800, kBlue)}});
  const std::string none = Document("none.cdr", {{"content.xml", "<doc/>"}});
  std::vector<std::string> steps = {"resize:600:400"}, files;
  auto shoot = [&](const std::string& step) {
    if (!step.empty()) steps.push_back(step);
    steps.push_back("wait:200");
    files.push_back(root_ + "flags" + std::to_string(files.size()) + ".bmp");
    steps.push_back("shot:" + files.back());
  };
  auto open = [&](const std::string& doc, int flags) {
    steps.push_back("open:" + doc + ":" + std::to_string(flags));
    steps.push_back("wait:1500");
    shoot("");
  };
  open(small, 34);        // 0: centred at its own size
  open(large, 34);        // 1: fitted
  open(small, 2);         // 2: enlarged, as before
  shoot("cmd:2:34");      // 3: back to its own size
  open(large, 0);         // 4: centred, cut off
  shoot("cmd:2:34");      // 5: fitted
  open(none, 0);          // 6: No_Thumb centred
  open(none, 34);         // 7: the same
  open(none, 2);          // 8: enlarged
  open(small, 128 | 34);  // 9: dark
  shoot("cmd:2:34");      // 10: light again
  open(none, 128);        // 11: No_Thumb on dark
  steps.push_back("close");
  const std::string out = Host(plugin, steps);
  std::vector<Shot> shots(files.size());
  for (size_t i = 0; i < files.size(); ++i) ASSERT_TRUE(shots[i].Load(files[i])) << i << out;

  auto isFitted = [](const Shot& s) {
    // 1000 x 800 fitted into the client area: its full height, 5:4.
    const int n = s.Count(kBlue), expected = s.h * s.h * 5 / 4;
    return n > expected * 95 / 100 && n < expected * 105 / 100;
  };
  EXPECT_EQ(shots[0].Count(kGreen), 64 * 48) << out;
  EXPECT_EQ(shots[0].At(shots[0].w / 2, shots[0].h / 2), kGreen);
  EXPECT_TRUE(isFitted(shots[1])) << shots[1].Count(kBlue);
  EXPECT_GT(shots[2].Count(kGreen), 64 * 48 * 20);
  EXPECT_EQ(shots[3].Count(kGreen), 64 * 48);
  EXPECT_GT(shots[4].Count(kBlue), shots[4].w * shots[4].h * 9 / 10) << "centred, larger than the window";
  EXPECT_TRUE(isFitted(shots[5])) << shots[5].Count(kBlue);
  const int frame = shots[6].Count(kFrame);
  EXPECT_GT(frame, 100);
  EXPECT_EQ(shots[7].Count(kFrame), frame) << "the placeholder is not enlarged";
  EXPECT_GT(shots[8].Count(kFrame), frame * 20);

  auto dark = [](Rgb c) { return c.r < 64 && c.g < 64 && c.b < 64; };
  auto light = [](Rgb c) { return c.r > 128 && c.g > 128 && c.b > 128; };
  for (const Shot* s : {&shots[9], &shots[11]}) {
    for (auto [x, y] : {std::pair{5, 5}, std::pair{s->w - 6, 5}, std::pair{5, s->h - 6}, std::pair{s->w - 6, s->h - 6},
                        std::pair{s->w / 2, 20}})
      EXPECT_TRUE(dark(s->At(x, y))) << x << "," << y;
  }
  EXPECT_EQ(shots[9].Count(kGreen), 64 * 48);
  EXPECT_TRUE(light(shots[10].At(5, 5)));
  EXPECT_TRUE(light(shots[10].At(shots[10].w - 6, shots[10].h - 6)));
  // The dark artwork: the frame on a dark ground, none of the light ground.
  EXPECT_EQ(shots[11].Count(kFrame), frame);
  EXPECT_EQ(shots[11].Count(Rgb{236, 233, 216}), 0);
  EXPECT_GT(shots[6].Count(Rgb{236, 233, 216}), 100);
}

namespace {

// Sets Wine's screen resolution (its LogPixels setting) for the programs
// started from now on; 0 removes the setting again.
void SetLogPixels(DWORD dpi) {
  const char* keys[] = {"Control Panel\\Desktop",
                        "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"};
  const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
  for (int i = 0; i < 2; ++i) {
    HKEY key;
    if (RegCreateKeyExA(roots[i], keys[i], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
      continue;
    if (dpi)
      RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    else
      RegDeleteValueA(key, "LogPixels");
    RegCloseKey(key);
  }
}

// Width and height of what differs from the background (the colour at 8, 8).
std::pair<int, int> DrawnExtent(const Shot& s) {
  const Rgb back = s.At(8, 8);
  int left = s.w, right = -1, top = s.h, bottom = -1;
  for (int y = 4; y < s.h - 4; ++y)
    for (int x = 4; x < s.w - 4; ++x)
      if (!(s.At(x, y) == back)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  return {right - left + 1, bottom - top + 1};
}

}  // namespace

// The placeholders and the viewer's font are drawn for the screen's
// resolution: at 192 dots per inch twice the size of 96, the placeholders
// from their 200 % artwork.
TEST_F(Viewer, PlaceholdersAndFontFollowTheDpi) {
  const std::string bare = PluginFolder("dpi", false);
  const std::string doc = Document("dpi.cdr", {{"thumbnail.png", Png(20, 20, kGreen)}});
  auto fontHeight = [&] {
    const std::string out = Host(bare, {"open:" + doc + ":0", "font", "close"});
    const size_t at = out.find("font -> height=");
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 15);
  };
  Shot at96 = OpenAndShoot(bare, doc, 0);
  const int font96 = fontHeight();
  SetLogPixels(192);
  Shot at192 = OpenAndShoot(bare, doc, 0);
  Shot fitted = OpenAndShoot(bare, doc, 2 | 32);
  const int font192 = fontHeight();
  SetLogPixels(0);
  // The form's 8 points: 10.7 pixels at 96, 21.3 at 192.
  EXPECT_EQ(font96, -11);
  EXPECT_EQ(font192, -21);
  const auto small = DrawnExtent(at96), large = DrawnExtent(at192);
  std::printf("[ figures  ] No_7za drawn %dx%d at 96 DPI, %dx%d at 192 DPI\n", small.first, small.second, large.first,
              large.second);
  EXPECT_NEAR(small.first, 50, 1);
  EXPECT_NEAR(small.second, 50, 1);
  EXPECT_NEAR(large.first, 2 * small.first, 1);
  EXPECT_NEAR(large.second, 2 * small.second, 1);
  EXPECT_EQ(DrawnExtent(fitted), large) << "fit larger only keeps the scaled size";
}

TEST_F(Viewer, TwoViewersAtOnceAndNextWithoutThumbnail) {
  const std::string plugin = PluginFolder("plugin5", true);
  const std::string green = Document("two-a.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  const std::string blue = Document("two-b.cdr", {{"thumbnail.bmp", Bmp(80, 60, kBlue)}});
  const std::string none = Document("two-c.cdr", {{"content.xml", "<doc/>"}});
  const std::string a = root_ + "t1.bmp", b = root_ + "t2.bmp", c = root_ + "t3.bmp";
  // Two Lister windows of one host, each with its own viewer; then the
  // first moves on to a document without a thumbnail, which must not find
  // the one extracted before.
  std::string out = Host(plugin, {"open:" + green + ":0", "wait:1500", "lister:1", "open:" + blue + ":0", "wait:1500",
                                  "shot:" + b, "lister:0", "shot:" + a, "next:" + none + ":0", "wait:1500", "shot:" + c,
                                  "lister:1", "close", "lister:0", "close"});
  Shot sa, sb, sc;
  ASSERT_TRUE(sa.Load(a) && sb.Load(b) && sc.Load(c)) << out;
  EXPECT_EQ(sa.Count(kGreen), 80 * 60) << out;
  EXPECT_EQ(sa.Count(kBlue), 0);
  EXPECT_EQ(sb.Count(kBlue), 80 * 60) << out;
  EXPECT_EQ(sb.Count(kGreen), 0);
  EXPECT_EQ(sc.Count(kGreen), 0) << out;
  EXPECT_GT(sc.Count(kFrame), 100) << "No_Thumb is shown";
}

TEST_F(Viewer, AwkwardFolderAndFileNames) {
  // Spaces in the plugin folder, spaces, per cent signs and an accented
  // letter of the ANSI code page in document names.
  const std::string plugin = PluginFolder("Program Files x86", true);
  const std::string png = Png(40, 30, kGreen);
  for (const char* name : {"my drawing.cdr", "50%2off.cdr", "a%3.cdr", "x%4.cdr", "caf\xc3\xa9.cdr"}) {
    Shot s = OpenAndShoot(plugin, Document(name, {{"thumbnail.png", png}}), 0);
    EXPECT_EQ(s.Count(kGreen), 40 * 30) << name;
  }
}

TEST_F(Viewer, NamesOfEveryScriptOnTheWideAndTheAnsiPath) {
  const Rgb magenta{200, 0, 200}, cyan{0, 200, 200}, yellow{230, 230, 0};
  // The plugin, the temporary folder and the documents all in folders named
  // in several scripts, with a character beyond the first 65536 (a
  // surrogate pair in UTF-16), per cent signs and spaces.
  const std::string plugin = PluginFolder("плагин Πρόσθετο 插件 🎨", true);
  const std::string temp = root_ + "темп τεμπ 一時 %é\\";
  MakeFolder(temp);
  const std::string folder = "Документы Έγγραφα 書類 🎨 50% é\\";
  MakeFolder(root_ + folder);
  const std::string sketch = Document(folder + "эскиз 図面.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  // Matches what an ANSI host makes of the name above: "????? ??.cdr".
  const std::string lookalike = Document(folder + "ｚｚｚｚｚ ｚｚ.cdr", {{"thumbnail.png", Png(80, 60, kBlue)}});
  const std::string greek = Document(folder + "Ελληνικό σχέδιο.cdr", {{"thumbnail.bmp", Bmp(80, 60, magenta)}});
  const std::string emoji = Document(folder + "🎨 palette.cdr", {{"thumbnail.png", Png(80, 60, cyan)}});
  // All of this path fits the ANSI code page (1252 here).
  MakeFolder(root_ + "Entwürfe ñ\\");
  const std::string latin = Document("Entwürfe ñ\\50% off café.cdr", {{"thumbnail.png", Png(80, 60, yellow)}});
  const std::string bare = Document(folder + "пусто.cdr", {{"content.xml", "<doc/>"}});
  const std::string lone = root_ + folder + "\xed\xa0\x80 lone.cdr";  // a lone surrogate on the command line
  std::vector<std::string> shots;
  for (int i = 0; i < 8; ++i) shots.push_back(root_ + "u" + std::to_string(i) + ".bmp");

  wchar_t savedTmp[32768] = {}, savedTemp[32768] = {};
  const DWORD hadTmp = GetEnvironmentVariableW(L"TMP", savedTmp, 32768);
  const DWORD hadTemp = GetEnvironmentVariableW(L"TEMP", savedTemp, 32768);
  SetEnvironmentVariableW(L"TMP", Wide(temp).c_str());
  SetEnvironmentVariableW(L"TEMP", Wide(temp).c_str());
  // The W functions, flipping from document to document; the extracted
  // thumbnails of one are gone when the next comes.
  const std::string wide =
      Host(plugin, {"open:" + sketch + ":0", "wait:1500", "shot:" + shots[0], "next:" + greek + ":0", "wait:1500",
                    "shot:" + shots[1], "next:" + emoji + ":0", "wait:1500", "shot:" + shots[2], "next:" + latin + ":0",
                    "wait:1500", "shot:" + shots[3], "next:" + bare + ":0", "wait:1500", "shot:" + shots[4],
                    "next:" + lone + ":0", "wait:800", "shot:" + shots[5], "close"});
  const bool extractedThere = Exists(temp + "_tc");
  WIN32_FIND_DATAW found;
  const bool left = static_cast<bool>(kol::FindHandle(FindFirstFileW(Wide(temp + "_tc\\thumbnail.*").c_str(), &found)));
  // A host that converts names for an ANSI plugin: the accented Latin path
  // fits the code page, the other one reaches the plugin as "...\\????? ??.cdr".
  const std::string ansi = Host(plugin,
                                {"open:" + latin + ":0", "wait:1500", "shot:" + shots[6], "next:" + sketch + ":0",
                                 "wait:1500", "shot:" + shots[7], "close"},
                                nullptr, true);
  SetEnvironmentVariableW(L"TMP", hadTmp ? savedTmp : nullptr);
  SetEnvironmentVariableW(L"TEMP", hadTemp ? savedTemp : nullptr);

  std::vector<Shot> s(shots.size());
  for (size_t i = 0; i < shots.size(); ++i) ASSERT_TRUE(s[i].Load(shots[i])) << i << "\n" << wide << ansi;
  EXPECT_EQ(s[0].Count(kGreen), 80 * 60) << wide;
  EXPECT_EQ(s[0].Count(kBlue), 0) << "the look-alike";
  EXPECT_EQ(s[1].Count(magenta), 80 * 60) << wide;
  EXPECT_EQ(s[2].Count(cyan), 80 * 60) << wide;
  EXPECT_EQ(s[3].Count(yellow), 80 * 60) << wide;
  EXPECT_GT(s[4].Count(kFrame), 100) << "No_Thumb\n" << wide;
  EXPECT_EQ(s[4].Count(yellow), 0) << "the previous thumbnail was deleted";
  EXPECT_GT(s[5].Count(kFrame), 100) << "a lone surrogate names no file\n" << wide;
  EXPECT_NE(wide.find("close -> ok"), std::string::npos) << wide;
  EXPECT_TRUE(extractedThere) << "extracted into the Unicode temporary folder";
  EXPECT_FALSE(left) << "thumbnails left after close";

  EXPECT_EQ(s[6].Count(yellow), 80 * 60) << ansi;
  EXPECT_GT(s[7].Count(kFrame), 100) << "No_Thumb\n" << ansi;
  EXPECT_EQ(s[7].Count(kBlue), 0) << "never the look-alike's picture";
  EXPECT_EQ(s[7].Count(kGreen), 0);

  // The plugin's folder named so, without the archiver: "No_7za".
  Shot missing = OpenAndShoot(PluginFolder("без архиватора 无", false), sketch, 0);
  EXPECT_GT(missing.Count(kRed), 50);
  EXPECT_EQ(missing.Count(kGreen), 0);
}

TEST_F(Viewer, ClosingMidExtractionLeavesNothingBehind) {
  const std::string plugin = PluginFolder("plugin3", true);
  const std::string green = Document("g2.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  // Closing while the archiver may still run, over and over, then stats.
  std::vector<std::string> steps = {"stats"};
  for (int i = 0; i < 100; ++i) {
    steps.push_back("open:" + green + ":0");
    steps.push_back("close");
  }
  steps.push_back("wait:1500");
  steps.push_back("stats");
  for (int i = 0; i < 100; ++i) {
    steps.push_back("open:" + green + ":0");
    steps.push_back("close");
  }
  steps.push_back("wait:1500");
  steps.push_back("stats");
  steps.push_back("watch");
  std::string out = Host(plugin, steps);
  auto stats = [&](size_t from) {
    size_t p = out.find("stats -> ", from);
    int h = 0, w = 0, kb = 0, gdi = 0, threads = 0;
    if (p != std::string::npos)
      sscanf(out.c_str() + p, "stats -> handles=%d windows=%d private=%d gdi=%d threads=%d", &h, &w, &kb, &gdi,
             &threads);
    return std::vector<int>{h, w, kb, gdi, threads, int(p)};
  };
  std::vector<int> s0 = stats(0), s1 = stats(size_t(s0[5]) + 1), s2 = stats(size_t(s1[5]) + 1);
  ASSERT_GT(s2[0], 0) << out;
  ASSERT_GT(s2[3], 0) << out;
  ASSERT_GT(s2[4], 0) << out;
  std::printf(
      "[ figures  ] handles %d/%d/%d windows %d/%d/%d private KB %d/%d/%d GDI objects %d/%d/%d "
      "threads %d/%d/%d (start, 100, 200 cycles)\n",
      s0[0], s1[0], s2[0], s0[1], s1[1], s2[1], s0[2], s1[2], s2[2], s0[3], s1[3], s2[3], s0[4], s1[4], s2[4]);
  const size_t w = out.find("watch -> ");
  ASSERT_NE(w, std::string::npos) << out;
  std::printf("[ figures  ] %s", out.substr(w, out.find('\n', w) - w + 1).c_str());
  // After the first round warms every cache up, another round adds nothing
  // beyond a small constant.
  EXPECT_LE(s2[0] - s1[0], 8) << out;
  EXPECT_LE(s2[1] - s1[1], 1) << out;
  EXPECT_LE(s2[2] - s1[2], 2048) << out;
  EXPECT_LE(s2[3] - s1[3], 4) << out;
  // No runner's worker outlives its viewer.
  EXPECT_LE(s2[4], s0[4] + 1) << out;
}

TEST_F(Viewer, HotKeysReachTheHost) {
  const std::string plugin = PluginFolder("plugin4", true);
  const std::string doc = Document("keys.cdr", {{"thumbnail.png", Png(20, 20, kGreen)}});
  std::string out = Host(plugin, {"open:" + doc + ":0", "wait:500", "key:78", "key:78:c", "key:55", "key:56", "close"});
  EXPECT_NE(out.find("key:78 -> 78"), std::string::npos) << out;
  EXPECT_NE(out.find("key:78:c -> none"), std::string::npos) << out;
  EXPECT_NE(out.find("key:55 -> 55"), std::string::npos) << out;
  EXPECT_NE(out.find("key:56 -> none"), std::string::npos) << out;
}

TEST_F(Viewer, MisbehavingArchiverNeverHoldsTheHost) {
  const std::string plugin = PluginFolder("stand-in", true, MISBEHAVING);
  const std::string doc = Document("m.cdr", {{"thumbnail.png", Png(20, 20, kGreen)}});
  ASSERT_EQ(CountProcesses("7za.exe"), 0);
  for (const char* mode : {"hang", "crash", "child", "flood"}) {
    SetEnvironmentVariableA("MISBEHAVE", mode);
    // The Lister thread's timer is served throughout: its longest wait
    // stays within 100 ms. Under Wine on a loaded machine a single wait can
    // pass that once (the process start and the scheduler share it), so a
    // mode that passes it is run once more: a real block comes back, a
    // stall of the machine does not.
    std::string out;
    DWORD code = 99, took = 0;
    int longest = -1, ticks = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const DWORD start = GetTickCount();
      code = 99;
      out = Host(plugin,
                 {"open:" + doc + ":0", "wait:800", "key:78", "next:" + doc + ":0", "wait:800", "close", "wait:300",
                  "watch", "stats"},
                 &code);
      took = GetTickCount() - start;
      const size_t w = out.find("watch -> longest=");
      longest = -1;
      ticks = 0;
      if (w != std::string::npos) sscanf(out.c_str() + w, "watch -> longest=%dms ticks=%d", &longest, &ticks);
      std::printf("[ figures  ] %s, run %d: %s", mode, attempt + 1,
                  w == std::string::npos ? "no watch\n" : out.substr(w, out.find('\n', w) - w + 1).c_str());
      if (longest >= 0 && longest <= 100) break;
      for (int i = 0; i < 50 && CountProcesses("7za.exe") > 0; ++i) Sleep(100);
    }
    EXPECT_EQ(code, 0u) << mode << "\n" << out;
    EXPECT_NE(out.find("key:78 -> 78"), std::string::npos) << mode << "\n" << out;  // still answering
    EXPECT_GE(longest, 0) << mode << "\n" << out;
    EXPECT_LE(longest, 100) << mode << "\n" << out;
    EXPECT_GT(ticks, 100) << mode << "\n" << out;
    // A flood does not pile up in the host's memory.
    int handles = 0, windows = 0, kb = 0;
    const size_t st = out.find("stats -> ");
    if (st != std::string::npos)
      sscanf(out.c_str() + st, "stats -> handles=%d windows=%d private=%d", &handles, &windows, &kb);
    EXPECT_GT(kb, 0) << mode << "\n" << out;
    EXPECT_LT(kb, 200 * 1024) << mode << "\n" << out;
    EXPECT_LT(took, 15000u) << mode;
    // Nothing of the archiver outlives its viewer, not even its own child.
    for (int i = 0; i < 50 && CountProcesses("7za.exe") > 0; ++i) Sleep(100);
    EXPECT_EQ(CountProcesses("7za.exe"), 0) << mode;
  }
  SetEnvironmentVariableA("MISBEHAVE", nullptr);
}

// ---- Documents the viewer reads itself --------------------------------------

namespace {

const Rgb kBandTop{200, 30, 40}, kBandMid{20, 40, 210}, kBandLow{240, 200, 0};

std::string Chunk(const std::string& id, const std::string& data) {
  std::string s = id;
  Le(s, uint32_t(data.size()), 4);
  s += data;
  if (data.size() & 1) s += '\0';
  return s;
}

struct RiffOptions {
  uint32_t clrUsed = 0;
  bool profileFirst = false;  // a colour-profile LIST before DISP
  bool oddSizes = false;      // odd chunks before and after, and an odd DISP
  bool withDisp = true;
  bool damagedDisp = false;
};

// A RIFF drawing whose 8-bit DISP picture (64 x 48) has three bands, drawn
// from table entries 250, 7 and 240: past biClrUsed 236, so only a reader
// that takes the whole table gets the colours right.
std::string RiffDoc(const RiffOptions& o) {
  const int w = 64, h = 48, stride = 64;
  std::string disp;
  Le(disp, 8, 4);
  Le(disp, o.damagedDisp ? 41 : 40, 4);
  Le(disp, w, 4);
  Le(disp, h, 4);
  Le(disp, 1, 2);
  Le(disp, 8, 2);
  Le(disp, 0, 4);
  Le(disp, uint32_t(stride * h), 4);
  Le(disp, 0, 4);
  Le(disp, 0, 4);
  Le(disp, o.clrUsed, 4);
  Le(disp, 0, 4);
  std::string table(1024, '\0');
  auto entry = [&](int i, Rgb c) {
    table[size_t(4 * i)] = char(c.b);
    table[size_t(4 * i + 1)] = char(c.g);
    table[size_t(4 * i + 2)] = char(c.r);
  };
  entry(250, kBandTop);
  entry(7, kBandMid);
  entry(240, kBandLow);
  disp += table;
  if (o.oddSizes) disp += '\x55';  // a stray byte between table and rows
  for (int y = h - 1; y >= 0; --y) disp += std::string(size_t(stride), char(y < 16 ? 250 : y < 32 ? 7 : 240));
  std::string body = "CDRD" + Chunk("vrsn", std::string("\x2c\x01", 2));
  if (o.oddSizes) body += Chunk("odd1", "abc");
  if (o.profileFirst) body += Chunk("LIST", "iccp" + std::string(601, '\x11'));
  if (o.withDisp) body += Chunk("DISP", disp);
  body += Chunk("LIST", "cmpr" + std::string(o.oddSizes ? 33 : 32, '\x22'));
  std::string s = "RIFF";
  Le(s, uint32_t(body.size()), 4);
  return s + body;
}

// Counts the three bands; centred at its own size each band is 64 x 16.
void ExpectBands(const Shot& s, bool fitted, const std::string& what) {
  for (Rgb c : {kBandTop, kBandMid, kBandLow}) {
    if (fitted)
      EXPECT_GT(s.Count(c), 64 * 16 * 40) << what;
    else
      EXPECT_EQ(s.Count(c), 64 * 16) << what;
  }
  // Top band above the middle one, as drawn.
  const int x = s.w / 2;
  int top = -1, mid = -1;
  for (int y = 0; y < s.h; ++y) {
    if (top < 0 && s.At(x, y) == kBandTop) top = y;
    if (mid < 0 && s.At(x, y) == kBandMid) mid = y;
  }
  EXPECT_TRUE(top >= 0 && mid > top) << what;
}

// The preview of a real document as its own DISP chunk says: the picture's
// colours row by row (top row first), found here without the plugin's code.
struct DispPicture {
  int w = 0, h = 0;
  std::vector<Rgb> pixels;
  bool Read(const std::string& doc) {
    for (size_t pos = 12; pos + 8 <= doc.size();) {
      uint32_t size;
      memcpy(&size, &doc[pos + 4], 4);
      if (doc.compare(pos, 4, "DISP") == 0 && pos + 8 + size <= doc.size()) {
        const char* d = doc.data() + pos + 8;
        int32_t height;
        uint16_t bits;
        memcpy(&w, d + 8, 4);
        memcpy(&height, d + 12, 4);
        memcpy(&bits, d + 18, 2);
        if (bits != 8 || w <= 0 || height <= 0) return false;
        h = height;
        const int stride = (w + 3) & ~3;
        const unsigned char* table = reinterpret_cast<const unsigned char*>(d + 44);
        const unsigned char* rows = reinterpret_cast<const unsigned char*>(d + size) - size_t(stride) * h;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const unsigned char* e = table + 4 * rows[size_t(h - 1 - y) * stride + x];
            pixels.push_back({e[2], e[1], e[0]});
          }
        return true;
      }
      pos += 8 + size + (size & 1);
    }
    return false;
  }
  // Where the shot holds the picture at its own size, or -1.
  int MatchesCentred(const Shot& s) const {
    int best = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int x0 = (s.w - w) / 2 + dx, y0 = (s.h - h) / 2 + dy;
        int same = 0;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) same += s.At(x0 + x, y0 + y) == pixels[size_t(y * w + x)];
        best = std::max(best, same);
      }
    return best;
  }
  Rgb Mean() const {
    double r = 0, g = 0, b = 0;
    for (const Rgb& p : pixels) r += p.r, g += p.g, b += p.b;
    const double n = double(pixels.size());
    return {static_cast<unsigned char>(r / n + 0.5), static_cast<unsigned char>(g / n + 0.5),
            static_cast<unsigned char>(b / n + 0.5)};
  }
};

// The mean colour of the shot's square of side `side` at its centre.
Rgb MeanOfCentre(const Shot& s, int side) {
  double r = 0, g = 0, b = 0;
  const int x0 = (s.w - side) / 2, y0 = (s.h - side) / 2;
  for (int y = y0 + 2; y < y0 + side - 2; ++y)
    for (int x = x0 + 2; x < x0 + side - 2; ++x) {
      Rgb p = s.At(x, y);
      r += p.r, g += p.g, b += p.b;
    }
  const double n = double(side - 4) * (side - 4);
  return {static_cast<unsigned char>(r / n + 0.5), static_cast<unsigned char>(g / n + 0.5),
          static_cast<unsigned char>(b / n + 0.5)};
}

int Diff(Rgb a, Rgb b) { return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}); }

}  // namespace

TEST_F(Viewer, RiffPreviewsWithAndWithoutArchiver) {
  std::vector<std::pair<std::string, RiffOptions>> kinds = {{"riff-plain.cdr", {}},
                                                            {"riff-236.cdr", {236}},
                                                            {"riff-profile.cdr", {236, true}},
                                                            {"riff-odd.cdr", {0, true, true}}};
  std::vector<std::string> docs;
  for (const auto& k : kinds) {
    docs.push_back(root_ + k.first);
    WriteFile(docs.back(), RiffDoc(k.second));
  }
  RiffOptions none, damaged;
  none.withDisp = false;
  damaged.damagedDisp = true;
  const std::string noDisp = root_ + "riff-nodisp.cdr", badDisp = root_ + "riff-baddisp.cdr";
  WriteFile(noDisp, RiffDoc(none));
  WriteFile(badDisp, RiffDoc(damaged));

  for (bool archiver : {true, false}) {
    const std::string plugin = PluginFolder(archiver ? "riff7za" : "riffbare", archiver);
    const std::string tag = archiver ? "with 7za: " : "without 7za: ";
    // Open centred, command 2 fits it; every next document centred, then
    // fitted through the show flags of ListLoadNext.
    std::vector<std::string> steps = {"spawns"};
    std::vector<std::pair<std::string, bool>> shots;
    for (size_t i = 0; i < docs.size(); ++i) {
      const std::string c = root_ + "rc" + std::to_string(i) + ".bmp", f = root_ + "rf" + std::to_string(i) + ".bmp";
      steps.push_back((i == 0 ? "open:" : "next:") + docs[i] + ":0");
      steps.insert(steps.end(), {"wait:150", "shot:" + c});
      if (i == 0)
        steps.push_back("cmd:2:2");
      else
        steps.push_back("next:" + docs[i] + ":2");
      steps.insert(steps.end(), {"wait:150", "shot:" + f});
      shots.push_back({c, false});
      shots.push_back({f, true});
    }
    const std::string n1 = root_ + "rn1.bmp", n2 = root_ + "rn2.bmp";
    steps.insert(steps.end(), {"next:" + noDisp + ":0", "wait:150", "shot:" + n1, "next:" + badDisp + ":0", "wait:150",
                               "shot:" + n2, "spawns", "close"});
    std::string out = Host(plugin, steps);
    for (size_t i = 0; i < shots.size(); ++i) {
      Shot s;
      ASSERT_TRUE(s.Load(shots[i].first)) << out;
      ExpectBands(s, shots[i].second, tag + kinds[i / 2].first + (shots[i].second ? " fitted" : " centred"));
      EXPECT_EQ(s.Count(kRed), 0) << tag << "no No_7za";
    }
    for (const std::string& n : {n1, n2}) {
      Shot s;
      ASSERT_TRUE(s.Load(n)) << out;
      EXPECT_GT(s.Count(kFrame), 100) << tag << n << ": No_Thumb is shown";
      EXPECT_EQ(s.Count(kBandMid), 0) << tag << n;
      EXPECT_EQ(s.Count(kRed), 0) << tag << n << ": not No_7za";
    }
    // No archiver runs for a RIFF drawing.
    const size_t last = out.rfind("spawns -> ");
    ASSERT_NE(last, std::string::npos) << out;
    EXPECT_EQ(out.compare(last, 12, "spawns -> 0\r"), 0) << out;
  }
}

TEST_F(Viewer, RiffPreviewAfterZipWhoseArchiverStillRuns) {
  const std::string plugin = PluginFolder("riffafterzip", true);
  const std::string zip = Document("zip-then-riff.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  const std::string riff = root_ + "riff-after.cdr";
  WriteFile(riff, RiffDoc({}));
  const std::string shot = root_ + "ra.bmp";
  std::string out = Host(plugin, {"open:" + zip + ":0", "next:" + riff + ":0", "wait:1500", "shot:" + shot, "close"});
  Shot s;
  ASSERT_TRUE(s.Load(shot)) << out;
  ExpectBands(s, false, "the late archiver of the ZIP document draws nothing");
  EXPECT_EQ(s.Count(kGreen), 0);
  EXPECT_EQ(s.Count(kFrame), 0);
}

TEST_F(Viewer, RealRiffDocuments) {
  const std::string dir = WinPath(REALDOCS_DIR) + "\\";
  const char* names[] = {"riff-v11-96px.cdr", "riff-v11-128px-icc-first.cdr", "riff-v12-96px.cdr",
                         "riff-v12-96px-b.cdr", "riff-v13-96px.cdr"};
  if (GetFileAttributesA((dir + names[0]).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no real documents in " << dir;
  for (bool archiver : {true, false}) {
    const std::string plugin = PluginFolder(archiver ? "real7za" : "realbare", archiver);
    std::vector<std::string> steps;
    for (size_t i = 0; i < 5; ++i) {
      steps.push_back((i == 0 ? "open:" : "next:") + dir + names[i] + ":0");
      steps.insert(steps.end(), {"wait:150", "shot:" + root_ + "real-c" + std::to_string(i) + ".bmp"});
      steps.insert(steps.end(), {"cmd:2:2", "wait:150", "shot:" + root_ + "real-f" + std::to_string(i) + ".bmp"});
    }
    steps.push_back("close");
    std::string out = Host(plugin, steps);
    for (size_t i = 0; i < 5; ++i) {
      DispPicture pic;
      ASSERT_TRUE(pic.Read(ReadFileBytes(dir + names[i]))) << names[i];
      Shot c, f;
      ASSERT_TRUE(c.Load(root_ + "real-c" + std::to_string(i) + ".bmp") &&
                  f.Load(root_ + "real-f" + std::to_string(i) + ".bmp"))
          << out;
      EXPECT_EQ(pic.MatchesCentred(c), pic.w * pic.h) << names[i] << " centred, pixel for pixel";
      // Fitted: the square fills the window's height, in the picture's colours.
      EXPECT_LE(Diff(MeanOfCentre(f, f.h), pic.Mean()), 6) << names[i] << " fitted";
    }
  }
}

// ---- The guard before the archiver ------------------------------------------

namespace {

// A raw deflate stream of `mebibytes` MiB of zeros, made without the zeros:
// one MiB compressed and ended by a full flush (byte-aligned, no reference
// back into it) repeats as often as wanted, and a final empty block closes
// the stream. The CRC-32 of the whole is combined from that of one MiB.
struct Zeros {
  std::string data;
  uint32_t crc = 0;
  uint64_t size = 0;
};
Zeros DeflatedZeros(uint32_t mebibytes) {
  static std::string block;
  static uLong blockCrc = 0;
  const uLong mib = 1u << 20;
  if (block.empty()) {
    std::string zeros(mib, '\0');
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    block.resize(deflateBound(&z, mib) + 64);
    z.next_in = reinterpret_cast<Bytef*>(&zeros[0]);
    z.avail_in = uInt(mib);
    z.next_out = reinterpret_cast<Bytef*>(&block[0]);
    z.avail_out = uInt(block.size());
    deflate(&z, Z_FULL_FLUSH);
    block.resize(block.size() - z.avail_out);
    deflateEnd(&z);
    blockCrc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), uInt(mib));
  }
  Zeros r;
  r.data.reserve(block.size() * mebibytes + 2);
  uLong crc = crc32(0, nullptr, 0);
  for (uint32_t i = 0; i < mebibytes; ++i) {
    r.data += block;
    crc = crc32_combine(crc, blockCrc, z_off_t(mib));
  }
  r.data += std::string("\x03\x00", 2);  // the final, empty, fixed-code block
  r.crc = uint32_t(crc);
  r.size = uint64_t(mebibytes) << 20;
  return r;
}

// A ZIP file of deflated members (name, zeros), headers written by hand so
// that the declared sizes are the real ones of streams never held inflated.
std::string ZipOfZeros(const std::vector<std::pair<std::string, uint32_t>>& members) {
  std::string out, dir;
  for (const auto& m : members) {
    const Zeros z = DeflatedZeros(m.second);
    const uint32_t offset = uint32_t(out.size());
    auto common = [&](std::string& s) {
      Le(s, 20, 2);  // version needed
      Le(s, 0, 2);   // flags
      Le(s, 8, 2);   // deflated
      Le(s, 0, 4);   // time and date
      Le(s, z.crc, 4);
      Le(s, uint32_t(z.data.size()), 4);
      Le(s, uint32_t(z.size), 4);
      Le(s, uint32_t(m.first.size()), 2);
      Le(s, 0, 2);  // extra
    };
    out += "PK\x03\x04";
    common(out);
    out += m.first + z.data;
    dir += "PK\x01\x02";
    Le(dir, 20, 2);  // version made by
    common(dir);
    Le(dir, 0, 2);  // comment
    Le(dir, 0, 2);  // disk
    Le(dir, 0, 2);  // internal attributes
    Le(dir, 0, 4);  // external attributes
    Le(dir, offset, 4);
    dir += m.first;
  }
  const uint32_t dirAt = uint32_t(out.size());
  out += dir + "PK\x05\x06";
  Le(out, 0, 4);
  Le(out, uint32_t(members.size()), 2);
  Le(out, uint32_t(members.size()), 2);
  Le(out, uint32_t(dir.size()), 4);
  Le(out, dirAt, 4);
  Le(out, 0, 2);
  return out;
}

// Bytes of the files in a folder right now.
uint64_t FolderBytes(const std::string& dir) {
  WIN32_FIND_DATAW f;
  kol::FindHandle h(FindFirstFileW(Wide(dir + "\\*").c_str(), &f));
  if (!h) return 0;
  uint64_t n = 0;
  do {
    if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) n += (uint64_t(f.nFileSizeHigh) << 32) | f.nFileSizeLow;
  } while (FindNextFileW(h.get(), &f));
  return n;
}

}  // namespace

TEST_F(Viewer, GuardKeepsZipBombsFromTheArchiver) {
  const std::string plugin = PluginFolder("guard", true);
  const std::string one = root_ + "bomb-one.cdr", twenty = root_ + "bomb-twenty.cdr";
  WriteFile(one, ZipOfZeros({{"content/data.xml", 1}, {"metadata/thumbnails/thumbnail.bmp", 2048}}));
  std::vector<std::pair<std::string, uint32_t>> many;
  for (int i = 0; i < 20; ++i) many.push_back({"part" + std::to_string(i) + "/thumbnail." + std::to_string(i), 200});
  WriteFile(twenty, ZipOfZeros(many));
  const std::string none = Document("guard-none.cdr", {{"content.xml", "<doc/>"}});
  const std::string fine = Document("guard-fine.cdr", {{"thumbnail.png", Png(80, 60, kGreen)}});
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string tc = std::string(tmp) + "_tc";

  // The _tc folder is sampled all the while the documents are open.
  std::atomic<bool> sampling{true};
  std::atomic<uint64_t> most{0};
  std::atomic<int> samples{0};
  std::thread sampler([&] {
    while (sampling) {
      const uint64_t n = FolderBytes(tc);
      if (n > most) most = n;
      ++samples;
      Sleep(10);
    }
  });
  const std::string s1 = root_ + "g1.bmp", s2 = root_ + "g2.bmp", s3 = root_ + "g3.bmp", s4 = root_ + "g4.bmp";
  std::string out =
      Host(plugin, {"spawns", "open:" + one + ":0", "wait:300", "shot:" + s1, "watch", "next:" + twenty + ":0",
                    "wait:300", "shot:" + s2, "watch", "wait:1500", "next:" + none + ":0", "wait:1500", "shot:" + s3,
                    "spawns", "next:" + fine + ":0", "wait:1500", "shot:" + s4, "spawns", "close"});
  sampling = false;
  sampler.join();
  std::printf("[ figures  ] _tc at most %llu bytes over %d samples\n", static_cast<unsigned long long>(most.load()),
              samples.load());
  EXPECT_LE(most.load(), 1u << 20) << out;
  EXPECT_GT(samples.load(), 100);
  // "No_Thumb" within one second: the load step itself held the Lister
  // thread less than that, and the picture is there 300 ms later.
  for (const std::string& shot : {s1, s2, s3}) {
    Shot s;
    ASSERT_TRUE(s.Load(shot)) << out;
    EXPECT_GT(s.Count(kFrame), 100) << shot << ": No_Thumb\n" << out;
  }
  for (size_t at = out.find("watch -> longest="); at != std::string::npos; at = out.find("watch -> longest=", at + 1)) {
    int ms = -1;
    sscanf(out.c_str() + at, "watch -> longest=%dms", &ms);
    EXPECT_GE(ms, 0) << out;
    EXPECT_LT(ms, 1000) << out;
  }
  // No archiver for the bombs nor for the document without a thumbnail; one
  // for the document that has a thumbnail, which shows as before.
  std::vector<int> spawns;
  for (size_t at = out.find("spawns -> "); at != std::string::npos; at = out.find("spawns -> ", at + 1))
    spawns.push_back(atoi(out.c_str() + at + 10));
  ASSERT_EQ(spawns.size(), 3u) << out;
  EXPECT_EQ(spawns[1], 0) << out;
  EXPECT_GE(spawns[2], 1) << out;
  Shot s;
  ASSERT_TRUE(s.Load(s4)) << out;
  EXPECT_EQ(s.Count(kGreen), 80 * 60) << out;
}

namespace {

// The exports, from a plugin file loaded into this program.
struct Exports {
  explicit Exports(HMODULE m) : module(m) {}
  template <class F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  HMODULE module;
  void(__stdcall* defaults)(void*) = Get<void(__stdcall*)(void*)>("ListSetDefaultParams");
  HWND(__stdcall* load)(HWND, char*, int) = Get<HWND(__stdcall*)(HWND, char*, int)>("ListLoad");
  int(__stdcall* next)(HWND, HWND, char*, int) = Get<int(__stdcall*)(HWND, HWND, char*, int)>("ListLoadNext");
  void(__stdcall* close)(HWND) = Get<void(__stdcall*)(HWND)>("ListCloseWindow");
  int(__stdcall* command)(HWND, int, int) = Get<int(__stdcall*)(HWND, int, int)>("ListSendCommand");

  // The defaults record a host passes at load: its size first, the
  // settings file's name (ANSI) at byte 12, the rest zero.
  void SendDefaults(const std::string& ini) {
    unsigned char params[272] = {};
    const int32_t size = sizeof params;
    memcpy(params, &size, sizeof size);
    memcpy(params + 12, ini.c_str(), std::min<size_t>(ini.size(), 259));
    defaults(params);
  }
};

HWND InProcessLister() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "InProcessLister";
  RegisterClassA(&wc);
  return CreateWindowExA(0, wc.lpszClassName, "Lister", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 20, 20, 600,
                         400, nullptr, nullptr, wc.hInstance, nullptr);
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

BOOL CALLBACK CollectWindow(HWND w, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  EnumChildWindows(w, CollectWindow, list);
  return TRUE;
}

// Windows of this thread whose procedure lies in [begin, end).
int WindowsWithProcedureIn(uintptr_t begin, uintptr_t end) {
  std::vector<HWND> all;
  EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&all));
  int n = 0;
  for (HWND w : all) {
    const uintptr_t proc = uintptr_t(GetWindowLongPtrA(w, GWLP_WNDPROC));
    n += proc >= begin && proc < end;
  }
  return n;
}

}  // namespace

// Command 1 copies the document's thumbnail, never a placeholder.
TEST_F(Viewer, CopyPutsTheThumbnailOnTheClipboard) {
  const std::string plugin = PluginFolder("copy", true);
  auto colour = [](int x, int y) {
    return Rgb{(unsigned char)(x * 5), (unsigned char)(y * 7), (unsigned char)(x ^ y)};
  };
  std::string doc = Document("copy.cdr", {{"thumbnail.png", PngOf(41, 30, colour)}});
  std::string none = Document("copy-none.cdr", {{"content.xml", "<doc/>"}});
  HWND host = InProcessLister();
  HMODULE m = LoadLibraryA(plugin.c_str());
  ASSERT_NE(m, nullptr);
  Exports e(m);
  e.SendDefaults(SettingsFile());

  HWND viewer = e.load(host, &doc[0], 0);
  ASSERT_NE(viewer, nullptr);
  int answer = 1;
  for (int i = 0; i < 100 && answer != 0; ++i) {
    PumpFor(50);
    answer = e.command(viewer, 1, 0);
  }
  ASSERT_EQ(answer, 0) << "nothing copied";
  ASSERT_TRUE(OpenClipboard(host));
  HANDLE data = GetClipboardData(CF_DIB);
  ASSERT_NE(data, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(data));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biWidth, 41);
  EXPECT_EQ(header->biHeight, 30);
  ASSERT_EQ(header->biBitCount, 24);
  ASSERT_EQ(header->biCompression, DWORD(BI_RGB));
  const auto* bits = reinterpret_cast<const unsigned char*>(header + 1);
  const int stride = (41 * 3 + 3) & ~3;
  int wrong = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 41; ++x) {
      const unsigned char* p = bits + size_t(29 - y) * stride + x * 3;
      wrong += !(Rgb{p[2], p[1], p[0]} == colour(x, y));
    }
  EXPECT_EQ(wrong, 0);
  GlobalUnlock(data);
  CloseClipboard();

  // A placeholder: nothing to copy.
  e.close(viewer);
  viewer = e.load(host, &none[0], 0);
  ASSERT_NE(viewer, nullptr);
  PumpFor(1500);
  EXPECT_EQ(e.command(viewer, 1, 0), 1);
  e.close(viewer);
  PumpFor(5);
  FreeLibrary(m);
  DestroyWindow(host);
}

// A host that loads and unloads the library for every file: the library
// gives back what it built, and leaves no window behind that would call
// into the unloaded image.
TEST_F(Viewer, UnloadCyclesLeaveNothingBehind) {
  const std::string plugin = PluginFolder("unload", true);
  std::string doc = Document("u.cdr", {{"thumbnail.png", Png(40, 30, kGreen)}});
  HWND host = InProcessLister();
  ASSERT_NE(host, nullptr);
  uintptr_t begin = 0, end = 0;
  auto cycle = [&] {
    HMODULE m = LoadLibraryA(plugin.c_str());
    ASSERT_NE(m, nullptr) << GetLastError();
    MODULEINFO info = {};
    GetModuleInformation(GetCurrentProcess(), m, &info, sizeof info);
    begin = uintptr_t(info.lpBaseOfDll);
    end = begin + info.SizeOfImage;
    Exports e(m);
    e.SendDefaults(SettingsFile());
    HWND viewer = e.load(host, &doc[0], 0);
    ASSERT_NE(viewer, nullptr);
    PumpFor(30);
    e.close(viewer);
    PumpFor(5);
    ASSERT_TRUE(FreeLibrary(m));
  };
  // The library goes once the last archiver's worker has let go of it;
  // measured only then, and really unloaded, so that the window check means
  // something.
  const std::string file = plugin.substr(plugin.find_last_of('\\') + 1);
  auto unloaded = [&] {
    for (int i = 0; i < 100 && GetModuleHandleA(file.c_str()) != nullptr; ++i) Sleep(50);
    return GetModuleHandleA(file.c_str()) == nullptr;
  };
  for (int i = 0; i < 20; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  ASSERT_TRUE(unloaded());
  const size_t before = procstats::PrivateBytes();
  for (int i = 0; i < 200; ++i) ASSERT_NO_FATAL_FAILURE(cycle());
  EXPECT_TRUE(unloaded());
  const size_t after = procstats::PrivateBytes();
  const long long grown = (long long)after - (long long)before;
  std::printf("[ figures  ] private memory %+lld KB over 200 load-unload cycles (%+lld bytes per cycle)\n",
              grown / 1024, grown / 200);
  EXPECT_LE(grown, 256 * 1024);
  EXPECT_EQ(WindowsWithProcedureIn(begin, end), 0);
  DestroyWindow(host);
}

namespace {

double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// How long CreateProcess keeps its caller for the archiver, started as the
// viewer starts it (suspended, in a console of its own); it is killed unrun.
double ArchiverStartMs(const std::string& archiver) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring line = Wide(Quote(archiver) + " i");
  const double start = NowMs();
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NEW_CONSOLE, nullptr,
                      nullptr, &si, &pi))
    return -1;
  const double took = NowMs() - start;
  kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
  return took;
}

}  // namespace

// The host's thread never waits for the archiver's process to start or to
// end. A bare start of 7za.exe here, measured alternately with the calls, is
// what a runner that started or stopped it on the host's thread would add at
// least: ListLoad takes less than half of it over a ListLoad that finds no
// archiver (the same window, no process), ListLoadNext (stopping the
// archiver just started, starting another) and ListCloseWindow (stopping
// that one) take less than half of it. A library unloaded while an archiver
// still starts goes once its worker is through, leaving no process and no
// window behind.
TEST_F(Viewer, HostsThreadNeverWaitsForTheArchiversProcess) {
  const std::string plugin = PluginFolder("no-wait", true);
  const std::string archiver = plugin.substr(0, plugin.find_last_of('\\') + 1) + "7za.exe";
  const std::string parked = archiver + ".off";
  std::string doc = Document("nowait.cdr", {{"thumbnail.png", Png(40, 30, kGreen)}});
  HWND host = InProcessLister();
  ASSERT_NE(host, nullptr);
  HMODULE m = LoadLibraryA(plugin.c_str());
  ASSERT_NE(m, nullptr);
  MODULEINFO info = {};
  GetModuleInformation(GetCurrentProcess(), m, &info, sizeof info);
  const uintptr_t begin = uintptr_t(info.lpBaseOfDll), end = begin + info.SizeOfImage;
  Exports e(m);
  ASSERT_NE(e.next, nullptr);
  e.SendDefaults(SettingsFile());
  std::vector<double> bare, missing, load, next, close;
  for (int i = 0; i < 12; ++i) {
    bare.push_back(ArchiverStartMs(archiver));
    ASSERT_GE(bare.back(), 0) << GetLastError();
    ASSERT_TRUE(MoveFileA(archiver.c_str(), parked.c_str()));
    double t = NowMs();
    HWND viewer = e.load(host, &doc[0], 0);
    missing.push_back(NowMs() - t);
    e.close(viewer);
    ASSERT_TRUE(MoveFileA(parked.c_str(), archiver.c_str()));
    t = NowMs();
    viewer = e.load(host, &doc[0], 0);
    load.push_back(NowMs() - t);
    ASSERT_NE(viewer, nullptr);
    t = NowMs();
    EXPECT_EQ(e.next(host, viewer, &doc[0], 0), 0);
    next.push_back(NowMs() - t);
    t = NowMs();
    e.close(viewer);
    close.push_back(NowMs() - t);
    PumpFor(150);
  }
  const double peer = Median(bare);
  std::printf(
      "[ figures  ] median ms: bare start of 7za.exe %.2f; ListLoad %.2f (%.2f without 7za.exe), "
      "ListLoadNext %.2f, ListCloseWindow %.2f\n",
      peer, Median(load), Median(missing), Median(next), Median(close));
  EXPECT_LT(Median(load) - Median(missing), peer / 2);
  EXPECT_LT(Median(next), peer / 2);
  EXPECT_LT(Median(close), peer / 2);

  HWND viewer = e.load(host, &doc[0], 0);
  ASSERT_NE(viewer, nullptr);
  e.close(viewer);
  ASSERT_TRUE(FreeLibrary(m));
  const std::string file = plugin.substr(plugin.find_last_of('\\') + 1);
  for (int i = 0; i < 100 && (GetModuleHandleA(file.c_str()) != nullptr || CountProcesses("7za.exe") > 0); ++i)
    PumpFor(50);
  EXPECT_EQ(GetModuleHandleA(file.c_str()), nullptr);
  EXPECT_EQ(CountProcesses("7za.exe"), 0);
  EXPECT_EQ(WindowsWithProcedureIn(begin, end), 0);
  DestroyWindow(host);

  // A host that ends right after ListLoad, its archiver still starting,
  // leaves none behind either.
  for (int i = 0; i < 4; ++i) Host(plugin, {"open:" + doc + ":0"});
  for (int i = 0; i < 100 && CountProcesses("7za.exe") > 0; ++i) Sleep(50);
  EXPECT_EQ(CountProcesses("7za.exe"), 0);
}

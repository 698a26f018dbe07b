// Runs the real listerhost.exe on the test plugin file, as scripts do, and
// reads what it prints; the step parser is also checked on its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "toolkit/handles.h"
#include "tools/listerhost_steps.h"

using listerhost::ParseStep;
using listerhost::Step;
using listerhost::StepKind;
using listerhost::WindowsPath;

namespace {

struct Outcome {
  DWORD exitCode = 0xFFFFFFFF;
  std::vector<std::string> lines;
  std::string Text() const {
    std::string t;
    for (const std::string& l : lines) t += l + "\n";
    return t;
  }
};

std::string Quote(const std::string& arg) { return "\"" + arg + "\""; }

// Starts listerhost with the arguments, collects its standard output and
// waits for it to end (60 s at most: a hanging host is a failure).
Outcome RunHost(const std::vector<std::string>& args) {
  Outcome out;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readRaw = nullptr, writeRaw = nullptr;
  if (!CreatePipe(&readRaw, &writeRaw, &sa, 0)) return out;
  kol::KernelHandle readOwner(readRaw), writeEnd(writeRaw);
  const HANDLE readEnd = readRaw;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::string command = Quote(WindowsPath(LISTERHOST_EXE));
  for (const std::string& a : args) command += " " + Quote(a);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  writeEnd.reset();
  if (!started) {
    ADD_FAILURE() << "cannot start " << command;
    return out;
  }
  kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
  std::string text;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  for (;;) {
    DWORD avail = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
      char buf[4096];
      DWORD got = 0;
      if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0) break;
      text.append(buf, got);
    }
    if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
      DWORD got = 0;
      char buf[4096];
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
             ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0)
        text.append(buf, got);
      break;
    }
    if (GetTickCount64() > deadline) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
      ADD_FAILURE() << "listerhost did not end: " << command;
      break;
    }
  }
  GetExitCodeProcess(pi.hProcess, &out.exitCode);
  std::istringstream lines(text);
  std::string l;
  while (std::getline(lines, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.lines.push_back(l);
  }
  return out;
}

// The result part of "STEP -> RESULT" for the line of step `step`.
std::string ResultOf(const Outcome& o, const std::string& step) {
  for (const std::string& l : o.lines)
    if (l.compare(0, step.size() + 4, step + " -> ") == 0) return l.substr(step.size() + 4);
  return "<missing>";
}

// A scratch folder with the documents the tests feed to the host.
class Files {
 public:
  Files() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "listerhost_test_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  ~Files() {
    for (const std::string& f : made_) DeleteFileA(f.c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  // A file holding the start of a ZIP archive: a local header signature.
  std::string Zip(const std::string& name) { return Make(name, std::string("PK\x03\x04\x14\0\0\0\x08\0", 10)); }
  std::string Riff(const std::string& name, const std::string& form) {
    return Make(name, std::string("RIFF\x0c\0\0\0", 8) + form + std::string("vrsn\x02\0\0\0\x2c\x01", 10));
  }
  std::string Make(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "\\" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    made_.push_back(path);
    return path;
  }
  std::string Path(const std::string& name) {
    made_.push_back(dir_ + "\\" + name);
    return made_.back();
  }

 private:
  std::string dir_;
  std::vector<std::string> made_;
};

struct Bitmap {
  int width = 0, height = 0, bits = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first
};

// Reads a 24-bit BMP as listerhost writes it; width 0 when it is not one.
Bitmap ReadBmp(const std::string& path) {
  Bitmap b;
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return b;
  auto u32 = [&](size_t at) {
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
  };
  const uint32_t offset = u32(10);
  const int32_t w = int32_t(u32(18)), h = int32_t(u32(22));
  b.bits = f[28] | f[29] << 8;
  if (b.bits != 24 || w <= 0 || h <= 0) return b;
  const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  if (u32(2) != f.size() || offset + stride * size_t(h) != f.size()) return b;
  b.width = w;
  b.height = h;
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = &f[offset + stride * size_t(h - 1 - y)];
    for (int x = 0; x < w; ++x)
      b.pixels.push_back(uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x]);
  }
  return b;
}

uint32_t Rgb(COLORREF c) { return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

size_t CountColour(const Bitmap& b, uint32_t rgb) {
  size_t n = 0;
  for (uint32_t p : b.pixels) n += p == rgb;
  return n;
}

}  // namespace

TEST(ListerHostSteps, StepNamesFieldsAndColonsInFileNames) {
  Step s;
  std::string error;
  ASSERT_TRUE(ParseStep("open:C:\\x\\a.cdr:4", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::open);
  EXPECT_EQ(s.file, "C:\\x\\a.cdr");
  EXPECT_TRUE(s.hasFlags);
  EXPECT_EQ(s.flags, 4u);
  ASSERT_TRUE(ParseStep("open:C:\\x\\a.cdr", s, error)) << error;
  EXPECT_EQ(s.file, "C:\\x\\a.cdr");
  EXPECT_FALSE(s.hasFlags);
  EXPECT_EQ(s.flags, 0u);
  // Only a number after the last colon is the flags field.
  ASSERT_TRUE(ParseStep("next:C:\\x\\b:c.cdr", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::next);
  EXPECT_EQ(s.file, "C:\\x\\b:c.cdr");
  EXPECT_FALSE(s.hasFlags);
  ASSERT_TRUE(ParseStep("next:/tmp/a:1.cdr:18", s, error)) << error;
  EXPECT_EQ(s.file, "/tmp/a:1.cdr");
  EXPECT_EQ(s.flags, 18u);
  ASSERT_TRUE(ParseStep("open:C:\\x\\a.cdr:-4", s, error)) << error;
  EXPECT_EQ(s.file, "C:\\x\\a.cdr:-4");
  EXPECT_FALSE(s.hasFlags);
  EXPECT_FALSE(ParseStep("open:", s, error));
  EXPECT_FALSE(ParseStep("open::2", s, error));
  EXPECT_FALSE(ParseStep("open:a.cdr:99999999999", s, error));

  ASSERT_TRUE(ParseStep("detect:C:\\a:b.cdr", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::detect);
  EXPECT_EQ(s.file, "C:\\a:b.cdr");
  ASSERT_TRUE(ParseStep("shot:C:\\out.bmp", s, error)) << error;
  EXPECT_EQ(s.file, "C:\\out.bmp");
  EXPECT_FALSE(ParseStep("detect:", s, error));
  ASSERT_TRUE(ParseStep("spawns", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::spawns);
  EXPECT_FALSE(ParseStep("spawns:1", s, error));
  ASSERT_TRUE(ParseStep("font", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::font);

  ASSERT_TRUE(ParseStep("cmd:4:50", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::cmd);
  EXPECT_EQ(s.first, 4);
  EXPECT_EQ(s.second, 50);
  ASSERT_TRUE(ParseStep("cmd:2:-1", s, error)) << error;
  EXPECT_EQ(s.second, -1);
  EXPECT_FALSE(ParseStep("cmd:2", s, error));
  EXPECT_FALSE(ParseStep("cmd:2:x", s, error));

  ASSERT_TRUE(ParseStep("key:78", s, error)) << error;
  EXPECT_EQ(s.first, 78);
  EXPECT_FALSE(s.shift || s.ctrl || s.alt);
  ASSERT_TRUE(ParseStep("key:78:as", s, error)) << error;
  EXPECT_TRUE(s.shift && s.alt && !s.ctrl);
  ASSERT_TRUE(ParseStep("key:9:sca", s, error)) << error;
  EXPECT_TRUE(s.shift && s.ctrl && s.alt);
  EXPECT_FALSE(ParseStep("key:78:cc", s, error));
  EXPECT_FALSE(ParseStep("key:78:x", s, error));
  EXPECT_FALSE(ParseStep("key:78:", s, error));
  EXPECT_FALSE(ParseStep("key:N", s, error));
  EXPECT_FALSE(ParseStep("key:300", s, error));

  ASSERT_TRUE(ParseStep("wait:250", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::wait);
  EXPECT_EQ(s.first, 250);
  EXPECT_FALSE(ParseStep("wait:", s, error));
  ASSERT_TRUE(ParseStep("resize:320:200", s, error)) << error;
  EXPECT_EQ(s.first, 320);
  EXPECT_EQ(s.second, 200);
  EXPECT_FALSE(ParseStep("resize:0:200", s, error));
  EXPECT_TRUE(ParseStep("close", s, error));
  EXPECT_EQ(s.kind, StepKind::close);
  EXPECT_TRUE(ParseStep("stats", s, error));
  EXPECT_EQ(s.kind, StepKind::stats);
  EXPECT_FALSE(ParseStep("close:1", s, error));
  EXPECT_TRUE(ParseStep("watch", s, error));
  EXPECT_EQ(s.kind, StepKind::watch);
  EXPECT_FALSE(ParseStep("watch:5", s, error));
  ASSERT_TRUE(ParseStep("lister:7", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::lister);
  EXPECT_EQ(s.first, 7);
  EXPECT_FALSE(ParseStep("lister:8", s, error));
  EXPECT_FALSE(ParseStep("lister:", s, error));
  EXPECT_FALSE(ParseStep("lister:-1", s, error));
  EXPECT_FALSE(ParseStep("Open:a.cdr", s, error));
  EXPECT_FALSE(ParseStep("", s, error));

  ASSERT_TRUE(ParseStep("preview:C:\\x\\a:b.cdr:128:96:C:\\o.BMP", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::preview);
  EXPECT_EQ(s.file, "C:\\x\\a:b.cdr");
  EXPECT_EQ(s.first, 128);
  EXPECT_EQ(s.second, 96);
  EXPECT_EQ(s.output, "C:\\o.BMP");
  ASSERT_TRUE(ParseStep("preview:/tmp/a.cdr:64:48", s, error)) << error;
  EXPECT_EQ(s.file, "/tmp/a.cdr");
  EXPECT_EQ(s.output, "");
  ASSERT_TRUE(ParseStep("previews:500:C:\\a.cdr:128:128", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::previews);
  EXPECT_EQ(s.calls, 500);
  EXPECT_EQ(s.file, "C:\\a.cdr");
  EXPECT_FALSE(ParseStep("preview:a.cdr:128", s, error));
  EXPECT_FALSE(ParseStep("preview:a.cdr:0:128", s, error));
  EXPECT_FALSE(ParseStep("preview::128:128", s, error));
  EXPECT_FALSE(ParseStep("previews:a.cdr:128:128", s, error));
  EXPECT_FALSE(ParseStep("previews:0:a.cdr:128:128", s, error));

  ASSERT_TRUE(ParseStep("wheel:-120:shift:ctrl", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::wheel);
  EXPECT_EQ(s.first, -120);
  EXPECT_TRUE(s.ctrl && s.shift && !s.alt);
  ASSERT_TRUE(ParseStep("wheel:240", s, error)) << error;
  EXPECT_FALSE(s.ctrl || s.shift);
  for (const char* bad : {"wheel:0", "wheel:40000", "wheel:120:ctrl:ctrl", "wheel:120:alt", "wheel:120:", "wheel"})
    EXPECT_FALSE(ParseStep(bad, s, error)) << bad;
  ASSERT_TRUE(ParseStep("drag:10:20:300:40", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::drag);
  EXPECT_EQ(std::vector<int32_t>({s.first, s.second, s.third, s.fourth}), std::vector<int32_t>({10, 20, 300, 40}));
  for (const char* bad : {"drag:10:20:300", "drag:10:20:300:40:5", "drag:-1:0:0:0", "drag:0:0:0:x"})
    EXPECT_FALSE(ParseStep(bad, s, error)) << bad;
  ASSERT_TRUE(ParseStep("frames:1500:C:\\o\\f", s, error)) << error;
  EXPECT_EQ(s.kind, StepKind::frames);
  EXPECT_EQ(s.first, 1500);
  EXPECT_EQ(s.output, "C:\\o\\f");
  for (const char* bad : {"frames:1500", "frames:1500:", "frames:0:f", "frames:x:f"})
    EXPECT_FALSE(ParseStep(bad, s, error)) << bad;

  // Options come before the plugin file, in any order; the rest stays.
  listerhost::Options options;
  std::vector<std::string> args = {"--ini=/tmp/a:b.ini", "--ansi", "p.wlx", "--ansi"};
  ASSERT_TRUE(listerhost::ParseOptions(args, options, error)) << error;
  EXPECT_TRUE(options.ansi);
  EXPECT_EQ(options.ini, "/tmp/a:b.ini");
  EXPECT_EQ(args, std::vector<std::string>({"p.wlx", "--ansi"}));
  args = {"p.wlx"};
  ASSERT_TRUE(listerhost::ParseOptions(args, options, error)) << error;
  EXPECT_FALSE(options.ansi);
  EXPECT_EQ(options.ini, "");
  for (const char* bad : {"--ini=", "--ini", "--bogus"}) {
    args = {bad, "p.wlx"};
    EXPECT_FALSE(listerhost::ParseOptions(args, options, error)) << bad;
  }

  EXPECT_EQ(WindowsPath("/tmp/a b/c.cdr"), "Z:\\tmp\\a b\\c.cdr");
  EXPECT_EQ(WindowsPath("C:\\x/y"), "C:\\x/y");
  EXPECT_EQ(WindowsPath("rel/x"), "rel/x");
}

TEST(ListerHost, DetectStringOnDocumentsAndOtherFiles) {
  Files files;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {files.Zip("logo.cdr"), "1"},
      {files.Zip("LOGO.CDT"), "1"},
      {files.Zip("fill.pat"), "1"},
      {files.Zip("draw.des"), "1"},
      {files.Zip("archive.zip"), "0"},
      {files.Make("plain.cdr", "not a zip archive"), "0"},
      {files.Make("empty.cdr", ""), "0"},
      {files.Make("short.cdr", "PK\x03"), "0"},
      // RIFF drawings of every version letter and extension; other RIFF forms are not drawings.
      {files.Riff("old.cdr", "CDR9"), "1"},
      {files.Riff("OLD.CDT", "CDRD"), "1"},
      {files.Riff("old.pat", "CDR6"), "1"},
      {files.Riff("old.des", "CDRC"), "1"},
      {files.Riff("sound.cdr", "WAVE"), "0"},
      {files.Riff("old.riff", "CDR9"), "0"},
      {files.Make("cut.cdr", "RIFF\x10\0\0\0CD"), "0"}};
  std::vector<std::string> args = {TEST_PLUGIN_PATH};
  for (const auto& c : cases) args.push_back("detect:" + c.first);
  Outcome o = RunHost(args);
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  ASSERT_EQ(o.lines.size(), cases.size()) << o.Text();
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(o.lines[i], "detect:" + cases[i].first + " -> " + cases[i].second);

  // A file that cannot be read is a bad step, not a refusal.
  o = RunHost({TEST_PLUGIN_PATH, "detect:" + files.Path("missing.cdr"), "stats"});
  EXPECT_EQ(o.exitCode, 2u) << o.Text();
  ASSERT_EQ(o.lines.size(), 1u) << o.Text();
  EXPECT_NE(o.lines[0].find("error"), std::string::npos);
}

TEST(ListerHost, OpenKeysCommandsNextAndClose) {
  Files files;
  const std::string doc = files.Zip("logo.cdr");
  Outcome o =
      RunHost({TEST_PLUGIN_PATH, "open:" + doc + ":2", "key:78", "key:78:c", "key:55", "key:56", "key:27", "key:78:s",
               "key:49:a", "cmd:5:0", "cmd:1:0", "cmd:2:2", "cmd:3:0", "cmd:4:50", "next:" + doc, "key:65", "close"});
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  EXPECT_EQ(o.lines.size(), 16u) << o.Text();
  // The style exactly as the plugin returns it: the load step's child style,
  // made visible by the viewer's show step.
  char style[16];
  std::snprintf(style, sizeof style, "%lX", static_cast<unsigned long>(WS_CHILD | WS_MAXIMIZE | WS_VISIBLE));
  std::smatch m;
  const std::string open = ResultOf(o, "open:" + doc + ":2");
  ASSERT_TRUE(std::regex_match(open, m, std::regex("([0-9A-F]+) style=([0-9A-F]+)"))) << open;
  EXPECT_NE(std::stoull(m[1].str(), nullptr, 16), 0u);
  EXPECT_EQ(m[2].str(), style);
  // Hot keys reach the Lister window; others and modified ones stay in the viewer.
  EXPECT_EQ(ResultOf(o, "key:78"), "78");
  EXPECT_EQ(ResultOf(o, "key:78:c"), "none");
  EXPECT_EQ(ResultOf(o, "key:55"), "55");
  EXPECT_EQ(ResultOf(o, "key:56"), "none");
  EXPECT_EQ(ResultOf(o, "key:27"), "27");
  EXPECT_EQ(ResultOf(o, "key:78:s"), "none");
  EXPECT_EQ(ResultOf(o, "key:49:a"), "none");
  EXPECT_EQ(ResultOf(o, "cmd:5:0"), "0");
  EXPECT_EQ(ResultOf(o, "cmd:1:0"), "1");  // the test scheme reports failure for command 1
  EXPECT_EQ(ResultOf(o, "cmd:2:2"), "0");
  EXPECT_EQ(ResultOf(o, "cmd:3:0"), "0");
  EXPECT_EQ(ResultOf(o, "cmd:4:50"), "0");
  EXPECT_EQ(ResultOf(o, "next:" + doc), "0");
  // After the next load the viewer has the focus again.
  EXPECT_EQ(ResultOf(o, "key:65"), "65");
  EXPECT_EQ(ResultOf(o, "close"), "ok");
}

TEST(ListerHost, FileNamesWithDriveColonsAndFlags) {
  Files files;
  const std::string doc = files.Zip("a.cdr");  // a Windows path, with its drive letter
  const std::regex opened("[0-9A-F]+ style=[0-9A-F]+");
  Outcome o = RunHost({TEST_PLUGIN_PATH, "open:" + doc + ":4", "close", "open:" + doc, "next:" + doc + ":6", "close"});
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  ASSERT_EQ(o.lines.size(), 5u) << o.Text();
  EXPECT_EQ(o.lines[0].compare(0, doc.size() + 11, "open:" + doc + ":4 -> "), 0) << o.lines[0];
  EXPECT_TRUE(std::regex_match(ResultOf(o, "open:" + doc + ":4"), opened)) << o.Text();
  EXPECT_TRUE(std::regex_match(ResultOf(o, "open:" + doc), opened)) << o.Text();
  EXPECT_EQ(ResultOf(o, "next:" + doc + ":6"), "0");
}

TEST(ListerHost, ShotsOfTheClientAreaFollowTheViewerAndTheSize) {
  Files files;
  const std::string doc = files.Zip("logo.cdr");
  const std::string empty = files.Path("empty.bmp"), shown = files.Path("shown.bmp"),
                    resized = files.Path("resized.bmp"), closed = files.Path("closed.bmp");
  Outcome o = RunHost({TEST_PLUGIN_PATH, "shot:" + empty, "open:" + doc, "shot:" + shown, "resize:320:200",
                       "shot:" + resized, "close", "shot:" + closed});
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  EXPECT_EQ(ResultOf(o, "shot:" + shown), shown);
  EXPECT_EQ(ResultOf(o, "resize:320:200"), "ok");

  const uint32_t window = Rgb(GetSysColor(COLOR_WINDOW)), face = Rgb(GetSysColor(COLOR_BTNFACE));
  ASSERT_NE(window, face);
  Bitmap b = ReadBmp(empty);
  EXPECT_EQ(b.width, 640);
  EXPECT_EQ(b.height, 480);
  EXPECT_EQ(CountColour(b, window), b.pixels.size()) << "the bare Lister window";
  // The viewer covers the whole client area with its face colour, before
  // and after the Lister window is resized.
  b = ReadBmp(shown);
  EXPECT_EQ(b.width, 640);
  EXPECT_EQ(b.height, 480);
  EXPECT_EQ(CountColour(b, face), b.pixels.size());
  b = ReadBmp(resized);
  EXPECT_EQ(b.width, 320);
  EXPECT_EQ(b.height, 200);
  EXPECT_EQ(b.bits, 24);
  EXPECT_EQ(CountColour(b, face), b.pixels.size());
  b = ReadBmp(closed);
  EXPECT_EQ(b.width, 320);
  EXPECT_EQ(CountColour(b, window), b.pixels.size()) << "the viewer is gone";
}

// The mouse steps reach the focus window and the viewer window (the test
// plugin's has no child); frames saves only what changed; --ini is taken.
TEST(ListerHost, WheelDragAndFramesReachTheViewer) {
  Files files;
  const std::string doc = files.Zip("logo.cdr"), prefix = files.Path("frame");
  files.Path("frame-1.bmp");
  const std::string frames = "frames:300:" + prefix;
  Outcome o = RunHost({"--ini=" + files.Path("lister.ini"), TEST_PLUGIN_PATH, "wheel:120", "open:" + doc,
                       "wheel:-120:ctrl:shift", "drag:10:10:200:100", frames, "close"});
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  EXPECT_EQ(ResultOf(o, "wheel:120"), "lister");
  EXPECT_EQ(ResultOf(o, "wheel:-120:ctrl:shift"), "viewer");
  EXPECT_EQ(ResultOf(o, "drag:10:10:200:100"), "viewer, 10 messages");
  // The viewer does not change: one frame, then the count of captures.
  std::vector<std::string> lines;
  for (const std::string& l : o.lines)
    if (l.compare(0, frames.size(), frames) == 0) lines.push_back(l.substr(frames.size() + 4));
  ASSERT_EQ(lines.size(), 2u) << o.Text();
  const std::string first = prefix + "-1.bmp at ";
  EXPECT_EQ(lines[0].compare(0, first.size(), first), 0) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[0].substr(first.size()), std::regex("[0-9]+ ms"))) << lines[0];
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[1], m, std::regex("1 frames of ([0-9]+) captures"))) << lines[1];
  EXPECT_GE(std::stoi(m[1]), 5);
  const Bitmap b = ReadBmp(prefix + "-1.bmp");
  EXPECT_EQ(b.width, 640);
  EXPECT_EQ(CountColour(b, Rgb(GetSysColor(COLOR_BTNFACE))), b.pixels.size());

  o = RunHost({"--bogus", TEST_PLUGIN_PATH, "stats"});
  EXPECT_EQ(o.exitCode, 2u) << o.Text();
  EXPECT_TRUE(o.lines.empty()) << o.Text();
}

TEST(ListerHost, StatsCountHandlesWindowsAndMemory) {
  Files files;
  const std::string doc = files.Zip("logo.cdr");
  Outcome o = RunHost({TEST_PLUGIN_PATH, "stats", "open:" + doc, "stats", "close", "stats"});
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  const std::regex form("stats -> handles=([0-9]+) windows=([0-9]+) private=([0-9]+) gdi=([0-9]+) threads=([0-9]+)");
  std::vector<long> handles, windows, privateKb, gdi, threads;
  for (const std::string& l : o.lines) {
    std::smatch m;
    if (!std::regex_match(l, m, form)) continue;
    handles.push_back(std::stol(m[1]));
    windows.push_back(std::stol(m[2]));
    privateKb.push_back(std::stol(m[3]));
    gdi.push_back(std::stol(m[4]));
    threads.push_back(std::stol(m[5]));
  }
  ASSERT_EQ(handles.size(), 3u) << o.Text();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_GT(handles[i], 0);
    EXPECT_GT(privateKb[i], 0);
    EXPECT_GT(gdi[i], 0);  // the stock objects at least
    EXPECT_GT(threads[i], 0);
  }
  // The Lister window alone, then the viewer inside it, then the Lister alone again.
  EXPECT_GE(windows[0], 1);
  EXPECT_EQ(windows[1], windows[0] + 1);
  EXPECT_EQ(windows[2], windows[0]);
}

TEST(ListerHost, PanelPreviewsOnWorkerThreads) {
  Files files;
  const std::string doc = WindowsPath(SAMPLE_DOCUMENT), out = files.Path("preview.bmp");
  const std::string text = files.Make("plain.cdr", "not a document");
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::vector<std::string> steps = {"preview:" + doc + ":128:128:" + out, "preview:" + doc + ":300:300",
                                          "preview:" + text + ":128:128", std::string("preview:") + folder + ":96:96",
                                          "previews:40:" + doc + ":64:64"};
  std::vector<std::string> args = {TEST_PLUGIN_PATH};
  args.insert(args.end(), steps.begin(), steps.end());
  Outcome o = RunHost(args);
  EXPECT_EQ(o.exitCode, 0u) << o.Text();
  // The sample's 256x160 picture fitted inside, or at its own size.
  EXPECT_EQ(ResultOf(o, steps[0]), "128x80 24-bit DIB section");
  EXPECT_EQ(ResultOf(o, steps[1]), "256x160 24-bit DIB section");
  EXPECT_EQ(ResultOf(o, steps[2]), "null");
  EXPECT_EQ(ResultOf(o, steps[3]), "null");
  EXPECT_EQ(ResultOf(o, steps[4]).rfind("80 calls, 0 differing from the first (64x40 24-bit DIB section)", 0), 0u)
      << o.Text();
  Bitmap saved = ReadBmp(out);
  EXPECT_EQ(saved.width, 128);
  EXPECT_EQ(saved.height, 80);
}

TEST(ListerHost, BadStepsAndPluginsEndWithAnError) {
  Files files;
  const std::string doc = files.Zip("logo.cdr");
  // Steps are checked before anything runs.
  Outcome o = RunHost({TEST_PLUGIN_PATH, "detect:" + doc, "bogus"});
  EXPECT_EQ(o.exitCode, 2u);
  ASSERT_EQ(o.lines.size(), 1u) << o.Text();
  EXPECT_EQ(o.lines[0].compare(0, 15, "bogus -> error:"), 0) << o.lines[0];
  // Steps that need a viewer stop the run when there is none.
  for (const char* step : {"cmd:1:0", "next:x.cdr", "close"}) {
    o = RunHost({TEST_PLUGIN_PATH, step, "stats"});
    EXPECT_EQ(o.exitCode, 2u) << step;
    ASSERT_EQ(o.lines.size(), 1u) << o.Text();
    EXPECT_EQ(o.lines[0].compare(0, std::strlen(step) + 10, std::string(step) + " -> error:"), 0) << o.lines[0];
  }
  o = RunHost({files.Path("missing.wlx"), "stats"});
  EXPECT_EQ(o.exitCode, 1u) << o.Text();
  o = RunHost({"C:\\windows\\system32\\kernel32.dll", "stats"});
  EXPECT_EQ(o.exitCode, 1u) << o.Text();
  ASSERT_EQ(o.lines.size(), 1u) << o.Text();
  EXPECT_NE(o.lines[0].find("error"), std::string::npos);
}

TEST(ListerHost, ACrashingPluginIsReportedAndEndsTheRun) {
  Files files;
  const std::string doc = files.Zip("logo.cdr");
  // Inside an export the host called.
  Outcome o = RunHost({CRASH_PLUGIN_PATH, "open:" + doc, "cmd:1:0", "stats"});
  EXPECT_EQ(o.exitCode, 3u) << o.Text();
  ASSERT_EQ(o.lines.size(), 2u) << o.Text();
  EXPECT_TRUE(std::regex_match(ResultOf(o, "open:" + doc), std::regex("[0-9A-F]+ style=[0-9A-F]+"))) << o.Text();
  EXPECT_TRUE(std::regex_match(o.lines[1], std::regex("cmd:1:0 -> crash: exception C0000005 at [0-9A-Fa-fx]+")))
      << o.Text();
  // Inside the viewer's window procedure, while the host pumps messages
  // after the step: the step has answered, then the crash is reported.
  o = RunHost({CRASH_PLUGIN_PATH, "open:" + doc, "cmd:2:0", "stats"});
  EXPECT_EQ(o.exitCode, 3u) << o.Text();
  ASSERT_EQ(o.lines.size(), 3u) << o.Text();
  EXPECT_EQ(o.lines[1], "cmd:2:0 -> 0");
  EXPECT_TRUE(std::regex_match(o.lines[2], std::regex("cmd:2:0 -> crash: exception C0000005 at [0-9A-Fa-fx]+")))
      << o.Text();
}

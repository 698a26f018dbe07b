// The viewer tests' host: a plugin folder as a user makes it, documents made
// by 7za.exe, the host simulator run on them and its shots read back.
// Paths and command lines are UTF-8 here and go to the wide calls.
#pragma once

#include <windows.h>

#include <tlhelp32.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "framework/utf.h"
#include "toolkit/handles.h"

namespace viewer_test {

// Kept lone surrogates included, so that a test can hand the host one.
inline std::wstring Wide(const std::string& utf8) {
  const std::u16string units = hi::Utf16FromUtf8(utf8, hi::LoneSurrogate::Keep);
  return std::wstring(units.begin(), units.end());
}

inline std::string WinPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

struct Rgb {
  unsigned char r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Runs a program and returns what it printed; exitCode gets its exit code.
inline std::string RunProgram(const std::string& commandLine, DWORD* exitCode = nullptr, const std::string& dir = "") {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readRaw = nullptr, writeRaw = nullptr;
  CreatePipe(&readRaw, &writeRaw, &sa, 0);
  kol::KernelHandle readOwner(readRaw), writeEnd(writeRaw);
  const HANDLE readEnd = readRaw;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = Wide(commandLine);
  BOOL ok = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr,
                           dir.empty() ? nullptr : Wide(dir).c_str(), &si, &pi);
  writeEnd.reset();
  std::string out;
  if (ok) {
    kol::KernelHandle process(pi.hProcess), thread(pi.hThread);
    // Read until the program ends, not until the pipe closes: a helper
    // process that Wine starts on the program's behalf may hold it open.
    char buf[4096];
    const DWORD start = GetTickCount();
    for (;;) {
      const bool ended = WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0;
      DWORD avail = 0, n = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
             ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
      if (ended || GetTickCount() - start > 60000) break;
    }
    if (exitCode) GetExitCodeProcess(pi.hProcess, exitCode);
  }
  return out;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  if (FILE* f = _wfopen(Wide(path).c_str(), L"wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

inline bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void MakeFolder(const std::string& path) { CreateDirectoryW(Wide(path).c_str(), nullptr); }

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void Be32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
}

// An RGB picture as a PNG file, pixel (x, y) from colour(x, y).
template <class Colour>
inline std::string PngOf(int w, int h, Colour colour) {
  std::string raw;
  for (int y = 0; y < h; ++y) {
    raw += char(0);
    for (int x = 0; x < w; ++x) {
      const Rgb c = colour(x, y);
      raw += {char(c.r), char(c.g), char(c.b)};
    }
  }
  uLongf n = compressBound(uLong(raw.size()));
  std::string z(n, '\0');
  compress(reinterpret_cast<Bytef*>(&z[0]), &n, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
  z.resize(n);
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string s;
    Be32(s, uint32_t(data.size()));
    std::string body = type + data;
    s += body;
    Be32(s, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    return s;
  };
  std::string ihdr;
  Be32(ihdr, uint32_t(w));
  Be32(ihdr, uint32_t(h));
  ihdr += {char(8), char(2), char(0), char(0), char(0)};
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", z) + chunk("IEND", "");
}

// A solid-colour one.
inline std::string Png(int w, int h, Rgb c) {
  return PngOf(w, h, [c](int, int) { return c; });
}

inline void Le(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
}

// A solid-colour 24-bit BMP file.
inline std::string Bmp(int w, int h, Rgb c) {
  const int stride = (w * 3 + 3) & ~3;
  std::string s = "BM";
  Le(s, uint32_t(54 + stride * h), 4);
  Le(s, 0, 4);
  Le(s, 54, 4);
  Le(s, 40, 4);
  Le(s, uint32_t(w), 4);
  Le(s, uint32_t(h), 4);
  Le(s, 1, 2);
  Le(s, 24, 2);
  for (int i = 0; i < 6; ++i) Le(s, 0, 4);
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) row += {char(c.b), char(c.g), char(c.r)};
    row.resize(size_t(stride), '\0');
    s += row;
  }
  return s;
}

// A picture read back from a 24-bit bottom-up BMP shot.
struct Shot {
  int w = 0, h = 0;
  std::string data;
  bool Load(const std::string& path) {
    data = ReadFileBytes(path);
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    memcpy(&w, &data[18], 4);
    memcpy(&h, &data[22], 4);
    return w > 0 && h > 0;
  }
  Rgb At(int x, int y) const {
    const int stride = (w * 3 + 3) & ~3;
    uint32_t offset;
    memcpy(&offset, &data[10], 4);
    const unsigned char* p =
        reinterpret_cast<const unsigned char*>(data.data()) + offset + size_t(h - 1 - y) * stride + x * 3;
    return {p[2], p[1], p[0]};
  }
  int Count(Rgb c) const {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) n += At(x, y) == c;
    return n;
  }
};

inline const Rgb kGreen{0, 200, 0}, kBlue{0, 0, 230}, kRed{220, 0, 0}, kFrame{150, 100, 50};

class Viewer : public ::testing::Test {
 protected:
  static inline std::string root_;

  static void SetUpTestSuite() {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    root_ = std::string(tmp) + "viewer test " + std::to_string(GetCurrentProcessId()) + "\\";
    MakeFolder(root_);
  }
  static void TearDownTestSuite() {
    std::string cmd = "cmd /c rd /s /q " + Quote(root_);
    RunProgram(cmd);
  }

  // A plugin folder as the user makes it: the plugin file and docrender.exe,
  // and 7za.exe unless the test wants it missing (or wants another program
  // in its place).
  std::string PluginFolder(const std::string& name, bool withArchiver, const std::string& archiver = SEVENZA) {
    std::string dir = root_ + name + "\\";
    MakeFolder(dir);
    const std::string plugin = WinPath(PLUGIN_FILE);
    std::string file = dir + plugin.substr(plugin.find_last_of('\\') + 1);
    EXPECT_TRUE(CopyFileW(Wide(plugin).c_str(), Wide(file).c_str(), FALSE));
    EXPECT_TRUE(CopyFileW(Wide(WinPath(DOCRENDER)).c_str(), Wide(dir + "docrender.exe").c_str(), FALSE));
    if (withArchiver) {
      EXPECT_TRUE(CopyFileW(Wide(WinPath(archiver)).c_str(), Wide(dir + "7za.exe").c_str(), FALSE));
    }
    return file;
  }

  // A ZIP document with the given members (path inside, bytes), made by 7za.
  std::string Document(const std::string& name, const std::vector<std::pair<std::string, std::string>>& members) {
    static int serial = 0;
    std::string staging = root_ + "staging" + std::to_string(++serial) + "\\";
    MakeFolder(staging);
    std::string list;
    for (const auto& m : members) {
      std::string path = staging + m.first;
      for (size_t p = path.find('\\', staging.size()); p != std::string::npos; p = path.find('\\', p + 1))
        MakeFolder(path.substr(0, p));
      WriteFile(path, m.second);
      list += " " + Quote(m.first);
    }
    std::string doc = root_ + name;
    DeleteFileW(Wide(doc).c_str());
    RunProgram(Quote(WinPath(SEVENZA)) + " a -tzip " + Quote(doc) + list, nullptr, staging);
    EXPECT_TRUE(Exists(doc)) << doc;
    return doc;
  }

  // The host's settings file: the viewer tests of the thumbnails run with
  // rendering off, the rendering tests with the setting absent (on).
  static constexpr const char* RenderOff = "render-off.ini";
  static constexpr const char* RenderOn = "render-on.ini";
  std::string renderSetting_ = RenderOff;
  std::string SettingsFile() const {
    const std::string ini = root_ + renderSetting_;
    if (!Exists(ini)) WriteFile(ini, renderSetting_ == RenderOff ? "[cdrthumb]\r\nRender=0\r\n" : "[other]\r\n");
    return ini;
  }

  // Runs the host simulator; returns its output and leaves the shot in shot.
  std::string Host(const std::string& plugin, const std::vector<std::string>& steps, DWORD* code = nullptr,
                   bool ansi = false) {
    std::string cmd =
        Quote(WinPath(LISTERHOST)) + (ansi ? " --ansi " : " ") + Quote("--ini=" + SettingsFile()) + " " + Quote(plugin);
    for (const auto& s : steps) cmd += " " + Quote(s);
    DWORD exitCode = 99;
    std::string out = RunProgram(cmd, &exitCode);
    if (code) *code = exitCode;
    EXPECT_EQ(exitCode, 0u) << out;
    return out;
  }

  // Opens one document, waits for the archiver and captures the Lister.
  Shot OpenAndShoot(const std::string& plugin, const std::string& doc, int flags, std::string* out = nullptr) {
    const std::string shotFile = root_ + "shot.bmp";
    DeleteFileA(shotFile.c_str());
    std::string o =
        Host(plugin, {"open:" + doc + ":" + std::to_string(flags), "wait:1500", "shot:" + shotFile, "close"});
    if (out) *out = o;
    Shot s;
    EXPECT_TRUE(s.Load(shotFile)) << o;
    return s;
  }
};
inline int CountProcesses(const char* exeName) {
  kol::KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return -1;
  PROCESSENTRY32 e = {};
  e.dwSize = sizeof e;
  int n = 0;
  for (BOOL ok = Process32First(snap.get(), &e); ok; ok = Process32Next(snap.get(), &e))
    n += lstrcmpiA(e.szExeFile, exeName) == 0;
  return n;
}

}  // namespace viewer_test

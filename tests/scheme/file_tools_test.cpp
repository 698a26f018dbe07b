#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "scheme/dir.h"
#include "scheme/file_tools.h"
#include "toolkit/files_win.h"
#include "toolkit/handles.h"
#include "toolkit/platform.h"
#include "toolkit/wide.h"

using namespace hi;

namespace {

// A private folder under the temporary folder, removed with its contents.
// Names are UTF-8, made through the wide calls.
class Scratch {
 public:
  Scratch() {
    static int n = 0;
    path_ = kol::TempFolder() + "cdrthumb_files_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++n);
    CreateDirectoryW(kol::Wide(path_).c_str(), nullptr);
  }
  ~Scratch() { Remove(kol::Wide(path_)); }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name, const std::string& text = "x") const {
    std::string full = path_ + "\\" + name;
    if (FILE* f = _wfopen(kol::Wide(full).c_str(), L"wb")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return full;
  }
  std::string Folder(const std::string& name) const {
    std::string full = path_ + "\\" + name;
    CreateDirectoryW(kol::Wide(full).c_str(), nullptr);
    return full;
  }

 private:
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW f;
    // Closed before the folder itself is removed.
    if (kol::FindHandle h{FindFirstFileW((dir + L"\\*").c_str(), &f)}) {
      do {
        std::wstring name = f.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring full = dir + L"\\" + name;
        if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(full);
        } else {
          SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(h.get(), &f));
    }
    RemoveDirectoryW(dir.c_str());
  }
  std::string path_;
};

bool Exists(const std::string& p) { return GetFileAttributesW(kol::Wide(p).c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Sink {
  std::vector<TData> got;
  void doIt(TData& v, uint16_t) { got.push_back(v); }
};

}  // namespace

TEST(Files, FileExistsOnlyForFiles) {
  Scratch s;
  const std::string file = s.File("thumbnail.png");
  EXPECT_TRUE(kol::FileExists(file));
  EXPECT_FALSE(kol::FileExists(s.path()));
  EXPECT_FALSE(kol::FileExists(s.path() + "\\"));
  EXPECT_FALSE(kol::FileExists(s.path() + "\\thumbnail.*"));
  EXPECT_FALSE(kol::FileExists(s.path() + "\\missing.png"));
  EXPECT_FALSE(kol::FileExists(""));
}

TEST(Files, FileListAndDeleteFilesKeepToTheMasksFolderAndToFiles) {
  Scratch s;
  s.File("a.png");
  s.File("b.png");
  s.File("c.txt");
  s.Folder("d.png");
  s.Folder("sub");
  s.File("sub\\e.png");

  std::vector<std::string> found = kol::FindFiles(s.path(), "\\*.png");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{s.path() + "\\a.png", s.path() + "\\b.png"}));
  std::string list = kol::FileList(s.path() + "\\", "*.png");
  EXPECT_TRUE(list == s.path() + "\\a.png;" + s.path() + "\\b.png" ||
              list == s.path() + "\\b.png;" + s.path() + "\\a.png")
      << list;
  EXPECT_EQ(kol::FileList(s.path(), "*.none"), "");

  kol::DeleteFiles(s.path() + "\\*.none");  // matches nothing: deletes nothing
  EXPECT_TRUE(Exists(s.path() + "\\a.png"));
  kol::DeleteFiles(s.path() + "\\*.png");
  EXPECT_FALSE(Exists(s.path() + "\\a.png"));
  EXPECT_FALSE(Exists(s.path() + "\\b.png"));
  EXPECT_TRUE(Exists(s.path() + "\\c.txt"));
  EXPECT_TRUE(Exists(s.path() + "\\d.png"));
  EXPECT_TRUE(Exists(s.path() + "\\sub\\e.png"));
  kol::DeleteFiles("");  // searches nothing
  EXPECT_TRUE(Exists(s.path() + "\\c.txt"));
}

TEST(Files, DeleteFilesStopsAtTheFirstFailure) {
  Scratch s;
  for (int i = 0; i < 5; ++i) s.File("t" + std::to_string(i) + ".tmp");
  // The system's own order decides which files come after the failure.
  std::vector<std::string> order = kol::FindFiles(s.path(), "*.tmp");
  ASSERT_EQ(order.size(), 5u);
  SetFileAttributesA(order[2].c_str(), FILE_ATTRIBUTE_READONLY);
  kol::DeleteFiles(s.path() + "\\*.tmp");
  EXPECT_FALSE(Exists(order[0]));
  EXPECT_FALSE(Exists(order[1]));
  for (size_t i = 2; i < 5; ++i) EXPECT_TRUE(Exists(order[i])) << order[i];
}

TEST(Files, ASemicolonInANameNeverDeletesAnotherFile) {
  Scratch s;
  Scratch cwd;
  s.File("x;y.png");
  const std::string lookalike = s.File("x");       // "folder\x" before the ";"
  const std::string relative = cwd.File("y.png");  // "y.png" after it, in the current folder
  char old[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, old);
  SetCurrentDirectoryA(cwd.path().c_str());
  kol::DeleteFiles(s.path() + "\\*.png");
  SetCurrentDirectoryA(old);
  EXPECT_FALSE(Exists(s.path() + "\\x;y.png"));
  EXPECT_TRUE(Exists(lookalike));
  EXPECT_TRUE(Exists(relative));
}

TEST(Files, NamesOfEveryScriptGoThroughTheWideCalls) {
  Scratch s;
  const std::string dir = s.Folder("\xd0\x94\xd0\xbe\xd0\xba \xce\x88\xce\xb3 \xe6\x9b\xb8 \xf0\x9f\x8e\xa8");
  const std::string sketch = s.File(kol::NamePart(dir) + "\\\xd1\x8d\xd1\x81\xd0\xba\xd0\xb8\xd0\xb7 \xe5\x9b\xb3.png");
  EXPECT_TRUE(kol::FileExists(sketch));
  EXPECT_EQ(kol::FindFiles(dir, "*.png"), std::vector<std::string>{sketch});
  // What a host converting to the ANSI code page makes of that name: a
  // pattern that the system would match, and no file.
  EXPECT_FALSE(kol::FileExists(dir + "\\????? ?.png"));
  kol::DeleteFiles(dir + "\\*.png");
  EXPECT_FALSE(Exists(sketch));

  wchar_t saved[32768] = {};
  const DWORD had = GetEnvironmentVariableW(L"TMP", saved, 32768);
  SetEnvironmentVariableW(L"TMP", kol::Wide(dir).c_str());
  const std::string temp = kol::TempFolder();
  SetEnvironmentVariableW(L"TMP", had ? saved : nullptr);
  EXPECT_EQ(temp, dir + "\\");
}

TEST(Files, TemporaryFolderComesBackWholeWithOneBackslash) {
  THIDir dir;
  TData v;
  dir.TempDir(v, 2);
  ASSERT_EQ(TypeOf(v), data_str);
  const std::string t = v.StrVal;
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t.back(), '\\');
  EXPECT_NE(t[t.size() - 2], '\\');
  EXPECT_TRUE(Exists(t));

  // Longer than the 261 characters of a fixed buffer.
  char saved[32768] = {};
  const DWORD had = GetEnvironmentVariableA("TMP", saved, sizeof saved);
  const std::string longPath = "C:\\" + std::string(150, 'a') + "\\" + std::string(150, 'b');
  SetEnvironmentVariableA("TMP", longPath.c_str());
  const std::string got = kol::TempFolder();
  SetEnvironmentVariableA("TMP", had ? saved : nullptr);
  EXPECT_EQ(got, longPath + "\\");
}

TEST(FileTools, DeleteReportsNullOnlyWhenNoFileIsLeft) {
  InstallDispatchers();
  Scratch s;
  THIFileTools tools;
  tools.NoRecycle = true;
  Sink sink;
  tools.onResult = LinkTo<&Sink::doIt>(&sink);
  const TEventLink del = LinkTo<&THIFileTools::doDelete>(&tools, 2);
  const TEventLink exists = LinkTo<&THIFileTools::doFileExists>(&tools, 3);

  const std::string file = s.File("one.png");
  TData v;
  MakeString(v, file);
  FireEvent(exists, v);
  MakeString(v, s.path() + "\\one.*");
  FireEvent(exists, v);
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(TypeOf(sink.got[0]), data_int);
  EXPECT_EQ(sink.got[0].IntVal, 1);
  EXPECT_EQ(TypeOf(sink.got[1]), data_int);
  EXPECT_EQ(sink.got[1].IntVal, 0);
  sink.got.clear();

  MakeString(v, file);
  FireEvent(del, v);
  EXPECT_FALSE(Exists(file));
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(TypeOf(sink.got[0]), data_null);

  // A file that cannot be deleted: nothing fires.
  const std::string locked = s.File("locked.png");
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  MakeString(v, locked);
  FireEvent(del, v);
  EXPECT_TRUE(Exists(locked));
  EXPECT_EQ(sink.got.size(), 1u);

  // A mask never names a file: it always reports, whatever it left.
  MakeString(v, s.path() + "\\*.png");
  FireEvent(del, v);
  EXPECT_EQ(sink.got.size(), 2u);
  EXPECT_TRUE(Exists(locked));
}

TEST(FileTools, DeleteToTheRecycleBin) {
  InstallDispatchers();
  Scratch s;
  THIFileTools tools;  // NoRecycle false
  Sink sink;
  tools.onResult = LinkTo<&Sink::doIt>(&sink);
  const std::string a = s.File("r1.txt"), b = s.File("r2.txt");
  EXPECT_TRUE(kol::RecycleFiles(a));
  EXPECT_FALSE(Exists(a));
  TData v;
  MakeString(v, b);
  FireEvent(LinkTo<&THIFileTools::doDelete>(&tools, 2), v);
  EXPECT_FALSE(Exists(b));
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(TypeOf(sink.got[0]), data_null);
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scheme/file_part_elm.h"
#include "toolkit/paths.h"

using namespace hi;

TEST(Paths, SplittingUsesColonAndBackslashOnly) {
  EXPECT_EQ(kol::FolderPart("C:\\a\\b.cdr"), "C:\\a\\");
  EXPECT_EQ(kol::NamePart("C:\\a\\b.cdr"), "b.cdr");
  EXPECT_EQ(kol::ExtensionPart("C:\\a\\b.cdr"), ".cdr");
  EXPECT_EQ(kol::NameWithoutExtension("C:\\a\\b.cdr"), "b");
  EXPECT_EQ(kol::NameWithoutExtension("C:\\a.b\\c"), "c");
  EXPECT_EQ(kol::NameWithoutExtension("C:\\a\\b.tar.gz"), "b.tar");
  EXPECT_EQ(kol::FolderPart("C:b.cdr"), "C:");
  EXPECT_EQ(kol::NamePart("C:b.cdr"), "b.cdr");
  // A forward slash belongs to the name.
  EXPECT_EQ(kol::FolderPart("dir/b.cdr"), "");
  EXPECT_EQ(kol::NamePart("dir/b.cdr"), "dir/b.cdr");
  EXPECT_EQ(kol::FolderPart("plain.txt"), "");
  EXPECT_EQ(kol::NamePart("plain.txt"), "plain.txt");
  EXPECT_EQ(kol::ExtensionPart("noext"), "");
  EXPECT_EQ(kol::ExtensionPart("C:\\a.b\\c"), ".b\\c");
  EXPECT_EQ(kol::NameWithoutExtension(".hidden"), "");
  EXPECT_EQ(kol::NameWithoutExtension("C:\\dir\\"), "");
  EXPECT_EQ(kol::FolderPart(""), "");
  EXPECT_EQ(kol::NamePart(""), "");

  EXPECT_EQ(kol::IncludeTrailingChar("", '\\'), "\\");
  EXPECT_EQ(kol::IncludeTrailingChar("C:\\t", '\\'), "C:\\t\\");
  EXPECT_EQ(kol::IncludeTrailingChar("C:\\t\\", '\\'), "C:\\t\\");
}

TEST(Paths, NamesThatNoFileCanHave) {
  // UTF-8 names split on the same bytes: no byte of a multi-byte character
  // is a separator.
  const std::string name = "C:\\\xd1\x8d\xd1\x81\xd0\xba\\\xe5\x9b\xb3 \xf0\x9f\x8e\xa8.cdr";
  EXPECT_EQ(kol::FolderPart(name), "C:\\\xd1\x8d\xd1\x81\xd0\xba\\");
  EXPECT_EQ(kol::NameWithoutExtension(name), "\xe5\x9b\xb3 \xf0\x9f\x8e\xa8");
  EXPECT_FALSE(kol::NamesNoFile(name));
  for (const char* ok :
       {"", "C:\\a b\\50% off;x.cdr", "\\\\server\\share\\a.cdr", "\\\\?\\C:\\long.cdr", "caf\xe9.cdr"})
    EXPECT_FALSE(kol::NamesNoFile(ok)) << ok;
  for (const char* bad : {"C:\\????? ??.cdr", "C:\\*.cdr", "C:\\a\" \"C:\\b.cdr", "C:\\a<b.cdr", "a>b", "a|b", "a\tb",
                          "\\\\?\\C:\\?.cdr", "C:\\x\\\\?\\y"})
    EXPECT_TRUE(kol::NamesNoFile(bad)) << bad;
}

namespace {
struct Sink {
  std::vector<std::string> got;
  void doIt(TData& v, uint16_t) { got.push_back(ToString(v)); }
};
struct Source {
  std::string text;
  void Get(TData& v, uint16_t) { MakeString(v, text); }
};
}  // namespace

TEST(FilePartElm, ModesAndEmptyNames) {
  InstallDispatchers();
  THIFilePartElm folder;
  Sink sink;
  folder.onPart = LinkTo<&Sink::doIt>(&sink);
  TData v;
  MakeString(v, "C:\\Plugins\\cdrthumb.wlx");
  FireEvent(LinkTo<&THIFilePartElm::doPart>(&folder), v);
  ASSERT_EQ(sink.got, std::vector<std::string>{"C:\\Plugins\\"});

  // No separator: Mode 0 fires the empty folder part.
  MakeString(v, "bare.wlx");
  FireEvent(LinkTo<&THIFilePartElm::doPart>(&folder), v);
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(sink.got[1], "");

  THIFilePartElm name;
  name.Mode = 2;
  name.onPart = LinkTo<&Sink::doIt>(&sink);
  Source src{"C:\\Plugins\\cdr.thumb.wlx"};
  name.FileName = LinkTo<&Source::Get>(&src);
  MakeString(v, "ignored");
  FireEvent(LinkTo<&THIFilePartElm::doPart>(&name), v);
  ASSERT_EQ(sink.got.size(), 3u);
  EXPECT_EQ(sink.got[2], "cdr.thumb");
  TData r;
  name.Result(r, 0);
  EXPECT_EQ(r.StrVal, "cdr.thumb");

  // An empty name fires nothing and empties Result.
  src.text.clear();
  MakeNull(v);
  FireEvent(LinkTo<&THIFilePartElm::doPart>(&name), v);
  EXPECT_EQ(sink.got.size(), 3u);
  name.Result(r, 0);
  EXPECT_EQ(TypeOf(r), data_str);
  EXPECT_EQ(r.StrVal, "");
}

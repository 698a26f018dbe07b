#include "framework/text.h"

#include <gtest/gtest.h>

using namespace hi;

TEST(Text, CompareTextAscii) {
  EXPECT_LT(CompareTextAscii("abc", "ABD"), 0);
  EXPECT_EQ(CompareTextAscii("Thumbnail.PNG", "thumbnail.png"), 0);
  EXPECT_GT(CompareTextAscii("abcd", "abc"), 0);
  EXPECT_LT(CompareTextAscii("", "a"), 0);
  // Only A..Z fold: accented letters differing in case compare as bytes.
  EXPECT_NE(CompareTextAscii("\xE9", "\xC9"), 0);
  EXPECT_EQ(CompareTextAscii("\xE9", "\xC9"), 0xE9 - 0xC9);
  // Bytes above 127 compare unsigned.
  EXPECT_GT(CompareTextAscii("\xFF", "a"), 0);
  EXPECT_EQ(CompareTextAscii("[", "{"), '[' - '{');
}

TEST(Text, PosFrom) {
  EXPECT_EQ(PosFrom("b", "abcb", 1), 2);
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4);
  EXPECT_EQ(PosFrom("b", "abcb", 5), 0);
  EXPECT_EQ(PosFrom("", "abc", 2), 0);
  EXPECT_EQ(PosFrom("", "abc", 1), 0);
  EXPECT_EQ(PosFrom("cb", "abcb", 3), 3);
  EXPECT_EQ(PosFrom("x", "", 1), 0);
  EXPECT_EQ(PosFrom("abc", "ab", 1), 0);
}

namespace {
bool OnlyOdd(void*, int position) { return position % 2 == 1; }
}  // namespace

TEST(Text, ReplaceAll) {
  std::string s = "%1 and %1";
  ReplaceAll(s, "%1", "x");
  EXPECT_EQ(s, "x and x");

  // Inserted text is never searched again.
  s = "aa";
  ReplaceAll(s, "a", "aa");
  EXPECT_EQ(s, "aaaa");
  s = "%1";
  ReplaceAll(s, "%1", "%1%1");
  EXPECT_EQ(s, "%1%1");

  s = "xxxx";
  ReplaceAll(s, "x", "Y", &OnlyOdd, nullptr);
  // 1 -> Y (pos 2 next), 2 rejected, 3 -> Y, 4 rejected.
  EXPECT_EQ(s, "YxYx");

  s = "CaSe";
  ReplaceAll(s, "case", "no");
  EXPECT_EQ(s, "CaSe");
  ReplaceAll(s, "", "z");
  EXPECT_EQ(s, "CaSe");
  s = "abab";
  ReplaceAll(s, "ab", "");
  EXPECT_EQ(s, "");
}

TEST(Text, LowerAndFontRec) {
  EXPECT_EQ(LowerAscii("ThUMB\xC9"), "thumb\xC9");
  TFontRec f;
  MakeFontRec("Tahoma", 8, 0, 0, 1, f);
  EXPECT_EQ(f.Name, "Tahoma");
  EXPECT_EQ(f.Size, 8);
  EXPECT_EQ(f.Charset, 1);
}

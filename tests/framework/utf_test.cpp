#include "framework/utf.h"

#include <gtest/gtest.h>

using namespace hi;

TEST(Utf, NamesOfEveryScriptGoBothWaysUnchanged) {
  struct Case {
    std::u16string wide;
    std::string utf8;
  };
  const Case cases[] = {
      {u"C:\\art\\logo.cdr", "C:\\art\\logo.cdr"},
      {u"caf\u00e9 50%.cdr", "caf\xc3\xa9 50%.cdr"},
      {u"\u044d\u0441\u043a\u0438\u0437 \u56f3\u9762.cdr",
       "\xd1\x8d\xd1\x81\xd0\xba\xd0\xb8\xd0\xb7 \xe5\x9b\xb3\xe9\x9d\xa2.cdr"},
      {u"\uff5a\uffff", "\xef\xbd\x9a\xef\xbf\xbf"},
      {u"\U0001F3A8.cdr", "\xf0\x9f\x8e\xa8.cdr"},  // a surrogate pair
      {u"\U0010FFFF", "\xf4\x8f\xbf\xbf"},
      {std::u16string(1, u'\0') + u"x", std::string(1, '\0') + "x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8FromUtf16(c.wide), c.utf8);
    EXPECT_EQ(Utf16FromUtf8(c.utf8), c.wide);
    EXPECT_EQ(Utf8FromUtf16(c.wide, LoneSurrogate::Keep), c.utf8);
  }
}

TEST(Utf, LoneSurrogatesAreReplacedOrKeptExactly) {
  const std::u16string lone[] = {
      {u'a', char16_t(0xD800)},                    // high at the end
      {char16_t(0xDC00), u'b'},                    // low alone
      {char16_t(0xD83C), u'x', char16_t(0xDFA8)},  // high and low apart
      {char16_t(0xDFA8), char16_t(0xD83C)},        // in the wrong order
  };
  const std::string fffd = "\xef\xbf\xbd";
  const std::string replaced[] = {"a" + fffd, fffd + "b", fffd + "x" + fffd, fffd + fffd};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Utf8FromUtf16(lone[i]), replaced[i]) << i;
    const std::string kept = Utf8FromUtf16(lone[i], LoneSurrogate::Keep);
    EXPECT_EQ(Utf16FromUtf8(kept, LoneSurrogate::Keep), lone[i]) << i;
    // Inside the plugin a kept surrogate is not a character.
    EXPECT_NE(Utf16FromUtf8(kept).find(char16_t(0xFFFD)), std::u16string::npos) << i;
  }
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t(0xD800)}, LoneSurrogate::Keep), "\xed\xa0\x80");
}

TEST(Utf, EveryBadByteBecomesOneReplacementCharacter) {
  const std::u16string r(1, char16_t(0xFFFD));
  EXPECT_EQ(Utf16FromUtf8("a\x80z"), u"a" + r + u"z");          // stray continuation byte
  EXPECT_EQ(Utf16FromUtf8("\xc0\xaf"), r + r);                  // overlong '/'
  EXPECT_EQ(Utf16FromUtf8("\xe0\x80\xaf"), r + r + r);          // overlong, three bytes
  EXPECT_EQ(Utf16FromUtf8("\xf0\x8f\xbf\xbf"), r + r + r + r);  // overlong, four bytes
  EXPECT_EQ(Utf16FromUtf8("\xf4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
  EXPECT_EQ(Utf16FromUtf8("\xf5\x80"), r + r);
  EXPECT_EQ(Utf16FromUtf8("\xed\xa0\x80"), r + r + r);                              // an encoded surrogate
  EXPECT_EQ(Utf16FromUtf8("x\xe5\x9b"), u"x" + r + r);                              // cut at the end
  EXPECT_EQ(Utf16FromUtf8(std::string("\xe5") + "a\xe9\x9d\xa2"), r + u"a\u9762");  // cut, then whole again
  EXPECT_EQ(Utf16FromUtf8("\xff\xfe"), r + r);
  EXPECT_EQ(Utf16FromUtf8(""), u"");
  EXPECT_EQ(Utf8FromUtf16(u""), "");
}

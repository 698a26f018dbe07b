#include "tools/detect_expr.h"

#include <gtest/gtest.h>

using namespace listerhost;

namespace {

const char* kDetect =
    "(FORCE|EXT=\"CDR\"|EXT=\"CDT\"|EXT=\"PAT\"|EXT=\"DES\")&(([0]=\"P\" & [1]=\"K\" & [2]=3 & [3]=4)|([0]=\"R\" & "
    "[1]=\"I\" & [2]=\"F\" & [3]=\"F\" & [8]=\"C\" & [9]=\"D\" & [10]=\"R\"))";

DetectSubject File(const std::string& name, std::vector<unsigned char> head) {
  DetectSubject s;
  s.fileName = name;
  s.head = std::move(head);
  s.size = s.head.size();
  return s;
}

const std::vector<unsigned char> kZip = {'P', 'K', 3, 4, 20, 0};
const std::vector<unsigned char> kRiff = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'C', 'D', 'R', 'D'};

bool Match(const std::string& expr, const DetectSubject& s) {
  DetectResult r = EvaluateDetectString(expr, s);
  EXPECT_TRUE(r.ok) << r.error << " in " << expr;
  return r.match;
}

}  // namespace

TEST(DetectString, PluginExpressionOnDocuments) {
  EXPECT_TRUE(Match(kDetect, File("C:\\art\\logo.cdr", kZip)));
  EXPECT_TRUE(Match(kDetect, File("LOGO.CDT", kZip)));
  EXPECT_TRUE(Match(kDetect, File("x.pat", kZip)));
  EXPECT_TRUE(Match(kDetect, File("x.des", kZip)));
  EXPECT_FALSE(Match(kDetect, File("x.zip", kZip)));
  EXPECT_FALSE(Match(kDetect, File("x.cdr", {'R', 'I', 'F', 'F'})));  // cut before the form type
  EXPECT_TRUE(Match(kDetect, File("C:\\old\\logo.cdr", kRiff)));
  EXPECT_TRUE(Match(kDetect, File("x.DES", kRiff)));
  EXPECT_FALSE(Match(kDetect, File("x.zip", kRiff)));
  EXPECT_FALSE(Match(kDetect, File("x.cdr", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'})));
  EXPECT_FALSE(Match(kDetect, File("x.cdr", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'C', 'D'})));
  EXPECT_TRUE(Match(kDetect, File("x.cdr", {'P', 'K', 3, 4, 0, 0, 0, 0, 'C', 'D', 'R'})));
  EXPECT_FALSE(Match(kDetect, File("x.cdr", {})));
  EXPECT_FALSE(Match(kDetect, File("x.cdr", {'P', 'K', 3})));   // short file
  EXPECT_FALSE(Match(kDetect, File("C:\\a.cdr\\file", kZip)));  // the dot is in a folder
  DetectSubject forced = File("x.zip", kZip);
  forced.force = true;
  EXPECT_TRUE(Match(kDetect, forced));
  forced.head = {'M', 'Z'};
  EXPECT_FALSE(Match(kDetect, forced));
}

TEST(DetectString, OperatorsAndPrecedence) {
  DetectSubject s = File("a.txt", {'A', 10});
  EXPECT_TRUE(Match("EXT=\"txt\" | EXT=\"doc\" & [0]=\"Z\"", s));  // & binds tighter
  EXPECT_FALSE(Match("(EXT=\"txt\" | EXT=\"doc\") & [0]=\"Z\"", s));
  // Groups nested inside groups, '|' inside '&' and '&' inside '|'.
  EXPECT_TRUE(Match("EXT=\"txt\" & (([0]=\"Z\") | ([0]=\"A\" & ([1]=9 | [1]=10)))", s));
  EXPECT_FALSE(Match("EXT=\"txt\" & (([0]=\"Z\") | ([0]=\"A\" & ([1]=9 | [1]=11)))", s));
  EXPECT_FALSE(Match("(EXT=\"doc\")&((([0]=\"A\")))", s));
  EXPECT_TRUE(Match("!EXT=\"doc\"", s));
  EXPECT_TRUE(Match("[1]=10 & [1]<11 & [1]>=10 & [0]!=66", s));
  EXPECT_TRUE(Match("SIZE<3 & SIZE>1", s));
  EXPECT_FALSE(Match("[5]=0", s));
  EXPECT_FALSE(Match("[5]!=0", s));  // beyond the end never matches
  EXPECT_FALSE(Match("FORCE", s));
}

TEST(DetectString, MalformedExpressionsAreRejected) {
  DetectSubject s = File("a.cdr", kZip);
  for (const char* bad : {"", "(EXT=\"CDR\"", "EXT=CDR", "[0]=", "[0=\"P\"", "EXT=\"CDR\" &", "FORCE FORCE",
                          "EXT ~ \"x\"", "[0]=\"PK\"", "EXT=\"CDR"}) {
    DetectResult r = EvaluateDetectString(bad, s);
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_FALSE(r.match) << bad;
  }
  EXPECT_EQ(FileExtension("a.b.CDR"), "CDR");
  EXPECT_EQ(FileExtension("noext"), "");
  EXPECT_EQ(FileExtension("dir.x\\noext"), "");
}

#include "tools/detect_expr.h"

#include <gtest/gtest.h>

#include "docreader/doc_signature.h"

using namespace listerhost;

namespace {

const std::string kDetect = hi::DetectString;

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

// The host's expression and the reader's rule must name the same files:
// every byte value at each place the rule looks, on a ZIP and a RIFF head,
// and every length of both heads.
TEST(DetectString, AgreesWithTheDocumentRule) {
  int eras[3] = {0, 0, 0};
  auto compare = [&](const std::vector<unsigned char>& head) {
    const hi::TDocEra era = hi::DocumentEraOf(head.data(), head.size());
    EXPECT_EQ(Match(kDetect, File("x.cdr", head)), era != hi::TDocEra::none) << std::string(head.begin(), head.end());
    eras[int(era)] += 1;
  };
  for (const auto& base : {kZip, kRiff}) {
    for (size_t n = 0; n <= base.size(); ++n) compare(std::vector<unsigned char>(base.begin(), base.begin() + n));
    for (size_t at = 0; at < hi::DocSignatureBytes; ++at)
      for (int v = 0; v < 256; ++v) {
        std::vector<unsigned char> head = base;
        head.resize(hi::DocSignatureBytes, 0);
        head[at] = (unsigned char)v;
        compare(head);
      }
  }
  // Lower case and the version letters of old and new drawings pass.
  for (const char* form : {"CDR9", "cdrA", "CDRD", "Cdr5", "CDR "}) {
    std::vector<unsigned char> head = kRiff;
    std::copy(form, form + 4, head.begin() + 8);
    EXPECT_EQ(hi::DocumentEraOf(head.data(), head.size()), hi::TDocEra::riff) << form;
  }
  // Every era met many times, so the agreement was not checked on one side only.
  for (int n : eras) EXPECT_GT(n, 500);
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

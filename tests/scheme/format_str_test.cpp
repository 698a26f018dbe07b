#include "scheme/format_str.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hi;

namespace {

// A data point that answers a fixed string and counts how often it is read.
struct Answer {
  std::string text;
  int reads = 0;
  std::vector<int>* order = nullptr;
  int number = 0;
  void Get(TData& v, uint16_t) {
    ++reads;
    if (order) order->push_back(number);
    MakeString(v, text);
  }
};

struct Sink {
  std::vector<std::string> got;
  void doIt(TData& v, uint16_t) { got.push_back(ToString(v)); }
};

class FormatStr : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }

  // Formats mask with linked arguments args (one per placeholder).
  std::string Format(const std::string& mask, const std::vector<std::string>& args, int32_t count = -1) {
    THIFormatStr f;
    f.SetCount(count < 0 ? int32_t(args.size()) : count);
    f.Mask = mask;
    answers.assign(args.size(), Answer());
    for (size_t i = 0; i < args.size() && i < f.Arg.size(); ++i) {
      answers[i].text = args[i];
      f.Arg[i] = LinkTo<&Answer::Get>(&answers[i]);
    }
    Sink sink;
    f.onResult = LinkTo<&Sink::doIt>(&sink);
    TData v;
    FireEvent(LinkTo<&THIFormatStr::doString>(&f), v);
    EXPECT_EQ(sink.got.size(), 1u);
    EXPECT_EQ(sink.got.empty() ? std::string() : sink.got[0], f.LastResult);
    return f.LastResult;
  }

  std::vector<Answer> answers;
};

}  // namespace

TEST_F(FormatStr, PercentMarkersAndPlaceholderBoundaries) {
  EXPECT_EQ(Format("a%%b", {"X"}), "a%b");
  EXPECT_EQ(Format("%%1", {"X"}), "%1");
  EXPECT_EQ(Format("%%%1", {"X"}), "%X");
  EXPECT_EQ(Format("%%%%", {}), "%%");
  // %10 is its own placeholder when Count reaches 10, untouched below.
  std::vector<std::string> ten = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "J"};
  EXPECT_EQ(Format("[%10][%1]", ten), "[J][a]");
  EXPECT_EQ(Format("[%10][%1]", {"a", "b", "c"}), "[%10][a]");
  // Beyond Count stays; at the very end is replaced.
  EXPECT_EQ(Format("%5 %4", {"1", "2", "3", "4"}), "%5 4");
  // A value beginning with a digit never merges with the placeholder before it.
  EXPECT_EQ(Format("%2%1", {"5", "B"}), "B5");
  EXPECT_EQ(Format("%1%1-%1", {"x"}), "xx-x");
  // Code 1 vanishes, code 0 becomes a percent sign, in the mask and in values.
  EXPECT_EQ(Format(std::string("a\1b\0c%1", 7), {std::string("v\1w\0", 4)}), "ab%cvw%");
}

TEST_F(FormatStr, InsertedValuesAreNeverExpandedAgain) {
  // The archiver's command line with documents whose names hold placeholders.
  const std::string mask = "%4 e -o\"%1_tc\" \"%2\" %3 -r -aoa";
  EXPECT_EQ(Format(mask, {"C:\\T\\", "D:\\sale%3.cdr", "thumbnail.*", "C:\\p\\7za.exe"}),
            "C:\\p\\7za.exe e -o\"C:\\T\\_tc\" \"D:\\sale%3.cdr\" thumbnail.* -r -aoa");
  EXPECT_EQ(Format(mask, {"C:\\T\\", "D:\\x%4.cdr", "thumbnail.*", "C:\\p\\7za.exe"}),
            "C:\\p\\7za.exe e -o\"C:\\T\\_tc\" \"D:\\x%4.cdr\" thumbnail.* -r -aoa");
  // Earlier, own and later placeholders in values all stay as they are, and
  // so does a doubled percent sign in a value.
  EXPECT_EQ(Format("%1|%2|%3", {"%1%2%3", "%%", "%2"}), "%1%2%3|%%|%2");
  // The value for a placeholder of the mask is still inserted after an
  // earlier value that looked like it.
  EXPECT_EQ(Format("%1%2", {"%2", "b"}), "%2b");
}

TEST_F(FormatStr, EveryArgumentIsPulledOnceInOrder) {
  THIFormatStr f;
  f.SetCount(4);
  f.Mask = "%3 only";
  std::vector<int> order;
  std::vector<Answer> a(4);
  for (int i = 0; i < 4; ++i) {
    a[size_t(i)].text = "v" + std::to_string(i + 1);
    a[size_t(i)].order = &order;
    a[size_t(i)].number = i + 1;
    f.Arg[size_t(i)] = LinkTo<&Answer::Get>(&a[size_t(i)]);
  }
  TData v;
  for (int round = 0; round < 2; ++round) FireEvent(LinkTo<&THIFormatStr::doString>(&f), v);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4}));
  EXPECT_EQ(f.LastResult, "v3 only");
}

TEST_F(FormatStr, UnlinkedArgumentsShareTheEventValueAndResultIsKept) {
  THIFormatStr f;
  f.SetCount(2);
  f.Mask = "<%1><%2>";
  TData r;
  f.Result(r, 0);
  EXPECT_EQ(TypeOf(r), data_str);
  EXPECT_EQ(r.StrVal, "");

  Sink sink;
  f.onResult = LinkTo<&Sink::doIt>(&sink);
  TData v;
  MakeString(v, "first");
  FireEvent(LinkTo<&THIFormatStr::doString>(&f), v);
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(sink.got[0], "<first><>");

  // The second argument linked: it answers, the first still takes the event.
  Answer second{"two"};
  f.Arg[1] = LinkTo<&Answer::Get>(&second);
  MakeInteger(v, 7);
  FireEvent(LinkTo<&THIFormatStr::doString>(&f), v);
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(sink.got[1], "<7><two>");

  f.Result(r, 0);
  EXPECT_EQ(r.StrVal, "<7><two>");
  // Setting the count anew gives empty links of the new number.
  f.SetCount(3);
  EXPECT_EQ(f.Arg.size(), 3u);
  for (const TEventLink& l : f.Arg) EXPECT_TRUE(l.empty());
}

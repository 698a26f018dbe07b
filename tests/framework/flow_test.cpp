#include <gtest/gtest.h>

#include "tests/framework/values.h"

#include <vector>

#include "framework/chanel_to_index.h"
#include "framework/do_data.h"
#include "framework/global_var.h"
#include "framework/hub.h"
#include "framework/if_else.h"
#include "framework/math.h"

using namespace hi;

namespace {

struct FlowProbe {
  std::vector<TData> seen;
  void doIt(TData& v, uint16_t) { seen.push_back(v); }
};

struct Mutator {
  std::vector<TData> seen;
  void doIt(TData& v, uint16_t) {
    seen.push_back(v);
    MakeString(v, "mutated");
  }
};

struct FlowSource {
  TData answer;
  void Get(TData& v, uint16_t) { v = answer; }
};

class Flow : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }
};

using testvalues::Int;
using testvalues::Real;
using testvalues::Str;

}  // namespace

TEST_F(Flow, HubGivesEveryOutputTheValueAsItArrived) {
  THIHub hub;
  hub.SetOutCount(3);
  ASSERT_EQ(hub.onEvent.size(), 3u);
  FlowProbe p0, p2;
  Mutator m1;
  hub.onEvent[0] = LinkTo<&FlowProbe::doIt>(&p0);
  hub.onEvent[1] = LinkTo<&Mutator::doIt>(&m1);
  hub.onEvent[2] = LinkTo<&FlowProbe::doIt>(&p2);
  TData v = Int(42);
  FireEvent(LinkTo<&THIHub::doEvent>(&hub, 7), v);
  ASSERT_EQ(p0.seen.size(), 1u);
  ASSERT_EQ(m1.seen.size(), 1u);
  ASSERT_EQ(p2.seen.size(), 1u);
  EXPECT_EQ(p2.seen[0].IntVal, 42);
  EXPECT_EQ(TypeOf(p2.seen[0]), data_int);
  EXPECT_EQ(TypeOf(v), data_int);
  EXPECT_EQ(v.IntVal, 42);

  THIHub none;
  none.SetOutCount(0);
  FireEvent(LinkTo<&THIHub::doEvent>(&none), v);  // silent
}

namespace {
// Checks that one output's whole downstream flow ends before the next fires.
std::vector<int> g_trace;
struct Tracer {
  int id;
  TEventLink next;
  void doIt(TData& v, uint16_t) {
    g_trace.push_back(id);
    ForwardValue(v, next);
  }
};
}  // namespace

TEST_F(Flow, HubRunsEachDownstreamFlowToTheEndFirst) {
  THIHub hub;
  hub.SetOutCount(2);
  Tracer a{1, {}}, a2{2, {}}, b{3, {}};
  a.next = LinkTo<&Tracer::doIt>(&a2);
  hub.onEvent[0] = LinkTo<&Tracer::doIt>(&a);
  hub.onEvent[1] = LinkTo<&Tracer::doIt>(&b);
  g_trace.clear();
  TData v;
  FireEvent(LinkTo<&THIHub::doEvent>(&hub), v);
  EXPECT_EQ(g_trace, (std::vector<int>{1, 2, 3}));
}

TEST_F(Flow, DoDataEmitsItsValue) {
  THIDoData d;
  FlowProbe p;
  d.onData = LinkTo<&FlowProbe::doIt>(&p);
  MakeInteger(d.Value, 1);
  TData v = Str("x");
  FireEvent(LinkTo<&THIDoData::doData>(&d), v);
  ASSERT_EQ(p.seen.size(), 1u);
  EXPECT_EQ(TypeOf(p.seen[0]), data_int);
  EXPECT_EQ(p.seen[0].IntVal, 1);

  THIDoData empty;
  empty.onData = LinkTo<&FlowProbe::doIt>(&p);
  TData five = Int(5);
  FireEvent(LinkTo<&THIDoData::doData>(&empty), five);
  EXPECT_EQ(TypeOf(p.seen.back()), data_null);

  // A Data link answering Break falls back to Value.
  FlowSource brk;
  brk.answer.Kind = data_break;
  d.Data = LinkTo<&FlowSource::Get>(&brk);
  FireEvent(LinkTo<&THIDoData::doData>(&d), five);
  EXPECT_EQ(p.seen.back().IntVal, 1);
  FlowSource s;
  MakeString(s.answer, "linked");
  d.Data = LinkTo<&FlowSource::Get>(&s);
  FireEvent(LinkTo<&THIDoData::doData>(&d), five);
  EXPECT_EQ(p.seen.back().StrVal, "linked");

  // A chain behind the incoming value is discarded.
  TData tail = Int(9);
  TData head = Int(8);
  head.NextValue = &tail;
  FireEvent(LinkTo<&THIDoData::doData>(&empty), head);
  EXPECT_EQ(p.seen.back().NextValue, nullptr);
}

namespace {
struct Branches {
  THIIf_else cond;
  FlowProbe yes, no;
  Branches() {
    cond.onTrue = LinkTo<&FlowProbe::doIt>(&yes);
    cond.onFalse = LinkTo<&FlowProbe::doIt>(&no);
  }
  // "T" or "F" with the value that arrived there.
  char Run(TData v) {
    size_t y = yes.seen.size(), n = no.seen.size();
    FireEvent(LinkTo<&THIIf_else::doCompare>(&cond), v);
    if (yes.seen.size() > y) return 'T';
    if (no.seen.size() > n) return 'F';
    return '?';
  }
};
}  // namespace

TEST_F(Flow, IfElseComparisons) {
  Branches b;
  b.cond.Type = 0;
  MakeInteger(b.cond.Op2, 0);
  EXPECT_EQ(b.Run(Int(0)), 'T');
  EXPECT_EQ(b.yes.seen.back().IntVal, 0);
  EXPECT_EQ(b.Run(Str("0")), 'T');
  EXPECT_EQ(b.Run(Str("abc")), 'F');
  EXPECT_EQ(b.no.seen.back().StrVal, "abc");  // the incoming value, not the operands

  Branches c;
  c.cond.Type = 1;
  MakeString(c.cond.Op2, "B");
  EXPECT_EQ(c.Run(Str("a")), 'T');
  c.cond.Type = 0;
  MakeString(c.cond.Op2, "A");
  EXPECT_EQ(c.Run(Str("a")), 'F');
  c.cond.Type = 5;
  EXPECT_EQ(c.Run(Str("a")), 'T');
  c.cond.Type = 4;
  EXPECT_EQ(c.Run(Str("a")), 'T');  // equal when case is ignored

  Branches d;  // all defaults NULL, no links
  for (uint8_t t = 0; t < 8; ++t) {
    d.cond.Type = t;
    EXPECT_EQ(d.Run(TData()), 'T') << int(t);
  }
  d.cond.Type = 2;
  EXPECT_EQ(d.Run(Int(3)), 'T');  // 3 > NULL (0)
  d.cond.Type = 6;
  EXPECT_EQ(d.Run(Int(3)), 'F');
  EXPECT_EQ(d.Run(Str("")), 'F');
  EXPECT_EQ(d.Run(Real(1.0)), 'F');

  Branches r;
  r.cond.Type = 3;
  MakeString(r.cond.Op2, "2.5");
  EXPECT_EQ(r.Run(Real(2.5)), 'T');
  EXPECT_EQ(r.Run(Real(2.6)), 'F');
  r.cond.Type = 2;
  MakeInteger(r.cond.Op2, -1);
  EXPECT_EQ(r.Run(Int(0)), 'T');  // signed comparison

  Branches linked;
  FlowSource s1, s2;
  MakeInteger(s1.answer, 5);
  MakeInteger(s2.answer, 5);
  linked.cond.Op1Link = LinkTo<&FlowSource::Get>(&s1);
  linked.cond.Op2Link = LinkTo<&FlowSource::Get>(&s2);
  EXPECT_EQ(linked.Run(Str("ignored")), 'T');
  EXPECT_EQ(linked.yes.seen.back().StrVal, "ignored");

  Branches other;  // a first operand of another type is never true
  TData bitmapLike;
  bitmapLike.Kind = data_bitmap;
  EXPECT_EQ(other.Run(bitmapLike), 'F');
}

TEST_F(Flow, ChannelNumberReplacesTheValue) {
  THIChanelToIndex ch;
  ch.Count = 3;
  FlowProbe p;
  ch.onIndex = LinkTo<&FlowProbe::doIt>(&p);
  TData v = Str("whatever");
  FireEvent(LinkTo<&THIChanelToIndex::doChannel>(&ch, 2), v);
  ASSERT_EQ(p.seen.size(), 1u);
  EXPECT_EQ(TypeOf(p.seen[0]), data_int);
  EXPECT_EQ(p.seen[0].IntVal, 2);
  TData w;
  FireEvent(LinkTo<&THIChanelToIndex::doChannel>(&ch, 65535), w);
  EXPECT_EQ(p.seen.back().IntVal, 65535);
}

TEST_F(Flow, GlobalVariablesAreSharedByFoldedName) {
  THIGlobalVar a, b, unnamed;
  a.SetName("Fn");
  b.SetName("fn");
  EXPECT_EQ(a.Var, b.Var);
  ASSERT_NE(a.Var, nullptr);

  TData answer = Int(1);
  b.Value(answer, 0);
  EXPECT_EQ(TypeOf(answer), data_null);  // bound, never written

  FlowProbe p;
  a.onValue = LinkTo<&THIGlobalVar::doValue>(&a);
  a.onValue = LinkTo<&FlowProbe::doIt>(&p);
  TData v = Str("D:\\art\\logo.cdr");
  FireEvent(LinkTo<&THIGlobalVar::doValue>(&a), v);
  ASSERT_EQ(p.seen.size(), 1u);
  EXPECT_EQ(p.seen[0].StrVal, "D:\\art\\logo.cdr");
  b.Value(answer, 0);
  EXPECT_EQ(answer.StrVal, "D:\\art\\logo.cdr");

  THIGlobalVar c;
  c.SetName("THUMB_TEST");
  MakeString(v, "thumbnail.*");
  c.SetDefault(v);
  THIGlobalVar d;
  d.SetName("thumb_test");
  d.Value(answer, 0);
  EXPECT_EQ(answer.StrVal, "thumbnail.*");

  unnamed.SetName("");
  EXPECT_EQ(unnamed.Var, nullptr);
  unnamed.SetDefault(v);
  MakeInteger(answer, 3);
  unnamed.Value(answer, 0);
  EXPECT_EQ(TypeOf(answer), data_null);
  const size_t before = GlobalVars::Count();
  THIGlobalVar again;
  again.SetName("FN");
  EXPECT_EQ(GlobalVars::Count(), before);
}

namespace {
struct MathCase {
  TData in;
  double real;
  int32_t integer;
};
}  // namespace

TEST_F(Flow, MathMasksTheBitOfTwo) {
  std::vector<MathCase> cases = {{Int(6), 2.0, 2},  {Int(5), 0.0, 0},   {Real(2.5), 2.0, 2}, {Real(3.5), 0.0, 0},
                                 {Int(-1), 2.0, 2}, {Str("7"), 2.0, 2}, {TData(), 0.0, 0}};
  for (uint8_t resultType : {uint8_t(1), uint8_t(0)}) {
    THIMath m;
    m.Operation = 4;
    m.Op1 = 0.0;
    m.Op2 = 2.0;
    m.ResultType = resultType;
    m.SetResultDefault(0.0);
    m.SetAngleMode(false);
    FlowProbe p;
    m.onResult = LinkTo<&FlowProbe::doIt>(&p);
    for (const auto& c : cases) {
      TData v = c.in;
      FireEvent(LinkTo<&THIMath::doOperation>(&m), v);
      ASSERT_FALSE(p.seen.empty());
      const TData& got = p.seen.back();
      if (resultType == 1) {
        EXPECT_EQ(TypeOf(got), data_real);
        EXPECT_EQ(got.RealVal, c.real) << ToString(c.in);
      } else {
        EXPECT_EQ(TypeOf(got), data_int);
        EXPECT_EQ(got.IntVal, c.integer) << ToString(c.in);
      }
    }
    EXPECT_EQ(p.seen.size(), cases.size());
  }

  THIMath fixed;
  fixed.Op1 = 12.0;
  fixed.Op2 = 2.0;
  fixed.ResultType = 1;
  FlowProbe p;
  fixed.onResult = LinkTo<&FlowProbe::doIt>(&p);
  TData v = Int(6);
  FireEvent(LinkTo<&THIMath::doOperation>(&fixed), v);
  EXPECT_EQ(p.seen.back().RealVal, 0.0);
  EXPECT_EQ(TypeOf(v), data_int);  // not consumed
  EXPECT_EQ(v.IntVal, 6);
  fixed.SetAngleMode(true);
  EXPECT_DOUBLE_EQ(fixed.AngleFactor, 0.017453292519943295);
}

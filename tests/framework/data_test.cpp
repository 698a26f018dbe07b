#include "framework/data.h"

#include <gtest/gtest.h>

#include "tests/framework/values.h"

#include <cmath>
#include <cstdint>
#include <vector>

using namespace hi;

namespace {

using testvalues::Int;
using testvalues::Real;
using testvalues::Str;

// Records every value that reaches it.
struct Probe {
  std::vector<TData> seen;
  std::vector<uint16_t> indices;
  void doIt(TData& v, uint16_t index) {
    seen.push_back(v);
    indices.push_back(index);
  }
};

// A data point that answers a fixed value.
struct Source {
  TData answer;
  int pulls = 0;
  void Get(TData& v, uint16_t) {
    ++pulls;
    v = answer;
  }
  void Silent(TData&, uint16_t) { ++pulls; }
};

// A work point that forwards whatever arrives to its next link.
struct Forwarder {
  TEventLink next;
  int calls = 0;
  const TData* lastValue = nullptr;
  void doForward(TData& v, uint16_t) {
    ++calls;
    lastValue = &v;
    ForwardValue(v, next);
  }
};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }
  void TearDown() override { InstallDispatchers(); }
};

}  // namespace

TEST(Values, TypeNamesAndFreshState) {
  ASSERT_EQ(TypeNameCount, 23);
  EXPECT_STREQ(TypeNames[0], "NULL");
  EXPECT_STREQ(TypeNames[7], "Real");
  EXPECT_STREQ(TypeNames[11], "Bitmap");
  EXPECT_STREQ(TypeNames[13], "Array");
  EXPECT_STREQ(TypeNames[22], "Break");
  TData v;
  EXPECT_EQ(v.Kind, data_null);
  EXPECT_EQ(v.ObjRef, nullptr);
  EXPECT_EQ(v.ForwardLink, nullptr);
  EXPECT_EQ(v.NextValue, nullptr);
  // Object references must survive in a pointer-wide slot on 64-bit hosts.
  static_assert(sizeof(TData::ObjRef) == sizeof(void*), "object reference fits a pointer");
  static_assert(sizeof(TData::IntVal) == 4, "integers stay 32-bit");
}

TEST(Values, ConstructionClearsReferencesAndKeepsOtherPayload) {
  TData other, v;
  MakeString(v, "keep");
  v.NextValue = &other;
  TEventLink l;
  v.ForwardLink = &l;
  MakeInteger(v, 7);
  EXPECT_EQ(v.Kind, data_int);
  EXPECT_EQ(v.IntVal, 7);
  EXPECT_EQ(v.StrVal, "keep");
  EXPECT_EQ(v.NextValue, nullptr);
  EXPECT_EQ(v.ForwardLink, nullptr);

  int dummy = 0;
  MakeObjectRef(v, data_bitmap, &dummy);
  EXPECT_EQ(TypeOf(v), data_bitmap);
  EXPECT_EQ(v.ObjRef, &dummy);
  MakeArray(v, reinterpret_cast<TArrayInterface*>(&dummy));
  EXPECT_EQ(TypeOf(v), data_array);

  TData src = Str("x");
  src.NextValue = &other;
  src.ForwardLink = &l;
  CopyData(v, src);
  EXPECT_EQ(v.StrVal, "x");
  EXPECT_EQ(v.NextValue, nullptr);
  EXPECT_EQ(v.ForwardLink, nullptr);
}

TEST(Conversions, IntegerParse) {
  EXPECT_EQ(ToInteger(Str("12abc")), 12);
  EXPECT_EQ(ToInteger(Str("-7")), -7);
  EXPECT_EQ(ToInteger(Str("+3")), 3);
  EXPECT_EQ(ToInteger(Str("abc")), 0);
  EXPECT_EQ(ToInteger(Str(" 5")), 0);
  EXPECT_EQ(ToInteger(Str("")), 0);
  EXPECT_EQ(ToInteger(Str("-")), 0);
  // 32-bit wrap on overflow.
  EXPECT_EQ(ToInteger(Str("4294967297")), 1);
  EXPECT_EQ(ToInteger(Str("2147483648")), INT32_MIN);
  EXPECT_EQ(ToInteger(Str("-2147483648")), INT32_MIN);
}

TEST(Conversions, RealToIntegerRoundsHalfToEven) {
  EXPECT_EQ(ToInteger(Real(2.5)), 2);
  EXPECT_EQ(ToInteger(Real(3.5)), 4);
  EXPECT_EQ(ToInteger(Real(-2.5)), -2);
  EXPECT_EQ(ToInteger(Real(-3.5)), -4);
  EXPECT_EQ(ToInteger(Real(2.4999)), 2);
  EXPECT_EQ(ToInteger(Real(-0.6)), -1);
  // Reduced to the low 32 bits.
  EXPECT_EQ(ToInteger(Real(4294967296.0 + 5.0)), 5);
  EXPECT_EQ(ToInteger(Real(2147483648.0)), INT32_MIN);
  TData n;
  EXPECT_EQ(ToInteger(n), 0);
  TData other;
  other.Kind = data_font;
  EXPECT_EQ(ToInteger(other), 0);
}

TEST(Conversions, RealParseIsLenient) {
  EXPECT_DOUBLE_EQ(ToReal(Str("1,5")), 15.0);
  EXPECT_DOUBLE_EQ(ToReal(Str("1e3")), 1000.0);
  EXPECT_DOUBLE_EQ(ToReal(Str("-.5")), -0.5);
  EXPECT_DOUBLE_EQ(ToReal(Str("")), 0.0);
  EXPECT_DOUBLE_EQ(ToReal(Str("12abc3")), 123.0);
  EXPECT_DOUBLE_EQ(ToReal(Str("2.5e2")), 250.0);
  EXPECT_DOUBLE_EQ(ToReal(Str("1.2.3")), 1.2);
  EXPECT_DOUBLE_EQ(ToReal(Str("5e-1")), 0.5);
  EXPECT_DOUBLE_EQ(ToReal(Str(" +4")), 4.0);
  EXPECT_DOUBLE_EQ(ToReal(Int(-9)), -9.0);
  EXPECT_DOUBLE_EQ(ToReal(TData()), 0.0);
}

TEST(Conversions, RealFormatting) {
  EXPECT_EQ(ToString(Real(2.0)), "2");
  EXPECT_EQ(ToString(Real(0.1)), "0.1");
  EXPECT_EQ(ToString(Real(-0.25)), "-0.25");
  EXPECT_EQ(ToString(Real(0.5)), "0.5");
  EXPECT_EQ(ToString(Real(1234.5)), "1234.5");
  EXPECT_EQ(ToString(Real(0.0)), "0");
  EXPECT_EQ(ToString(Real(1e20)), "1" + std::string(20, '0'));
  EXPECT_EQ(ToString(Real(0.000125)), "0.000125");
  EXPECT_EQ(ToString(Real(1.0 / 3.0)), "0.333333333333333");
  EXPECT_EQ(ToString(Real(2.0 / 3.0)), "0.666666666666667");
  // 15 significant digits, positional even beyond 10^15.
  EXPECT_EQ(ToString(Real(123456789012345678.0)), "123456789012346000");
  // Exact ties at the 16th digit go to the even neighbour.
  EXPECT_EQ(ToString(Real(1234567890123445.0)), "1234567890123440");
  EXPECT_EQ(ToString(Real(1234567890123455.0)), "1234567890123460");
  EXPECT_EQ(ToString(Real(0.1 + 0.2)), "0.3");
  EXPECT_EQ(ToString(Real(1e-5)), "0.00001");
}

TEST(Conversions, StringsIndicesAndBooleans) {
  EXPECT_EQ(ToString(Int(-42)), "-42");
  EXPECT_EQ(ToString(Int(INT32_MIN)), "-2147483648");
  EXPECT_EQ(ToString(Str("as is")), "as is");
  EXPECT_EQ(ToString(TData()), "");
  TData brk;
  brk.Kind = data_break;
  EXPECT_EQ(ToString(brk), "");

  EXPECT_EQ(ToIndex(Str("0")), 0);
  EXPECT_EQ(ToIndex(Str("00")), 0);
  EXPECT_EQ(ToIndex(Str("")), -1);
  EXPECT_EQ(ToIndex(Str("x")), -1);
  EXPECT_EQ(ToIndex(Str("3")), 3);
  EXPECT_EQ(ToIndex(Int(5)), 5);
  EXPECT_EQ(ToIndex(Real(1.5)), 2);
  EXPECT_EQ(ToIndex(TData()), -1);

  EXPECT_TRUE(ToBoolean(TData()));
  EXPECT_TRUE(ToBoolean(Str("")));
  EXPECT_TRUE(ToBoolean(Real(0.0)));
  EXPECT_FALSE(ToBoolean(Int(0)));
  EXPECT_TRUE(ToBoolean(Int(2)));
}

TEST(DispatchSlots, NothingIsDeliveredBeforeInstall) {
  ResetDispatchers();
  Probe p;
  Source src;
  MakeInteger(src.answer, 9);
  TEventLink toProbe = LinkTo<&Probe::doIt>(&p);
  FireInteger(toProbe, 1);
  TData v = Int(3);
  FireEvent(toProbe, v);
  EXPECT_TRUE(p.seen.empty());
  // A linked data point reads as the preset NULL, never Break; the event
  // value is then the fallback.
  TEventLink fromSource = LinkTo<&Source::Get>(&src);
  TData ev = Int(7);
  EXPECT_EQ(ReadString(ev, fromSource, ""), "");
  EXPECT_EQ(TypeOf(ev), data_int);
  InstallDispatchers();
}

TEST_F(Dispatch, FiringRoutines) {
  Probe p;
  TEventLink l = LinkTo<&Probe::doIt>(&p, 4);
  FireNull(TEventLink());  // empty link: nothing
  FireInteger(l, 5);
  FireString(l, "s");
  FireReal(l, 1.5);
  FireNull(l);
  int dummy;
  FireObjectRef(l, data_bitmap, &dummy);
  ASSERT_EQ(p.seen.size(), 5u);
  EXPECT_EQ(p.seen[0].IntVal, 5);
  EXPECT_EQ(p.seen[1].StrVal, "s");
  EXPECT_EQ(p.seen[2].RealVal, 1.5);
  EXPECT_EQ(TypeOf(p.seen[3]), data_null);
  EXPECT_EQ(p.seen[4].ObjRef, &dummy);
  EXPECT_EQ(p.indices[0], 4);
}

namespace {
struct Changer {
  void doIt(TData& v, uint16_t) { MakeString(v, "changed"); }
};
}  // namespace

TEST_F(Dispatch, FireEventSharesTheValueFireCopyDoesNot) {
  Changer c;
  TEventLink l = LinkTo<&Changer::doIt>(&c);
  TData v = Int(1);
  FireCopy(l, v);
  EXPECT_EQ(TypeOf(v), data_int);
  FireEvent(l, v);
  EXPECT_EQ(v.StrVal, "changed");
}

namespace {
struct IntForwarder {
  TEventLink next;
  void doIt(TData& v, uint16_t) { ForwardInteger(v, next, 5); }
};
}  // namespace

TEST_F(Dispatch, ForwardingRoutinesDeliverAfterReturn) {
  Probe p;
  IntForwarder f;
  f.next = LinkTo<&Probe::doIt>(&p);
  TData v = Str("in");
  FireEvent(LinkTo<&IntForwarder::doIt>(&f), v);
  ASSERT_EQ(p.seen.size(), 1u);
  EXPECT_EQ(p.seen[0].Kind, data_int);  // flag already cleared
  EXPECT_EQ(p.seen[0].IntVal, 5);
  EXPECT_EQ(v.Kind, data_int);

  // Forward into an empty link ends quietly and clears the flag.
  IntForwarder lone;
  TData w;
  FireEvent(LinkTo<&IntForwarder::doIt>(&lone), w);
  EXPECT_EQ(w.Kind, data_int);

  TData x = Int(2), src = Str("copied");
  ForwardCopy(x, lone.next, src);
  EXPECT_EQ(x.Kind, data_str | ForwardFlag);
  EXPECT_EQ(x.StrVal, "copied");
  EXPECT_EQ(x.ForwardLink, &lone.next);
  ForwardNull(x, lone.next);
  EXPECT_EQ(x.Kind, 128);
  ForwardString(x, lone.next, "s");
  EXPECT_EQ(x.Kind, 130);
  TData other;
  x.NextValue = &other;
  ForwardValue(x, lone.next);
  EXPECT_EQ(x.Kind, 130);
  EXPECT_EQ(x.NextValue, &other);
}

namespace {
char* g_stackLow = nullptr;
char* g_stackHigh = nullptr;
struct DepthForwarder {
  TEventLink next;
  const TData* seen = nullptr;
  void doIt(TData& v, uint16_t) {
    char here;
    if (g_stackLow == nullptr || &here < g_stackLow) g_stackLow = &here;
    if (g_stackHigh == nullptr || &here > g_stackHigh) g_stackHigh = &here;
    seen = &v;
    ForwardValue(v, next);
  }
};
}  // namespace

TEST_F(Dispatch, LongForwardingChainRunsInOneLoop) {
  const size_t n = 100000;
  std::vector<DepthForwarder> chain(n);
  Probe end;
  for (size_t i = 0; i + 1 < n; ++i) chain[i].next = LinkTo<&DepthForwarder::doIt>(&chain[i + 1]);
  chain[n - 1].next = LinkTo<&Probe::doIt>(&end);
  TData v = Int(77);
  FireEvent(LinkTo<&DepthForwarder::doIt>(&chain[0]), v);
  ASSERT_EQ(end.seen.size(), 1u);
  EXPECT_EQ(end.seen[0].IntVal, 77);
  // Every element saw the same value object, at the same stack depth.
  EXPECT_EQ(chain[0].seen, &v);
  EXPECT_EQ(chain[n - 1].seen, &v);
  EXPECT_LT(g_stackHigh - g_stackLow, 256);
}

TEST_F(Dispatch, ThreeForwardersInOrder) {
  Forwarder a, b, c;
  Probe end;
  a.next = LinkTo<&Forwarder::doForward>(&b);
  b.next = LinkTo<&Forwarder::doForward>(&c);
  c.next = LinkTo<&Probe::doIt>(&end);
  TData v = Str("x");
  FireEvent(LinkTo<&Forwarder::doForward>(&a), v);
  EXPECT_EQ(a.calls + b.calls + c.calls, 3);
  EXPECT_EQ(a.lastValue, &v);
  EXPECT_EQ(c.lastValue, &v);
  ASSERT_EQ(end.seen.size(), 1u);
}

TEST_F(Dispatch, ReadStringFallbacks) {
  Source silent;
  TEventLink silentLink = LinkTo<&Source::Silent>(&silent);
  TData ev = Int(7);
  EXPECT_EQ(ReadString(ev, silentLink, "def"), "");  // preset NULL answers
  EXPECT_EQ(TypeOf(ev), data_int);
  EXPECT_EQ(silent.pulls, 1);

  EXPECT_EQ(ReadString(ev, TEventLink(), "abc"), "abc");
  EXPECT_EQ(TypeOf(ev), data_int);

  EXPECT_EQ(ReadString(ev, TEventLink(), ""), "7");
  EXPECT_EQ(TypeOf(ev), data_null);
  EXPECT_EQ(ReadString(ev, TEventLink(), ""), "");

  Source brk;
  brk.answer.Kind = data_break;
  TData ev2 = Str("event");
  EXPECT_EQ(ReadString(ev2, LinkTo<&Source::Get>(&brk), "dflt"), "dflt");
  EXPECT_EQ(ReadString(ev2, LinkTo<&Source::Get>(&brk), ""), "event");

  Source num;
  MakeReal(num.answer, 2.0);
  EXPECT_EQ(ReadString(ev2, LinkTo<&Source::Get>(&num), "x"), "2");
}

TEST_F(Dispatch, ReadRealAndChains) {
  TData ev = Int(3);
  EXPECT_DOUBLE_EQ(ReadReal(ev, TEventLink(), 2.0), 2.0);
  EXPECT_EQ(TypeOf(ev), data_int);
  EXPECT_DOUBLE_EQ(ReadReal(ev, TEventLink(), 0.0), 3.0);
  EXPECT_EQ(TypeOf(ev), data_null);

  // A chain of values: each read takes the head and moves the next one up.
  TData second = Str("2.5");
  TData head = Int(1);
  head.NextValue = &second;
  EXPECT_DOUBLE_EQ(ReadReal(head, TEventLink(), 0.0), 1.0);
  EXPECT_EQ(head.StrVal, "2.5");
  EXPECT_DOUBLE_EQ(ReadReal(head, TEventLink(), 0.0), 2.5);
  EXPECT_EQ(TypeOf(head), data_null);
}

TEST_F(Dispatch, ReadDataFallbacks) {
  Source brk;
  brk.answer.Kind = data_break;
  TData def = Int(11);
  TData ev = Str("ev");
  TData result;
  ReadData(ev, LinkTo<&Source::Get>(&brk), &def, result);
  EXPECT_EQ(result.IntVal, 11);
  EXPECT_EQ(TypeOf(ev), data_str);
  ReadData(ev, LinkTo<&Source::Get>(&brk), nullptr, result);
  EXPECT_EQ(result.StrVal, "ev");
  EXPECT_EQ(TypeOf(ev), data_null);

  TData nullDef;
  TData tail = Int(1);
  TData nullHead;
  nullHead.NextValue = &tail;
  ReadData(nullHead, TEventLink(), &nullDef, result);
  EXPECT_EQ(TypeOf(result), data_null);
  EXPECT_EQ(nullHead.NextValue, nullptr);  // a chain behind NULL is dropped

  Source chained;
  TData extra;
  MakeInteger(chained.answer, 4);
  ReadData(ev, LinkTo<&Source::Get>(&chained), nullptr, result);
  EXPECT_EQ(result.IntVal, 4);
  chained.answer.NextValue = &extra;
  ReadData(ev, LinkTo<&Source::Get>(&chained), nullptr, result);
  EXPECT_EQ(result.NextValue, nullptr);
}

TEST_F(Dispatch, ReadBitmapArrayAndRawPull) {
  int b1, b2, arr;
  void* bm1 = &b1;
  void* bm2 = &b2;
  Source bmpSrc;
  MakeObjectRef(bmpSrc.answer, data_bitmap, bm1);
  TData ev;
  MakeObjectRef(ev, data_bitmap, bm2);
  EXPECT_EQ(ReadObjectRef(ev, LinkTo<&Source::Get>(&bmpSrc), data_bitmap, nullptr), bm1);
  Source intSrc;
  MakeInteger(intSrc.answer, 1);
  EXPECT_EQ(ReadObjectRef(ev, LinkTo<&Source::Get>(&intSrc), data_bitmap, bm1), nullptr);
  EXPECT_EQ(ReadObjectRef(ev, TEventLink(), data_bitmap, bm1), bm1);
  EXPECT_EQ(TypeOf(ev), data_bitmap);
  EXPECT_EQ(ReadObjectRef(ev, TEventLink(), data_array, nullptr), nullptr);  // another kind: left in place
  EXPECT_EQ(TypeOf(ev), data_bitmap);
  EXPECT_EQ(ReadObjectRef(ev, TEventLink(), data_bitmap, nullptr), bm2);
  EXPECT_EQ(TypeOf(ev), data_null);
  TData notBitmap = Int(5);
  EXPECT_EQ(ReadObjectRef(notBitmap, TEventLink(), data_bitmap, nullptr), nullptr);
  EXPECT_EQ(TypeOf(notBitmap), data_int);  // left in place

  EXPECT_EQ(ReadArray(TEventLink()), nullptr);
  Source arrSrc;
  MakeArray(arrSrc.answer, reinterpret_cast<TArrayInterface*>(&arr));
  EXPECT_EQ(ReadArray(LinkTo<&Source::Get>(&arrSrc)), reinterpret_cast<TArrayInterface*>(&arr));
  EXPECT_EQ(ReadArray(LinkTo<&Source::Get>(&intSrc)), nullptr);

  TData raw = Str("keep");
  PullData(raw, TEventLink());
  EXPECT_EQ(raw.Kind, data_break);
  EXPECT_EQ(raw.StrVal, "keep");
  PullData(raw, LinkTo<&Source::Get>(&intSrc));
  EXPECT_EQ(raw.IntVal, 1);
}

namespace {
std::vector<int> g_order;
void Record(void* owner) { g_order.push_back(*static_cast<int*>(owner)); }
int g_late = 99;
void RecordAndAdd(void* owner) {
  Record(owner);
  AddStartupHandler(&Record, &g_late);
}
}  // namespace

TEST(Startup, HandlersRunOnceInOrder) {
  int a = 1, b = 2;
  g_order.clear();
  StartupDone = false;
  AddStartupHandler(&Record, &a);
  AddStartupHandler(&RecordAndAdd, &b);
  EXPECT_EQ(PendingStartupHandlers(), 2u);
  RunStartupHandlers();
  EXPECT_TRUE(StartupDone);
  EXPECT_EQ(g_order, (std::vector<int>{1, 2, 99}));
  EXPECT_EQ(PendingStartupHandlers(), 0u);
  RunStartupHandlers();
  EXPECT_EQ(g_order.size(), 3u);
}

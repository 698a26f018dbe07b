#include <gtest/gtest.h>

#include "tests/framework/values.h"

#include "framework/array.h"
#include "framework/array_rw.h"

using namespace hi;

namespace {

// An array of integers stored by value in the item pointer; lets the base
// lookups be tested without bitmaps.
class IntArray : public TArray {
 public:
  ~IntArray() override { FreeItems(); }
  void* ItemFromData(TData& v) override { return reinterpret_cast<void*>(intptr_t(ToInteger(v)) + 1000); }
  void ItemToData(void* item, TData& v) override {
    if (item == nullptr)
      MakeNull(v);
    else
      MakeInteger(v, int32_t(reinterpret_cast<intptr_t>(item) - 1000));
  }
  void FreeItem(void* item) override {
    if (item) freed.push_back(int32_t(reinterpret_cast<intptr_t>(item) - 1000));
  }
  std::vector<int32_t> freed;
};

using testvalues::Int;
using testvalues::Real;
using testvalues::Str;

void* Ref(intptr_t n) { return reinterpret_cast<void*>(n); }

struct IntSink {
  std::vector<TData> got;
  void doIn(TData& v, uint16_t) { got.push_back(v); }
};

struct ArraySource {
  TArrayInterface* iface = nullptr;
  TData answer;
  void Get(TData& v, uint16_t) {
    if (iface)
      MakeArray(v, iface);
    else
      v = answer;
  }
};

struct IndexSource {
  TData answer;
  void Get(TData& v, uint16_t) { v = answer; }
};

class ArrayFixture : public ::testing::Test {
 protected:
  void SetUp() override { InstallDispatchers(); }
  void TearDown() override { ResetDispatchers(); }
};

}  // namespace

TEST(ParseNameList, SplitsAtCarriageReturnsOnly) {
  TNameList two = ParseNameList("No_Thumb\r\nNo_7za", {Ref(11), Ref(22)});
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].Name, "No_Thumb");
  EXPECT_EQ(two[0].Item, Ref(11));
  EXPECT_EQ(two[1].Name, "No_7za");
  EXPECT_EQ(two[1].Item, Ref(22));

  // A bare line feed stays inside the name.
  TNameList one = ParseNameList("a\nb", {Ref(5)});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].Name, "a\nb");

  // A separator at the very end adds no line; a lone CR and CR CR split.
  EXPECT_EQ(ParseNameList("x\r\n", {Ref(1)}).size(), 1u);
  EXPECT_EQ(ParseNameList("x\r", {Ref(1)}).size(), 1u);
  TNameList three = ParseNameList("a\r\rb", {Ref(1), Ref(2), Ref(3)});
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[1].Name, "");
  EXPECT_EQ(three[2].Name, "b");
  EXPECT_EQ(three[2].Item, Ref(3));
  // CR LF LF: the second LF begins the next line.
  TNameList lf = ParseNameList("a\r\n\nb", {});
  ASSERT_EQ(lf.size(), 2u);
  EXPECT_EQ(lf[1].Name, "\nb");
  EXPECT_TRUE(ParseNameList("", {Ref(1)}).empty());
}

TEST(ParseNameList, MissingReferencesBecomeNone) {
  TNameList l = ParseNameList("a\r\nb\r\nc", {Ref(7)});
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0].Item, Ref(7));
  EXPECT_EQ(l[1].Item, nullptr);
  EXPECT_EQ(l[2].Item, nullptr);
}

TEST_F(ArrayFixture, NamedLookupAndCanonicalNumbers) {
  IntArray a;
  a.NamedIndex = true;
  for (int i : {10, 20, 30}) {
    TData v = Int(i);
    a.ArrayAdd(v);
  }
  a.Items[0].Name = "first";
  a.Items[1].Name = "second";
  a.Items[2].Name = "7";  // a numeric name wins over the position
  EXPECT_EQ(a.ArrayCount(), 3);

  TData r;
  auto get = [&](TData idx) {
    MakeInteger(r, -99);
    bool found = a.ArrayGet(idx, r);
    return found ? ToInteger(r) : (TypeOf(r) == data_null ? -1 : -2);
  };
  EXPECT_EQ(get(Str("second")), 20);
  EXPECT_EQ(get(Str("Second")), -1);  // names are case-sensitive
  EXPECT_EQ(get(Str("7")), 30);
  EXPECT_EQ(get(Int(1)), 20);
  EXPECT_EQ(get(Real(1.0)), 20);
  EXPECT_EQ(get(Str("1")), 20);
  EXPECT_EQ(get(Str("01")), -1);
  EXPECT_EQ(get(Real(1.4)), -1);
  EXPECT_EQ(get(Int(-1)), -1);
  EXPECT_EQ(get(Int(3)), -1);
  EXPECT_EQ(get(Str("")), -1);

  // The index value is never consumed.
  TData idx = Str("first");
  a.ArrayGet(idx, r);
  EXPECT_EQ(TypeOf(idx), data_str);
  EXPECT_EQ(idx.StrVal, "first");

  // Without names the numeric reading alone decides: '01' is item 1.
  a.NamedIndex = false;
  EXPECT_EQ(get(Str("01")), 20);
  EXPECT_EQ(get(Real(1.4)), 20);
  EXPECT_EQ(get(Str("second")), -1);
}

TEST_F(ArrayFixture, SetReplacesAndFreesAddAppends) {
  IntArray a;
  TData idx = Int(0), v = Int(5);
  a.ArraySet(idx, v);  // no items: nothing
  EXPECT_EQ(a.ArrayCount(), 0);
  TData r;
  EXPECT_FALSE(a.ArrayGet(idx, r));

  a.NamedIndex = true;
  for (int i : {1, 2}) {
    TData x = Int(i);
    a.ArrayAdd(x);
  }
  EXPECT_EQ(a.Items[0].Name, "");
  a.Items[1].Name = "b";
  TData byName = Str("b"), nine = Int(9);
  a.ArraySet(byName, nine);
  EXPECT_EQ(a.freed, std::vector<int32_t>{2});
  // No canonical-form test for setting: '00' reaches item 0.
  TData zeros = Str("00"), eight = Int(8);
  a.ArraySet(zeros, eight);
  EXPECT_EQ(a.freed, (std::vector<int32_t>{2, 1}));
  TData out = Int(5);
  a.ArraySet(out, eight);  // out of range: nothing
  EXPECT_EQ(a.freed.size(), 2u);

  TData i0 = Int(0), i1 = Int(1);
  ASSERT_TRUE(a.ArrayGet(i0, r));
  EXPECT_EQ(ToInteger(r), 8);
  ASSERT_TRUE(a.ArrayGet(i1, r));
  EXPECT_EQ(ToInteger(r), 9);

  // The interface record reaches the same element.
  TData arr;
  a.Array(arr, 0);
  ASSERT_EQ(TypeOf(arr), data_array);
  auto* iface = static_cast<TArrayInterface*>(arr.ObjRef);
  EXPECT_EQ(iface->Count(), 2);
  TData seven = Int(7);
  iface->Add(seven);
  EXPECT_EQ(a.ArrayCount(), 3);
  TData i2 = Int(2);
  ASSERT_TRUE(iface->Get(i2, r));
  EXPECT_EQ(ToInteger(r), 7);
  iface->Set(i2, eight);
  EXPECT_EQ(a.freed.back(), 7);
}

TEST_F(ArrayFixture, PlainArrayFindsNothing) {
  TArray a;
  TData v = Int(3);
  a.ArrayAdd(v);
  a.ArrayAdd(v);
  EXPECT_EQ(a.ArrayCount(), 2);
  TData idx = Int(0), r;
  MakeInteger(r, 4);
  EXPECT_FALSE(a.ArrayGet(idx, r));
  EXPECT_EQ(TypeOf(r), data_null);
}

TEST_F(ArrayFixture, ArrayReaderForwardsTheItem) {
  IntArray a;
  a.NamedIndex = true;
  for (int i : {100, 200}) {
    TData x = Int(i);
    a.ArrayAdd(x);
  }
  a.Items[0].Name = "one";
  ArraySource src;
  src.iface = &a.Interface;
  IntSink sink;
  THIArrayRW rw;
  rw.ArrayLink = LinkTo<&ArraySource::Get>(&src);
  rw.onRead = LinkTo<&IntSink::doIn>(&sink);
  TEventLink read = LinkTo<&THIArrayRW::doRead>(&rw);

  TData v = Int(1);
  EventDispatch(read, v);
  ASSERT_EQ(sink.got.size(), 1u);
  EXPECT_EQ(ToInteger(sink.got[0]), 200);
  EXPECT_EQ(ToInteger(rw.LastItem), 200);
  // Delivered after the handler returned, flag cleared.
  EXPECT_EQ(sink.got[0].Kind, data_int);

  FireString(read, "one");
  ASSERT_EQ(sink.got.size(), 2u);
  EXPECT_EQ(ToInteger(sink.got[1]), 100);

  FireInteger(read, 2);
  FireInteger(read, -1);
  FireString(read, "ONE");
  EXPECT_EQ(sink.got.size(), 2u);

  // The Index property outranks the event value; a linked index outranks it.
  rw.Index = Int(0);
  FireInteger(read, 1);
  ASSERT_EQ(sink.got.size(), 3u);
  EXPECT_EQ(ToInteger(sink.got[2]), 100);
  IndexSource is;
  is.answer = Int(1);
  rw.IndexLink = LinkTo<&IndexSource::Get>(&is);
  FireInteger(read, 0);
  ASSERT_EQ(sink.got.size(), 4u);
  EXPECT_EQ(ToInteger(sink.got[3]), 200);

  // An array link answering anything else: nothing fires, value unchanged.
  src.iface = nullptr;
  src.answer = Int(5);
  TData keep = Str("kept");
  rw.doRead(keep, 0);
  EXPECT_EQ(keep.Kind, data_str);
  EXPECT_EQ(keep.StrVal, "kept");
  EXPECT_EQ(sink.got.size(), 4u);
  rw.ArrayLink = TEventLink{};
  FireInteger(read, 0);
  EXPECT_EQ(sink.got.size(), 4u);
}

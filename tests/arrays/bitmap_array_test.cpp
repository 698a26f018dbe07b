#include <gtest/gtest.h>

#include <cstring>

#include "framework/array_rw.h"
#include "imaging/bitmap.h"
#include "imaging/bitmap_array.h"
#include "imaging/stream.h"

using namespace hi;

namespace {

// Released: the name lists take their items as plain pointers.
TBitmapObject* Solid(int32_t w, int32_t h, uint32_t bgrx) {
  TBitmapObject* b = CreateDibBitmap(w, h, px32Bit).release();
  for (int32_t y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) row[x] = bgrx;
  }
  return b;
}

uint32_t Pixel(TBitmapObject* b, int32_t x, int32_t y) { return reinterpret_cast<uint32_t*>(b->ScanLine(y))[x]; }

struct BitmapSink {
  std::vector<TBitmapObject*> got;
  void doIn(TData& v, uint16_t) {
    ASSERT_EQ(TypeOf(v), data_bitmap);
    got.push_back(static_cast<TBitmapObject*>(v.ObjRef));
  }
};

class BitmapArrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDispatchers();
    arr.NamedIndex = true;
    arr.SetBitmapObjects(ParseNameList("No_Thumb\r\nNo_7za", {Solid(50, 50, 0x00112233), Solid(50, 50, 0x00445566)}));
  }
  void TearDown() override { ResetDispatchers(); }

  THIBitmapArray arr;
};

}  // namespace

TEST_F(BitmapArrayTest, PlaceholdersByNumberAndName) {
  THIArrayRW rw;
  BitmapSink sink;
  TEventLink arrayPoint = LinkTo<&TArray::Array>(static_cast<TArray*>(&arr));
  rw.ArrayLink = arrayPoint;
  rw.onRead = LinkTo<&BitmapSink::doIn>(&sink);
  TEventLink read = LinkTo<&THIArrayRW::doRead>(&rw);

  FireInteger(read, 0);
  FireString(read, "No_Thumb");
  FireInteger(read, 1);
  FireString(read, "No_7za");
  ASSERT_EQ(sink.got.size(), 4u);
  EXPECT_EQ(sink.got[0], sink.got[1]);
  EXPECT_EQ(sink.got[2], sink.got[3]);
  EXPECT_NE(sink.got[0], sink.got[2]);
  // The array lends its own bitmaps, not copies.
  EXPECT_EQ(sink.got[0], arr.Items[0].Item);
  EXPECT_EQ(Pixel(sink.got[0], 10, 10), 0x00112233u);
  EXPECT_EQ(Pixel(sink.got[2], 49, 49), 0x00445566u);
  EXPECT_EQ(sink.got[2]->Width(), 50);
  EXPECT_EQ(sink.got[2]->Height(), 50);

  FireInteger(read, 2);
  FireInteger(read, -1);
  FireString(read, "no_thumb");
  FireString(read, "01");
  EXPECT_EQ(sink.got.size(), 4u);
}

TEST_F(BitmapArrayTest, StoresCopiesAndFreesReplacedItems) {
  std::unique_ptr<TBitmapObject> src(Solid(4, 3, 0x00ABCDEF));
  TData v, idx;
  MakeBitmap(v, src.get());
  arr.ArrayAdd(v);
  ASSERT_EQ(arr.ArrayCount(), 3);
  auto* stored = static_cast<TBitmapObject*>(arr.Items[2].Item);
  ASSERT_NE(stored, src.get());
  src.reset();  // the sender may free its bitmap at once
  EXPECT_EQ(stored->Width(), 4);
  EXPECT_EQ(Pixel(stored, 3, 2), 0x00ABCDEFu);

  // A non-bitmap value stores no bitmap, later found as an empty Bitmap.
  MakeString(idx, "No_7za");
  TData text;
  MakeString(text, "not a picture");
  arr.ArraySet(idx, text);
  TData r;
  ASSERT_TRUE(arr.ArrayGet(idx, r));
  EXPECT_EQ(TypeOf(r), data_bitmap);
  EXPECT_EQ(r.ObjRef, nullptr);

  // Replacing the whole list releases the old items (ASan checks the rest).
  arr.SetBitmapObjects(ParseNameList("Only", {Solid(2, 2, 1)}));
  EXPECT_EQ(arr.ArrayCount(), 1);
  MakeInteger(idx, 0);
  ASSERT_TRUE(arr.ArrayGet(idx, r));
  EXPECT_EQ(static_cast<TBitmapObject*>(r.ObjRef)->Width(), 2);
}

TEST_F(BitmapArrayTest, SaveAndLoadItemsAsBmp) {
  TMemoryStream s;
  ASSERT_TRUE(arr.SaveItem(s, arr.Items[1].Item));
  s.Seek(0);
  void* item = nullptr;
  ASSERT_TRUE(arr.LoadItem(s, item));
  auto* b = static_cast<TBitmapObject*>(item);
  EXPECT_EQ(b->Width(), 50);
  EXPECT_EQ(Pixel(b, 0, 0), 0x00445566u);
  arr.FreeItem(item);

  // A header the bitmap model refuses (width 0) gives an empty item.
  std::vector<uint8_t> bad(54 + 4, 0);
  bad[0] = 'B';
  bad[1] = 'M';
  bad[10] = 54;
  bad[14] = 40;
  bad[22] = 1;   // height 1, width 0
  bad[26] = 1;   // planes
  bad[28] = 24;  // bits
  TMemoryStream bs(bad);
  item = nullptr;
  EXPECT_FALSE(arr.LoadItem(bs, item));
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(static_cast<TBitmapObject*>(item)->IsEmpty());
  arr.FreeItem(item);
}

#include "imaging/bitmap_array.h"

#include <memory>

#include "imaging/bitmap.h"

namespace hi {

THIBitmapArray::~THIBitmapArray() { FreeItems(); }

void THIBitmapArray::SetBitmapObjects(TNameList list) {
  // The items of a list being replaced are released, not left behind.
  FreeItems();
  Items = std::move(list);
}

void* THIBitmapArray::ItemFromData(TData& value) {
  if (TypeOf(value) != data_bitmap) return nullptr;
  std::unique_ptr<TBitmapObject> copy = CreateDeviceBitmap(0, 0);
  copy->Assign(static_cast<TBitmapObject*>(value.ObjRef));
  return copy.release();
}

void THIBitmapArray::ItemToData(void* item, TData& value) { MakeBitmap(value, static_cast<TBitmapObject*>(item)); }

// The array owns the bitmaps its items point to.
void THIBitmapArray::FreeItem(void* item) { std::unique_ptr<TBitmapObject> gone(static_cast<TBitmapObject*>(item)); }

bool THIBitmapArray::SaveItem(TStream& stream, void* item) {
  if (item == nullptr) return false;
  static_cast<TBitmapObject*>(item)->SaveToStream(stream);
  return true;
}

bool THIBitmapArray::LoadItem(TStream& stream, void*& item) {
  std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
  bool ok = b->LoadFromStream(stream);  // an empty item when unreadable
  item = b.release();
  return ok;
}

}  // namespace hi

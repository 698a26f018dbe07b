#include "imaging/bitmap.h"
#include "imaging/bitmap_array.h"

namespace hi {

void THIBitmapArray::SetBitmaps(TNameList list) {
  for (TNamedItem& e : list) {
    std::unique_ptr<TBitmapObject> b = CreateDeviceBitmap(0, 0);
    b->SetHandle(e.Item);
    e.Item = b.release();
  }
  SetBitmapObjects(std::move(list));
}

}  // namespace hi

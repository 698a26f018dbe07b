// The bitmap array: an array whose items are bitmap objects it owns. The
// viewer scheme keeps its placeholder pictures in one.
#pragma once

#include "framework/array.h"

namespace hi {

class TBitmapObject;

class THIBitmapArray : public TArray {
 public:
  ~THIBitmapArray() override;

  // Adopts a list whose references are raw bitmap handles: each becomes a
  // bitmap object that takes over its handle (Windows only).
  void SetBitmaps(TNameList list);
  // Adopts a list whose references are already bitmap objects.
  void SetBitmapObjects(TNameList list);

  void* ItemFromData(TData& value) override;
  void ItemToData(void* item, TData& value) override;
  void FreeItem(void* item) override;
  bool SaveItem(TStream& stream, void* item) override;
  bool LoadItem(TStream& stream, void*& item) override;
};

}  // namespace hi

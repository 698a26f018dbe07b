// Arrays: an ordered list of items, each with an optional name, lent to
// other elements as an Array value that refers to four bound operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class TStream;

// The record an Array value refers to: four operations bound to the array
// element that owns the record.
struct TArrayInterface {
  using SetProc = void (*)(void* owner, TData& index, TData& item);
  using GetProc = bool (*)(void* owner, TData& index, TData& result);
  using CountProc = int32_t (*)(void* owner);
  using AddProc = void (*)(void* owner, TData& item);

  SetProc ArraySet = nullptr;
  GetProc ArrayGet = nullptr;
  CountProc ArrayCount = nullptr;
  AddProc ArrayAdd = nullptr;
  void* Owner = nullptr;

  void Set(TData& index, TData& item) { ArraySet(Owner, index, item); }
  bool Get(TData& index, TData& result) { return ArrayGet(Owner, index, result); }
  int32_t Count() { return ArrayCount(Owner); }
  void Add(TData& item) { ArrayAdd(Owner, item); }
};

struct TNamedItem {
  std::string Name;
  void* Item = nullptr;
};
using TNameList = std::vector<TNamedItem>;

// One entry per line of text (lines end at CR, a following LF belongs to the
// same separator; a bare LF does not split). Entry i refers to refs[i]; a
// line without a reference gets none.
TNameList ParseNameList(const std::string& text, const std::vector<void*>& refs);

class TArray : public TObject {
 public:
  TArray();
  ~TArray() override;

  TArrayInterface Interface;
  bool NamedIndex = false;
  TNameList Items;

  // Data point Array: the element's interface record.
  void Array(TData& value, uint16_t index);

  void ArraySet(TData& index, TData& item);
  bool ArrayGet(TData& index, TData& result);
  int32_t ArrayCount() const { return static_cast<int32_t>(Items.size()); }
  void ArrayAdd(TData& item);

  // Item conversions, overridden by typed arrays.
  virtual void* ItemFromData(TData& value);
  virtual void ItemToData(void* item, TData& value);
  virtual void FreeItem(void* item);
  // Item serialisation; the plain array has no item format.
  virtual bool SaveItem(TStream& stream, void* item);
  virtual bool LoadItem(TStream& stream, void*& item);

 protected:
  // Frees every item, then empties the list.
  void FreeItems();
  // The entry an index value designates, or -1 (no canonical-form test).
  int32_t FindForSet(const TData& index) const;
};

}  // namespace hi

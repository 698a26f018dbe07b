#include "framework/array.h"

namespace hi {

TNameList ParseNameList(const std::string& text, const std::vector<void*>& refs) {
  TNameList list;
  size_t start = 0;
  while (start < text.size()) {
    size_t cr = text.find('\r', start);
    if (cr == std::string::npos) {
      list.push_back({text.substr(start), nullptr});
      break;
    }
    list.push_back({text.substr(start, cr - start), nullptr});
    start = cr + 1;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  for (size_t i = 0; i < list.size() && i < refs.size(); ++i) list[i].Item = refs[i];
  return list;
}

namespace {
void SetThunk(void* owner, TData& index, TData& item) { static_cast<TArray*>(owner)->ArraySet(index, item); }
bool GetThunk(void* owner, TData& index, TData& result) { return static_cast<TArray*>(owner)->ArrayGet(index, result); }
int32_t CountThunk(void* owner) { return static_cast<TArray*>(owner)->ArrayCount(); }
void AddThunk(void* owner, TData& item) { static_cast<TArray*>(owner)->ArrayAdd(item); }
}  // namespace

TArray::TArray() {
  Interface.ArraySet = &SetThunk;
  Interface.ArrayGet = &GetThunk;
  Interface.ArrayCount = &CountThunk;
  Interface.ArrayAdd = &AddThunk;
  Interface.Owner = this;
}

// Derived arrays free their own items in their destructors (the virtual
// FreeItem no longer reaches them here); what is left has no owner.
TArray::~TArray() { Items.clear(); }

void TArray::FreeItems() {
  for (TNamedItem& e : Items) {
    FreeItem(e.Item);
    e.Item = nullptr;
  }
  Items.clear();
}

void TArray::Array(TData& value, uint16_t) { MakeArray(value, &Interface); }

int32_t TArray::FindForSet(const TData& index) const {
  if (NamedIndex) {
    std::string key = ToString(index);
    for (size_t i = 0; i < Items.size(); ++i)
      if (Items[i].Name == key) return static_cast<int32_t>(i);
  }
  int32_t n = ToIndex(index);
  if (n < 0 || n >= ArrayCount()) return -1;
  return n;
}

void TArray::ArraySet(TData& index, TData& item) {
  if (Items.empty()) return;
  int32_t n = FindForSet(index);
  if (n < 0) return;
  FreeItem(Items[n].Item);
  Items[n].Item = ItemFromData(item);
}

bool TArray::ArrayGet(TData& index, TData& result) {
  result.Kind = data_null;
  if (Items.empty()) return false;
  if (NamedIndex) {
    std::string key = ToString(index);
    for (TNamedItem& e : Items) {
      if (e.Name == key) {
        ItemToData(e.Item, result);
        return TypeOf(result) != data_null;
      }
    }
  }
  int32_t n = ToIndex(index);
  if (n < 0 || n >= ArrayCount()) return false;
  // A named array takes a number only in its canonical decimal form.
  if (NamedIndex && FormatInteger(n) != ToString(index)) return false;
  ItemToData(Items[n].Item, result);
  return TypeOf(result) != data_null;
}

void TArray::ArrayAdd(TData& item) { Items.push_back({std::string(), ItemFromData(item)}); }

void* TArray::ItemFromData(TData&) { return nullptr; }
void TArray::ItemToData(void*, TData& value) { MakeNull(value); }
void TArray::FreeItem(void*) {}
bool TArray::SaveItem(TStream&, void*) { return false; }
bool TArray::LoadItem(TStream&, void*& item) {
  item = nullptr;
  return false;
}

}  // namespace hi

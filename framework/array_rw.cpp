#include "framework/array_rw.h"

#include "framework/array.h"

namespace hi {

void THIArrayRW::doRead(TData& value, uint16_t) {
  TArrayInterface* arr = ReadArray(ArrayLink);
  if (arr == nullptr) return;
  TData idx;
  ReadData(value, IndexLink, &Index, idx);
  if (!arr->Get(idx, LastItem)) return;
  CopyData(value, LastItem);
  ForwardValue(value, onRead);
}

}  // namespace hi

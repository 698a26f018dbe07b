#include "framework/do_data.h"

namespace hi {

void THIDoData::doData(TData& value, uint16_t) {
  MakeNull(value);
  TData result;
  ReadData(value, Data, &Value, result);
  ForwardCopy(value, onData, result);
}

}  // namespace hi

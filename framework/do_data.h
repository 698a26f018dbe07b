// Emits a fixed value, or the answer of its Data link, in place of the event.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIDoData : public TObject {
 public:
  TData Value;
  TEventLink Data;
  TEventLink onData;

  void doData(TData& value, uint16_t index);
};

}  // namespace hi

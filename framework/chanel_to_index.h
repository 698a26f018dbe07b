// Turns the number of the input channel an event arrived on into an Integer.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIChanelToIndex : public TObject {
 public:
  int32_t Count = 0;
  TEventLink onIndex;

  void doChannel(TData& value, uint16_t index);
};

}  // namespace hi

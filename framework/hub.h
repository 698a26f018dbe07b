// Copies one event to each of its outputs, in order.
#pragma once

#include <vector>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIHub : public TObject {
 public:
  uint8_t OutCount = 0;
  std::vector<TEventLink> onEvent;

  void SetOutCount(uint8_t n);
  void doEvent(TData& value, uint16_t index);
};

}  // namespace hi

// Reads one item out of any array on an event and passes it on.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIArrayRW : public TObject {
 public:
  TData LastItem;
  TData Index;  // default of the index; NULL leaves it to the link or event
  TEventLink IndexLink;
  TEventLink ItemLink;  // not read by any point of this element
  TEventLink ArrayLink;
  TEventLink onRead;

  void doRead(TData& value, uint16_t index);
};

}  // namespace hi

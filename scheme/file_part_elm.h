// Cuts a full file name into the part that Mode selects.
#pragma once

#include <string>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIFilePartElm : public TObject {
 public:
  std::string LastPart;  // empty until a non-empty name was split
  uint8_t Mode = 0;      // 0 the folder part, 2 the name without folder and extension
  TEventLink FileName;
  TEventLink onPart;

  void doPart(TData& value, uint16_t index);
  // Data point: the last part produced.
  void Result(TData& value, uint16_t index);
};

}  // namespace hi

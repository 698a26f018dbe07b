// Compares two operands and passes the incoming value to onTrue or onFalse.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIIf_else : public TObject {
 public:
  // 0 "=", 1 "<", 2 ">", 3 "<=", 4 ">=", 5 "<>"
  uint8_t Type = 0;
  TData Op1;
  TData Op2;
  TEventLink Op2Link;
  TEventLink Op1Link;
  TEventLink onTrue;
  TEventLink onFalse;

  void doCompare(TData& value, uint16_t index);

  static bool Compare(const TData& a, const TData& b, uint8_t type);
};

}  // namespace hi

#include "framework/if_else.h"

#include "framework/text.h"

namespace hi {

template <class T>
static bool Relate(const T& x, const T& y, uint8_t type) {
  switch (type) {
    case 0: return x == y;
    case 1: return x < y;
    case 2: return x > y;
    case 3: return x <= y;
    case 4: return x >= y;
    case 5: return x != y;
    default: return false;
  }
}

bool THIIf_else::Compare(const TData& a, const TData& b, uint8_t type) {
  switch (TypeOf(a)) {
    case data_null: return TypeOf(b) == data_null;
    case data_int: return Relate(a.IntVal, ToInteger(b), type);
    case data_real: return Relate(a.RealVal, ToReal(b), type);
    case data_str: {
      const std::string t = ToString(b);
      if (type == 0) return a.StrVal == t;
      if (type == 5) return a.StrVal != t;
      return Relate(CompareTextAscii(a.StrVal, t), 0, type);
    }
    default: return false;
  }
}

void THIIf_else::doCompare(TData& value, uint16_t) {
  const TData kept = value;
  TData a, b;
  ReadData(value, Op1Link, &Op1, a);
  ReadData(value, Op2Link, &Op2, b);
  ForwardCopy(value, Compare(a, b, Type) ? onTrue : onFalse, kept);
}

}  // namespace hi

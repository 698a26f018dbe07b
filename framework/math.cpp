#include "framework/math.h"

namespace hi {

void THIMath::SetResultDefault(double value) {
  Default = value;
  Result = value;
}

void THIMath::SetAngleMode(bool degrees) { AngleFactor = degrees ? 0.017453292519943295 : 1.0; }

void THIMath::doOperation(TData& value, uint16_t) {
  const double a = ReadReal(value, Op1Link, Op1);
  const double b = ReadReal(value, Op2Link, Op2);
  Result = double(RoundHalfEven(a) & RoundHalfEven(b));
  if (ResultType == 0)
    FireInteger(onResult, int32_t(uint32_t(uint64_t(RoundHalfEven(Result)))));
  else
    FireReal(onResult, Result);
}

}  // namespace hi

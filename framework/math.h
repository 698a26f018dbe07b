// Combines two numeric operands; in this system always their bitwise AND.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

// The bitwise AND in the element's list of operation codes. The code is
// stored as the scheme gives it; the element computes the AND whatever it is.
constexpr uint8_t MathOperationAnd = 4;

class THIMath : public TObject {
 public:
  double Result = 0.0;
  double Default = 0.0;
  double AngleFactor = 1.0;
  uint8_t Operation = 0;
  double Op1 = 0.0;
  double Op2 = 0.0;
  uint8_t ResultType = 0;
  TEventLink onResult;
  TEventLink onError;  // present in the element, unused here
  TEventLink Op1Link;
  TEventLink Op2Link;

  void SetResultDefault(double value);
  void SetAngleMode(bool degrees);
  void doOperation(TData& value, uint16_t index);
};

}  // namespace hi

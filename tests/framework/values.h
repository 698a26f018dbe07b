// Values made in one expression, for tests.
#pragma once

#include <string>

#include "framework/data.h"

namespace testvalues {

inline hi::TData Int(int32_t i) {
  hi::TData v;
  hi::MakeInteger(v, i);
  return v;
}
inline hi::TData Str(const std::string& s) {
  hi::TData v;
  hi::MakeString(v, s);
  return v;
}
inline hi::TData Real(double r) {
  hi::TData v;
  hi::MakeReal(v, r);
  return v;
}

}  // namespace testvalues

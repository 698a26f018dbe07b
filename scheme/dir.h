// Answers the system's temporary folder.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIDir : public TObject {
 public:
  // Data point: the temporary folder as a String, ending in one backslash.
  void TempDir(TData& value, uint16_t index);
};

}  // namespace hi

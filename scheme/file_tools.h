// Tests whether a file exists and deletes files by name or by file mask.
#pragma once

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIFileTools : public TObject {
 public:
  bool NoRecycle = false;  // true: delete; false: move to the recycle bin
  TEventLink FileName;     // the file name or file mask to work on
  TEventLink onResult;

  // Deletes, then forwards "NULL" when the name no longer names a file.
  void doDelete(TData& value, uint16_t index);
  // Forwards Integer 1 when the name is an existing file, else 0.
  void doFileExists(TData& value, uint16_t index);
};

}  // namespace hi

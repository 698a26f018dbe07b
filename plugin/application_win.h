// THIApplication: the library's own file name, and the title of the
// application window.
#pragma once

#include <string>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

class THIApplication : public TObject {
 public:
  // The settings scheme sets it to 1; no operation of this program reads it.
  uint8_t Flag = 0;

  // Data point: the full path of this library file (never the host's).
  void ModuleName(TData& value, uint16_t index);
  // Sets the application window's title; an empty text does nothing.
  void Title(const std::string& text);
};

}  // namespace hi

// THIPictureStream: loads a picture file in one step, the reader chosen by
// the file's extension (BMP, icon, PCX, JPEG), and sends it on onLoad.
#pragma once

#include <cstdint>
#include <string>

#include "framework/data.h"
#include "framework/object.h"

namespace hi {

enum TPictureReader : uint8_t { prNone, prBmp, prIcon, prPcx, prJpeg };

// From the last dot anywhere in the name (folders included) to the end,
// lowered in ASCII; empty without a dot.
std::string PictureExtension(const std::string& name);
TPictureReader ChoosePictureReader(const std::string& name);

class THIPictureStream : public TObject {
 public:
  std::string FileName;
  int32_t Quality = 0;  // kept for the scheme; loading does not read it
  TEventLink FileNameLink;
  TEventLink onLoad;

  void doLoad(TData& value, uint16_t index);
};

}  // namespace hi

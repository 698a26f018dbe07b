// THIPNG: owns a PNG decoder; doLoad reads a file into it, doGetBitmap
// sends the decoded picture on onBitmap.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/data.h"
#include "framework/object.h"
#include "imaging/png_decoder.h"

namespace hi {

class THIPNG : public TObject {
 public:
  THIPNG();
  ~THIPNG() override;

  // Two settings the scheme sets (false and 0); no point reads them.
  uint8_t Flag = 0;
  int32_t Value = 0;
  TEventLink FileNameLink;
  TEventLink onBitmap;

  // Point 0.
  void doLoad(TData& value, uint16_t index);
  // Point 2.
  void doGetBitmap(TData& value, uint16_t index);

  TPngDecoder& Decoder() { return *decoder_; }

 private:
  std::unique_ptr<TPngDecoder> decoder_;
};

}  // namespace hi

#include "imaging/png_element.h"

#include "imaging/picture_stream_files.h"

namespace hi {

THIPNG::THIPNG() : decoder_(CreatePngDecoder()) {}

THIPNG::~THIPNG() = default;

void THIPNG::doLoad(TData& value, uint16_t) {
  std::string name = ResolvePictureFileName(ReadString(value, FileNameLink, std::string()));
  // A missing file keeps the picture of the previous load.
  if (!PictureFileExists(name)) return;
  decoder_->LoadFromFile(name);
}

void THIPNG::doGetBitmap(TData&, uint16_t) { FireBitmap(onBitmap, decoder_->GetBitmap()); }

}  // namespace hi

// The PCX reader: run-length decoding of 1-, 4-, 8- and 24-bit pictures,
// planar or packed, into a bitmap of the matching layout.
#pragma once

#include <memory>
#include <string>

#include "framework/object.h"
#include "imaging/bitmap.h"
#include "imaging/picture_result.h"

namespace hi {

class TStream;

class TPcxPicture : public TObject {
 public:
  // On failure there is no bitmap, the stream is back where reading began,
  // and LastError says why.
  bool LoadFromFile(const std::string& name);
  bool LoadFromStream(TStream& stream);
  TPictureResult LastError() const { return lastError_; }
  // The picture of the last successful load, owned; none after a failure.
  TBitmapObject* Bitmap() const { return bitmap_.get(); }

 private:
  TPictureResult Read(TStream& stream);
  std::unique_ptr<TBitmapObject> bitmap_;
  TPictureResult lastError_ = pic_ok;
};

std::unique_ptr<TPcxPicture> CreatePcxPicture();

}  // namespace hi

// The PCX reader: run-length decoding of 1-, 4-, 8- and 24-bit pictures,
// planar or packed, into a bitmap of the matching layout.
#pragma once

#include <string>

#include "framework/object.h"
#include "imaging/bitmap.h"

namespace hi {

class TStream;

class TPcxPicture : public TObject {
 public:
  ~TPcxPicture() override;
  bool LoadFromFile(const std::string& name);
  bool LoadFromStream(TStream& stream);
  // The picture of the last successful load, owned; none after a failure.
  TBitmapObject* Bitmap() const { return bitmap_; }

 private:
  bool Read(TStream& stream);
  TBitmapObject* bitmap_ = nullptr;
};

TPcxPicture* CreatePcxPicture();

}  // namespace hi

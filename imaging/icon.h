// The icon object: reads an ICO file, chooses the entry nearest to its size
// and builds the icon from the entry's colour image and mask.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/object.h"
#include "imaging/bitmap.h"
#include "imaging/picture_result.h"

namespace hi {

class TStream;

struct TIconDirEntry {
  uint8_t Width, Height, ColorCount, Reserved;
  uint16_t Planes, BitCount;
  uint32_t DataSize, DataOffset;
};

class TIconObject : public TObject {
 public:
  ~TIconObject() override;

  int32_t Size = 32;       // edge length in pixels
  void* Handle = nullptr;  // HICON
  bool Shared = false;     // when set the handle is not destroyed

  // On failure the icon has no handle, the stream is back where reading
  // began, and LastError says why.
  bool LoadFromStream(TStream& stream);
  bool LoadFromFile(const std::string& name);
  TPictureResult LastError() const { return lastError_; }
  void ReleaseIcon();
  // A device bitmap of Size x Size with the icon drawn on the background
  // (the caller owns it); none without an icon handle.
  void* ToBitmapHandle(uint32_t background);

  // The colour image (none for a mask-only entry) and the mask of the last
  // successful load, kept so that the picture can be composed without a
  // window system.
  const TBitmapObject* ColorImage() const { return color_.get(); }
  const TBitmapObject* MaskImage() const { return mask_.get(); }
  // Size x Size, 24 bits: the mask keeps the background, the colour image is
  // combined over it (alpha-blended for a 32-bit image with alpha).
  std::unique_ptr<TBitmapObject> ComposeBitmap(uint32_t background) const;

 private:
  TPictureResult Read(TStream& stream);
  bool MakeHandle();  // platform: CreateIconIndirect
  static int32_t SystemIconSize();
  std::unique_ptr<TBitmapObject> color_, mask_;
  TPictureResult lastError_ = pic_ok;
};

std::unique_ptr<TIconObject> CreateIconObject();

// The entry whose width is nearest to wanted (the earlier on a tie).
int ChooseIconEntry(const TIconDirEntry* entries, int count, int32_t wanted);

}  // namespace hi

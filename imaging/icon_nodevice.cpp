// Without a window system an icon has no handle: a load succeeds once the
// colour image and the mask are read.
#include "imaging/icon.h"

namespace hi {

bool TIconObject::MakeHandle() { return MaskImage() != nullptr && !MaskImage()->IsEmpty(); }

int32_t TIconObject::SystemIconSize() { return 32; }

void TIconObject::ReleaseIcon() {
  Handle = nullptr;
  Shared = false;
}

void* TIconObject::ToBitmapHandle(uint32_t) { return nullptr; }

}  // namespace hi

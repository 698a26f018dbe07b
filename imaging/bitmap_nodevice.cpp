// Without a window system a bitmap has only its memory form: the device
// operations find no handle and do nothing.
#include "imaging/bitmap.h"

namespace hi {

void TBitmapObject::DeleteHandle() { handle_ = nullptr; }

bool TBitmapObject::DeviceSize(int32_t&, int32_t&) const { return false; }

void TBitmapObject::ReformatDevice(int32_t, int32_t) { ReleasePixelData(); }

bool TBitmapObject::ConvertIntoMemory(TBitmapInfoHeader*, uint8_t*&, int32_t) { return false; }

void* TBitmapObject::DuplicateHandle() const { return nullptr; }

uint32_t TBitmapObject::ResolveColor(uint32_t color) { return color & 0xFFFFFF; }

void* TBitmapObject::GetHandle() { return handle_; }

void* TBitmapObject::ReleaseHandle() {
  SetStorage(bsDIB);
  sectionOwnsRows_ = false;
  return nullptr;
}

void TBitmapObject::SetHandle(void*) { Clear(); }

void TBitmapObject::Draw(void*, int32_t, int32_t) {}

void TBitmapObject::StretchDraw(void*, const TRect&) {}

}  // namespace hi

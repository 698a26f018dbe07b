#include <memory>

#include "framework/exception.h"
#include "fuzz/fuzz_common.h"
#include "imaging/icon.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<hi::TIconObject> icon(hi::CreateIconObject());
  hi::TMemoryStream s(data, size);
  try {
    if (icon->LoadFromStream(s)) {
      std::unique_ptr<hi::TBitmapObject> b(icon->ComposeBitmap(0xFFFFFF));
      TouchPicture(b.get());
    }
  } catch (const hi::Exception&) {
  }
  return 0;
}

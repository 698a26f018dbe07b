#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/icon.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<hi::TIconObject> icon = hi::CreateIconObject();
  hi::TMemoryStream s(data, size);
  if (icon->LoadFromStream(s)) TouchPicture(icon->ComposeBitmap(0xFFFFFF).get());
  return 0;
}

#include <memory>

#include "fuzz/fuzz_common.h"
#include "imaging/pcx_picture.h"
#include "imaging/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<hi::TPcxPicture> p(hi::CreatePcxPicture());
  hi::TMemoryStream s(data, size);
  p->LoadFromStream(s);
  TouchPicture(p->Bitmap());
  return 0;
}
